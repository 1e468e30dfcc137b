#pragma once
#include <string>
#include "TimerSchedule.h"

class PowerService;

// What the machine does when a run is over, and what the user is told of
// it: the countdown before it, and a refusal by the system.
class AfterRun {
public:
    // The countdown gives the user this long to stop it.
    static constexpr int kCountdownSeconds = 60;

    // "60 秒後にスリープします。"; empty for no action.
    static std::string CountdownText(AfterRunAction action, long long secondsLeft);
    // Asks `power` to sleep or shut down the machine; what the status bar
    // is to say when the system refused, else empty. Closing Kestrin and
    // doing nothing are no business of the power service: empty.
    static std::string Perform(AfterRunAction action, PowerService& power);
    // The name of a choice as the timer settings list it.
    static std::string Name(AfterRunAction action);
};
