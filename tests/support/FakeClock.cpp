#include "FakeClock.h"

FakeClock::FakeClock(int hour, int minute)
{
    SetDate(2026, 12, 7);
    SetTime(hour, minute);
    Clock::Set(this);
}

FakeClock::~FakeClock()
{
    Clock::Set(nullptr);
}

void FakeClock::SetTime(int hour, int minute, int second)
{
    m_now.wHour = static_cast<WORD>(hour);
    m_now.wMinute = static_cast<WORD>(minute);
    m_now.wSecond = static_cast<WORD>(second);
    m_now.wMilliseconds = 0;
}

void FakeClock::SetDate(int year, int month, int day)
{
    m_now.wYear = static_cast<WORD>(year);
    m_now.wMonth = static_cast<WORD>(month);
    m_now.wDay = static_cast<WORD>(day);
    // Through the system's calendar, for the day of the week.
    m_now = Clock::FromSeconds(Clock::Seconds(m_now));
}

void FakeClock::Advance(int minutes)
{
    AdvanceSeconds(minutes * 60LL);
}

void FakeClock::AdvanceSeconds(long long seconds)
{
    m_now = Clock::FromSeconds(Clock::Seconds(m_now) + seconds);
}
