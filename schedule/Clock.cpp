#include "Clock.h"

namespace {

class SystemClock : public Clock {
public:
    SYSTEMTIME Now() override
    {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        return now;
    }
};

Clock* g_clock = nullptr;

const long long kTicksPerSecond = 10000000;

} // namespace

SYSTEMTIME Clock::LocalTime()
{
    static SystemClock system;
    return (g_clock ? g_clock : &system)->Now();
}

void Clock::Set(Clock* clock)
{
    g_clock = clock;
}

long long Clock::Seconds(const SYSTEMTIME& time)
{
    SYSTEMTIME whole = time;
    whole.wMilliseconds = 0;
    FILETIME ft{};
    if (!::SystemTimeToFileTime(&whole, &ft))
        return 0;
    ULARGE_INTEGER ticks;
    ticks.LowPart = ft.dwLowDateTime;
    ticks.HighPart = ft.dwHighDateTime;
    return static_cast<long long>(ticks.QuadPart / kTicksPerSecond);
}

SYSTEMTIME Clock::FromSeconds(long long seconds)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<unsigned long long>(seconds < 0 ? 0 : seconds) * kTicksPerSecond;
    FILETIME ft{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time{};
    ::FileTimeToSystemTime(&ft, &time);
    return time;
}
