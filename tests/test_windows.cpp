// Windows that redraw and sit well: the main window shows the same
// picture whichever way a state was reached (bars hidden and shown in any
// order, maximised and restored), message boxes and the About box open
// centred on the main window, and the countdown and dialing windows open
// beside it, never over its menu and bars.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include "Test.h"
#include "TestUtil.h"
#include "UiUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/WindowPlacement.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "schedule/DialingDlg.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimerDlg.h"
#include "schedule/TimerDlgList.h"
#include "schedule/TimerSchedule.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CMainFrame* Frame() { return dynamic_cast<CMainFrame*>(AfxGetMainWnd()); }
CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

struct Session {
    Session()
    {
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        WriteRegString("Settings", "CurrentDirectory", dir.Path());
        ok = StartApp();
        if (ok) {
            for (const char* url : {"http://h/a/one.zip", "http://h/a/two.zip", "http://h/b/three.zip"})
                Doc()->AddURL(url);
            Doc()->GetItem(1)->SetFailed(ITEM_UNREAD, "reason");
            Doc()->SetModifiedFlag(false);
        }
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

POINT Centre(const RECT& rc)
{
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

bool Near(POINT a, POINT b, int by)
{
    return std::abs(a.x - b.x) <= by && std::abs(a.y - b.y) <= by;
}

// The screen area of the main window's caption, menu and top bars.
RECT TopBand()
{
    RECT rc = Frame()->GetWindowRect();
    rc.bottom = rc.top + WindowPlacement::TopBandOf(Frame()->m_hWnd);
    return rc;
}

bool Overlaps(const RECT& a, const RECT& b)
{
    RECT both;
    return ::IntersectRect(&both, &a, &b) != FALSE;
}

} // namespace

TEST_CASE("the same state reached two ways shows the same picture: bars hidden and shown, maximised and restored")
{
    Session session;
    REQUIRE(session.ok);
    HWND main = Frame()->m_hWnd;
    Frame()->SetWindowPos(nullptr, 30, 30, 760, 360, SWP_NOZORDER);
    Activate(main, Doc()->GetListView()->m_hWnd);
    Pump(300);
    SIZE size0{};
    const std::vector<DWORD> fresh = Picture(main, &size0);
    REQUIRE(!fresh.empty());

    const UINT bars[] = {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, AFX_IDW_DIALOGBAR};
    struct Way {
        const char* what;
        std::function<void()> go;
    };
    std::vector<Way> ways;
    int order[] = {0, 1, 2};
    do {
        const int a = order[0], b = order[1], c = order[2];
        ways.push_back({"bars hidden and shown in an order", [=] {
            for (int i : {a, b, c})
                Command(bars[i]), Pump(60);
            for (int i : {c, a, b})
                Command(bars[i]), Pump(60);
        }});
    } while (std::next_permutation(order, order + 3));
    ways.push_back({"maximised and restored", [=] {
        ::ShowWindow(main, SW_MAXIMIZE);
        Pump(300);
        ::ShowWindow(main, SW_RESTORE);
        Pump(300);
    }});
    ways.push_back({"toolbar hidden, maximised, shown, restored", [=] {
        Command(ID_VIEW_TOOLBAR);
        ::ShowWindow(main, SW_MAXIMIZE);
        Pump(300);
        Command(ID_VIEW_TOOLBAR);
        ::ShowWindow(main, SW_RESTORE);
        Pump(300);
    }});
    ways.push_back({"made narrow and wide again", [=] {
        Frame()->SetWindowPos(nullptr, 0, 0, 520, 360, SWP_NOMOVE | SWP_NOZORDER);
        Pump(200);
        Frame()->SetWindowPos(nullptr, 0, 0, 760, 360, SWP_NOMOVE | SWP_NOZORDER);
        Pump(200);
    }});
    int n = 0;
    for (const Way& w : ways) {
        w.go();
        Pump(300);
        SIZE size{};
        const std::vector<DWORD> again = Picture(main, &size);
        const int differ = DifferentPixels(fresh, again);
        if (!CHECK_EQ(differ, 0)) {
            Fail(__FILE__, __LINE__, std::string(w.what) + " (" + std::to_string(n) + ")");
            SaveScreen(("redraw-differs-" + std::to_string(n)).c_str());
        }
        ++n;
    }
    SaveScreen("main-window");
}

TEST_CASE("message boxes and the About box open centred on the main window")
{
    Session session;
    REQUIRE(session.ok);
    Frame()->SetWindowPos(nullptr, 60, 80, 640, 420, SWP_NOZORDER);
    Pump(200);
    const POINT mainCentre = Centre(Frame()->GetWindowRect());
    // Where each window the command opens stands, pressing `button` in it.
    auto placesOf = [](UINT command, std::function<bool(HWND)> which, int button) {
        std::vector<RECT> seen;
        WindowWatcher watcher(std::move(which), [&](HWND w) {
            RECT rc;
            ::GetWindowRect(w, &rc);
            seen.push_back(rc);
            PressButton(w, button);
        });
        Command(command);
        return seen;
    };
    std::vector<RECT> seen = placesOf(ID_APP_ABOUT, [](HWND w) {
        return CWnd::FromHandle(w) && ::GetDlgItem(w, IDOK) && ::GetWindowTextLengthA(w) > 0 &&
               !::GetDlgItem(w, IDC_ITEM_URL);
    }, IDOK);
    REQUIRE(seen.size() == 1u);
    CHECK(Near(Centre(seen[0]), mainCentre, 2));

    // The question of a new list over a changed one.
    Doc()->AddURL("http://h/changed");
    seen = placesOf(ID_FILE_NEW, IsMessageBox, IDCANCEL);
    REQUIRE(seen.size() == 1u);
    CHECK(Near(Centre(seen[0]), mainCentre, 2));
    // Near the screen's edge the box stays whole on the screen.
    Frame()->SetWindowPos(nullptr, -300, -200, 640, 420, SWP_NOZORDER);
    Pump(200);
    seen = placesOf(ID_FILE_NEW, IsMessageBox, IDCANCEL);
    REQUIRE(seen.size() == 1u);
    CHECK(seen[0].left >= 0 && seen[0].top >= 0);
    Doc()->SetModifiedFlag(false);
}

TEST_CASE("the countdown and dialing windows open beside the main window, never over its menu and bars")
{
    Session session;
    REQUIRE(session.ok);
    struct Case {
        const char* what;
        RECT main;
        bool maximised;
    } cases[] = {
        {"room on the right", {20, 20, 620, 400}, false},
        {"room on the left only", {400, 60, 1000, 400}, false},
        {"a maximised main window", {0, 0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        if (c.maximised) {
            ::ShowWindow(Frame()->m_hWnd, SW_MAXIMIZE);
        } else {
            ::ShowWindow(Frame()->m_hWnd, SW_RESTORE);
            Frame()->SetWindowPos(nullptr, c.main.left, c.main.top, c.main.right - c.main.left,
                                  c.main.bottom - c.main.top, SWP_NOZORDER);
        }
        Pump(300);
        // A start far from now: the window only waits.
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        TimerSchedule schedule;
        schedule.start = {static_cast<unsigned char>((now.wHour + 12) % 24), 0};
        schedule.end = TimeOfDay::Unset;
        schedule.entryName = "Office";
        REQUIRE(TimerDlgList::Start(Doc(), schedule));
        Pump(200);
        HWND countdown = TimerDlgList::Get(0)->m_hWnd;
        RECT timer;
        ::GetWindowRect(countdown, &timer);
        const RECT mainRect = Frame()->GetWindowRect();
        if (!CHECK(!Overlaps(timer, TopBand())))
            Fail(__FILE__, __LINE__, c.what);
        if (!c.maximised && !CHECK(!Overlaps(timer, mainRect)))
            Fail(__FILE__, __LINE__, std::string(c.what) + ": over the main window");

        // The dialing window: below the countdown, over neither.
        CDialingDlg* dialing = CDialingDlg::Open(Frame()->m_hWnd);
        REQUIRE(dialing != nullptr);
        RECT dial;
        ::GetWindowRect(dialing->m_hWnd, &dial);
        CHECK(!Overlaps(dial, TopBand()));
        CHECK(!Overlaps(dial, timer));
        SaveScreen(("countdown-" + std::to_string(&c - cases)).c_str());
        dialing->DestroyWindow();
        ::SendMessageA(countdown, WM_CLOSE, 0, 0);
        Pump(200);
        CHECK_EQ(TimerDlgList::GetCount(), 0);
    }
    ::ShowWindow(Frame()->m_hWnd, SW_RESTORE);
}
