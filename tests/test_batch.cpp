// Batch downloads in the real main window: panels, item states in the
// list, cancelling, closing during a batch and the commands' enable rules.
#include <set>
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "engine/DownloadChildDlg.h"
#include "engine/DownloadParentDlg.h"
#include "engine/ThreadGroup.h"
#include "framework/CmdUI.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }
CDownloadParentDlg* Parent() { return Doc()->GetProgressDialog(); }
CKestrinView* View() { return Doc()->GetListView(); }

std::string StateText(int row)
{
    return View()->GetListCtrl().GetItemText(row, 1);
}

void Command(UINT id)
{
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, id, 0);
}

bool Enabled(UINT id)
{
    auto* frame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd());
    return frame->IsCommandEnabled(id);
}


// Counts the end-of-batch signals and what the document said at that time.
struct FinishCounter : CKestrinDoc::TargetI {
    void OnDownloadStarted() override { ++started; }
    void OnDownloadFinished() override
    {
        ++finished;
        idleWhenFinished = CKestrinDoc::GetDoc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE;
    }
    int started = 0;
    int finished = 0;
    bool idleWhenFinished = false;
};

// Follows a batch as it runs: panels open, their heights, which item
// started when, and the state texts seen.
struct Watch {
    void Look()
    {
        CDownloadParentDlg* parent = Parent();
        if (!parent)
            return;
        const int panels = parent->GetChildCount();
        if (panels > maxPanels)
            maxPanels = panels;
        if (panels != lastPanels) {
            panelHistory.push_back(panels);
            lastPanels = panels;
            const RECT rc = parent->GetClientRect();
            heights.push_back(rc.bottom);
        }
        for (int i = 0; i < Doc()->GetItemCount(); ++i) {
            URLItem* item = Doc()->GetItem(i);
            if (item->IsDownloading() && !seenDownloading.count(item)) {
                seenDownloading.insert(item);
                startOrder.push_back(i);
                downloadingText.push_back(StateText(i));
            }
        }
    }
    bool RunUntilIdle(DWORD ms = 30000)
    {
        return PumpUntil([&] {
            Look();
            return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Parent()->GetChildCount() == 0;
        }, ms);
    }

    int maxPanels = 0;
    int lastPanels = 0;
    std::vector<int> panelHistory;
    std::vector<LONG> heights;
    std::set<URLItem*> seenDownloading;
    std::vector<int> startOrder;
    std::vector<std::string> downloadingText;
};

struct Session {
    Session()
    {
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
        ok = StartApp();
    }
    ~Session()
    {
        if (AfxGetMainWndHandle())
            CloseApp();
        ::SetCurrentDirectoryA("C:\\");
    }
    TempDir dir;
    bool ok = false;
};

} // namespace

TEST_CASE("a batch of five runs in two panels, in list order, and ends once")
{
    Session session;
    REQUIRE(session.ok);
    FinishCounter counter;
    Doc()->AddTarget(&counter);
    for (int i = 0; i < 5; ++i)
        Doc()->AddURL(HttpUrl("/slow/20000/600/item" + std::to_string(i) + ".bin" + Unique()).c_str());
    CHECK(Enabled(ID_BATCH_DOWNLOAD));
    Command(ID_BATCH_DOWNLOAD);
    CHECK(!Enabled(ID_BATCH_DOWNLOAD));
    CHECK_EQ(counter.started, 1);

    Watch watch;
    CHECK(watch.RunUntilIdle());
    CHECK_EQ(watch.maxPanels, 2);
    CHECK(watch.startOrder == (std::vector<int>{0, 1, 2, 3, 4}));
    for (const std::string& text : watch.downloadingText)
        CHECK_EQ(text, Ansi("ﾀﾞｳﾝﾛｰﾄﾞ中"));
    for (int i = 0; i < 5; ++i) {
        CHECK_EQ(StateText(i), Ansi("完了"));
        CHECK_EQ(Doc()->GetItem(i)->m_nSize, 20000);
    }
    // Two panels, then one, then none: the window grows and shrinks by one
    // panel height each time.
    REQUIRE(watch.panelHistory.size() >= 3u);
    const size_t n = watch.panelHistory.size();
    CHECK_EQ(watch.panelHistory[n - 1], 0);
    CHECK_EQ(watch.panelHistory[n - 2], 1);
    CHECK_EQ(watch.heights[n - 3] - watch.heights[n - 2],
             static_cast<LONG>(CDownloadParentDlg::s_nChildHeight));
    CHECK(!Parent()->IsWindowVisible());
    CHECK_EQ(counter.finished, 1);
    CHECK(counter.idleWhenFinished);
    CHECK(Enabled(ID_BATCH_DOWNLOAD));
    // Saved under names from the URLs: the last two path segments.
    std::string bytes;
    CHECK(Doc()->GetItem(4)->m_strFileName.rfind("600\\item4.bin_t=", 0) == 0);
    CHECK(ReadFileBytes(session.dir.File(Doc()->GetItem(4)->m_strFileName), bytes));
    CHECK(bytes == Pattern(20000));
    Doc()->RemoveTarget(&counter);
}

TEST_CASE("a URL added after one panel closed opens a second panel again")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL(HttpUrl("/slow/30000/2500/long.bin" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/100" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    Watch watch;
    // The short one finishes and its panel closes while the long one runs.
    CHECK(PumpUntil([&] { watch.Look(); return Parent()->GetChildCount() == 1; }, 10000));
    CHECK(Doc()->GetItem(0)->IsDownloading());
    Doc()->AddURL(HttpUrl("/bytes/200" + Unique()).c_str());
    CHECK_EQ(Parent()->GetChildCount(), 2);
    CHECK(watch.RunUntilIdle());
    for (int i = 0; i < 3; ++i)
        CHECK_EQ(StateText(i), Ansi("完了"));
}

TEST_CASE("cancel in a panel cancels its item only; cancel in the parent ends the batch once")
{
    Session session;
    REQUIRE(session.ok);
    FinishCounter counter;
    Doc()->AddTarget(&counter);
    for (const char* path : {"/stall", "/slow/20000/1500/a.bin", "/slow/20000/1500/b.bin"})
        Doc()->AddURL(HttpUrl(path + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    Watch watch;
    CHECK(PumpUntil([&] { watch.Look(); return Doc()->GetItem(0)->IsDownloading(); }));
    Pump(300);
    // The first panel holds the stalled item.
    CDownloadChildDlg* panel = Parent()->GetChild(0);
    REQUIRE(panel->m_pItem == Doc()->GetItem(0));
    ::SendMessageA(panel->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK(watch.RunUntilIdle());
    CHECK_EQ(StateText(0), Ansi("ｷｬﾝｾﾙ"));
    CHECK_EQ(StateText(1), Ansi("完了"));
    CHECK_EQ(StateText(2), Ansi("完了"));
    CHECK_EQ(counter.finished, 1);

    // Now both panels stall; more items wait behind them.
    Doc()->RemoveTarget(&counter);
    FinishCounter second;
    Doc()->AddTarget(&second);
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/10" + Unique()).c_str());
    // Put the stalled ones first by cancelling the old rows out of the batch.
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([&] {
        int downloading = 0;
        for (int i = 0; i < Doc()->GetItemCount(); ++i)
            downloading += Doc()->GetItem(i)->IsDownloading();
        return downloading == 2;
    }));
    Pump(300);
    std::vector<URLItem*> running;
    for (int i = 0; i < 2; ++i)
        running.push_back(Parent()->GetChild(i)->m_pItem);
    ::SendMessageA(Parent()->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK(PumpUntil([&] { return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE; }, 5000));
    for (URLItem* item : running)
        CHECK_EQ(item->GetStateLabel(), Ansi("ｷｬﾝｾﾙ"));
    int unread = 0;
    for (int i = 0; i < Doc()->GetItemCount(); ++i)
        unread += Doc()->GetItem(i)->m_state == ITEM_UNREAD;
    CHECK_EQ(unread, Doc()->GetItemCount() - 2);   // all the others start over
    CHECK_EQ(second.finished, 1);
    CHECK(!Parent()->IsWindowVisible());
    Doc()->RemoveTarget(&second);
}

TEST_CASE("a 404 and a refused connection end in error and the batch goes on")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL(HttpUrl("/status/404" + Unique()).c_str());
    Doc()->AddURL(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/refused.bin").c_str());
    Doc()->AddURL(HttpUrl("/bytes/4096/ok.bin" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    Watch watch;
    CHECK(watch.RunUntilIdle());
    CHECK_EQ(StateText(0), Ansi("ｴﾗｰ"));
    CHECK_EQ(StateText(1), Ansi("ｴﾗｰ"));
    CHECK_EQ(StateText(2), Ansi("完了"));
}

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

TEST_CASE("enable rules: removable selections, mark unread and properties")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/10/a" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/bytes/10/b" + Unique()).c_str());
    Doc()->GetItem(1)->SetState(ITEM_ERROR);
    Doc()->GetItem(2)->SetState(ITEM_DONE);
    Command(ID_BATCH_DOWNLOAD);
    // The batch starts every item again; wait until the stalled one runs
    // and the others have finished.
    CHECK(PumpUntil([] {
        return Doc()->GetItem(0)->IsDownloading() && Doc()->GetItem(1)->m_state == ITEM_DONE &&
               Doc()->GetItem(2)->m_state == ITEM_DONE;
    }));

    test::SelectRows({0, 1, 2});
    CHECK(!Enabled(ID_EDIT_CLEAR));
    CHECK(!Enabled(ID_EDIT_CUT));
    CHECK(Enabled(ID_EDIT_COPY));
    CHECK(Enabled(ID_EDIT_PASTE));
    CHECK(Enabled(ID_SET_UNREAD));
    CHECK(!Enabled(ID_PROPERTIES));

    // Disabled commands do not run, from the keys either.
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, MAKEWPARAM(ID_EDIT_CLEAR, 1), 0);
    CHECK_EQ(Doc()->GetItemCount(), 3);

    test::SelectRows({1, 2});
    CHECK(Enabled(ID_EDIT_CLEAR));
    CHECK(!Enabled(ID_PROPERTIES));
    test::SelectRows({0});
    CHECK(!Enabled(ID_PROPERTIES));
    CHECK(!Enabled(ID_SET_UNREAD));
    test::SelectRows({2});
    CHECK(Enabled(ID_PROPERTIES));

    // Mark unread on all three resets the two that are not downloading;
    // they join the running batch and finish again.
    test::SelectRows({0, 1, 2});
    Command(ID_SET_UNREAD);
    CHECK(Doc()->GetItem(0)->IsDownloading());
    CHECK(PumpUntil([] {
        return Doc()->GetItem(1)->m_state == ITEM_DONE && Doc()->GetItem(2)->m_state == ITEM_DONE;
    }));

    // Delete removes the rows it may; the downloading one stays, selected.
    test::SelectRows({0, 2});
    Doc()->GetListView()->DeleteSelectedItems();
    CHECK_EQ(Doc()->GetItemCount(), 2);
    CHECK_EQ(View()->GetListCtrl().GetItemCount(), 2);
    CHECK(View()->GetListCtrl().IsSelected(0));
    CHECK(View()->ItemOfRow(0) == Doc()->GetItem(0));

    // Nothing selected: copy, delete and the others are off, paste is on.
    test::SelectRows({});
    CHECK(!Enabled(ID_EDIT_COPY));
    CHECK(!Enabled(ID_EDIT_CLEAR));
    CHECK(Enabled(ID_EDIT_PASTE));
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
