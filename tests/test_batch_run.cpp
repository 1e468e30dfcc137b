// Batch downloads in the real main window as they run: panels opened in
// list order, item states in the list, cancelling one item or the whole
// batch, errors that let it go on, sizes of 2 GiB and more, how often the
// panels and bars are refreshed, and the commands' enable rules meanwhile.
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

namespace {

// Counts, on this thread, the texts written into the panels' URL fields
// and the toolbar's enable queries.
struct UiCounter {
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HC_ACTION && s_self) {
            const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
            if (m->message == WM_SETTEXT && ::GetDlgCtrlID(m->hwnd) == IDC_PANEL_URL)
                ++s_self->urlTexts;
            if (m->message == TB_ISBUTTONENABLED)
                ++s_self->toolbarQueries;
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }
    UiCounter()
    {
        s_self = this;
        hook = ::SetWindowsHookExA(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~UiCounter()
    {
        ::UnhookWindowsHookEx(hook);
        s_self = nullptr;
    }
    HHOOK hook;
    int urlTexts = 0;
    int toolbarQueries = 0;
    static UiCounter* s_self;
};
UiCounter* UiCounter::s_self = nullptr;

} // namespace

TEST_CASE("a batch of small files refreshes the panels and the bars only as often as one can see")
{
    Session session;
    REQUIRE(session.ok);
    const std::string folder = "/ui" + Unique().substr(3) + "/";
    const int files = 400;
    ListMany(BatchUrl("/file/64" + folder), files);
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    const int buttons = static_cast<int>(frame->m_wndToolBar.SendMessage(TB_BUTTONCOUNT));
    UiCounter counter;
    const DWORD start = ::GetTickCount();
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([] { return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE; }, 120000));
    const DWORD took = ::GetTickCount() - start;
    int done = 0;
    for (int i = 0; i < files; ++i)
        done += Doc()->GetItem(i)->m_state == ITEM_DONE;
    CHECK_EQ(done, files);
    std::printf("  %d files in %lu ms: %d URL texts, %d toolbar queries (%d buttons)\n",
                files, took, counter.urlTexts, counter.toolbarQueries, buttons);
    // Two panels, each at most ten times a second (and once at its start).
    CHECK(counter.urlTexts <= 2 * (static_cast<int>(took / 100) + 2));
    // The toolbar's states at most four times a second.
    CHECK(counter.toolbarQueries <= buttons * (static_cast<int>(took / 250) + 3));
}

TEST_CASE("sizes of 2 GiB and more: the panel shows their kilobytes, the item keeps no size")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([] { return Doc()->GetItem(0)->IsDownloading(); }));
    Pump(500);
    CDownloadChildDlg* panel = Parent()->GetChild(0);
    REQUIRE(panel && panel->m_pItem == Doc()->GetItem(0));
    auto text = [&](int id) { return panel->GetDlgItemText(id); };
    struct Case {
        int type, p1, p2;
        std::string total, done;
        int percent, itemSize;
    };
    const Case cases[] = {
        // 5 GiB announced: no 32-bit size for the item, the panel shows it.
        {DLM_SIZE, 0x40000000, 1, "5242880", "0", 0, 0},
        // 3 GiB of 5 received: below 4 GiB the high part is 0.
        {DLM_PROGRESS, static_cast<int>(0xC0000000u), 0, "5242880", "3145728", 60, 0},
        // More than announced: the size is not known any more.
        {DLM_PROGRESS, 0x40000400, 1, "???", "5242881", 0, 0},
        // A small size still reaches the item.
        {DLM_SIZE, 20480, 0, "20", "5242881", 0, 20480},
        {DLM_PROGRESS, 10240, 0, "20", "10", 50, 20480},
    };
    for (const Case& c : cases) {
        panel->OnThreadMessage(c.type, c.p1, c.p2, 0, nullptr);
        Pump(150);
        CHECK_EQ(text(IDC_PANEL_TOTAL), c.total);
        CHECK_EQ(text(IDC_PANEL_DONE), c.done);
        CHECK_EQ(static_cast<int>(::SendDlgItemMessageA(panel->m_hWnd, IDC_PANEL_PROGRESS, PBM_GETPOS, 0, 0)),
                 c.percent);
        CHECK_EQ(Doc()->GetItem(0)->m_nSize, c.itemSize);
    }
    CHECK_EQ(CDownloadChildDlg::MessageBytes(-1, 0), -1LL);
    CHECK_EQ(CDownloadChildDlg::MessageBytes(0, 1), 4294967296LL);
    CHECK_EQ(CDownloadChildDlg::MessageBytes(static_cast<int>(0x80000000u), 0), 2147483648LL);
    CHECK_EQ(CDownloadChildDlg::MessageBytes(-1, -1), -1LL);
    ::SendMessageA(Parent()->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK(PumpUntil([] { return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE; }, 5000));
}
