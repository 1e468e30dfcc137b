// Batch downloads in the real main window: panels, item states in the
// list, cancelling, closing during a batch, one file per item, the reasons
// of failures, the end-of-batch summary and the commands' enable rules.
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

namespace {

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }
CDownloadParentDlg* Parent() { return Doc()->GetProgressDialog(); }
CKestrinView* View() { return Doc()->GetListView(); }

std::string StateText(int row)
{
    return View()->GetListCtrl().GetItemText(row, 1);
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
        // A failure ends its item at once here; retries have tests of
        // their own (test_retry_run).
        test::WriteRegDWord("Settings", "RetryCount", 0);
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

// ---- the counting server: many small files, every request counted

namespace {

std::string BatchUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(ServerPort("batch")) + path;
}

// How many requests the counting server has had.
int BatchServerTotal()
{
    HINTERNET root = ::InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET url = ::InternetOpenUrlA(root, BatchUrl("/total").c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buf[32] = "";
    DWORD n = 0;
    if (url)
        ::InternetReadFile(url, buf, sizeof buf - 1, &n);
    buf[n] = '\0';
    if (url)
        ::InternetCloseHandle(url);
    ::InternetCloseHandle(root);
    return url ? std::atoi(buf) : -1;
}

// Lists `n` URLs "<prefix><i>.bin", with the list's drawing held back
// meanwhile, as a bulk load would.
void ListMany(const std::string& prefix, int n)
{
    HWND list = View()->m_hWnd;
    ::SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < n; ++i)
        Doc()->AddURL((prefix + std::to_string(i) + ".bin").c_str());
    ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

std::string StatusText()
{
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    char text[512] = "";
    if (LOWORD(frame->m_wndStatusBar.SendMessage(SB_GETTEXTLENGTHA, 0)) < sizeof text)
        frame->m_wndStatusBar.SendMessage(SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

void FocusRow(int row)
{
    HWND list = View()->m_hWnd;
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// The tip the list shows when the pointer rests on `row`, with the file
// column `fileWidth` pixels wide (the URL column takes the rest): the
// pointer is moved there and rests.
std::string HoverTip(int row, int fileWidth)
{
    HWND list = View()->m_hWnd;
    ListView_SetColumnWidth(list, 2, fileWidth);
    RECT rc{};
    ListView_GetItemRect(list, row, &rc, LVIR_BOUNDS);
    const LPARAM at = MAKELPARAM(rc.left + 20, (rc.top + rc.bottom) / 2);
    ::SendMessageA(list, WM_MOUSEMOVE, 0, at);
    ::SendMessageA(list, WM_MOUSEHOVER, 0, at);
    Pump(50);
    const CReasonTip& tip = View()->GetTip();
    // Shown as a window of its own, with that text.
    if (tip.IsShown() != (::IsWindowVisible(tip.GetSafeHwnd()) != FALSE))
        return "(the tip window does not follow)";
    return tip.ShownText();
}

} // namespace

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

TEST_CASE("two items naming one file: one completes with the whole file, the other fails")
{
    Session session;
    REQUIRE(session.ok);
    const int port = ServerPort("batch");
    const std::string tag = Unique().substr(3);
    struct Case {
        std::string first, second, file;
    };
    const Case cases[] = {
        // The same path on two hosts.
        {"http://127.0.0.1:" + std::to_string(port) + "/file/3000/h" + tag + "/same.bin",
         "http://localhost:" + std::to_string(port) + "/file/5000/h" + tag + "/same.bin",
         "h" + tag + "\\same.bin"},
        // Names differing only in case.
        {BatchUrl("/file/3000/c" + tag + "/Name.BIN"), BatchUrl("/file/5000/C" + tag + "/nAME.bin"),
         "c" + tag + "\\Name.BIN"},
    };
    for (const Case& c : cases) {
        Doc()->AddURL(c.first.c_str());
        Doc()->AddURL(c.second.c_str());
    }
    // Run the list twice: the second run must leave the same whole files.
    for (int run = 0; run < 2; ++run) {
        Command(ID_BATCH_DOWNLOAD);
        Watch watch;
        CHECK(watch.RunUntilIdle());
        for (size_t i = 0; i < 2; ++i) {
            const int first = static_cast<int>(2 * i), second = first + 1;
            CHECK_EQ(StateText(first), Ansi("完了"));
            CHECK_EQ(StateText(second), Ansi("ｴﾗｰ"));
            CHECK_EQ(Doc()->GetItem(second)->m_strFailure, Ansi("他のアイテムと同じファイルです"));
            CHECK(Doc()->GetItem(first)->m_strFailure.empty());
            std::string bytes;
            CHECK(ReadFileBytes(session.dir.File(cases[i].file), bytes));
            CHECK(bytes == Pattern(3000));
        }
    }
    // The reason shows in the status bar while the failed row has the
    // focus, and in its info tip; a completed row brings the summary back.
    FocusRow(1);
    Pump(100);
    CHECK_EQ(StatusText(), Ansi("他のアイテムと同じファイルです"));
    FocusRow(0);
    Pump(100);
    CHECK_EQ(StatusText(), Ansi("ダウンロード終了: 完了 2 件、エラー 2 件、キャンセル 0 件"));
    FocusRow(3);
    Pump(100);
    CHECK_EQ(StatusText(), Ansi("他のアイテムと同じファイルです"));
    // The list shows its own tip (the system's list has none under Wine):
    // the reason, after the URL when the column cuts it short.
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    frame->SetWindowPos(nullptr, 0, 0, 1000, 400, SWP_NOMOVE | SWP_NOZORDER);
    Pump(100);
    CHECK_EQ(HoverTip(1, 40), Ansi("他のアイテムと同じファイルです"));
    CHECK_EQ(HoverTip(1, 900), Doc()->GetItem(1)->m_strURL + "\r\n" + Ansi("他のアイテムと同じファイルです"));
    CHECK_EQ(HoverTip(0, 900), "");
    // Deleting the focused failed row takes its reason off the bar.
    test::SelectRows({3});
    FocusRow(3);
    View()->DeleteSelectedItems();
    Pump(100);
    CHECK(StatusText() != Ansi("他のアイテムと同じファイルです"));
}

TEST_CASE("the end of a batch: the status bar counts completed, failed and cancelled items")
{
    Session session;
    REQUIRE(session.ok);
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    const std::string tag = Unique().substr(3);
    Doc()->AddURL(BatchUrl("/file/100/e" + tag + "/ok1.bin").c_str());
    Doc()->AddURL(BatchUrl("/nothing/e" + tag + "/bad1.bin").c_str());
    Doc()->AddURL(BatchUrl("/file/100/e" + tag + "/ok2.bin").c_str());
    Doc()->AddURL(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/e" + tag + "/bad2.bin").c_str());
    Doc()->AddURL(BatchUrl("/file/100/e" + tag + "/ok3.bin").c_str());

    // Another window is active: the main window flashes at the end.
    HWND other = ::CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(other);
    ::SetForegroundWindow(other);
    Pump(100);
    const bool otherActive = ::GetForegroundWindow() == other;
    const int flashes = frame->m_nFlashes;
    Command(ID_BATCH_DOWNLOAD);
    CHECK(StatusText() != Ansi("ダウンロード終了: 完了 3 件、エラー 2 件、キャンセル 0 件"));
    Watch watch;
    CHECK(watch.RunUntilIdle());
    CHECK_EQ(StatusText(), Ansi("ダウンロード終了: 完了 3 件、エラー 2 件、キャンセル 0 件"));
    CHECK(otherActive);
    CHECK_EQ(frame->m_nFlashes, flashes + (otherActive ? 1 : 0));
    // Nothing modal came up: the main window still takes input.
    CHECK(::IsWindowEnabled(AfxGetMainWndHandle()));
    ::DestroyWindow(other);

    // With the main window active there is nothing to draw attention to.
    ::SetForegroundWindow(AfxGetMainWndHandle());
    Pump(100);
    const bool mainActive = ::GetForegroundWindow() == AfxGetMainWndHandle();
    const int flashes2 = frame->m_nFlashes;
    Command(ID_BATCH_DOWNLOAD);
    CHECK(watch.RunUntilIdle());
    CHECK(mainActive);
    CHECK_EQ(frame->m_nFlashes, flashes2);
    CHECK_EQ(StatusText(), Ansi("ダウンロード終了: 完了 3 件、エラー 2 件、キャンセル 0 件"));
}

TEST_CASE("a cancelled item is counted as cancelled at the end of the batch")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL(HttpUrl("/stall" + Unique()).c_str());
    Doc()->AddURL(BatchUrl("/file/100/x" + Unique().substr(3) + "/ok.bin").c_str());
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([] { return Doc()->GetItem(0)->IsDownloading(); }));
    Pump(300);
    CDownloadChildDlg* panel = Parent()->GetChild(0);
    REQUIRE(panel->m_pItem == Doc()->GetItem(0));
    ::SendMessageA(panel->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Watch watch;
    CHECK(watch.RunUntilIdle());
    CHECK_EQ(StatusText(), Ansi("ダウンロード終了: 完了 1 件、エラー 0 件、キャンセル 1 件"));
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

TEST_CASE("failure reasons read as the user is told them")
{
    LoadTestSettings();
    auto make = [](TransferFailure::Kind kind) {
        TransferFailure f;
        f.kind = kind;
        return f;
    };
    TransferFailure notFound = make(TransferFailure::HTTP_STATUS);
    notFound.httpStatus = 404;
    notFound.statusText = "Not Found";
    TransferFailure bare = make(TransferFailure::HTTP_STATUS);
    bare.httpStatus = 503;
    TransferFailure hostile = make(TransferFailure::HTTP_STATUS);
    hostile.httpStatus = 500;
    hostile.statusText = "Bad\r\nSet-Cookie: x\t" + std::string(300, 'A');
    TransferFailure cut = make(TransferFailure::CUT_OFF);
    cut.received = 1000;
    cut.expected = 2048;
    TransferFailure cutBig = make(TransferFailure::CUT_OFF);
    cutBig.received = 5000000000LL;
    TransferFailure status300 = make(TransferFailure::BAD_RESPONSE);
    status300.httpStatus = 300;
    TransferFailure network = make(TransferFailure::NETWORK);
    network.error = 12030;
    struct Case {
        TransferFailure failure;
        std::string text;
    };
    const Case cases[] = {
        {notFound, "HTTP エラー 404 Not Found"},
        {bare, "HTTP エラー 503"},
        // Control characters never reach the screen; the phrase is cut at 80.
        {hostile, "HTTP エラー 500 Bad  Set-Cookie: x " + std::string(61, 'A')},
        {make(TransferFailure::REFUSED), "接続を拒否されました"},
        {make(TransferFailure::HOST_NOT_FOUND), "ホスト名を解決できません"},
        {make(TransferFailure::TIMED_OUT), "タイムアウトしました"},
        {cut, "途中で切断されました (1,000 / 2,048 バイト)"},
        {cutBig, "途中で切断されました (5,000,000,000 バイト)"},
        {make(TransferFailure::UNSAFE_NAME), "保存先の名前が安全ではありません"},
        {make(TransferFailure::WRITE_FAILED), "ファイルに書き込めません"},
        {make(TransferFailure::SAME_FILE), "他のアイテムと同じファイルです"},
        {make(TransferFailure::BAD_REDIRECT), "リダイレクトをたどれません"},
        {make(TransferFailure::BAD_RESPONSE), "サーバーの応答が正しくありません"},
        {status300, "サーバーの応答が正しくありません (HTTP 300)"},
        {network, "通信エラーが発生しました (エラー 12030)"},
        {make(TransferFailure::NONE), "ダウンロードに失敗しました"},
    };
    for (const Case& c : cases)
        CHECK_EQ(FailureText(c.failure), Ansi(c.text.c_str()));
}

TEST_CASE("names are one file the way the file system compares them")
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"dir\\a.bin", "DIR\\A.BIN", true},
        {"dir\\a.bin", "dir\\a.bin.", true},
        {"dir\\a.bin", "dir\\a.bin ", true},
        {"dir\\a.bin", "dir\\\\a.bin", true},
        {"dir\\a.bin", "other\\..\\dir\\a.bin", true},
        {"dir\\a.bin", "C:\\dl\\dir\\a.bin", true},
        {"dir\\a.bin", "dir\\b.bin", false},
        {"dir\\a.bin", "dir2\\a.bin", false},
        {"dir\\a.bin", "C:\\other\\dir\\a.bin", false},
        {"dir\\ｆｉｌｅ.txt", "dir\\ＦＩＬＥ.TXT", true},
        {"dir\\ファイル.txt", "dir\\ファイル.TXT", true},
        {"dir\\ファイル.txt", "dir\\フアイル.txt", false},
    };
    for (const Case& c : cases) {
        const bool same = CDownloadParentDlg::TargetKey("C:\\dl", Ansi(c.a)) ==
                          CDownloadParentDlg::TargetKey("C:\\dl", Ansi(c.b));
        if (same != c.same)
            std::printf("  %s / %s\n", c.a, c.b);
        CHECK_EQ(same, c.same);
    }
}

TEST_CASE("files land in the folder the bar shows when the transfer starts, wherever the current directory goes")
{
    Session session;
    REQUIRE(session.ok);
    TempDir second;
    for (int i = 0; i < 4; ++i)
        Doc()->AddURL(HttpUrl("/slow/20000/800/folder" + std::to_string(i) + ".bin" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    // The first two items are under way in the first folder; then the folder
    // bar changes, and a file dialog would move the current directory away.
    CHECK(PumpUntil([] { return Doc()->GetItem(0)->IsDownloading() && Doc()->GetItem(1)->IsDownloading(); }));
    theApp.SetCurrentFolder(second.Path().c_str());
    ::SetCurrentDirectoryA("C:\\");

    Watch watch;
    CHECK(watch.RunUntilIdle());
    for (int i = 0; i < 4; ++i) {
        const URLItem* item = Doc()->GetItem(i);
        CHECK_EQ(StateText(i), Ansi("完了"));
        const TempDir& folder = i < 2 ? session.dir : second;
        const TempDir& other = i < 2 ? second : session.dir;
        std::string bytes;
        CHECK(ReadFileBytes(folder.File(item->m_strFileName), bytes));
        CHECK(bytes == Pattern(20000));
        CHECK(!ReadFileBytes(other.File(item->m_strFileName), bytes));
        CHECK(!ReadFileBytes("C:\\" + item->m_strFileName, bytes));
    }
}
