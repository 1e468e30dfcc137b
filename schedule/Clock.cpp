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
