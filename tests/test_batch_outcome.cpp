// What a batch leaves: one file per item (names compared as the file
// system does, in the folder the bar showed at the start), the reasons of
// failures as the user reads them, and the end-of-batch summary in the
// status bar.
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

namespace {

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
