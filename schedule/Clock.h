#pragma once
#include <windows.h>

// The local time of day as the schedule sees it. The system's clock unless
// a test set another.
class Clock {
public:
    virtual ~Clock() = default;
    virtual SYSTEMTIME Now() = 0;

    // The local time through the clock in use.
    static SYSTEMTIME LocalTime();
    static void Set(Clock* clock);
};
