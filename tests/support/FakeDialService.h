#pragma once
// A dial-up service that plays a script, for tests: phone-book entries,
// calls that connect, find the line busy or fail, and hang-ups. Progress
// notifications come from another thread, as the real service sends them.
#include <deque>
#include <string>
#include <vector>
#include "schedule/DialService.h"

class FakeDialService : public DialService {
public:
    struct Event {
        RASCONNSTATE state;
        DWORD error;
    };
    // What one Dial does: its result, then the notifications it sends.
    struct Call {
        DWORD result = 0;
        std::vector<Event> events;
    };

    FakeDialService();
    ~FakeDialService() override;

    bool EnumEntries(std::vector<std::string>& names) override;
    DWORD GetEntryDialParams(RASDIALPARAMSA& params) override;
    DWORD Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn) override;
    DWORD EnumConnections(HRASCONN& first, DWORD& count) override;
    DWORD HangUp(HRASCONN conn) override;

    // Sends the next notification of the current call from a thread of
    // its own and waits until the notifier has returned. False when the
    // call has none left.
    bool PlayNext();

    // Sends every notification left of the current call, each from a
    // thread of its own; the number sent.
    int PlayAll();
    // Brings up a connection the program did not dial (another program's).
    HRASCONN AddForeignConnection();

    // The script
    std::vector<std::string> m_entries;
    bool m_bEnumFails = false;
    // The connection query answers that its buffer is too small.
    bool m_bConnectionsOverflow = false;
    std::deque<Call> m_calls;
    // What happened
    std::vector<std::string> m_dialled;
    std::vector<std::string> m_passwordsDialled;   // the password each Dial got
    std::vector<HRASCONN> m_connBeforeDial;        // the handle each Dial found
    RASDIALPARAMSA* m_pLastParams = nullptr;       // where the last Dial's parameters were
    std::vector<HRASCONN> m_active;     // connections that are up
    std::vector<HRASCONN> m_hungUp;
    int m_nConnectionQueries = 0;

private:
    static DWORD WINAPI NotifyThread(void* self);

    CRITICAL_SECTION m_lock;
    Notifier m_notifier = nullptr;
    HRASCONN m_current = nullptr;
    std::deque<Event> m_pending;
    Event m_sending{};
    UINT_PTR m_nextHandle = 0x100;
};
