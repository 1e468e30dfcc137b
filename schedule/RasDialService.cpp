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

} // namespace

bool RasDialService::EnumEntries(std::vector<std::string>& names)
{
    names.clear();
    // Twenty entries at first; a larger phone book gets the room it asks for.
    std::vector<EntryName95> buf(20);
    for (int attempt = 0; attempt < 3; ++attempt) {
        buf[0].dwSize = kEntryNameSize;
        DWORD cb = static_cast<DWORD>(buf.size() * sizeof(EntryName95));
        DWORD count = 0;
        const DWORD err = ::RasEnumEntriesA(nullptr, nullptr,
            reinterpret_cast<RASENTRYNAMEA*>(buf.data()), &cb, &count);
        if (err == ERROR_BUFFER_TOO_SMALL && cb > buf.size() * sizeof(EntryName95)) {
            buf.resize(cb / sizeof(EntryName95) + 1);
            continue;
        }
        if (err != 0)
            return false;
        for (DWORD i = 0; i < count && i < buf.size(); ++i)
            names.emplace_back(buf[i].szEntryName);
        return true;
    }
    return false;
}

DWORD RasDialService::GetEntryDialParams(RASDIALPARAMSA& params)
{
    params.dwSize = kDialParamsSize;
    BOOL hasPassword = TRUE;
    return ::RasGetEntryDialParamsA(nullptr, &params, &hasPassword);
}

DWORD RasDialService::Dial(RASDIALPARAMSA& params, Notifier notifier, HRASCONN& conn)
{
    params.dwSize = kDialParamsSize;
    return ::RasDialA(nullptr, nullptr, &params, 0, reinterpret_cast<LPVOID>(notifier), &conn);
}

DWORD RasDialService::EnumConnections(HRASCONN& first, DWORD& count)
{
    first = nullptr;
    count = 0;
    std::vector<Conn95> buf(1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        buf[0].dwSize = kConnSize;
        DWORD cb = static_cast<DWORD>(buf.size() * sizeof(Conn95));
        DWORD n = 0;
        const DWORD err = ::RasEnumConnectionsA(reinterpret_cast<RASCONNA*>(buf.data()), &cb, &n);
        if (err == ERROR_BUFFER_TOO_SMALL && cb > buf.size() * sizeof(Conn95)) {
            // More than one connection is up: make room for all of them.
            buf.resize(cb / sizeof(Conn95) + 1);
            continue;
        }
        if (err != 0)
            return err;
        count = n;
        if (n > 0)
            first = buf[0].hrasconn;
        return 0;
    }
    return ERROR_BUFFER_TOO_SMALL;
}

DWORD RasDialService::HangUp(HRASCONN conn)
{
    return ::RasHangUpA(conn);
}
