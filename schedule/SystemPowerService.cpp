#include "SystemPowerService.h"

namespace {

// The planned shutdown of an application (SHTDN_REASON_MAJOR_APPLICATION |
// SHTDN_REASON_MINOR_MAINTENANCE | SHTDN_REASON_FLAG_PLANNED).
const DWORD kShutdownReason = 0x00040000 | 0x00000001 | 0x80000000;

BOOL WINAPI ExitWindowsCall(UINT flags, DWORD reason)
{
    return ::ExitWindowsEx(flags, reason);
}

} // namespace

SystemPowerService::SystemPowerService()
{
    m_api.exitWindowsEx = ExitWindowsCall;
}

SystemPowerService::SystemPowerService(const Api& api)
    : m_bLoaded(true), m_api(api)
{
}

SystemPowerService::~SystemPowerService()
{
    CancelWake();
    if (m_hPowrProf)
        ::FreeLibrary(m_hPowrProf);
}

const SystemPowerService::Api& SystemPowerService::Calls()
{
    if (!m_bLoaded) {
        m_bLoaded = true;
        m_hPowrProf = ::LoadLibraryA("powrprof.dll");
        if (m_hPowrProf) {
            FARPROC proc = ::GetProcAddress(m_hPowrProf, "SetSuspendState");
            // The library's own signature; its address is taken as it is.
            m_api.setSuspendState = reinterpret_cast<decltype(m_api.setSuspendState)>(
                reinterpret_cast<void*>(proc));
        }
    }
    return m_api;
}

DWORD SystemPowerService::EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return ::GetLastError();
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD error = 0;
    if (!::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        error = ::GetLastError();
    } else {
        // Succeeds even when the privilege is not the user's; the last
        // error tells.
        ::SetLastError(0);
        if (!::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
            error = ::GetLastError();
        else
            error = ::GetLastError() == ERROR_NOT_ALL_ASSIGNED ? ERROR_NOT_ALL_ASSIGNED : 0;
    }
    ::CloseHandle(token);
    return error;
}

DWORD SystemPowerService::Sleep()
{
    const Api& api = Calls();
    if (!api.setSuspendState)
        return ERROR_PROC_NOT_FOUND;
    if (const DWORD error = EnableShutdownPrivilege())
        return error;
    ::SetLastError(0);
    if (api.setSuspendState(FALSE, FALSE, FALSE))
        return 0;
    const DWORD error = ::GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

DWORD SystemPowerService::Shutdown()
{
    const Api& api = Calls();
    if (!api.exitWindowsEx)
        return ERROR_PROC_NOT_FOUND;
    if (const DWORD error = EnableShutdownPrivilege())
        return error;
    ::SetLastError(0);
    // Programs are asked, not forced: one that holds unsaved work may say no.
    if (api.exitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, kShutdownReason))
        return 0;
    const DWORD error = ::GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

bool SystemPowerService::SetWakeTime(long long localSeconds)
{
    if (!m_hWakeTimer)
        m_hWakeTimer = ::CreateWaitableTimerA(nullptr, TRUE, nullptr);
    if (!m_hWakeTimer)
        return false;
    // The timer takes a time of the system's clock (UTC).
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<unsigned long long>(localSeconds) * 10000000ULL;
    const FILETIME local{ticks.LowPart, ticks.HighPart};
    FILETIME utc{};
    if (!::LocalFileTimeToFileTime(&local, &utc))
        return false;
    LARGE_INTEGER due;
    due.LowPart = utc.dwLowDateTime;
    due.HighPart = static_cast<LONG>(utc.dwHighDateTime);
    ::SetLastError(0);
    if (!::SetWaitableTimer(m_hWakeTimer, &due, 0, nullptr, nullptr, TRUE))
        return false;
    // Set, but the machine cannot be woken by it.
    return ::GetLastError() != ERROR_NOT_SUPPORTED;
}

void SystemPowerService::CancelWake()
{
    if (m_hWakeTimer) {
        ::CancelWaitableTimer(m_hWakeTimer);
        ::CloseHandle(m_hWakeTimer);
        m_hWakeTimer = nullptr;
    }
}

void SystemPowerService::KeepAwake(bool on)
{
    ::SetThreadExecutionState(ES_CONTINUOUS | (on ? ES_SYSTEM_REQUIRED : 0));
}
