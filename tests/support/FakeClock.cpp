#include "FakeClock.h"

FakeClock::FakeClock(int hour, int minute)
{
    m_now.wYear = 2026;
    m_now.wMonth = 12;
    m_now.wDay = 7;
    SetTime(hour, minute);
    Clock::Set(this);
}

FakeClock::~FakeClock()
{
    Clock::Set(nullptr);
}

void FakeClock::SetTime(int hour, int minute)
{
    m_now.wHour = static_cast<WORD>(hour);
    m_now.wMinute = static_cast<WORD>(minute);
    m_now.wSecond = 0;
}

void FakeClock::Advance(int minutes)
{
    const int total = ((m_now.wHour * 60 + m_now.wMinute + minutes) % 1440 + 1440) % 1440;
    SetTime(total / 60, total % 60);
}
