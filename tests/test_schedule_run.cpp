// Unattended runs in the real main window: the countdown window through
// its states with a settable clock and the scripted dial-up service, the
// batch download it starts against the tests' HTTP server, the timer
// settings command, and a run on the system's own dial-up service.
#include <cstdlib>
#include <cstring>
#include "Test.h"
#include "EngineUtil.h"
#include "FakeClock.h"
#include "FakeDialService.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "engine/DownloadParentDlg.h"
#include "framework/FrameWnd.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "schedule/DialManager.h"
#include "schedule/DialingDlg.h"
#include "schedule/TimerDlg.h"
#include "schedule/TimerDlgList.h"
#include "schedule/TimerSchedule.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

CTimerDlg* Timer() { return TimerDlgList::GetCount() > 0 ? TimerDlgList::Get(0) : nullptr; }
HWND TimerWnd() { return Timer() ? Timer()->GetSafeHwnd() : nullptr; }

std::string Text(HWND wnd, int id)
{
    char text[512] = "";
    ::GetDlgItemTextA(wnd, id, text, sizeof text);
    return text;
}

std::string Shown(int id) { return Text(TimerWnd(), id); }

bool Enabled(UINT id)
{
    auto* frame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd());
    return frame->IsCommandEnabled(id);
}

// One tick of the countdown window's timer.
void Tick()
{
    if (HWND wnd = TimerWnd())
        ::SendMessageA(wnd, WM_TIMER, CTimerDlg::kTimerId, 0);
}

bool WaitTimerClosed(DWORD ms = 30000)
{
    return PumpUntil([] { return TimerDlgList::GetCount() == 0; }, ms);
}

bool WaitBatchEnd(DWORD ms = 30000)
{
    return PumpUntil([] {
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Doc()->GetProgressDialog()->GetChildCount() == 0;
    }, ms);
}

TimeOfDay At(int hour, int minute)
{
    return {static_cast<unsigned char>(hour), static_cast<unsigned char>(minute)};
}

TimerSchedule Schedule(TimeOfDay start, TimeOfDay end, const char* entry, int hangUp)
{
    TimerSchedule s;
    s.start = start;
    s.end = end;
    s.entryName = entry;
    s.hangUpWhenDone = hangUp;
    return s;
}

std::string Label(TimerState state)
{
    switch (state) {
    case TimerState::WaitDial: return Ansi("ダイヤル待機中");
    case TimerState::Downloading: return Ansi("ダウンロード中");
    case TimerState::WaitHangUp: return Ansi("切断待機中");
    case TimerState::Dialing: return Ansi("ダイヤル中");
    case TimerState::WaitDownload: return Ansi("ダウンロード待機中");
    case TimerState::WaitRepeat: return Ansi("次回の実行を待機中");
    case TimerState::Idle: break;
    }
    return "";
}

// Saves a picture of `wnd` as KESTRIN_SHOT_DIR/name.bmp when that folder
// is given (for looking at the windows; no test depends on it).
void SaveShot(HWND wnd, const char* name)
{
    const char* dir = std::getenv("KESTRIN_SHOT_DIR");
    if (!dir || !wnd)
        return;
    ::ShowWindow(wnd, SW_SHOWNA);
    ::SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Pump(300);
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((w * 3 + 3) & ~3);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + stride * h;
    std::string data(reinterpret_cast<const char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    data.append(static_cast<const char*>(bits), stride * h);
    std::string path = std::string("Z:") + dir + "/" + name + ".bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    WriteFileBytes(path, data);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
}

// The program started with an empty registry in a folder of its own, a
// clock at 21:07 and the scripted dial-up service with entry "Office".
struct Session {
    Session()
        : clock(21, 7)
    {
        fake.m_entries = {"Office", "Home"};
        DialService::Set(&fake);
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
        ok = StartApp();
    }
    ~Session()
    {
        if (HWND dialing = CDialingDlg::GetCurrent())
            ::DestroyWindow(dialing);
        if (AfxGetMainWndHandle())
            CloseApp();
        ::SetCurrentDirectoryA("C:\\");
        DialService::Set(nullptr);
    }
    void AddQuick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            Doc()->AddURL(HttpUrl("/bytes/" + std::to_string(1000 + i) + "/q" + std::to_string(i) + ".bin" + Unique()).c_str());
    }
    void AddSlow(int ms = 2500)
    {
        Doc()->AddURL(HttpUrl("/slow/20000/" + std::to_string(ms) + "/slow.bin" + Unique()).c_str());
    }
    FakeClock clock;
    FakeDialService fake;
    TempDir dir;
    bool ok = false;
};

} // namespace

TEST_CASE("countdown: the opening follows the schedule; times, entry and state are shown")
{
    enum Items { None, Slow };
    struct {
        const char* name;
        TimerSchedule schedule;
        Items items;
        bool connectionUp;
        bool staysOpen;
        TimerState state;
        size_t dials;
        size_t hangUps;
        const char* shot;
    } rows[] = {
        {"start set, no entry", Schedule(At(9, 5), TimeOfDay::Unset, "", 0), None, false, true,
         TimerState::WaitDownload, 0, 0, nullptr},
        {"start set, an entry", Schedule(At(9, 5), At(17, 30), "Office", 1), None, false, true,
         TimerState::WaitDial, 0, 0, "countdown-waiting"},
        {"start now, an entry", Schedule(TimeOfDay::Unset, At(5, 0), "Office", 1), None, false, true,
         TimerState::Dialing, 1, 0, "dialing"},
        {"start now, no entry", Schedule(TimeOfDay::Unset, At(5, 0), "", 1), Slow, false, true,
         TimerState::Downloading, 0, 0, "countdown-downloading"},
        {"start now, an entry while a connection is up", Schedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 0),
         Slow, true, true, TimerState::Downloading, 0, 0, nullptr},
        {"nothing to download, hang up when done", Schedule(TimeOfDay::Unset, At(5, 0), "", 1), None, true, false,
         TimerState::Idle, 0, 1, nullptr},
        {"nothing to download, no end time", Schedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 0), None, true,
         false, TimerState::Idle, 0, 0, nullptr},
        {"nothing to download, an end time", Schedule(TimeOfDay::Unset, At(5, 0), "", 0), None, false, true,
         TimerState::WaitHangUp, 0, 0, nullptr},
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        // Dial-up is loaded when first needed, not at start.
        CHECK(::GetModuleHandleA("rasapi32.dll") == nullptr);
        session.fake.m_calls.push_back({0, {}});
        if (row.connectionUp)
            session.fake.AddForeignConnection();
        if (row.items == Slow)
            session.AddSlow();
        CHECK(Enabled(ID_TIMER_SETTINGS));
        REQUIRE(TimerDlgList::Start(Doc(), row.schedule));
        // One window per document.
        CHECK(!TimerDlgList::Start(Doc(), row.schedule));
        CHECK_EQ(TimerDlgList::GetCount(), 1);
        CHECK(!Enabled(ID_TIMER_SETTINGS));
        REQUIRE(Timer());
        CHECK(::IsWindowVisible(TimerWnd()));
        CHECK(::GetForegroundWindow() != TimerWnd());   // shown without taking the focus
        CHECK(Timer()->GetState() == row.state);
        CHECK_EQ(Shown(IDC_TIMER_STATE), Label(row.state));
        CHECK_EQ(Shown(IDC_TIMER_NOW), std::string(" 21 : 7"));
        CHECK_EQ(Shown(IDC_TIMER_START), row.schedule.start.IsUnset() ? std::string(" -- : --") : std::string(" 9 : 5"));
        CHECK_EQ(Shown(IDC_TIMER_END), row.schedule.end.Format());
        CHECK_EQ(Shown(IDC_TIMER_ENTRY), row.schedule.entryName);
        CHECK_EQ(::IsDlgButtonChecked(TimerWnd(), IDC_HANG_UP_WHEN_DONE) == BST_CHECKED,
                 row.schedule.hangUpWhenDone != 0);
        CHECK_EQ(session.fake.m_dialled.size(), row.dials);
        CHECK_EQ(session.fake.m_hungUp.size(), row.hangUps);
        if (row.state == TimerState::Dialing)
            CHECK(CDialingDlg::GetCurrent() != nullptr);
        if (row.shot) {
            SaveShot(TimerWnd(), row.shot);
            if (row.state == TimerState::Dialing)
                SaveShot(CDialingDlg::GetCurrent(), "dialing-window");
        }
        Pump(200);
        CHECK_EQ(TimerDlgList::GetCount() == 1, row.staysOpen);
        if (TimerWnd())
            ::SendMessageA(TimerWnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        CHECK_EQ(TimerDlgList::GetCount(), 0);
        CHECK(Enabled(ID_TIMER_SETTINGS));
        CHECK(WaitBatchEnd());
    }
}

TEST_CASE("countdown: the start is due from its minute up to 29 minutes later, across midnight")
{
    struct {
        int startHour, startMinute, nowHour, nowMinute;
        bool due;
    } rows[] = {
        {10, 0, 10, 0, true}, {10, 0, 10, 29, true}, {10, 0, 10, 30, false}, {10, 0, 9, 59, false},
        {23, 50, 0, 5, true}, {23, 45, 0, 14, true}, {23, 45, 0, 15, false}, {0, 10, 23, 50, false},
    };
    Session session;
    REQUIRE(session.ok);
    session.AddQuick();
    for (const auto& row : rows) {
        for (const char* entry : {"", "Office"}) {
            session.fake.m_calls.clear();
            session.fake.m_calls.push_back({0, {}});
            session.fake.m_dialled.clear();
            session.fake.m_hungUp.clear();
            session.clock.SetTime(row.startHour == 0 ? 23 : 8, 0);
            REQUIRE(TimerDlgList::Start(Doc(), Schedule(At(row.startHour, row.startMinute), TimeOfDay::Unset, entry, 0)));
            const TimerState waiting = *entry ? TimerState::WaitDial : TimerState::WaitDownload;
            CHECK(Timer()->GetState() == waiting);
            session.clock.SetTime(row.nowHour, row.nowMinute);
            Tick();
            char now[16];
            ::wsprintfA(now, " %d : %d", row.nowHour, row.nowMinute);
            CHECK_EQ(Shown(IDC_TIMER_NOW), std::string(now));
            if (!row.due) {
                CHECK(Timer()->GetState() == waiting);
                CHECK(session.fake.m_dialled.empty());
                CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
            } else if (*entry) {
                CHECK(Timer()->GetState() == TimerState::Dialing);
                CHECK(session.fake.m_dialled == (std::vector<std::string>{"Office"}));
                ::DestroyWindow(CDialingDlg::GetCurrent());     // cancelled: downloads anyway
                CHECK(Timer()->GetState() == TimerState::Downloading);
            } else {
                CHECK(Timer()->GetState() == TimerState::Downloading);
                CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_DOWNLOAD));
            }
            if (row.due) {
                // No end time, no hang-up: the window closes with the batch.
                CHECK(WaitTimerClosed());
                // Only the cancelled call was hung up.
                CHECK_EQ(session.fake.m_hungUp.size(), *entry ? 1u : 0u);
            } else {
                ::SendMessageA(TimerWnd(), WM_CLOSE, 0, 0);
            }
            CHECK(WaitBatchEnd());
            CHECK_EQ(TimerDlgList::GetCount(), 0);
        }
    }
}

TEST_CASE("countdown: an end time earlier than the start is reached the next day")
{
    Session session;
    REQUIRE(session.ok);
    session.AddQuick(2);
    HRASCONN conn = session.fake.AddForeignConnection();
    session.clock.SetTime(21, 59);
    REQUIRE(TimerDlgList::Start(Doc(), Schedule(At(22, 0), At(1, 0), "", 0)));
    Tick();
    CHECK(Timer()->GetState() == TimerState::WaitDownload);
    session.clock.SetTime(22, 0);
    Tick();
    CHECK(Timer()->GetState() == TimerState::Downloading);
    CHECK(WaitBatchEnd());
    CHECK(Timer()->GetState() == TimerState::WaitHangUp);
    CHECK_EQ(Shown(IDC_TIMER_STATE), Ansi("切断待機中"));
    const int waits[][2] = {{22, 1}, {23, 59}, {0, 0}, {0, 59}};
    for (const auto& at : waits) {
        session.clock.SetTime(at[0], at[1]);
        Tick();
        CHECK(Timer()->GetState() == TimerState::WaitHangUp);
    }
    CHECK(session.fake.m_hungUp.empty());
    session.clock.SetTime(1, 0);
    Tick();
    CHECK(session.fake.m_hungUp == (std::vector<HRASCONN>{conn}));
    CHECK(WaitTimerClosed());
    for (int i = 0; i < 2; ++i)
        CHECK_EQ(Doc()->GetListView()->GetListCtrl().GetItemText(i, 1), Ansi("完了"));
}

TEST_CASE("countdown: the end time is not watched while dialling; reached during the download it hangs up and stops it")
{
    struct {
        const char* name;
        int connectedAt;     // minutes after 21:07 when the call connects
        bool hangsUp;        // at the first tick of the download
    } rows[] = {
        {"connected at once", 0, true},
        {"connected 29 minutes after the end time", 29, true},
        {"connected 30 minutes after the end time", 30, false},
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddSlow(3000);
        session.fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
        // The end time is now: due at every tick while the call is set up.
        REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, At(21, 7), "Office", 0)));
        CHECK(Timer()->GetState() == TimerState::Dialing);
        Tick();
        Tick();
        CHECK(Timer()->GetState() == TimerState::Dialing);
        CHECK(session.fake.m_hungUp.empty());
        session.clock.Advance(row.connectedAt);
        CHECK(session.fake.PlayNext());
        CHECK(PumpUntil([] { return Timer()->GetState() == TimerState::Downloading; }, 5000));
        REQUIRE(session.fake.m_active.size() == 1u);
        const HRASCONN dialled = session.fake.m_active[0];
        Tick();
        if (row.hangsUp) {
            // The end time wins: the transfer stops with the line, its
            // item cancelled for that reason, and the window closes.
            CHECK(session.fake.m_hungUp == (std::vector<HRASCONN>{dialled}));
            CHECK_EQ(Doc()->GetListView()->GetListCtrl().GetItemText(0, 1), Ansi("ｷｬﾝｾﾙ"));
            CHECK_EQ(Doc()->GetItem(0)->m_strFailure, Ansi("切断時刻になりました"));
            CHECK(WaitBatchEnd(5000));
            CHECK(WaitTimerClosed(2000));
        } else {
            CHECK(session.fake.m_hungUp.empty());
            CHECK(Timer()->GetState() == TimerState::Downloading);
            CHECK(WaitBatchEnd());
            CHECK_EQ(Doc()->GetListView()->GetListCtrl().GetItemText(0, 1), Ansi("完了"));
        }
    }
}

TEST_CASE("countdown: a call that fails or is cancelled still starts the downloads")
{
    struct {
        const char* name;
        FakeDialService::Call call;
        bool cancel;
    } rows[] = {
        {"an error", {0, {{RASCS_Authenticate, 691}}}, false},
        {"disconnected", {0, {{RASCS_Disconnected, 0}}}, false},
        {"cancelled by the user", {0, {}}, true},
        {"busy, then cancelled in the redial wait", {0, {{RASCS_ConnectDevice, ERROR_LINE_BUSY}}}, true},
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddQuick();
        session.fake.m_calls.push_back(row.call);
        REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
        CHECK(Timer()->GetState() == TimerState::Dialing);
        session.fake.PlayAll();
        Pump(100);
        if (row.cancel) {
            REQUIRE(CDialingDlg::GetCurrent() != nullptr);
            ::SendMessageA(CDialingDlg::GetCurrent(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        CHECK(CDialingDlg::GetCurrent() == nullptr);
        CHECK(Timer() == nullptr || Timer()->GetState() == TimerState::Downloading);
        CHECK(WaitTimerClosed());
        CHECK(WaitBatchEnd());
        CHECK_EQ(Doc()->GetListView()->GetListCtrl().GetItemText(0, 1), Ansi("完了"));
        CHECK(session.fake.m_active.empty());
    }
}

TEST_CASE("countdown: the end of the batch, by hang-up flag and end time")
{
    struct {
        const char* name;
        int hangUp;
        TimeOfDay end;
        bool closes;
        bool hangsUp;
    } rows[] = {
        {"hang up when done", 1, TimeOfDay::Unset, true, true},
        {"hang up when done, an end time too", 1, At(5, 0), true, true},
        {"no end time, no hang-up", 0, TimeOfDay::Unset, true, false},
        {"an end time, no hang-up", 0, At(5, 0), false, false},
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddQuick(3);
        session.fake.AddForeignConnection();
        REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, row.end, "", row.hangUp)));
        CHECK(Timer()->GetState() == TimerState::Downloading);
        CHECK(WaitBatchEnd());
        Pump(200);
        CHECK_EQ(TimerDlgList::GetCount() == 0, row.closes);
        CHECK_EQ(session.fake.m_hungUp.size(), row.hangsUp ? 1u : 0u);
        if (!row.closes)
            CHECK(Timer()->GetState() == TimerState::WaitHangUp);
        CHECK(Enabled(ID_TIMER_SETTINGS) == row.closes);
    }
}

TEST_CASE("countdown: a batch started from the menu while the window waits")
{
    struct {
        int hangUp;
        bool closes;
    } rows[] = {{1, true}, {0, false}};
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddQuick(2);
        session.fake.AddForeignConnection();
        REQUIRE(TimerDlgList::Start(Doc(), Schedule(At(3, 0), At(5, 0), "", row.hangUp)));
        CHECK(Timer()->GetState() == TimerState::WaitDownload);
        Command(ID_BATCH_DOWNLOAD);
        CHECK(Timer()->GetState() == TimerState::Downloading);
        CHECK_EQ(Shown(IDC_TIMER_STATE), Ansi("ダウンロード中"));
        CHECK(WaitBatchEnd());
        Pump(200);
        // Before the start time: hang up and close when asked to, else wait
        // for the end time.
        CHECK_EQ(TimerDlgList::GetCount() == 0, row.closes);
        CHECK_EQ(session.fake.m_hungUp.size(), row.hangUp ? 1u : 0u);
        if (!row.closes)
            CHECK(Timer()->GetState() == TimerState::WaitHangUp);
    }
}

TEST_CASE("countdown: the check box follows the user during the run")
{
    struct {
        int hangUp;
        TimeOfDay end;
        bool hangsUp;
        bool closes;
    } rows[] = {
        {1, TimeOfDay::Unset, false, true},     // cleared: closes, no hang-up
        {0, At(5, 0), true, true},              // set: hangs up and closes
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddSlow(1500);
        session.fake.AddForeignConnection();
        REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, row.end, "", row.hangUp)));
        ::SendMessageA(::GetDlgItem(TimerWnd(), IDC_HANG_UP_WHEN_DONE), BM_CLICK, 0, 0);
        CHECK_EQ(Timer()->GetHangUpWhenDone(), row.hangUp == 0);
        CHECK(WaitBatchEnd());
        Pump(200);
        CHECK_EQ(session.fake.m_hungUp.size(), row.hangsUp ? 1u : 0u);
        CHECK_EQ(TimerDlgList::GetCount() == 0, row.closes);
    }
}

TEST_CASE("countdown: closing the window neither hangs up, nor stops the batch, nor cancels a call")
{
    Session session;
    REQUIRE(session.ok);
    session.AddSlow(1500);
    session.fake.AddForeignConnection();
    REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, At(21, 7), "", 1)));
    CHECK(Timer()->GetState() == TimerState::Downloading);
    ::SendMessageA(TimerWnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK(Enabled(ID_TIMER_SETTINGS));
    CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_DOWNLOAD));
    CHECK(WaitBatchEnd());
    CHECK(session.fake.m_hungUp.empty());
    CHECK_EQ(GetDialManager().GetTargetCount(), 0);

    // A call still being set up goes on alone; its outcome reaches no one.
    session.fake.m_active.clear();
    session.fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
    CHECK(Timer()->GetState() == TimerState::Dialing);
    ::SendMessageA(TimerWnd(), WM_CLOSE, 0, 0);
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK(CDialingDlg::GetCurrent() != nullptr);
    CHECK(session.fake.PlayNext());
    CHECK(PumpUntil([] { return CDialingDlg::GetCurrent() == nullptr; }, 5000));
    CHECK_EQ(session.fake.m_active.size(), 1u);
    CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
}

TEST_CASE("countdown: closing the program while the window waits takes the window with it")
{
    Session session;
    REQUIRE(session.ok);
    REQUIRE(TimerDlgList::Start(Doc(), Schedule(At(3, 0), TimeOfDay::Unset, "Office", 1)));
    CloseApp();
    CHECK(AfxGetMainWndHandle() == nullptr);
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK_EQ(GetDialManager().GetTargetCount(), 0);
}

// ---- the timer settings command, end to end

namespace {

std::function<void(HWND)> g_act;

BOOL CALLBACK FindSettings(HWND hwnd, LPARAM lp)
{
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpA(cls, "#32770") == 0 && ::GetDlgItem(hwnd, IDC_ENTRY_LIST)) {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ActTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dlg = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindSettings, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg)
        return;
    ::KillTimer(nullptr, id);
    g_act(dlg);
    if (::IsWindow(dlg))
        ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// Chooses command 32774 and works the dialog with `act`.
void TimerSettingsCommand(std::function<void(HWND)> act)
{
    g_act = std::move(act);
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, ActTimer);
    Command(ID_TIMER_SETTINGS);
    ::KillTimer(nullptr, timer);
}

void Click(HWND dlg, int id)
{
    ::SendMessageA(::GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

void SetCheck(HWND dlg, int id, bool on)
{
    if ((::IsDlgButtonChecked(dlg, id) == BST_CHECKED) != on)
        Click(dlg, id);
}

void PressOK(HWND dlg)
{
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::vector<std::string> EntryItems(HWND dlg)
{
    std::vector<std::string> items;
    const int n = static_cast<int>(::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[300] = "";
        ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

// The files of the list, downloaded in full.
void CheckDownloaded(const Session& session, const std::vector<int>& sizes)
{
    REQUIRE(Doc()->GetItemCount() == static_cast<int>(sizes.size()));
    for (int i = 0; i < Doc()->GetItemCount(); ++i) {
        CHECK_EQ(Doc()->GetListView()->GetListCtrl().GetItemText(i, 1), Ansi("完了"));
        std::string bytes;
        CHECK(ReadFileBytes(session.dir.File(Doc()->GetItem(i)->m_strFileName), bytes));
        CHECK(bytes == Pattern(sizes[i]));
    }
}

} // namespace

TEST_CASE("end to end: start now without dialling downloads the list and closes the countdown")
{
    Session session;
    REQUIRE(session.ok);
    session.AddQuick(3);
    MessageBoxWatcher boxes;
    bool opened = false;
    TimerSettingsCommand([&](HWND dlg) {
        opened = true;
        SaveShot(dlg, "timer-settings");
        Click(dlg, IDC_START_NOW);
        Click(dlg, IDC_END_NONE);
        SetCheck(dlg, IDC_HANG_UP_WHEN_DONE, true);
        ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_SETCURSEL, 0, 0);
        PressOK(dlg);
    });
    CHECK(opened);
    REQUIRE(TimerDlgList::GetCount() == 1);
    CHECK(Timer()->GetDocument() == Doc());
    CHECK(Timer()->GetState() == TimerState::Downloading);
    CHECK(!Enabled(ID_TIMER_SETTINGS));
    CHECK(WaitTimerClosed());
    CHECK(WaitBatchEnd());
    CheckDownloaded(session, {1000, 1001, 1002});
    CHECK(session.fake.m_dialled.empty());
    CHECK(Enabled(ID_TIMER_SETTINGS));
    CHECK(boxes.Texts().empty());
    // The choices are the new defaults.
    CHECK(!g_settings.m_bTimerBegin);
    CHECK(!g_settings.m_bTimerEnd);
    CHECK(g_settings.m_bTimerHangUp);
    CHECK(g_settings.m_strRasEntryName.empty());

    // A schedule with nothing to do opens no window.
    TimerSettingsCommand([&](HWND dlg) {
        Click(dlg, IDC_START_NOW);
        Click(dlg, IDC_END_NONE);
        SetCheck(dlg, IDC_HANG_UP_WHEN_DONE, false);
        PressOK(dlg);
    });
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK(!g_settings.m_bTimerHangUp);
    CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
}

TEST_CASE("end to end: a start one minute ahead waits, then runs")
{
    Session session;
    REQUIRE(session.ok);
    session.AddQuick(2);
    TimerSettingsCommand([&](HWND dlg) {
        Click(dlg, IDC_START_SET);
        ::SetDlgItemTextA(dlg, IDC_START_HOUR, "21");
        ::SetDlgItemTextA(dlg, IDC_START_MINUTE, "8");
        Click(dlg, IDC_END_NONE);
        SetCheck(dlg, IDC_HANG_UP_WHEN_DONE, true);
        PressOK(dlg);
    });
    REQUIRE(TimerDlgList::GetCount() == 1);
    CHECK(Timer()->GetState() == TimerState::WaitDownload);
    CHECK_EQ(Shown(IDC_TIMER_START), std::string(" 21 : 8"));
    Tick();
    CHECK(Timer()->GetState() == TimerState::WaitDownload);
    CHECK_EQ(Doc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
    session.clock.Advance(1);
    Tick();
    CHECK(Timer()->GetState() == TimerState::Downloading);
    CHECK_EQ(Shown(IDC_TIMER_NOW), std::string(" 21 : 8"));
    CHECK(WaitTimerClosed());
    CHECK(WaitBatchEnd());
    CheckDownloaded(session, {1000, 1001});
    CHECK_EQ(g_settings.m_nTimerHourBegin, 21);
    CHECK_EQ(g_settings.m_nTimerMinuteBegin, 8);
}

TEST_CASE("without dial-up on the system: only \"ダイヤルしない\" is offered and a run downloads without dialling")
{
    Session session;
    REQUIRE(session.ok);
    DialService::Set(nullptr);      // the system's own service
    session.AddQuick(2);
    MessageBoxWatcher boxes;
    std::vector<std::string> items;
    TimerSettingsCommand([&](HWND dlg) {
        items = EntryItems(dlg);
        Click(dlg, IDC_START_NOW);
        Click(dlg, IDC_END_NONE);
        SetCheck(dlg, IDC_HANG_UP_WHEN_DONE, true);
        PressOK(dlg);
    });
    CHECK(items == (std::vector<std::string>{Ansi("ダイヤルしない")}));
    CHECK(WaitTimerClosed());
    CHECK(WaitBatchEnd());
    CheckDownloaded(session, {1000, 1001});

    // An entry saved on another system: the call cannot be made, the
    // downloads run all the same.
    REQUIRE(TimerDlgList::Start(Doc(), Schedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
    CHECK(WaitTimerClosed());
    CHECK(WaitBatchEnd());
    CHECK(CDialingDlg::GetCurrent() == nullptr);
    CheckDownloaded(session, {1000, 1001});
    CHECK(boxes.Texts().empty());
    CHECK(!GetDialManager().IsBusy());
}
