#pragma once
// A power service that plays a script, for tests: it records what the
// program asked of the machine and answers with the results it was given;
// the machine itself is never touched.
#include <string>
#include <vector>
#include "schedule/PowerService.h"

class FakePowerService : public PowerService {
public:
    // Becomes the service in use until destroyed.
    FakePowerService();
    ~FakePowerService() override;

    DWORD Sleep() override;
    DWORD Shutdown() override;
    bool SetWakeTime(long long localSeconds) override;
    void CancelWake() override;
    void KeepAwake(bool on) override;

    // The script: what Sleep and Shutdown answer.
    DWORD m_sleepResult = 0;
    DWORD m_shutdownResult = 0;
    // What happened, in order: "sleep", "shutdown".
    std::vector<std::string> m_calls;
    long long m_wakeAt = 0;         // 0: no wake set
    bool m_bAwake = false;          // kept awake now
    int m_nAwakeRequests = 0;       // times KeepAwake(true) came
};
