// Batches as the user sees them, against the test servers: why items
// failed (column, tip, properties), what the panels say during a throttled
// transfer, the batch's place in the captions, the end of a batch started
// by hand or by a schedule, retrying only what failed, closing during a
// transfer, and where the progress window opens.
#include <windows.h>
#include <commctrl.h>
#include <cstdlib>
#include <set>
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "UiUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "engine/DownloadChildDlg.h"
#include "engine/DownloadParentDlg.h"
#include "engine/DownloadThread.h"
#include "framework/FrameworkIds.h"
#include "framework/WindowPlacement.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "schedule/TimerDlgList.h"
#include "schedule/TimerSchedule.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CMainFrame* Frame() { return dynamic_cast<CMainFrame*>(AfxGetMainWnd()); }
CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }
CDownloadParentDlg* Parent() { return Doc()->GetProgressDialog(); }
CKestrinView* View() { return Doc()->GetListView(); }

std::string Cell(int row, int column)
{
    return View()->GetListCtrl().GetItemText(row, column);
}

std::string StatusText()
{
    char text[512] = "";
    if (LOWORD(Frame()->m_wndStatusBar.SendMessage(SB_GETTEXTLENGTHA, 0)) < sizeof text)
        Frame()->m_wndStatusBar.SendMessage(SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<int> Selected()
{
    std::vector<int> rows;
    HWND list = View()->m_hWnd;
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED))
        rows.push_back(row);
    return rows;
}

bool WaitIdle(DWORD ms = 30000)
{
    return PumpUntil([] {
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Parent()->GetChildCount() == 0;
    }, ms);
}

std::string PanelText(CDownloadChildDlg* panel, int id)
{
    return panel->GetDlgItemText(id);
}

struct Session {
    Session()
    {
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        WriteRegString("Settings", "CurrentDirectory", dir.Path());
        // A failure ends its item at once here; retries have tests of
        // their own (test_retry_run).
        WriteRegDWord("Settings", "RetryCount", 0);
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

// The window texts written to `wnd` while it lives, on this thread.
struct CaptionLog {
    explicit CaptionLog(HWND wnd)
    {
        s_self = this;
        m_hWnd = wnd;
        m_hHook = ::SetWindowsHookExA(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CaptionLog()
    {
        ::UnhookWindowsHookEx(m_hHook);
        s_self = nullptr;
    }
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
    {
        const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (code == HC_ACTION && s_self && m->hwnd == s_self->m_hWnd && m->message == WM_SETTEXT && m->lParam) {
            const std::string text = reinterpret_cast<const char*>(m->lParam);
            if (s_self->texts.empty() || s_self->texts.back() != text)
                s_self->texts.push_back(text);
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }
    std::vector<std::string> texts;
    HWND m_hWnd;
    HHOOK m_hHook;
    static CaptionLog* s_self;
};
CaptionLog* CaptionLog::s_self = nullptr;

} // namespace

TEST_CASE("a 404, a refused connection and a time-out: the reason in the column, the tip and the properties")
{
    Session session;
    REQUIRE(session.ok);
    // 2 s to connect, 3 s without a byte.
    CDownloadThread::SetTimeLimits(2000, 3000);
    Doc()->AddURL(HttpUrl("/status/404/r/missing.zip" + Unique()).c_str());
    Doc()->AddURL(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/r/refused.zip").c_str());
    Doc()->AddURL(HttpUrl("/silent" + Unique()).c_str());   // never answers
    Doc()->AddURL(HttpUrl("/bytes/3000/r/fine.zip" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    CHECK(WaitIdle(30000));
    CDownloadThread::SetTimeLimits(60000, 120000);

    struct Row {
        int row;
        const char* state;
        const char* reason;
    } rows[] = {
        {0, "ｴﾗｰ", "HTTP エラー 404 Not Found"},
        {1, "ｴﾗｰ", "接続を拒否されました"},
        {2, "ｴﾗｰ", "タイムアウトしました"},
        {3, "完了", ""},
    };
    for (const Row& r : rows) {
        CHECK_EQ(Cell(r.row, 1), Ansi(r.state));
        CHECK_EQ(Cell(r.row, 3), Ansi(r.reason));
        CHECK_EQ(View()->TipTextOfRow(r.row).empty(), *r.reason == 0);
    }
    // The properties of the timed-out item say so.
    std::string reason;
    {
        WindowWatcher props([](HWND w) { return ::GetDlgItem(w, IDC_ITEM_REASON) != nullptr; },
                            [&](HWND dlg) {
                                char text[256] = "";
                                ::GetDlgItemTextA(dlg, IDC_ITEM_REASON, text, sizeof text);
                                reason = text;
                                SaveScreen("properties-of-a-failed-item");
                                PressButton(dlg, IDOK);
                            });
        SelectRows({2});
        Command(ID_PROPERTIES);
    }
    CHECK_EQ(reason, Ansi("タイムアウトしました"));
}

TEST_CASE("during a throttled transfer the panel shows the speed, the time left and the percentage")
{
    Session session;
    REQUIRE(session.ok);
    const int rate = 100000;       // bytes a second, as the server sends
    const int size = 1200000;      // twelve seconds of it
    Doc()->AddURL(HttpUrl("/rate/" + std::to_string(size) + "/" + std::to_string(rate) + "/t/big.bin" + Unique()).c_str());
    Doc()->AddURL(HttpUrl("/rate/" + std::to_string(size) + "/" + std::to_string(rate) + "/t/other.bin" + Unique()).c_str());
    Command(ID_BATCH_DOWNLOAD);
    REQUIRE(PumpUntil([] { return Parent()->GetChildCount() == 2; }, 5000));
    Pump(6000);
    SaveScreen("progress-window");
    for (int i = 0; i < 2; ++i) {
        CDownloadChildDlg* panel = Parent()->GetChild(i);
        const std::string speed = PanelText(panel, IDC_PANEL_SPEED);
        const std::string left = PanelText(panel, IDC_PANEL_TIME_LEFT);
        const std::string percent = PanelText(panel, IDC_PANEL_PERCENT);
        const long long doneKb = std::atoll(PanelText(panel, IDC_PANEL_DONE).c_str());
        std::printf("  panel %d: %s, %s, %s, %lld KB\n", i, speed.c_str(), left.c_str(), percent.c_str(), doneKb);
        // "97.7 KB/秒": within a fifth of the server's rate.
        const double shown = std::atof(speed.c_str()) * 1024;
        CHECK(speed.find(Ansi("KB/秒")) != std::string::npos);
        CHECK(shown > rate * 0.8 && shown < rate * 1.2);
        // "残り 0:06": what is left at that rate, give or take two seconds.
        REQUIRE(left.compare(0, Ansi("残り ").size(), Ansi("残り ")) == 0);
        const std::string clock = left.substr(Ansi("残り ").size());
        const int seconds = std::atoi(clock.c_str()) * 60 + std::atoi(clock.substr(clock.find(':') + 1).c_str());
        const double expected = (size - doneKb * 1024.0) / rate;
        CHECK(seconds > expected - 2 && seconds < expected + 2);
        // "45%": the bar's own figure.
        const int bar = static_cast<int>(::SendDlgItemMessageA(panel->m_hWnd, IDC_PANEL_PROGRESS, PBM_GETPOS, 0, 0));
        CHECK_EQ(percent, std::to_string(bar) + "%");
        CHECK(bar > 20 && bar < 80);
    }
    // Both items run: the first not yet ended is the first of two.
    CHECK_EQ(Parent()->GetWindowText(), Ansi("ダウンロード 1 / 2"));
    CHECK_EQ(Frame()->GetWindowText(), Ansi("ダウンロード 1 / 2 - *名称未設定 - Kestrin"));
    ::SendMessageA(Parent()->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    CHECK(WaitIdle(10000));
    // Once the batch is over the caption is the list's again.
    PumpUntil([] { return Frame()->GetWindowText() == Ansi("*名称未設定 - Kestrin"); }, 2000);
    CHECK_EQ(Frame()->GetWindowText(), Ansi("*名称未設定 - Kestrin"));
}

TEST_CASE("the progress window's caption follows the batch's place, item by item")
{
    Session session;
    REQUIRE(session.ok);
    const std::string tag = Unique();
    Doc()->AddURL(HttpUrl("/rate/150000/100000/p/first.bin" + tag).c_str());
    for (int i = 0; i < 4; ++i)
        Doc()->AddURL(HttpUrl("/rate/30000/100000/p/item" + std::to_string(i) + ".bin" + tag).c_str());
    CaptionLog log(Parent()->m_hWnd);
    Command(ID_BATCH_DOWNLOAD);
    CHECK(WaitIdle(30000));
    REQUIRE(!log.texts.empty());
    CHECK_EQ(log.texts.front(), Ansi("ダウンロード 1 / 5"));
    // Never backwards, every text a place of five, the last one reached.
    int last = 0;
    bool reachedEnd = false;
    for (const std::string& text : log.texts) {
        const std::string prefix = Ansi("ダウンロード ");
        if (text.compare(0, prefix.size(), prefix) != 0)
            continue;   // the plain caption once the batch is over
        const int place = std::atoi(text.c_str() + prefix.size());
        CHECK(place >= last);
        CHECK(text.find(" / 5") != std::string::npos);
        last = place;
        reachedEnd = reachedEnd || place == 5;
    }
    CHECK(reachedEnd);
}

TEST_CASE("the end of a batch started by hand is announced; a schedule's run ends quietly")
{
    Session session;
    REQUIRE(session.ok);
    const std::string tag = Unique();
    Doc()->AddURL(HttpUrl("/bytes/1000/e/ok1.bin" + tag).c_str());
    Doc()->AddURL(HttpUrl("/status/404/e/bad1.bin" + tag).c_str());
    Doc()->AddURL(HttpUrl("/bytes/1000/e/ok2.bin" + tag).c_str());
    Doc()->AddURL(HttpUrl("/status/410/e/bad2.bin" + tag).c_str());
    const std::string summary = Ansi("ダウンロード終了: 完了 2 件、エラー 2 件、キャンセル 0 件");
    MessageBoxWatcher boxes;

    // By hand: the sound, the failed rows selected, the summary.
    SelectRows({0});
    const int sounds = Frame()->m_nSounds;
    Command(ID_BATCH_DOWNLOAD);
    CHECK(WaitIdle());
    CHECK_EQ(Frame()->m_nSounds, sounds + 1);
    CHECK(Selected() == (std::vector<int>{1, 3}));
    CHECK_EQ(ListView_GetNextItem(View()->m_hWnd, -1, LVNI_FOCUSED), 1);
    CHECK_EQ(StatusText(), summary);
    SaveScreen("end-of-batch-with-failures");
    // It stays until the next command, whatever happens meanwhile.
    Pump(1500);
    CHECK_EQ(StatusText(), summary);
    Command(ID_SELECT_ALL);
    CHECK(StatusText() != summary);

    // A schedule's run: no sound, no flash, the selection left alone, no
    // box that waits; the run's own summary tells how it went.
    SelectRows({2});
    const int flashes = Frame()->m_nFlashes;
    TimerSchedule schedule;   // start now, no entry, no end, no hang-up
    REQUIRE(TimerDlgList::Start(Doc(), schedule));
    CHECK(PumpUntil([] { return Doc()->m_nBatchMode != CKestrinDoc::BATCH_IDLE; }, 5000) ||
          Doc()->GetItem(0)->m_state == ITEM_DONE);
    CHECK(WaitIdle());
    CHECK(PumpUntil([] { return TimerDlgList::GetCount() == 0; }, 5000));
    CHECK_EQ(Frame()->m_nSounds, sounds + 1);
    CHECK_EQ(Frame()->m_nFlashes, flashes);
    CHECK(Selected() == std::vector<int>{2});
    CHECK_EQ(StatusText().find(Ansi("前回のタイマー実行")), 0u);
    CHECK(StatusText().find(Ansi("完了 2 件、エラー 2 件、キャンセル 0 件")) != std::string::npos);
    CHECK(boxes.Texts().empty());
}

TEST_CASE("retrying fetches only the failed and cancelled items, resuming what the server allows")
{
    Session session;
    REQUIRE(session.ok);
    const std::string tag = Unique();
    const std::string ok = "/bytes/4000/y/ok.bin" + tag;
    const std::string missing = "/status/404/y/missing.bin" + tag;
    const std::string cut = "/cut/60000/20000/y/cut.bin" + tag;
    const std::string slow = "/slow/200000/4000/y/slow.bin" + tag;
    const std::string later = "/bytes/100/y/later.bin" + tag;
    for (const std::string& path : {ok, missing, cut, slow})
        Doc()->AddURL(HttpUrl(path).c_str());
    Command(ID_BATCH_DOWNLOAD);
    // The slow one is cancelled in its panel once some of it is there.
    CHECK(PumpUntil([] {
        for (int i = 0; i < Parent()->GetChildCount(); ++i) {
            CDownloadChildDlg* panel = Parent()->GetChild(i);
            if (panel->m_pItem == Doc()->GetItem(3) && std::atoi(panel->GetDlgItemText(IDC_PANEL_DONE).c_str()) > 20) {
                ::SendMessageA(panel->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return true;
            }
        }
        return false;
    }, 15000));
    CHECK(WaitIdle());
    CHECK_EQ(Cell(0, 1), Ansi("完了"));
    CHECK_EQ(Cell(1, 1), Ansi("ｴﾗｰ"));
    CHECK_EQ(Cell(2, 1), Ansi("ｴﾗｰ"));
    CHECK_EQ(Cell(3, 1), Ansi("ｷｬﾝｾﾙ"));
    // An item listed after the batch is not part of a retry.
    Doc()->AddURL(HttpUrl(later).c_str());

    Command(ID_RETRY_FAILED);
    CHECK(WaitIdle());
    struct Row {
        const std::string* path;
        int requests;
        const char* state;
    } rows[] = {
        {&ok, 1, "完了"},         // not fetched again
        {&missing, 2, "ｴﾗｰ"},     // tried again, fails again
        {&cut, 2, "完了"},        // the rest fetched
        {&slow, 2, "完了"},       // the rest fetched
        {&later, 0, "未読"},      // left alone
    };
    for (int i = 0; i < 5; ++i) {
        if (!CHECK_EQ(HttpRequestCount(*rows[i].path), rows[i].requests))
            Fail(__FILE__, __LINE__, *rows[i].path);
        CHECK_EQ(Cell(i, 1), Ansi(rows[i].state));
    }
    // The partial files were resumed, not fetched again whole.
    CHECK_EQ(HttpLastRange(cut), std::string("bytes=20000-"));
    CHECK(HttpLastRange(slow).compare(0, 6, "bytes=") == 0);
    std::string bytes;
    CHECK(ReadFileBytes(session.dir.File(Doc()->GetItem(2)->m_strFileName), bytes) && bytes == Pattern(60000));
    CHECK(ReadFileBytes(session.dir.File(Doc()->GetItem(3)->m_strFileName), bytes) && bytes == Pattern(200000));
    // Still something to retry: the 404.
    CHECK(Frame()->IsCommandEnabled(ID_RETRY_FAILED));
}

TEST_CASE("closing during a transfer asks first: Cancel keeps the downloads, No stops them and closes")
{
    Session session;
    REQUIRE(session.ok);
    const std::string slow = "/slow/400000/8000/c/slow.bin" + Unique();
    Doc()->AddURL(HttpUrl(slow).c_str());
    Command(ID_BATCH_DOWNLOAD);
    REQUIRE(PumpUntil([] { return Doc()->GetItem(0)->IsDownloading(); }, 5000));
    std::vector<std::string> asked;
    {
        WindowWatcher boxes(IsMessageBox, [&](HWND box) {
            asked.push_back(MessageBoxText(box));
            PressButton(box, IDCANCEL);
        });
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        Pump(1500);
    }
    REQUIRE(asked.size() == 1u);
    CHECK(asked[0].find(Ansi("ダウンロード中です")) != std::string::npos);
    CHECK(asked[0].find(Ansi("名称未設定 への変更を保存しますか?")) != std::string::npos);
    // Kept: the window, the list and the transfer.
    CHECK(AfxGetMainWndHandle() != nullptr);
    CHECK(Doc()->GetItem(0)->IsDownloading());
    CHECK_EQ(Parent()->GetChildCount(), 1);

    asked.clear();
    const DWORD start = ::GetTickCount();
    {
        WindowWatcher boxes(IsMessageBox, [&](HWND box) {
            asked.push_back(MessageBoxText(box));
            PressButton(box, IDNO);
        });
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 10000));
    }
    CHECK(::GetTickCount() - start < 5000);
    CHECK_EQ(asked.size(), 1u);
    CHECK_EQ(HttpRequestCount(slow), 1);
    CloseApp();
}

TEST_CASE("the progress window opens beside the main window, or over it below its menu and bars")
{
    // A fresh program each time: the window's place is chosen when it
    // first shows, and kept from then on.
    for (int maximised = 0; maximised < 2; ++maximised) {
        Session session;
        REQUIRE(session.ok);
        if (maximised)
            ::ShowWindow(Frame()->m_hWnd, SW_MAXIMIZE);
        else
            Frame()->SetWindowPos(nullptr, 10, 10, 600, 300, SWP_NOZORDER);
        Pump(300);
        Doc()->AddURL(HttpUrl("/slow/20000/1500/w/" + std::to_string(maximised) + ".bin" + Unique()).c_str());
        Command(ID_BATCH_DOWNLOAD);
        REQUIRE(PumpUntil([] { return Parent()->IsWindowVisible() != FALSE; }, 5000));
        const RECT progress = Parent()->GetWindowRect();
        RECT band = Frame()->GetWindowRect();
        band.bottom = band.top + WindowPlacement::TopBandOf(Frame()->m_hWnd);
        RECT both;
        CHECK(!::IntersectRect(&both, &progress, &band));
        if (!maximised) {
            const RECT main = Frame()->GetWindowRect();
            CHECK(!::IntersectRect(&both, &progress, &main));
        }
        CHECK(WaitIdle());
    }
}
