#include "RasDialService.h"
#include <cstring>

namespace {

// The records as Windows 95 laid them out.
struct EntryName95 {
    DWORD dwSize;
    CHAR szEntryName[RAS_MaxEntryName + 1];
};
struct Conn95 {
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[RAS_MaxEntryName + 1];
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
};
static_assert(sizeof(EntryName95) == RasDialService::kEntryNameSize, "RASENTRYNAME of Windows 95");
static_assert(sizeof(Conn95) == RasDialService::kConnSize, "RASCONN of Windows 95");

template <typename Fn>
void Load(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

RasDialService::RasDialService(const char* library)
    : m_pszLibrary(library)
{
}

RasDialService::RasDialService(const Api& api)
    : m_pszLibrary(nullptr), m_bLoaded(true), m_api(api)
{
}

const RasDialService::Api& RasDialService::Calls()
{
    if (!m_bLoaded) {
        m_bLoaded = true;
        // Kept loaded for the rest of the run: a call in progress calls back
        // into it.
        if (HMODULE module = ::LoadLibraryA(m_pszLibrary)) {
            Load(module, "RasEnumEntriesA", m_api.enumEntries);
            Load(module, "RasGetEntryDialParamsA", m_api.getEntryDialParams);
            Load(module, "RasDialA", m_api.dial);
            Load(module, "RasEnumConnectionsA", m_api.enumConnections);
            Load(module, "RasHangUpA", m_api.hangUp);
        }
    }
    return m_api;
}

bool RasDialService::EnumEntries(std::vector<std::string>& names)
{
    names.clear();
    const Api& api = Calls();
    if (!api.enumEntries)
        return false;
    // Twenty entries at first; a larger phone book gets the room it asks for.
    std::vector<EntryName95> buf(20);
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::memset(buf.data(), 0, buf.size() * sizeof(EntryName95));
        buf[0].dwSize = kEntryNameSize;
        DWORD cb = static_cast<DWORD>(buf.size() * sizeof(EntryName95));
        DWORD count = 0;
        const DWORD err = api.enumEntries(nullptr, nullptr,
            reinterpret_cast<RASENTRYNAMEA*>(buf.data()), &cb, &count);
        if (err == ERROR_BUFFER_TOO_SMALL && cb > buf.size() * sizeof(EntryName95)) {
            buf.resize(cb / sizeof(EntryName95) + 1);
            continue;
        }
        if (err != 0)
            return false;
        // Never more than were returned, nor more than the buffer holds.
        for (DWORD i = 0; i < count && i < buf.size(); ++i) {
            buf[i].szEntryName[RAS_MaxEntryName] = '\0';
            names.emplace_back(buf[i].szEntryName);
        }
        return true;
    }
    return false;
}

DWORD RasDialService::GetEntryDialParams(RASDIALPARAMSA& params)
{
    const Api& api = Calls();
    if (!api.getEntryDialParams)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    params.dwSize = kDialParamsSize;
    BOOL hasPassword = TRUE;
    return api.getEntryDialParams(nullptr, &params, &hasPassword);
}

DWORD RasDialService::Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn)
{
    // The service wants the place for the new handle empty.
    conn = nullptr;
    const Api& api = Calls();
    if (!api.dial)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    params.dwSize = kDialParamsSize;
    return api.dial(nullptr, nullptr, &params, 0, reinterpret_cast<LPVOID>(notifier), &conn);
}

DWORD RasDialService::EnumConnections(HRASCONN& first, DWORD& count)
{
    first = nullptr;
    count = 0;
    const Api& api = Calls();
    if (!api.enumConnections)
        return 0;
    std::vector<Conn95> buf(1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::memset(buf.data(), 0, buf.size() * sizeof(Conn95));
        buf[0].dwSize = kConnSize;
        DWORD cb = static_cast<DWORD>(buf.size() * sizeof(Conn95));
        DWORD n = 0;
        const DWORD err = api.enumConnections(reinterpret_cast<RASCONNA*>(buf.data()), &cb, &n);
        if (err == ERROR_BUFFER_TOO_SMALL) {
            // More than one connection is up: make room for all of them.
            const size_t need = cb / sizeof(Conn95) + 1;
            buf.resize(need > buf.size() ? need : buf.size() * 2);
            continue;
        }
        if (err != 0)
            return err;
        count = n;
        if (n > 0)
            first = buf[0].hrasconn;
        return 0;
    }
    // Still too small: several connections are up, which one is unknown.
    return ERROR_BUFFER_TOO_SMALL;
}

DWORD RasDialService::HangUp(HRASCONN conn)
{
    const Api& api = Calls();
    if (!api.hangUp)
        return ERROR_INVALID_HANDLE;
    return api.hangUp(conn);
}
