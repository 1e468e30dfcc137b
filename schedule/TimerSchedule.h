#pragma once
#include <string>
#include "TimeOfDay.h"

// One unattended run as the timer settings describe it: when to start
// (Unset: at once), when to hang up (Unset: no time), the phone-book entry
// to dial (empty: none) and whether to hang up when the downloads end.
struct TimerSchedule {
    TimeOfDay start = TimeOfDay::Unset;
    TimeOfDay end = TimeOfDay::Unset;
    std::string entryName;
    int hangUpWhenDone = 0;

    // False when there is nothing to do: no times, no entry, no hang-up.
    bool IsSet() const;
};
