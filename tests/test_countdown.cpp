// The countdown window of an unattended run in the real main window, with a
// settable clock and the scripted dial-up service: when it opens and what
// it shows, when the start is due (across midnight too), and an end time
// reached the next day.
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

namespace {

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
        {"start set, no entry", MakeSchedule(Minute(9, 5), TimeOfDay::Unset, "", 0), None, false, true,
         TimerState::WaitDownload, 0, 0, nullptr},
        {"start set, an entry", MakeSchedule(Minute(9, 5), Minute(17, 30), "Office", 1), None, false, true,
         TimerState::WaitDial, 0, 0, "countdown-waiting"},
        {"start now, an entry", MakeSchedule(TimeOfDay::Unset, Minute(5, 0), "Office", 1), None, false, true,
         TimerState::Dialing, 1, 0, "dialing"},
        {"start now, no entry", MakeSchedule(TimeOfDay::Unset, Minute(5, 0), "", 1), Slow, false, true,
         TimerState::Downloading, 0, 0, "countdown-downloading"},
        {"start now, an entry while a connection is up", MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 0),
         Slow, true, true, TimerState::Downloading, 0, 0, nullptr},
        {"nothing to download, hang up when done", MakeSchedule(TimeOfDay::Unset, Minute(5, 0), "", 1), None, true, false,
         TimerState::Idle, 0, 1, nullptr},
        {"nothing to download, no end time", MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 0), None, true,
         false, TimerState::Idle, 0, 0, nullptr},
        {"nothing to download, an end time", MakeSchedule(TimeOfDay::Unset, Minute(5, 0), "", 0), None, false, true,
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
            REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(Minute(row.startHour, row.startMinute), TimeOfDay::Unset, entry, 0)));
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
    REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(Minute(22, 0), Minute(1, 0), "", 0)));
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
