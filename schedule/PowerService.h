#pragma once
#include <windows.h>

// What the schedule asks of the machine's power: sleep or shut down after
// a run, wake for the next run of a repeating schedule, and stay awake
// while a run goes on. The system's own service unless a test set another.
class PowerService {
public:
    virtual ~PowerService() = default;

    // Each returns 0 when the system took the request, else its error code.
    virtual DWORD Sleep() = 0;
    virtual DWORD Shutdown() = 0;
    // Wakes the machine from sleep at `localSeconds` (Clock::Seconds);
    // false when the system cannot. A later call replaces the time.
    virtual bool SetWakeTime(long long localSeconds) = 0;
    virtual void CancelWake() = 0;
    // While on, the system does not fall asleep for being idle.
    virtual void KeepAwake(bool on) = 0;

    static PowerService& Get();
    static void Set(PowerService* service);
};
