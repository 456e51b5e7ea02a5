#include "clock.h"

#include <atomic>
#include <cmath>

namespace platform {

namespace {
const SystemClock systemClock;
std::atomic<const Clock*> installed{nullptr};

std::tm localTm(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t oleEpochDaysFrom1970 = -25569;  // 1899-12-30
}  // namespace

TimePoint ManualClock::now() const {
    std::lock_guard<std::mutex> guard(lock);
    return current;
}

void ManualClock::set(TimePoint t) {
    std::lock_guard<std::mutex> guard(lock);
    current = t;
}

void ManualClock::advance(std::chrono::milliseconds step) {
    std::lock_guard<std::mutex> guard(lock);
    current += step;
}

const Clock& clock() {
    const Clock* c = installed.load();
    return c ? *c : systemClock;
}

TimePoint now() {
    return clock().now();
}

void setClock(const Clock* replacement) {
    installed.store(replacement);
}

std::time_t toTimeT(TimePoint t) {
    return std::chrono::system_clock::to_time_t(t);
}

TimePoint fromTimeT(std::time_t t) {
    return std::chrono::system_clock::from_time_t(t);
}

LocalTime toLocal(TimePoint t) {
    const auto secs = std::chrono::floor<std::chrono::seconds>(t);
    const std::tm tm = localTm(toTimeT(secs));
    LocalTime local;
    local.year = tm.tm_year + 1900;
    local.month = tm.tm_mon + 1;
    local.day = tm.tm_mday;
    local.hour = tm.tm_hour;
    local.minute = tm.tm_min;
    local.second = tm.tm_sec;
    local.millisecond =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(t - secs).count());
    local.weekday = tm.tm_wday;
    return local;
}

TimePoint fromLocal(const LocalTime& local) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    return fromTimeT(mktime(&tm)) + std::chrono::milliseconds(local.millisecond);
}

std::string formatLocal(TimePoint t, const char* format) {
    const std::tm tm = localTm(toTimeT(std::chrono::floor<std::chrono::seconds>(t)));
    char buffer[512];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

double toOleDate(TimePoint t) {
    const LocalTime l = toLocal(t);
    const std::int64_t days =
        daysFromCivil(l.year, static_cast<unsigned>(l.month), static_cast<unsigned>(l.day)) -
        oleEpochDaysFrom1970;
    const double dayFraction =
        (l.hour * 3600.0 + l.minute * 60.0 + l.second) / 86400.0 + l.millisecond / 86400000.0;
    return static_cast<double>(days) + dayFraction;
}

TimePoint fromOleDate(double oleDate) {
    // Dates before the epoch count the time of day forwards from the (negative) whole day.
    const double whole = std::trunc(oleDate);
    const double fraction = std::fabs(oleDate - whole);
    std::int64_t msOfDay = std::llround(fraction * 86400000.0);
    std::int64_t days = static_cast<std::int64_t>(whole) + oleEpochDaysFrom1970;
    if (msOfDay >= 86400000) {
        msOfDay -= 86400000;
        ++days;
    }
    // Civil date from days since 1970.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    LocalTime l;
    l.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    l.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    l.year = static_cast<int>(yoe + era * 400 + (l.month <= 2));
    l.hour = static_cast<int>(msOfDay / 3600000);
    l.minute = static_cast<int>(msOfDay / 60000 % 60);
    l.second = static_cast<int>(msOfDay / 1000 % 60);
    l.millisecond = static_cast<int>(msOfDay % 1000);
    return fromLocal(l);
}

}  // namespace platform
