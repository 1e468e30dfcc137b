// The timer settings command end to end in the real main window: start
// now or a minute ahead downloads the list and closes the countdown, and
// without dial-up on the system only "ダイヤルしない" is offered.
#include <cstdlib>
#include <cstring>
#include "CountdownUtil.h"
#include "DialogUtil.h"
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
    REQUIRE(TimerDlgList::Start(Doc(), MakeSchedule(TimeOfDay::Unset, TimeOfDay::Unset, "Office", 1)));
    CHECK(WaitTimerClosed());
    CHECK(WaitBatchEnd());
    CHECK(CDialingDlg::GetCurrent() == nullptr);
    CheckDownloaded(session, {1000, 1001});
    CHECK(boxes.Texts().empty());
    CHECK(!GetDialManager().IsBusy());
}
