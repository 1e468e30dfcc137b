// Batches stopped before their end: the main window closed, the list
// cleared, or the parent cancelled, at any point of large batches; the
// workers stop at once and no new panel or request follows.
#include <set>
#include "BatchUtil.h"
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "engine/DownloadChildDlg.h"
#include "engine/DownloadParentDlg.h"
#include "engine/DownloadThread.h"
#include "engine/FailureText.h"
#include "engine/ThreadGroup.h"
#include "framework/CmdUI.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"
#include "view/ReasonTip.h"
#include <commctrl.h>
#include <wininet.h>

using namespace test;

TEST_CASE("closing the main window during a batch stops the workers and closes at once")
{
    ResetRegistry();
    TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    REQUIRE(StartApp());
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/silent" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/10" + Unique()).c_str());
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    frame->SetWindowPos(nullptr, 0, 0, 700, 400, SWP_NOMOVE | SWP_NOZORDER);
    ListView_SetColumnWidth(View()->m_hWnd, 1, 90);
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([] { return Parent()->GetChildCount() == 2; }));
    Pump(500);
    // A saved list: the close has nothing to ask (tests of the question
    // are in test_closing).
    Doc()->SetModifiedFlag(false);
    ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
    // One close request is enough.
    CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 10000));
    CHECK(g_threadGroup.IsEmpty());
    CHECK(CKestrinDoc::GetDoc() == nullptr);
    CloseApp();
    DWORD value = 0;
    CHECK(ReadRegDWord("Settings", "WidthWindow", value) && value == 700);
    CHECK(ReadRegDWord("Settings", "WidthColState", value) && value == 90);
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("clearing the list during a batch stops it and no transfer touches the old items")
{
    Session session;
    REQUIRE(session.ok);
    FinishCounter counter;
    Doc()->AddTarget(&counter);
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/slow/50000/3000/x.bin" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/10" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([] { return Parent()->GetChildCount() == 2; }));
    Pump(300);
    Doc()->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    CHECK_EQ(Doc()->GetItemCount(), 0);
    CHECK_EQ(View()->GetListCtrl().GetItemCount(), 0);
    // A URL added now waits for the next batch.
    Doc()->AddURL(HttpUrl("/bytes/20" + Unique()).c_str());
    CHECK(PumpUntil([] { return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE; }, 5000));
    CHECK_EQ(counter.finished, 1);
    CHECK(g_threadGroup.IsEmpty() || PumpUntil([] { return g_threadGroup.IsEmpty(); }));
    CHECK_EQ(Doc()->GetItem(0)->m_state, static_cast<unsigned char>(ITEM_UNREAD));
    Doc()->RemoveTarget(&counter);
}

TEST_CASE("closing the window at any point of a large batch ends it within 5 s and asks for nothing more")
{
    struct Case {
        int files;
        DWORD closeAfterMs;
    };
    const Case cases[] = {
        {1000, 500}, {1000, 3000}, {1000, 10000},
        {10000, 500}, {10000, 3000}, {10000, 10000},
    };
    int round = 0;
    for (const Case& c : cases) {
        ++round;
        ResetRegistry();
        TempDir dir;
        ::SetCurrentDirectoryA(dir.Path().c_str());
        test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
        REQUIRE(StartApp());
        MessageBoxWatcher boxes;
        const std::string folder = "/c" + std::to_string(round) + Unique().substr(3) + "/";
        const DWORD adding = ::GetTickCount();
        ListMany(BatchUrl("/file/256" + folder), c.files);
        REQUIRE(Doc()->GetItemCount() == c.files);
        std::printf("  %d files listed in %lu ms\n", c.files, ::GetTickCount() - adding);
        std::fflush(stdout);
        Command(ID_BATCH_DOWNLOAD);
        Pump(c.closeAfterMs);

        const int before = BatchServerTotal();
        const DWORD start = ::GetTickCount();
        // The close stops the workers before it returns; the window goes
        // once their last messages have been handled. The list is saved:
        // nothing is asked.
        Doc()->SetModifiedFlag(false);
        ::SendMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        Pump(300);
        const int afterStop = BatchServerTotal();
        CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 5000));
        CloseApp();
        const DWORD took = ::GetTickCount() - start;
        Pump(300);
        const int last = BatchServerTotal();

        std::printf("  %d files, closed after %lu ms: exit in %lu ms, %d requests after the close\n",
                    c.files, c.closeAfterMs, took, last - before);
        std::fflush(stdout);
        CHECK(took < 5000);
        CHECK(g_threadGroup.IsEmpty());
        CHECK(CKestrinDoc::GetDoc() == nullptr);
        // Only the transfers running at the close could still reach the
        // server (two, at most two requests each); nothing new starts.
        CHECK(last - before <= 4);
        CHECK_EQ(last, afterStop);
        CHECK(boxes.Texts().empty());
        ::SetCurrentDirectoryA("C:\\");
    }
}

TEST_CASE("closing during a batch over a 100,000-row list ends it within 5 s")
{
    ResetRegistry();
    TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    REQUIRE(StartApp());
    ListMany(BatchUrl("/file/128/big" + Unique().substr(3) + "/"), 100000);
    MessageBoxWatcher boxes;
    REQUIRE(Doc()->GetItemCount() == 100000);
    Command(ID_BATCH_DOWNLOAD);
    Pump(3000);
    const int before = BatchServerTotal();
    const DWORD start = ::GetTickCount();
    Doc()->SetModifiedFlag(false);   // saved: nothing to ask
    ::SendMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
    CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 15000));
    CloseApp();
    const DWORD took = ::GetTickCount() - start;
    Pump(300);
    const int last = BatchServerTotal();
    std::printf("  100000 rows: exit in %lu ms, %d requests after the close\n", took, last - before);
    // Emptying 100,000 rows is most of this close; its time is printed
    // above. A close that waited for the batch would take minutes.
    CHECK(took < 15000);
    CHECK(last - before <= 4);
    CHECK(boxes.Texts().empty());
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("cancel in the parent and clearing the list open no new panel and send no new request")
{
    for (int way = 0; way < 2; ++way) {
        Session session;
        REQUIRE(session.ok);
        const std::string folder = "/stop" + std::to_string(way) + Unique().substr(3) + "/";
        ListMany(BatchUrl("/file/256" + folder), 1000);
        Command(ID_BATCH_DOWNLOAD);
        Pump(1500);
        const int before = BatchServerTotal();
        int panelsOpened = 0;
        CDownloadChildDlg* seen[2] = {Parent()->GetChild(0), Parent()->GetChild(1)};
        if (way == 0) {
            ::SendMessageA(Parent()->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else {
            Doc()->SetModifiedFlag(false);
            Command(ID_FILE_NEW);
        }
        CHECK(PumpUntil([&] {
            for (int i = 0; i < Parent()->GetChildCount(); ++i)
                if (Parent()->GetChild(i) != seen[0] && Parent()->GetChild(i) != seen[1])
                    ++panelsOpened;
            return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE;
        }, 5000));
        Pump(300);
        CHECK_EQ(panelsOpened, 0);
        CHECK(BatchServerTotal() - before <= 4);
    }
}
