#pragma once
// A clock for tests: the local time is whatever the test set. It starts on
// Monday 7 December 2026.
#include "schedule/Clock.h"

class FakeClock : public Clock {
public:
    // Becomes the clock in use until destroyed.
    FakeClock(int hour, int minute);
    ~FakeClock() override;

    SYSTEMTIME Now() override { return m_now; }
    // The time of day on the same date.
    void SetTime(int hour, int minute, int second = 0);
    // Another date, at the same time of day.
    void SetDate(int year, int month, int day);
    // Moves on by `minutes` (or `seconds`), across midnight and into the
    // next days where it comes to that.
    void Advance(int minutes);
    void AdvanceSeconds(long long seconds);
    long long Seconds() const { return Clock::Seconds(m_now); }

private:
    SYSTEMTIME m_now{};
};
