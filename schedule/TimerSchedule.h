#pragma once
#include <string>
#include "TimeOfDay.h"

// What the machine does when an unattended run is over.
enum class AfterRunAction : int {
    None = 0,       // 何もしない
    Exit = 1,       // Kestrin を終了
    Sleep = 2,      // スリープ
    Shutdown = 3,   // シャットダウン
};

// One unattended run as the timer settings describe it: when to start
// (Unset: at once), when to hang up (Unset: no time), the phone-book entry
// to dial (empty: none), whether to hang up when the downloads end,
// whether to run again on the chosen days of the week, and what the
// machine does afterwards.
struct TimerSchedule {
    // Every day of the week: bit 0 Sunday .. bit 6 Saturday.
    static constexpr unsigned char kEveryDay = 0x7F;

    TimeOfDay start = TimeOfDay::Unset;
    TimeOfDay end = TimeOfDay::Unset;
    std::string entryName;
    int hangUpWhenDone = 0;
    // Runs at the start time of each chosen day until cancelled; only with
    // a start time.
    bool repeat = false;
    unsigned char days = kEveryDay;
    AfterRunAction afterRun = AfterRunAction::None;

    // False when there is nothing to do: no times, no entry, no hang-up,
    // nothing after the run.
    bool IsSet() const;
    // Repeats on some day (a start time, at least one day chosen).
    bool Repeats() const;
};
