#pragma once

namespace schedule {

// A moment of the week as the weekday dialog sets it: weekday code (1 = Sunday ... 7 = Saturday),
// hour and minute.
class CWeekdayTime {
  public:
    CWeekdayTime() = default;
    CWeekdayTime(int day, int hour, int minute) : day(day), hour(hour), minute(minute) {}
    virtual ~CWeekdayTime() = default;
    CWeekdayTime(const CWeekdayTime&) = default;
    CWeekdayTime& operator=(const CWeekdayTime&) = default;

    int getDay() const { return day; }
    int getHour() const { return hour; }
    int getMinute() const { return minute; }
    void setDay(int value) { day = value; }
    void setHour(int value) { hour = value; }
    void setMinute(int value) { minute = value; }

    int minuteOfWeek() const { return (day * 24 + hour) * 60 + minute; }

  private:
    int day = 1;
    int hour = 0;
    int minute = 0;
};

}  // namespace schedule
