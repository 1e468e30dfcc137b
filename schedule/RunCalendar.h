#pragma once
#include <string>
#include "TimeOfDay.h"

// The dates of a repeating run. Times are local, in whole seconds on
// Clock::Seconds' scale; days are bits, bit 0 Sunday .. bit 6 Saturday. A
// run belongs to the day its start time falls on, and is due from its
// start minute up to 29 minutes later, as a start time of the day is.
class RunCalendar {
public:
    static constexpr long long kDay = 24 * 60 * 60;
    static constexpr long long kDueSpan = 29 * 60;

    // Midnight of the day of `t`, and that day of the week (0 Sunday).
    static long long DayStart(long long t);
    static int Weekday(long long t);
    // `t` with its seconds dropped.
    static long long MinuteOf(long long t);

    // The first run of a schedule set up at `now`: one that is due now on
    // a chosen day, else the next chosen day's start. 0 when no day is
    // chosen.
    static long long FirstRun(long long now, TimeOfDay start, unsigned days);
    // The first start on a chosen day later than `t`; 0 when no day is
    // chosen.
    static long long NextRunAfter(long long t, TimeOfDay start, unsigned days);
    // `run` is due at `now`; it was missed when its due minutes are over.
    static bool IsDue(long long run, long long now);
    static bool IsMissed(long long run, long long now);
    // The disconnect time of a run that starts at `now`: the end minute
    // that is due now, else the next one to come.
    static long long Deadline(long long now, TimeOfDay end);

    // "2026/12/08 (火) 2:00".
    static std::string Format(long long t);
};
