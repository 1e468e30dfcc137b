#pragma once
// A clock for tests: the local time is whatever the test set.
#include "schedule/Clock.h"

class FakeClock : public Clock {
public:
    // Becomes the clock in use until destroyed.
    FakeClock(int hour, int minute);
    ~FakeClock() override;

    SYSTEMTIME Now() override { return m_now; }
    void SetTime(int hour, int minute);
    // Moves on by `minutes`, across midnight where it comes to that.
    void Advance(int minutes);

private:
    SYSTEMTIME m_now{};
};
