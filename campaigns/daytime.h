#pragma once

namespace schedule {

// A moment of a repeating cycle as the schedule dialogs set it: the day of the cycle (a weekday
// code, 1 = Sunday ... 7 = Saturday, or a day of the month, 1-31), hour and minute.
class CDayTime {
  public:
    CDayTime() = default;
    CDayTime(int day, int hour, int minute) : day(day), hour(hour), minute(minute) {}

    int getDay() const { return day; }
    int getHour() const { return hour; }
    int getMinute() const { return minute; }
    void setDay(int value) { day = value; }
    void setHour(int value) { hour = value; }
    void setMinute(int value) { minute = value; }

    // The moment's minute within its cycle: (day × 24 + hour) × 60 + minute.
    int minuteOfCycle() const { return (day * 24 + hour) * 60 + minute; }

  private:
    int day = 1;
    int hour = 0;
    int minute = 0;
};

}  // namespace schedule
