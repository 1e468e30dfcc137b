// Unattended runs that come back and leave the machine as asked, in the
// real main window with a settable clock, the scripted dial-up and power
// services and the tests' HTTP server: a repeat on chosen weekdays only
// (across midnight and a week boundary), the machine after the run with
// its countdown, the timer settings that set it all up, and a run one
// minute ahead that retries its way through a flaky server.
#include <functional>
#include "Test.h"
#include "EngineUtil.h"
#include "RunSession.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "engine/DownloadParentDlg.h"
#include "framework/FrameworkIds.h"
#include "framework/WinApp.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "schedule/AfterRunDlg.h"
#include "schedule/Clock.h"
#include "schedule/DialManager.h"
#include "schedule/RunCalendar.h"
#include "schedule/TimerDlg.h"
#include "schedule/TimerDlgList.h"

using namespace test;

namespace {

long long At(int month, int day, int hour, int minute)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(month == 1 ? 2027 : 2026);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    return Clock::Seconds(t);
}

void SetNow(RunSession& session, int month, int day, int hour, int minute)
{
    session.clock.SetDate(month == 1 ? 2027 : 2026, month, day);
    session.clock.SetTime(hour, minute);
}

TimerSchedule Repeating(TimeOfDay start, unsigned char days, int hangUp = 1, const char* entry = "")
{
    TimerSchedule s = MakeSchedule(start, TimeOfDay::Unset, entry, hangUp);
    s.repeat = true;
    s.days = days;
    return s;
}

std::string Shown(int id)
{
    return DlgText(CountdownWnd(), id);
}

void AddQuick(int n)
{
    for (int i = 0; i < n; ++i)
        AddHttp("/bytes/" + std::to_string(1000 + i) + "/q" + std::to_string(i) + ".bin" + Unique());
}

// The list file an unattended end saved in `folder` ("Kestrin ....kst"),
// or empty when there is none.
std::string SavedListIn(const std::string& folder)
{
    WIN32_FIND_DATAA found{};
    HANDLE h = ::FindFirstFileA((folder + "\\Kestrin *.kst").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    ::FindClose(h);
    return folder + "\\" + found.cFileName;
}

enum : unsigned char { SUN = 1, MON = 2, TUE = 4, WED = 8, THU = 16, FRI = 32, SAT = 64 };

} // namespace

TEST_CASE("repeat: runs on the chosen weekdays only, across midnight and a week boundary")
{
    RunSession session;     // Monday 7 December, 21:07
    REQUIRE(session.ok);
    AddQuick(2);
    const HRASCONN line = session.dial.AddForeignConnection();
    REQUIRE(TimerDlgList::Start(LiveDoc(), Repeating(Minute(23, 50), MON | SUN)));
    CHECK(Countdown()->IsRepeating());
    CHECK(Countdown()->GetState() == TimerState::WaitDownload);
    CHECK_EQ(Countdown()->GetNextRun(), At(12, 7, 23, 50));
    CHECK_EQ(Shown(IDC_TIMER_NEXT), Ansi("2026/12/07 (月) 23:50"));
    CHECK_EQ(Shown(IDC_TIMER_LAST), Ansi("まだ実行していません"));
    CHECK_EQ(session.power.m_wakeAt, At(12, 7, 23, 50));

    struct {
        const char* name;
        int month, day, hour, minute;
        bool runs;              // this tick starts a run
        long long next;         // the next run shown afterwards
    } ticks[] = {
        {"Monday, a minute early", 12, 7, 23, 49, false, At(12, 7, 23, 50)},
        {"Tuesday 0:05: Monday's run, after midnight", 12, 8, 0, 5, true, At(12, 13, 23, 50)},
        {"Tuesday at the start time", 12, 8, 23, 50, false, At(12, 13, 23, 50)},
        {"Wednesday", 12, 9, 23, 55, false, At(12, 13, 23, 50)},
        {"Saturday", 12, 12, 23, 50, false, At(12, 13, 23, 50)},
        {"Sunday, over the week's end", 12, 13, 23, 51, true, At(12, 14, 23, 50)},
        {"Monday again", 12, 14, 23, 50, true, At(12, 20, 23, 50)},
    };
    size_t runs = 0;
    for (const auto& tick : ticks) {
        Context context(tick.name);
        SetNow(session, tick.month, tick.day, tick.hour, tick.minute);
        TickCountdown();
        if (tick.runs) {
            ++runs;
            CHECK(Countdown()->GetState() == TimerState::Downloading);
            CHECK(session.power.m_bAwake);
            CHECK_EQ(session.power.m_wakeAt, 0LL);
            CHECK(WaitBatchIdle());
            Pump(100);
        }
        // The window stays for the next run, with the line hung up after each.
        REQUIRE(Countdown() != nullptr);
        CHECK_EQ(session.dial.m_hungUp.size(), runs);
        CHECK_EQ(Countdown()->GetNextRun(), tick.next);
        CHECK_EQ(Shown(IDC_TIMER_NEXT), RunCalendar::Format(tick.next));
        if (runs > 0) {
            CHECK(Countdown()->GetState() == TimerState::WaitRepeat);
            CHECK_EQ(Shown(IDC_TIMER_STATE), Ansi("次回の実行を待機中"));
            CHECK(!session.power.m_bAwake);
            CHECK_EQ(session.power.m_wakeAt, tick.next);
        }
        session.dial.m_active = {line};
    }
    CHECK_EQ(session.power.m_nAwakeRequests, 3);
    // Each run fetched the whole list again; the last one is shown.
    CHECK_EQ(RowState(0), Ansi("完了"));
    CHECK_EQ(Countdown()->GetLastRun().started, Clock::Seconds(Clock::LocalTime()));
    CHECK_EQ(Shown(IDC_TIMER_LAST), Countdown()->GetLastRun().Format());
    CHECK_EQ(Shown(IDC_TIMER_LAST), Ansi("前回のタイマー実行 2026/12/14 (月) 23:50: ダイヤルなし、"
                                         "完了 2 件、エラー 0 件、キャンセル 0 件、再試行 0 回"));

    // Cancel ends the repetition, and with it the wake.
    ::SendMessageA(CountdownWnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK_EQ(session.power.m_wakeAt, 0LL);
}

TEST_CASE("repeat: a run missed while the machine was off moves to the next chosen day")
{
    RunSession session;
    REQUIRE(session.ok);
    AddQuick(1);
    REQUIRE(TimerDlgList::Start(LiveDoc(), Repeating(Minute(22, 0), 0x7F, 0)));
    SetNow(session, 12, 7, 22, 30);
    TickCountdown();
    CHECK(Countdown()->GetState() == TimerState::WaitDownload);
    CHECK_EQ(Countdown()->GetNextRun(), At(12, 8, 22, 0));
    CHECK_EQ(session.power.m_wakeAt, At(12, 8, 22, 0));
    CHECK_EQ(LiveDoc()->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
    SetNow(session, 12, 8, 22, 0);
    TickCountdown();
    CHECK(Countdown()->GetState() == TimerState::Downloading);
    // No hang-up, no end time: the run is over with its batch.
    CHECK(WaitBatchIdle());
    Pump(100);
    CHECK(Countdown()->GetState() == TimerState::WaitRepeat);
    CHECK_EQ(Countdown()->GetNextRun(), At(12, 9, 22, 0));
}

TEST_CASE("repeat: each run dials and hangs up; a batch by hand between the runs is the user's own")
{
    RunSession session;
    REQUIRE(session.ok);
    AddQuick(1);
    REQUIRE(TimerDlgList::Start(LiveDoc(), Repeating(Minute(2, 0), 0x7F, 1, "Office")));
    CHECK(Countdown()->GetState() == TimerState::WaitDial);
    for (int night = 0; night < 2; ++night) {
        Context context("night " + std::to_string(night + 1));
        session.dial.m_calls.push_back({0, {{RASCS_Connected, 0}}});
        SetNow(session, 12, 8 + night, 2, 0);
        TickCountdown();
        CHECK(Countdown()->GetState() == TimerState::Dialing);
        CHECK(session.dial.PlayNext());
        REQUIRE(PumpUntil([] { return Countdown()->GetState() == TimerState::WaitRepeat; }, 15000));
        CHECK_EQ(session.dial.m_dialled.size(), static_cast<size_t>(night + 1));
        CHECK_EQ(session.dial.m_hungUp.size(), static_cast<size_t>(night + 1));
        CHECK(session.dial.m_active.empty());
        CHECK_EQ(Countdown()->GetLastRun().connection, RunSummary::CONNECTED);
        CHECK_EQ(StatusText(), Countdown()->GetLastRun().Format());
    }
    // By hand, in the afternoon: the countdown lets it be.
    const HRASCONN line = session.dial.AddForeignConnection();
    SetNow(session, 12, 9, 15, 0);
    Command(ID_BATCH_DOWNLOAD);
    CHECK(Countdown()->GetState() == TimerState::WaitRepeat);
    CHECK(WaitBatchIdle());
    Pump(100);
    CHECK(session.dial.m_active == (std::vector<HRASCONN>{line}));
    CHECK(Countdown()->GetState() == TimerState::WaitRepeat);
    CHECK_EQ(Countdown()->GetNextRun(), At(12, 10, 2, 0));
    CHECK_EQ(StatusText(), Ansi("ダウンロード終了: 完了 1 件、エラー 0 件、キャンセル 0 件"));
}

TEST_CASE("after the run: each choice after its 60-second countdown, and Cancel during it")
{
    struct {
        const char* name;
        AfterRunAction action;
        bool cancel;
        DWORD result;
        std::vector<std::string> calls;
        bool exits;
        const char* status;     // expected in the status bar afterwards, or null for the run's summary
        const char* countdown;  // what the window says 30 s before
    } rows[] = {
        {"nothing", AfterRunAction::None, false, 0, {}, false, nullptr, nullptr},
        {"sleep", AfterRunAction::Sleep, false, 0, {"sleep"}, false, nullptr, "30 秒後にスリープします。"},
        {"sleep refused", AfterRunAction::Sleep, false, 50, {"sleep"}, false, "スリープできませんでした (エラー 50)",
         "30 秒後にスリープします。"},
        {"shutdown", AfterRunAction::Shutdown, false, 0, {"shutdown"}, false, nullptr,
         "30 秒後にシャットダウンします。"},
        {"shutdown refused", AfterRunAction::Shutdown, false, ERROR_NOT_ALL_ASSIGNED, {"shutdown"}, false,
         "シャットダウンできませんでした (エラー 1300)", "30 秒後にシャットダウンします。"},
        {"exit", AfterRunAction::Exit, false, 0, {}, true, nullptr, "30 秒後に Kestrin を終了します。"},
        {"sleep, cancelled", AfterRunAction::Sleep, true, 0, {}, false, nullptr, "30 秒後にスリープします。"},
        {"shutdown, cancelled", AfterRunAction::Shutdown, true, 0, {}, false, nullptr,
         "30 秒後にシャットダウンします。"},
        {"exit, cancelled", AfterRunAction::Exit, true, 0, {}, false, nullptr, "30 秒後に Kestrin を終了します。"},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        RunSession session;
        REQUIRE(session.ok);
        session.power.m_sleepResult = row.result;
        session.power.m_shutdownResult = row.result;
        AddQuick(1);
        TimerSchedule schedule = MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "", 1);
        schedule.afterRun = row.action;
        REQUIRE(TimerDlgList::Start(LiveDoc(), schedule));
        // Nothing before the run is over.
        CHECK(CAfterRunDlg::GetCurrent() == nullptr);
        CHECK(WaitCountdownClosed());
        const std::string summary = StatusText();
        CHECK(summary.find(Ansi("前回のタイマー実行")) == 0);
        if (row.action == AfterRunAction::None) {
            CHECK(CAfterRunDlg::GetCurrent() == nullptr);
            continue;
        }
        CAfterRunDlg* dlg = CAfterRunDlg::GetCurrent();
        REQUIRE(dlg != nullptr);
        HWND wnd = dlg->GetSafeHwnd();
        CHECK(::IsWindowVisible(wnd));
        CHECK(dlg->GetAction() == row.action);
        std::string first = Ansi(row.countdown);
        first.replace(0, 2, "60");
        CHECK_EQ(DlgText(wnd, IDC_AFTER_RUN_TEXT), first);
        session.clock.AdvanceSeconds(30);
        ::SendMessageA(wnd, WM_TIMER, CAfterRunDlg::kTimerId, 0);
        CHECK_EQ(DlgText(wnd, IDC_AFTER_RUN_TEXT), Ansi(row.countdown));
        CHECK(session.power.m_calls.empty());
        if (row.cancel) {
            ::SendMessageA(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            CHECK(CAfterRunDlg::GetCurrent() == nullptr);
            session.clock.AdvanceSeconds(60);
            Pump(1500);
        } else {
            session.clock.AdvanceSeconds(30);
            ::SendMessageA(wnd, WM_TIMER, CAfterRunDlg::kTimerId, 0);
            CHECK(CAfterRunDlg::GetCurrent() == nullptr);
            CHECK(!::IsWindow(wnd));
        }
        CHECK(session.power.m_calls == row.calls);
        // Ending the program or the machine asks nothing: the changed,
        // unnamed list is kept in a list file of its own in the download
        // folder.
        const std::string saved = SavedListIn(session.dir.Path());
        if ((row.action == AfterRunAction::Exit || row.action == AfterRunAction::Shutdown) && !row.cancel) {
            std::string bytes;
            CHECK(ReadFileBytes(saved, bytes));
            CHECK(bytes.find("/q0.bin") != std::string::npos);
        } else {
            CHECK(saved.empty());
        }
        if (row.exits) {
            CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 20000));
            CHECK_EQ(session.Close(), 0);
            continue;
        }
        CHECK(AfxGetMainWndHandle() != nullptr);
        // A refusal is said before the run's summary, which stays.
        CHECK_EQ(StatusText(), row.status ? Ansi(row.status) + "  " + summary : summary);
    }
}

TEST_CASE("end to end: a run one minute ahead with a flaky server completes every item and counts its retries")
{
    RunSession session;
    REQUIRE(session.ok);
    const std::string flakyA = "/flaky/20000/503/a.bin" + Unique();
    const std::string flakyB = "/flaky/30000/cut4000.503/b.bin" + Unique();
    AddHttp(flakyA);
    AddHttp(flakyB);
    AddHttp("/bytes/3000/c.bin" + Unique());
    session.dial.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    TimerSettingsCommand([&](HWND dlg) {
        ::SendMessageA(::GetDlgItem(dlg, IDC_START_SET), BM_CLICK, 0, 0);
        ::SetDlgItemTextA(dlg, IDC_START_HOUR, "21");
        ::SetDlgItemTextA(dlg, IDC_START_MINUTE, "8");
        ::SendMessageA(::GetDlgItem(dlg, IDC_END_NONE), BM_CLICK, 0, 0);
        if (::IsDlgButtonChecked(dlg, IDC_HANG_UP_WHEN_DONE) != BST_CHECKED)
            ::SendMessageA(::GetDlgItem(dlg, IDC_HANG_UP_WHEN_DONE), BM_CLICK, 0, 0);
        ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_SETCURSEL, 2, 0);   // after "ダイヤルしない", "Home"
        ::SetDlgItemTextA(dlg, IDC_RETRY_COUNT, "3");
        ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    REQUIRE(Countdown() != nullptr);
    CHECK(Countdown()->GetState() == TimerState::WaitDial);
    TickCountdown();
    CHECK(Countdown()->GetState() == TimerState::WaitDial);
    session.clock.Advance(1);
    TickCountdown();
    CHECK(Countdown()->GetState() == TimerState::Dialing);
    CHECK(session.dial.m_dialled == (std::vector<std::string>{"Office"}));
    CHECK(session.dial.PlayNext());
    REQUIRE(PumpUntil([] { return Countdown()->GetState() == TimerState::Downloading; }, 10000));

    // Whenever an item waits, the clock goes on to its retry.
    for (int step = 0; step < 12 && LiveDoc()->m_nBatchMode != CKestrinDoc::BATCH_IDLE; ++step) {
        PumpUntil([] {
            return !LiveDoc()->GetWaitingItems().empty() || LiveDoc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE;
        }, 15000);
        long long due = 0;
        for (const URLItem* item : LiveDoc()->GetWaitingItems())
            if (due == 0 || item->m_llRetryAt < due)
                due = item->m_llRetryAt;
        if (due != 0) {
            session.clock.AdvanceSeconds(due - session.clock.Seconds());
            TickRetries();
        }
    }
    CHECK(WaitCountdownClosed());
    for (int row = 0; row < 3; ++row)
        CHECK_EQ(RowState(row), Ansi("完了"));
    std::string bytes;
    CHECK(ReadFileBytes(session.dir.File(LiveDoc()->GetItem(1)->m_strFileName), bytes) && bytes == Pattern(30000));
    CHECK(session.dial.m_active.empty());
    const std::string summary = Ansi("前回のタイマー実行 2026/12/07 (月) 21:08: 接続成功、"
                                     "完了 3 件、エラー 0 件、キャンセル 0 件、再試行 3 回");
    CHECK_EQ(StatusText(), summary);
    DWORD retries = 0;
    CHECK(ReadRegDWord("LastRun", "Retries", retries));
    CHECK_EQ(retries, 3u);

    // The morning after: a new start still says how the night went.
    CHECK_EQ(session.Close(), 0);
    REQUIRE(StartApp());
    CHECK_EQ(StatusText(), summary);
    CHECK_EQ(CloseApp(), 0);
}
