#pragma once
#include <windows.h>

// The local time as the schedule and the retries see it. The system's
// clock unless a test set another.
class Clock {
public:
    virtual ~Clock() = default;
    virtual SYSTEMTIME Now() = 0;

    // The local time through the clock in use.
    static SYSTEMTIME LocalTime();
    static void Set(Clock* clock);

    // Local times as whole seconds since 1 January 1601 (a Monday), so
    // that pauses, run dates and weekdays are plain arithmetic.
    static long long Seconds(const SYSTEMTIME& time);
    static SYSTEMTIME FromSeconds(long long seconds);
    static long long NowSeconds() { return Seconds(LocalTime()); }
};
