#pragma once
#include <windows.h>
#include <ras.h>
#include <raserror.h>
#include <string>
#include <vector>

// The dial-up operations the schedule needs from the system. RASAPI32 is
// behind the real one; tests put a scripted one in its place.
// Posted to the dialing window with a call's progress (state, error).
// The program's own message, in place of the system's of the same name.
#undef WM_RASDIALEVENT
#define WM_RASDIALEVENT (WM_USER + 272)

class DialService {
public:
    // Called on a thread of the service with the connection state and an
    // error code (0 for none) of a call in progress.
    using Notifier = void (WINAPI*)(UINT msg, RASCONNSTATE state, DWORD error);

    virtual ~DialService() = default;

    // The phone-book entry names; false when the query failed.
    virtual bool EnumEntries(std::vector<std::string>& names) = 0;
    // Fills the stored user name, password and domain of params.szEntryName.
    virtual DWORD GetEntryDialParams(RASDIALPARAMSA& params) = 0;
    // Starts a call; `conn` receives its handle, even when it fails.
    virtual DWORD Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn) = 0;
    // The active connections: their number, and the handle of the first.
    virtual DWORD EnumConnections(HRASCONN& first, DWORD& count) = 0;
    virtual DWORD HangUp(HRASCONN conn) = 0;

    // The service in use (RASAPI32 unless a test set another).
    static DialService& Get();
    static void Set(DialService* service);
};
