#pragma once
#include "PowerService.h"

// The machine's power through the system: SetSuspendState from
// powrprof.dll (loaded when first needed; where it is missing, sleep is
// refused), ExitWindowsEx, each with the shutdown privilege enabled first,
// a waitable timer that resumes the system, and the thread's execution
// state.
class SystemPowerService : public PowerService {
public:
    // The calls that change the machine's state.
    struct Api {
        BOOLEAN (WINAPI* setSuspendState)(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled);
        BOOL (WINAPI* exitWindowsEx)(UINT flags, DWORD reason);
    };

    SystemPowerService();
    // The given calls (a null call counts as missing), for tests.
    explicit SystemPowerService(const Api& api);
    ~SystemPowerService() override;
    SystemPowerService(const SystemPowerService&) = delete;
    SystemPowerService& operator=(const SystemPowerService&) = delete;

    DWORD Sleep() override;
    DWORD Shutdown() override;
    bool SetWakeTime(long long localSeconds) override;
    void CancelWake() override;
    void KeepAwake(bool on) override;

    // Enables the shutdown privilege in the process's token; 0 or the
    // system's error (ERROR_NOT_ALL_ASSIGNED when the user may not).
    static DWORD EnableShutdownPrivilege();

private:
    const Api& Calls();

    bool m_bLoaded = false;
    Api m_api{};
    HMODULE m_hPowrProf = nullptr;
    HANDLE m_hWakeTimer = nullptr;
};
