#include "FakeDialService.h"
#include <algorithm>

FakeDialService::FakeDialService()
{
    ::InitializeCriticalSection(&m_lock);
}

FakeDialService::~FakeDialService()
{
    ::DeleteCriticalSection(&m_lock);
}

bool FakeDialService::EnumEntries(std::vector<std::string>& names)
{
    names.clear();
    if (m_bEnumFails)
        return false;
    names = m_entries;
    return true;
}

DWORD FakeDialService::GetEntryDialParams(RASDIALPARAMSA& params)
{
    const std::string name = params.szEntryName;
    if (std::find(m_entries.begin(), m_entries.end(), name) == m_entries.end())
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    ::lstrcpyA(params.szUserName, "user");
    ::lstrcpyA(params.szPassword, "secret");
    return 0;
}

DWORD FakeDialService::Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn)
{
    m_dialled.push_back(params.szEntryName);
    m_passwordsDialled.push_back(params.szPassword);
    m_connBeforeDial.push_back(conn);
    m_pLastParams = &params;
    Call call;
    if (!m_calls.empty()) {
        call = m_calls.front();
        m_calls.pop_front();
    }
    // The service hands out a handle even for a call that fails to start.
    conn = reinterpret_cast<HRASCONN>(m_nextHandle++);
    ::EnterCriticalSection(&m_lock);
    m_notifier = notifier;
    m_current = conn;
    m_pending.assign(call.events.begin(), call.events.end());
    ::LeaveCriticalSection(&m_lock);
    return call.result;
}

DWORD FakeDialService::EnumConnections(HRASCONN& first, DWORD& count)
{
    ++m_nConnectionQueries;
    if (m_bConnectionsOverflow) {
        first = nullptr;
        count = 0;
        return ERROR_BUFFER_TOO_SMALL;
    }
    count = static_cast<DWORD>(m_active.size());
    first = m_active.empty() ? nullptr : m_active.front();
    return 0;
}

DWORD FakeDialService::HangUp(HRASCONN conn)
{
    m_hungUp.push_back(conn);
    auto it = std::find(m_active.begin(), m_active.end(), conn);
    if (it == m_active.end())
        return ERROR_INVALID_HANDLE;
    m_active.erase(it);
    return 0;
}

bool FakeDialService::PlayNext()
{
    ::EnterCriticalSection(&m_lock);
    const bool any = !m_pending.empty() && m_notifier;
    if (any) {
        m_sending = m_pending.front();
        m_pending.pop_front();
        if (m_sending.state == RASCS_Connected)
            m_active.push_back(m_current);
    }
    ::LeaveCriticalSection(&m_lock);
    if (!any)
        return false;
    HANDLE thread = ::CreateThread(nullptr, 0, NotifyThread, this, 0, nullptr);
    ::WaitForSingleObject(thread, 5000);
    ::CloseHandle(thread);
    return true;
}

DWORD WINAPI FakeDialService::NotifyThread(void* self)
{
    auto* fake = static_cast<FakeDialService*>(self);
    fake->m_notifier(WM_RASDIALEVENT, fake->m_sending.state, fake->m_sending.error);
    return 0;
}

int FakeDialService::PlayAll()
{
    int n = 0;
    while (PlayNext())
        ++n;
    return n;
}

HRASCONN FakeDialService::AddForeignConnection()
{
    HRASCONN conn = reinterpret_cast<HRASCONN>(m_nextHandle++);
    m_active.push_back(conn);
    return conn;
}
