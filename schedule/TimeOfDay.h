#pragma once
#include <string>

// A time of day to the minute: hour 0..23, minute 0..59, or Unset
// (255/255) when no time is set.
struct TimeOfDay {
    unsigned char hour;
    unsigned char minute;

    static const TimeOfDay Unset;

    bool IsUnset() const { return hour == 255 && minute == 255; }
    bool operator==(const TimeOfDay& other) const
        { return hour == other.hour && minute == other.minute; }
    bool operator!=(const TimeOfDay& other) const { return !(*this == other); }

    // Minutes from (nowHour, nowMinute) to this time, taking the nearer
    // day: -720..720, negative when this time lies behind.
    int MinutesFrom(int nowHour, int nowMinute) const;
    // Due from this minute up to 29 minutes after it; never when unset.
    bool IsDueAt(int nowHour, int nowMinute) const;
    // " 9 : 5" for 9:05; " -- : --" when no hour is set.
    std::string Format() const;
};
