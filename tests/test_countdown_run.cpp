// An unattended run as the countdown window drives it in the real main
// window, with a settable clock, the scripted dial-up service and the
// tests' HTTP server: the end time while dialling and downloading, a call
// that fails, the end of the batch, a batch started from the menu, the
// check box, and closing the window or the program.
#include <cstdlib>
#include <cstring>
#include "CountdownUtil.h"
#include "RunSession.h"
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

using Session = CountdownSession;

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
        REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, Minute(21, 7), "Office", 0)));
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
        REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
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
        {"hang up when done, an end time too", 1, Minute(5, 0), true, true},
        {"no end time, no hang-up", 0, TimeOfDay::Unset, true, false},
        {"an end time, no hang-up", 0, Minute(5, 0), false, false},
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddQuick(3);
        session.fake.AddForeignConnection();
        REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, row.end, "", row.hangUp)));
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
        REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(Minute(3, 0), Minute(5, 0), "", row.hangUp)));
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
        {0, Minute(5, 0), true, true},              // set: hangs up and closes
    };
    for (const auto& row : rows) {
        Session session;
        REQUIRE(session.ok);
        session.AddSlow(1500);
        session.fake.AddForeignConnection();
        REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, row.end, "", row.hangUp)));
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
    REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, Minute(21, 7), "", 1)));
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
    REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
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
    REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(Minute(3, 0), TimeOfDay::Unset, "Office", 1)));
    CloseApp();
    CHECK(AfxGetMainWndHandle() == nullptr);
    CHECK_EQ(TimerDlgList::GetCount(), 0);
    CHECK_EQ(GetDialManager().GetTargetCount(), 0);
}
