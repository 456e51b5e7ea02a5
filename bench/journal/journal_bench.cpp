// The outcome journal of a busy station's year: 10^6 pushes over 365 days, written once in
// large batches at the start, then the questions the statistics window and a report ask.
//
// Goals:
//   - the window's queries (pushes per hour over a day and over the year, success rates per
//     campaign and per manufacturer over the year): under 100 ms each;
//   - a report's summary of the year, opening the journal included: under 1 s;
//   - CJournalWriter::record, the cost a push pays: under 1 ms;
//   - the file: under 200 bytes a row ("bytes per row" below).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "journal/journalstore.h"
#include "journal/journalwriter.h"
#include "journal/report.h"

namespace {

constexpr std::int64_t rowsOfAYear = 1'000'000;
constexpr std::int64_t yearStart = 1735689600;  // 2025-01-01 00:00:00 UTC
constexpr std::int64_t secondsPerDay = 86400;
// The year as the window asks for it in a zone east of UTC: it starts and ends inside a day,
// so the rows of two days are read beside the totals of the others.
constexpr journal::TimeRange wholeYear{yearStart + 13 * 3600,
                                       yearStart + 365 * secondsPerDay - 11 * 3600 - 1};
constexpr journal::TimeRange oneDay{yearStart + 180 * secondsPerDay,
                                    yearStart + 181 * secondsPerDay - 1};

std::filesystem::path benchFolder() {
    static const auto folder = std::filesystem::temp_directory_path() /
                               ("nyvex-journal-bench-" + std::to_string(::getpid()));
    return folder;
}

std::string yearJournal() {
    return (benchFolder() / journal::journalFileName).string();
}

// A station's year: pushes in opening hours, a few campaigns at a time changing with the
// months, manufacturers as common as they are in the street, mostly unanswered or refused.
class BusyYear {
  public:
    journal::Entry next(std::int64_t n) {
        journal::Entry entry;
        const std::int64_t day = n * 365 / rowsOfAYear;
        entry.time = yearStart + day * secondsPerDay + 8 * 3600 + uniform(random) % (14 * 3600);
        const int month = static_cast<int>(day / 31);
        entry.campaign =
            "Campaign " + std::to_string(month + static_cast<int>(uniform(random) % 3));
        entry.sendName = "offer" + std::to_string(month % 4) + ".jpg";
        entry.deviceKey = key();
        entry.manufacturer = "Maker " + std::to_string(std::min<unsigned>(maker(random), 59));
        entry.outcome = journal::allOutcomes.at(outcome(random));
        entry.delivered = entry.outcome == journal::Outcome::delivered;
        entry.packets = entry.delivered ? 40 : 0;
        entry.bytes = entry.delivered ? 60'000 + uniform(random) % 40'000 : 0;
        entry.durationMs = 1000 + uniform(random) % 20'000;
        entry.radio = uniform(random) % 2 ? "nyvex-north" : "nyvex-south";
        return entry;
    }

  private:
    std::string key() {
        static constexpr char digits[] = "0123456789abcdef";
        std::string text;
        for (int i = 0; i < 32; ++i) {
            text += digits[uniform(random) % 16];
        }
        return text;
    }

    std::mt19937_64 random{2025};
    std::uniform_int_distribution<std::uint64_t> uniform;
    std::geometric_distribution<unsigned> maker{0.12};
    std::discrete_distribution<std::size_t> outcome{25, 20, 38, 9, 4, 1, 3};
};

double buildYear() {
    std::filesystem::create_directories(benchFolder());
    // The error log, should the writer have something to say, goes with the rest.
    std::filesystem::current_path(benchFolder());
    journal::CJournalStore store;
    if (!store.open(yearJournal(), journal::CJournalStore::Access::readWrite)) {
        throw std::runtime_error(store.problem());
    }
    BusyYear year;
    std::vector<journal::Entry> batch;
    const auto started = std::chrono::steady_clock::now();
    for (std::int64_t n = 0; n < rowsOfAYear; ++n) {
        batch.push_back(year.next(n));
        if (batch.size() == 20'000 || n + 1 == rowsOfAYear) {
            if (!store.append(batch)) {
                throw std::runtime_error(store.problem());
            }
            batch.clear();
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

double bytesPerRow() {
    std::uintmax_t bytes = 0;
    for (const char* end : {"", "-wal"}) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(yearJournal() + end, ec);
        bytes += ec ? 0 : size;
    }
    return static_cast<double>(bytes) / static_cast<double>(rowsOfAYear);
}

const journal::CJournalStore& reader() {
    static journal::CJournalStore store;
    if (!store.isOpen() && !store.open(yearJournal(), journal::CJournalStore::Access::readOnly)) {
        throw std::runtime_error(store.problem());
    }
    return store;
}

void BM_HourlyOfADay(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader().hourly(oneDay));
    }
}

void BM_HourlyOfTheYear(benchmark::State& state) {
    std::size_t counts = 0;
    for (auto _ : state) {
        counts = reader().hourly(wholeYear).size();
    }
    state.counters["hour rows"] = static_cast<double>(counts);
    state.counters["bytes per row"] = bytesPerRow();
}

void BM_RatesOfTheYear(benchmark::State& state, journal::Grouping grouping) {
    std::size_t rates = 0;
    for (auto _ : state) {
        rates = reader().rates(wholeYear, grouping).size();
    }
    state.counters["names"] = static_cast<double>(rates);
}

// As `Nyvex --report` does it: open the journal read-only, then the summary.
void BM_ReportOfTheYear(benchmark::State& state) {
    const std::vector<std::string> arguments{"--report", "--since", "2025-01-01", "--until",
                                             "2025-12-31"};
    for (auto _ : state) {
        std::ostringstream out, err;
        if (journal::runReport(arguments, benchFolder().string(), out, err) != 0) {
            state.SkipWithError(err.str().c_str());
        }
    }
}

// Not a goal, for scale: the CSV of the whole year, every row written out in local time.
void BM_CsvOfTheYear(benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out;
        journal::writeCsv(reader(), wholeYear, out);
        bytes = out.str().size();
    }
    state.counters["CSV bytes"] = static_cast<double>(bytes);
}

// What a push pays: one record(). The worker writes behind it into a journal of its own.
void BM_RecordOnePush(benchmark::State& state) {
    const auto folder = benchFolder() / "writer";
    std::filesystem::create_directories(folder);
    journal::CJournalWriter writer((folder / journal::journalFileName).string(), 365);
    BusyYear year;
    std::vector<journal::Entry> entries;
    for (int n = 0; n < 4096; ++n) {
        entries.push_back(year.next(rowsOfAYear / 2));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        writer.record(entries[next++ % entries.size()]);
    }
    writer.flush(std::chrono::seconds(30));
    state.counters["dropped"] = static_cast<double>(writer.dropped());
}

// What the worker pays per entry when it writes a full queue in one transaction.
void BM_AppendFullQueue(benchmark::State& state) {
    const auto folder = benchFolder() / "append";
    std::filesystem::create_directories(folder);
    journal::CJournalStore store;
    store.open((folder / journal::journalFileName).string(),
               journal::CJournalStore::Access::readWrite);
    BusyYear year;
    std::vector<journal::Entry> batch;
    for (std::size_t n = 0; n < journal::CJournalWriter::queueCapacity; ++n) {
        batch.push_back(year.next(static_cast<std::int64_t>(n)));
    }
    for (auto _ : state) {
        store.append(batch);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(batch.size()));
}

BENCHMARK(BM_HourlyOfADay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HourlyOfTheYear)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RatesOfTheYear, campaign, journal::Grouping::campaign)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RatesOfTheYear, manufacturer, journal::Grouping::manufacturer)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportOfTheYear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvOfTheYear)->Unit(benchmark::kMillisecond)->Iterations(1);
// As many pushes as the queue holds, so every one is queued and none dropped.
BENCHMARK(BM_RecordOnePush)->Unit(benchmark::kMicrosecond)->Iterations(4000);
BENCHMARK(BM_AppendFullQueue)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf(
        "goals: window queries < 100 ms, report of a year < 1000 ms, record < 1 ms, "
        "< 200 bytes per row\n");
    const double buildSeconds = buildYear();
    std::printf("a year of %lld pushes written in %.1f s: %.1f bytes per row\n",
                static_cast<long long>(rowsOfAYear), buildSeconds, bytesPerRow());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(benchFolder(), ec);
    return 0;
}
