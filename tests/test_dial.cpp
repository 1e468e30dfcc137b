// The dial-up service: RASAPI32 as it answers here, and the scripted
// service the schedule tests use.
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
