// The dial-up service: RASAPI32 as it answers here, and the scripted
// service the schedule tests use.
#include <cctype>
#include "Test.h"
#include "FakeDialService.h"
#include "schedule/RasDialService.h"

namespace {

struct Seen {
    DWORD threadId;
    UINT msg;
    RASCONNSTATE state;
    DWORD error;
};
std::vector<Seen> g_seen;

void WINAPI Record(UINT msg, RASCONNSTATE state, DWORD error)
{
    g_seen.push_back({::GetCurrentThreadId(), msg, state, error});
}

} // namespace

namespace {

// The names of the libraries this program imports at start.
std::vector<std::string> ImportedLibraries()
{
    auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; dir.VirtualAddress && desc->Name; ++desc) {
        std::string name = reinterpret_cast<const char*>(base + desc->Name);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
    }
    return names;
}

} // namespace

TEST_CASE("RASAPI32 is not imported: the program starts where it is missing")
{
    const std::vector<std::string> libs = ImportedLibraries();
    CHECK(!libs.empty());
    bool kernel = false;
    for (const std::string& lib : libs) {
        CHECK(lib.find("rasapi32") == std::string::npos);
        kernel = kernel || lib == "kernel32.dll";
    }
    CHECK(kernel);      // the table was read
}

TEST_CASE("RASAPI32: a system without dial-up entries answers with none")
{
    RasDialService ras;
    std::vector<std::string> names{"stale"};
    // Whether the query works or fails, it lists nothing stale.
    ras.EnumEntries(names);
    CHECK(names.empty());
    HRASCONN first = reinterpret_cast<HRASCONN>(1);
    DWORD count = 99;
    if (ras.EnumConnections(first, count) == 0) {
        CHECK_EQ(count, 0u);
        CHECK(first == nullptr);
    }
}

TEST_CASE("scripted service: a busy line, then a call that connects and is hung up")
{
    FakeDialService fake;
    fake.m_entries = {"Office", "Home"};
    fake.m_calls.push_back({0, {{RASCS_OpenPort, 0}, {RASCS_ConnectDevice, ERROR_LINE_BUSY}}});
    fake.m_calls.push_back({0, {{RASCS_AllDevicesConnected, 0}, {RASCS_Connected, 0}}});
    DialService::Set(&fake);
    DialService& service = DialService::Get();

    std::vector<std::string> names;
    CHECK(service.EnumEntries(names));
    CHECK(names == fake.m_entries);

    RASDIALPARAMSA params{};
    ::lstrcpyA(params.szEntryName, "Office");
    CHECK_EQ(service.GetEntryDialParams(params), 0u);
    HRASCONN busy = nullptr;
    g_seen.clear();
    CHECK_EQ(service.Dial(params, Record, busy), 0u);
    while (fake.PlayNext()) {
    }
    REQUIRE(g_seen.size() == 2u);
    CHECK(g_seen[1].threadId != ::GetCurrentThreadId());
    CHECK_EQ(g_seen[1].error, static_cast<DWORD>(ERROR_LINE_BUSY));
    CHECK_EQ(service.HangUp(busy), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HRASCONN conn = nullptr;
    g_seen.clear();
    CHECK_EQ(service.Dial(params, Record, conn), 0u);
    CHECK(conn != busy);
    CHECK(fake.PlayNext());
    HRASCONN first = nullptr;
    DWORD count = 9;
    service.EnumConnections(first, count);
    CHECK_EQ(count, 0u);                    // not up before it connects
    CHECK(fake.PlayNext());
    CHECK(!fake.PlayNext());
    REQUIRE(g_seen.size() == 2u);
    CHECK_EQ(g_seen[1].state, RASCS_Connected);
    service.EnumConnections(first, count);
    CHECK_EQ(count, 1u);
    CHECK(first == conn);
    CHECK_EQ(service.HangUp(conn), 0u);
    service.EnumConnections(first, count);
    CHECK_EQ(count, 0u);
    CHECK(fake.m_dialled == (std::vector<std::string>{"Office", "Office"}));
    DialService::Set(nullptr);
}

TEST_CASE("scripted service: unknown entries and failing calls")
{
    FakeDialService fake;
    fake.m_entries = {"Office"};
    fake.m_bEnumFails = true;
    fake.m_calls.push_back({ERROR_PORT_NOT_AVAILABLE, {}});
    DialService::Set(&fake);
    std::vector<std::string> names{"x"};
    CHECK(!DialService::Get().EnumEntries(names));
    CHECK(names.empty());
    RASDIALPARAMSA params{};
    ::lstrcpyA(params.szEntryName, "Elsewhere");
    CHECK_EQ(DialService::Get().GetEntryDialParams(params), static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    HRASCONN conn = nullptr;
    CHECK_EQ(DialService::Get().Dial(params, Record, conn), static_cast<DWORD>(ERROR_PORT_NOT_AVAILABLE));
    CHECK(conn != nullptr);                 // a handle even for a failed start
    CHECK(!fake.PlayNext());
    DialService::Set(nullptr);
}

// ---- RASAPI32 calls replaced at the platform edge: what the service asks
// of them and how it reads their answers.

namespace {

struct FakeRas {
    int entries = 0;            // phone-book entries
    int connections = 0;        // active connections
    bool enumFails = false;
    std::vector<DWORD> entrySizesSeen;
    std::vector<DWORD> connSizesSeen;
    std::vector<DWORD> connBuffersSeen;
    bool dialHandleWasNull = false;
    int hangUps = 0;
    HRASCONN hungUp = nullptr;
};
FakeRas g_ras;

DWORD APIENTRY FakeEnumEntries(LPCSTR, LPCSTR, LPRASENTRYNAMEA buf, LPDWORD cb, LPDWORD count)
{
    g_ras.entrySizesSeen.push_back(buf->dwSize);
    if (g_ras.enumFails)
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    const DWORD need = static_cast<DWORD>(g_ras.entries) * RasDialService::kEntryNameSize;
    *count = static_cast<DWORD>(g_ras.entries);
    if (*cb < need) {
        *cb = need;
        return ERROR_BUFFER_TOO_SMALL;
    }
    auto* bytes = reinterpret_cast<BYTE*>(buf);
    for (int i = 0; i < g_ras.entries; ++i) {
        char* name = reinterpret_cast<char*>(bytes + i * RasDialService::kEntryNameSize + sizeof(DWORD));
        ::wsprintfA(name, "Entry%02d", i + 1);
    }
    return 0;
}

DWORD APIENTRY FakeEnumConnections(LPRASCONNA buf, LPDWORD cb, LPDWORD count)
{
    g_ras.connSizesSeen.push_back(buf->dwSize);
    g_ras.connBuffersSeen.push_back(*cb);
    const DWORD need = static_cast<DWORD>(g_ras.connections) * RasDialService::kConnSize;
    *count = static_cast<DWORD>(g_ras.connections);
    if (*cb < need) {
        *cb = need;
        return ERROR_BUFFER_TOO_SMALL;
    }
    auto* bytes = reinterpret_cast<BYTE*>(buf);
    for (int i = 0; i < g_ras.connections; ++i) {
        // The handle sits after dwSize, aligned as the record lays it out.
        auto* handle = reinterpret_cast<HRASCONN*>(bytes + i * RasDialService::kConnSize + sizeof(void*));
        *handle = reinterpret_cast<HRASCONN>(static_cast<UINT_PTR>(0x500 + i));
    }
    return 0;
}

DWORD APIENTRY FakeDial(LPRASDIALEXTENSIONS, LPCSTR, LPRASDIALPARAMSA, DWORD, LPVOID, LPHRASCONN conn)
{
    g_ras.dialHandleWasNull = *conn == nullptr;
    *conn = reinterpret_cast<HRASCONN>(0x77);
    return 0;
}

DWORD APIENTRY FakeHangUp(HRASCONN conn)
{
    ++g_ras.hangUps;
    g_ras.hungUp = conn;
    return 0;
}

RasDialService::Api FakeApi()
{
    RasDialService::Api api{};
    api.enumEntries = FakeEnumEntries;
    api.enumConnections = FakeEnumConnections;
    api.dial = FakeDial;
    api.hangUp = FakeHangUp;
    return api;
}

} // namespace

TEST_CASE("RASAPI32 calls: every phone-book entry is listed, however many, never more")
{
    struct {
        int entries;
        bool fails;
        bool ok;
        size_t listed;
    } rows[] = {
        {0, false, true, 0},
        {1, false, true, 1},
        {20, false, true, 20},
        {21, false, true, 21},     // one more than the first buffer holds
        {45, false, true, 45},
        {3, true, false, 0},       // the query fails: nothing listed
    };
    for (const auto& row : rows) {
        g_ras = FakeRas();
        g_ras.entries = row.entries;
        g_ras.enumFails = row.fails;
        RasDialService ras(FakeApi());
        std::vector<std::string> names{"stale"};
        CHECK_EQ(ras.EnumEntries(names), row.ok);
        CHECK_EQ(names.size(), row.listed);
        if (row.listed > 0) {
            CHECK_EQ(names.front(), std::string("Entry01"));
            char last[16];
            ::wsprintfA(last, "Entry%02d", row.entries);
            CHECK_EQ(names.back(), std::string(last));
        }
        // Every query names the record size of Windows 95.
        for (DWORD size : g_ras.entrySizesSeen)
            CHECK_EQ(size, 264u);
    }
}

TEST_CASE("RASAPI32 calls: several active connections are all seen, the first is named")
{
    struct {
        int connections;
        DWORD count;
        bool first;
    } rows[] = {{0, 0, false}, {1, 1, true}, {2, 2, true}, {7, 7, true}};
    for (const auto& row : rows) {
        g_ras = FakeRas();
        g_ras.connections = row.connections;
        RasDialService ras(FakeApi());
        HRASCONN first = nullptr;
        DWORD count = 99;
        CHECK_EQ(ras.EnumConnections(first, count), 0u);
        CHECK_EQ(count, row.count);
        CHECK_EQ(first == reinterpret_cast<HRASCONN>(0x500), row.first);
        // The first query is for one record of the Windows 95 size.
        REQUIRE(!g_ras.connBuffersSeen.empty());
        CHECK_EQ(g_ras.connBuffersSeen[0], RasDialService::kConnSize);
        for (DWORD size : g_ras.connSizesSeen)
            CHECK_EQ(size, RasDialService::kConnSize);
    }
}

TEST_CASE("RASAPI32 calls: a dial gets an empty handle place; a missing library answers with nothing")
{
    g_ras = FakeRas();
    RasDialService ras(FakeApi());
    RASDIALPARAMSA params{};
    ::lstrcpyA(params.szEntryName, "Office");
    HRASCONN conn = reinterpret_cast<HRASCONN>(0x1234);   // left from an earlier call
    CHECK_EQ(ras.Dial(params, Record, conn), 0u);
    CHECK(g_ras.dialHandleWasNull);
    CHECK(conn == reinterpret_cast<HRASCONN>(0x77));
    CHECK_EQ(params.dwSize, RasDialService::kDialParamsSize);
    ras.HangUp(conn);
    CHECK_EQ(g_ras.hangUps, 1);
    CHECK(g_ras.hungUp == conn);

    // A call the table lacks counts as missing.
    CHECK(ras.GetEntryDialParams(params) != 0u);

    RasDialService missing("kestrin-no-such-ras.dll");
    std::vector<std::string> names{"stale"};
    CHECK(!missing.EnumEntries(names));
    CHECK(names.empty());
    HRASCONN first = reinterpret_cast<HRASCONN>(1);
    DWORD count = 5;
    CHECK_EQ(missing.EnumConnections(first, count), 0u);
    CHECK_EQ(count, 0u);
    CHECK(first == nullptr);
    CHECK(missing.GetEntryDialParams(params) != 0u);
    conn = nullptr;
    CHECK(missing.Dial(params, Record, conn) != 0u);
    CHECK(conn == nullptr);
    CHECK(missing.HangUp(reinterpret_cast<HRASCONN>(0x77)) != 0u);
}
