#include "RunCalendar.h"
#include <cstdio>
#include "Clock.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"

namespace {

long long StartOffset(TimeOfDay start)
{
    return start.hour * 3600LL + start.minute * 60LL;
}

bool Chosen(unsigned days, long long t)
{
    return (days >> RunCalendar::Weekday(t)) & 1;
}

} // namespace

long long RunCalendar::DayStart(long long t)
{
    return t - t % kDay;
}

int RunCalendar::Weekday(long long t)
{
    // Day 0 of the scale, 1 January 1601, was a Monday.
    return static_cast<int>((t / kDay + 1) % 7);
}

long long RunCalendar::MinuteOf(long long t)
{
    return t - t % 60;
}

long long RunCalendar::FirstRun(long long now, TimeOfDay start, unsigned days)
{
    if (start.IsUnset() || (days & 0x7F) == 0)
        return 0;
    // Today's start, or yesterday's when this is just after midnight.
    for (int back = 0; back <= 1; ++back) {
        const long long run = DayStart(now) - back * kDay + StartOffset(start);
        if (IsDue(run, now) && Chosen(days, run))
            return run;
    }
    return NextRunAfter(now, start, days);
}

long long RunCalendar::NextRunAfter(long long t, TimeOfDay start, unsigned days)
{
    if (start.IsUnset() || (days & 0x7F) == 0)
        return 0;
    for (int ahead = 0; ahead <= 7; ++ahead) {
        const long long run = DayStart(t) + ahead * kDay + StartOffset(start);
        if (run > t && Chosen(days, run))
            return run;
    }
    return 0;
}

bool RunCalendar::IsDue(long long run, long long now)
{
    const long long late = MinuteOf(now) - run;
    return run != 0 && late >= 0 && late <= kDueSpan;
}

bool RunCalendar::IsMissed(long long run, long long now)
{
    return run != 0 && MinuteOf(now) - run > kDueSpan;
}

long long RunCalendar::Deadline(long long now, TimeOfDay end)
{
    if (end.IsUnset())
        return 0;
    const long long minute = MinuteOf(now);
    const SYSTEMTIME at = Clock::FromSeconds(now);
    if (end.IsDueAt(at.wHour, at.wMinute))
        return minute + end.MinutesFrom(at.wHour, at.wMinute) * 60LL;
    long long deadline = DayStart(now) + StartOffset(end);
    if (deadline <= now)
        deadline += kDay;
    return deadline;
}

std::string RunCalendar::Format(long long t)
{
    const SYSTEMTIME at = Clock::FromSeconds(t);
    char text[64];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u (%s) %u:%02u", at.wYear, at.wMonth, at.wDay,
                  AfxLoadString(IDS_DAY_SUN + Weekday(t)).c_str(), at.wHour, at.wMinute);
    return text;
}
