// The dial-up manager (refusals, failures, observers, hang-up) and the
// dialing window (connected, busy lines dialled again, every other end of
// a call); with the scripted dial-up service.
#include <cstring>
#include "DialogUtil.h"
#include "ScriptedService.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/resource.h"
#include "schedule/DialManager.h"
#include "schedule/DialingDlg.h"

using namespace test;

namespace {

// Records the manager's calls, with whether it was busy at the time.
struct DialLog : DialManager::TargetI_ {
    explicit DialLog(const char* n) : name(n) {}
    void OnConnected() override { Add("connected"); }
    void OnDialStarted() override { Add("started"); }
    void OnDialFailed() override
    {
        Add("failed");
        if (dialAgainOnFailure)
            dialledAgain = GetDialManager().Dial("Office");
    }
    void Add(const char* what)
    {
        events.push_back(std::string(name) + ":" + what);
        busy.push_back(GetDialManager().IsBusy());
        if (shared)
            shared->push_back(std::string(name) + ":" + what);
    }
    const char* name;
    std::vector<std::string> events;
    std::vector<bool> busy;
    std::vector<std::string>* shared = nullptr;
    bool dialAgainOnFailure = false;
    bool dialledAgain = true;
};

// Registers a log with the manager for one test.
struct Registered {
    explicit Registered(DialLog& log) : m_log(log) { GetDialManager().AddTarget(&log); }
    ~Registered() { GetDialManager().RemoveTarget(&m_log); }
    DialLog& m_log;
};

HWND Dialing() { return CDialingDlg::GetCurrent(); }

CDialingDlg* DialingObject()
{
    return static_cast<CDialingDlg*>(CWnd::FromHandle(Dialing()));
}

// Sends the next scripted notification and lets the window handle it.
bool Play(FakeDialService& fake)
{
    if (!fake.PlayNext())
        return false;
    Pump(100);
    return true;
}

void Tick(HWND wnd, int times)
{
    for (int i = 0; i < times && ::IsWindow(wnd); ++i)
        ::SendMessageA(wnd, WM_TIMER, CDialingDlg::kTimerId, 0);
}

const DWORD kAuthFailed = 691;

} // namespace

TEST_CASE("dial-up manager: refusals start nothing and tell no one")
{
    struct {
        const char* name;
        const char* entry;
        int connectionsUp;
        bool overflow;
        bool callInProgress;
    } rows[] = {
        {"empty name", "", 0, false, false},
        {"one connection up", "Office", 1, false, false},
        {"three connections up", "Office", 3, false, false},
        {"too many connections to list", "Office", 0, true, false},
        {"a call in progress", "Office", 0, false, true},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        service.fake.m_entries = {"Office", "Home"};
        service.fake.m_calls.push_back({0, {}});
        for (int i = 0; i < row.connectionsUp; ++i)
            service.fake.AddForeignConnection();
        service.fake.m_bConnectionsOverflow = row.overflow;
        HWND first = nullptr;
        if (row.callInProgress) {
            REQUIRE(GetDialManager().Dial("Home"));
            first = Dialing();
        }
        DialLog log("a");
        Registered reg(log);
        const size_t dialled = service.fake.m_dialled.size();
        CHECK(!GetDialManager().Dial(row.entry));
        CHECK(log.events.empty());
        CHECK_EQ(service.fake.m_dialled.size(), dialled);
        CHECK(Dialing() == first);
        CHECK_EQ(GetDialManager().IsBusy(), row.callInProgress);
        CHECK(service.fake.m_hungUp.empty());
        if (row.callInProgress) {
            // The call in progress goes on untouched.
            CHECK(::IsWindow(first));
            CHECK_EQ(Text(first, IDC_DIAL_ENTRY), std::string("Home"));
            ::DestroyWindow(first);
            CHECK(!GetDialManager().IsBusy());
        }
    }
}

TEST_CASE("dial-up manager: a call that cannot start is reported failed before Dial returns")
{
    const std::string longName(257, 'x');
    const std::string longest(256, 'y');
    struct {
        const char* name;
        std::string entry;
        DWORD dialResult;
        bool started;
        size_t dials;
        size_t hangUps;
    } rows[] = {
        {"entry missing from the phone book", "Elsewhere", 0, false, 0, 0},
        {"257-character name", longName, 0, false, 0, 0},
        {"256-character name", longest, 0, true, 1, 0},
        {"the service refuses the dial", "Office", ERROR_PORT_NOT_AVAILABLE, false, 1, 1},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        service.fake.m_entries = {"Office", longest, longName};
        service.fake.m_calls.push_back({row.dialResult, {}});
        DialLog log("a");
        Registered reg(log);
        const bool started = GetDialManager().Dial(row.entry);
        CHECK_EQ(started, row.started);
        CHECK_EQ(service.fake.m_dialled.size(), row.dials);
        // A handle the service gave for a failed start is hung up.
        CHECK_EQ(service.fake.m_hungUp.size(), row.hangUps);
        if (row.started) {
            CHECK(log.events == (std::vector<std::string>{"a:started"}));
            CHECK(GetDialManager().IsBusy());
            CHECK(Dialing() != nullptr);
            ::DestroyWindow(Dialing());
        } else {
            CHECK(log.events == (std::vector<std::string>{"a:failed"}));
            CHECK(!GetDialManager().IsBusy());
            CHECK(Dialing() == nullptr);
            // The manager is idle again: the next call is accepted.
            service.fake.m_calls.push_back({0, {}});
            CHECK(GetDialManager().Dial("Office"));
            ::DestroyWindow(Dialing());
        }
        CHECK(!GetDialManager().IsBusy());
    }
}

TEST_CASE("dial-up manager: observers in order, the last takes a removed one's place")
{
    ScriptedService service;
    service.fake.m_entries = {"Office"};
    service.fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    service.fake.m_calls.push_back({0, {{RASCS_ConnectDevice, kAuthFailed}}});
    std::vector<std::string> order;
    DialLog a("a"), b("b"), c("c"), stranger("x");
    a.shared = b.shared = c.shared = &order;
    GetDialManager().AddTarget(&a);
    GetDialManager().AddTarget(&b);
    GetDialManager().AddTarget(&c);
    CHECK(GetDialManager().Dial("Office"));
    CHECK(order == (std::vector<std::string>{"a:started", "b:started", "c:started"}));

    GetDialManager().RemoveTarget(&stranger);
    CHECK_EQ(GetDialManager().GetTargetCount(), 3);
    GetDialManager().RemoveTarget(&a);
    REQUIRE(GetDialManager().GetTargetCount() == 2);
    CHECK(GetDialManager().GetTarget(0) == &c);
    CHECK(GetDialManager().GetTarget(1) == &b);

    // Connected: busy is clear when the observers hear of it.
    order.clear();
    CHECK(Play(service.fake));
    CHECK(order == (std::vector<std::string>{"c:connected", "b:connected"}));
    CHECK(c.busy.back() == false);
    CHECK(b.busy.back() == false);

    // Failed: still busy while they hear of it, so a new Dial is declined.
    service.fake.m_active.clear();
    c.dialAgainOnFailure = true;
    order.clear();
    CHECK(GetDialManager().Dial("Office"));
    CHECK(Play(service.fake));
    CHECK(order == (std::vector<std::string>{"c:started", "b:started", "c:failed", "b:failed"}));
    CHECK(c.busy.back() == true);
    CHECK(b.busy.back() == true);
    CHECK(!c.dialledAgain);
    CHECK(!GetDialManager().IsBusy());
    GetDialManager().RemoveTarget(&c);
    GetDialManager().RemoveTarget(&b);
    CHECK_EQ(GetDialManager().GetTargetCount(), 0);
}

TEST_CASE("dial-up manager: hang-up ends the first connection listed, whoever opened it")
{
    ScriptedService service;
    FakeDialService& fake = service.fake;
    CHECK(!GetDialManager().IsAnyConnectionActive());
    CHECK(!GetDialManager().HangUp());
    CHECK(fake.m_hungUp.empty());

    HRASCONN other = fake.AddForeignConnection();
    CHECK(GetDialManager().IsAnyConnectionActive());
    CHECK(GetDialManager().HangUp());
    CHECK(fake.m_hungUp == (std::vector<HRASCONN>{other}));
    CHECK(!GetDialManager().IsAnyConnectionActive());

    HRASCONN one = fake.AddForeignConnection();
    HRASCONN two = fake.AddForeignConnection();
    CHECK(GetDialManager().IsAnyConnectionActive());
    CHECK(GetDialManager().HangUp());
    CHECK(fake.m_hungUp.back() == one);
    CHECK(fake.m_active == (std::vector<HRASCONN>{two}));

    // Several connections beyond what the query can list still count.
    fake.m_bConnectionsOverflow = true;
    CHECK(GetDialManager().IsAnyConnectionActive());
}

TEST_CASE("dialing window: connected leaves the connection up and closes; the password is wiped")
{
    LoadTestSettings();
    ScriptedService service;
    FakeDialService& fake = service.fake;
    fake.m_entries = {"Office"};
    fake.m_calls.push_back({0, {{RASCS_OpenPort, 0}, {RASCS_AllDevicesConnected, 0}, {RASCS_Connected, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    REQUIRE(wnd != nullptr);
    CHECK(::IsWindowVisible(wnd));
    CHECK_EQ(Text(wnd, IDC_DIAL_ENTRY), std::string("Office"));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
    // The stored password went to the service and is gone from the window.
    REQUIRE(fake.m_passwordsDialled.size() == 1u);
    CHECK_EQ(fake.m_passwordsDialled[0], std::string("secret"));
    CHECK(fake.m_connBeforeDial[0] == nullptr);
    REQUIRE(fake.m_pLastParams != nullptr);
    const RASDIALPARAMSA zero{};
    CHECK(std::memcmp(fake.m_pLastParams, &zero, sizeof zero) == 0);

    CHECK(Play(fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
    CHECK(Play(fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    CHECK(Play(fake));
    CHECK(!::IsWindow(wnd));
    CHECK(Dialing() == nullptr);
    CHECK(log.events == (std::vector<std::string>{"a:started", "a:connected"}));
    CHECK_EQ(fake.m_active.size(), 1u);
    CHECK(fake.m_hungUp.empty());
    CHECK(!GetDialManager().IsBusy());
    // A late notification finds no window and is lost.
    CDialingDlg::DialCallback(WM_RASDIALEVENT, RASCS_Disconnected, 0);
    Pump(50);
    CHECK_EQ(log.events.size(), 2u);
}

TEST_CASE("dialing window: all devices connected with an error shows connecting and waits")
{
    LoadTestSettings();
    ScriptedService service;
    service.fake.m_entries = {"Office"};
    service.fake.m_calls.push_back({0, {{RASCS_AllDevicesConnected, kAuthFailed}, {RASCS_PortOpened, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    CHECK(Play(service.fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    // Another state without an error changes nothing.
    CHECK(Play(service.fake));
    CHECK(::IsWindow(wnd));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    CHECK(log.events == (std::vector<std::string>{"a:started"}));
}

TEST_CASE("dialing window: a busy line waits 18 ticks and dials again, as often as it stays busy")
{
    LoadTestSettings();
    ScriptedService service;
    FakeDialService& fake = service.fake;
    fake.m_entries = {"Office"};
    for (int i = 0; i < 3; ++i)
        fake.m_calls.push_back({0, {{RASCS_ConnectDevice, ERROR_LINE_BUSY}}});
    fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    // A tick with no busy line counts nothing.
    Tick(wnd, 30);
    CHECK_EQ(fake.m_dialled.size(), 1u);
    for (size_t busy = 1; busy <= 3; ++busy) {
        CHECK(Play(fake));
        CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("リダイヤル待機中"));
        CHECK_EQ(fake.m_hungUp.size(), busy);       // the busy call is hung up
        CHECK(DialingObject()->GetConnection() == nullptr);
        // Another timer's message is not a tick.
        ::SendMessageA(wnd, WM_TIMER, CDialingDlg::kTimerId + 1, 0);
        Tick(wnd, 17);
        CHECK_EQ(fake.m_dialled.size(), busy);
        CHECK_EQ(DialingObject()->GetRedialTicks(), 17);
        Tick(wnd, 1);
        CHECK_EQ(fake.m_dialled.size(), busy + 1);
        CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
        CHECK_EQ(DialingObject()->GetRedialTicks(), -1);
    }
    CHECK(Play(fake));
    CHECK(!::IsWindow(wnd));
    CHECK(log.events == (std::vector<std::string>{"a:started", "a:connected"}));
    // Every redial gave the service an empty place for the handle, with
    // the password filled in again.
    CHECK_EQ(fake.m_connBeforeDial.size(), 4u);
    for (HRASCONN conn : fake.m_connBeforeDial)
        CHECK(conn == nullptr);
    for (const std::string& password : fake.m_passwordsDialled)
        CHECK_EQ(password, std::string("secret"));
}

TEST_CASE("dialing window: every way a call ends without connecting hangs up and reports once")
{
    LoadTestSettings();
    enum End { Cancel, CloseBox, Disconnect, OtherError, RedialRefused, CancelInRedialWait };
    struct {
        const char* name;
        End end;
        size_t hangUps;     // RasHangUp calls in all
    } rows[] = {
        {"Cancel while dialling", Cancel, 1},
        {"the close box while dialling", CloseBox, 1},
        {"disconnected", Disconnect, 1},
        {"another error", OtherError, 1},
        {"a redial the service refuses", RedialRefused, 2},
        {"Cancel while waiting to redial", CancelInRedialWait, 1},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        FakeDialService& fake = service.fake;
        fake.m_entries = {"Office"};
        if (row.end == Disconnect)
            fake.m_calls.push_back({0, {{RASCS_Disconnected, 0}}});
        else if (row.end == OtherError)
            fake.m_calls.push_back({0, {{RASCS_Authenticate, kAuthFailed}}});
        else
            fake.m_calls.push_back({0, {{RASCS_ConnectDevice, ERROR_LINE_BUSY}}});
        fake.m_calls.push_back({ERROR_PORT_NOT_AVAILABLE, {}});
        DialLog log("a");
        Registered reg(log);
        REQUIRE(GetDialManager().Dial("Office"));
        HWND wnd = Dialing();
        const HRASCONN call = DialingObject()->GetConnection();
        switch (row.end) {
        case Cancel:
            Press(wnd, IDCANCEL);
            break;
        case CloseBox:
            ::SendMessageA(wnd, WM_CLOSE, 0, 0);
            break;
        case Disconnect:
        case OtherError:
            Play(fake);
            break;
        case RedialRefused:
            Play(fake);
            Tick(wnd, 18);
            break;
        case CancelInRedialWait:
            Play(fake);
            Press(wnd, IDCANCEL);
            break;
        }
        Pump(50);
        CHECK(!::IsWindow(wnd));
        CHECK(Dialing() == nullptr);
        CHECK(log.events == (std::vector<std::string>{"a:started", "a:failed"}));
        CHECK(!GetDialManager().IsBusy());
        CHECK_EQ(fake.m_hungUp.size(), row.hangUps);
        CHECK(!fake.m_hungUp.empty() && fake.m_hungUp[0] == call);
        // Enter does not give up a call.
        if (row.end == Cancel) {
            fake.m_calls.clear();
            fake.m_calls.push_back({0, {}});
            REQUIRE(GetDialManager().Dial("Office"));
            Press(Dialing(), IDOK);
            CHECK(Dialing() != nullptr);
        }
    }
}
