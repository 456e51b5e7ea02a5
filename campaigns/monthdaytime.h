#pragma once

namespace schedule {

// A moment of the month as the month-day dialog sets it: day of month (1-31), hour and minute.
class CMonthdayTime {
  public:
    CMonthdayTime() = default;
    CMonthdayTime(int day, int hour, int minute) : day(day), hour(hour), minute(minute) {}

    int getDay() const { return day; }
    int getHour() const { return hour; }
    int getMinute() const { return minute; }
    void setDay(int value) { day = value; }
    void setHour(int value) { hour = value; }
    void setMinute(int value) { minute = value; }

    int minuteOfMonth() const { return (day * 24 + hour) * 60 + minute; }

  private:
    int day = 1;
    int hour = 0;
    int minute = 0;
};

}  // namespace schedule
