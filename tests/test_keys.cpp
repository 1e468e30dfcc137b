// The main window from the keyboard and at its smallest: Tab, Shift+Tab
// and F6 between the list and the folder bar, the bar's access keys, and
// a window too small for its bars.
#include <windows.h>
#include <commctrl.h>
#include "AppUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "UiUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

HWND List() { return Doc()->GetListView()->m_hWnd; }

void FourItems()
{
    for (const char* url : {"http://h/a/done.zip", "http://h/a/failed.zip", "http://h/a/cancelled.zip",
                            "http://h/a/unread.zip"})
        Doc()->AddURL(url);
}

using Session = ListSession;

} // namespace

TEST_CASE("the folder bar from the keyboard: Tab, Shift+Tab, F6 and its access keys")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    HWND bar = Frame()->m_wndDlgBar.m_hWnd;
    HWND folder = ::GetDlgItem(bar, IDC_CURRENT_FOLDER);
    HWND change = ::GetDlgItem(bar, IDC_CHANGE_FOLDER);
    HWND explore = ::GetDlgItem(bar, IDC_EXPLORE_FOLDER);
    REQUIRE(Activate(Frame()->m_hWnd, List()));

    struct Step {
        std::vector<WORD> keys;
        HWND focus;
    } steps[] = {
        {{VK_TAB}, folder},                 // from the list into the bar
        {{VK_TAB}, change},
        {{VK_TAB}, explore},
        {{VK_TAB}, List()},                 // past the bar's last control
        {{VK_SHIFT, VK_TAB}, explore},      // back from the list: the bar's last
        {{VK_SHIFT, VK_TAB}, change},
        {{VK_SHIFT, VK_TAB}, folder},
        {{VK_SHIFT, VK_TAB}, List()},       // before its first: the list
        {{VK_F6}, folder},                  // F6 goes between the two
        {{VK_F6}, List()},
        {{VK_SHIFT, VK_F6}, explore},
        {{VK_F6}, List()},
        {{VK_MENU, 'C'}, folder},           // the label's key: its field
    };
    int n = 0;
    for (const Step& s : steps) {
        ++n;
        PressKeys(s.keys);
        if (!CHECK(::GetFocus() == s.focus))
            Fail(__FILE__, __LINE__, "step " + std::to_string(n));
    }

    // In the folder field the keys are the field's: Ctrl+C copies the
    // folder, not the selected rows.
    SelectRows({0});
    ::SetFocus(folder);
    ::SendMessageA(folder, EM_SETSEL, 0, -1);
    PressKeys({VK_CONTROL, 'C'});
    std::string clip;
    if (::OpenClipboard(nullptr)) {
        if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
            clip = static_cast<const char*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    CHECK_EQ(clip, session.dir.Path());

    // A button's key presses it (the folder chooser opens), from the list
    // too; a key the menu bar has opens the menu instead.
    int choosers = 0;
    std::vector<MenuSeen> menus;
    {
        WindowWatcher dialogs(IsFileDialog, [&](HWND dlg) { ++choosers; PressButton(dlg, IDCANCEL); });
        WindowWatcher popups(IsPopupMenu, [&](HWND menu) {
            menus.push_back(ReadPopupMenu(menu));
            ClosePopupMenu(menu, 2);
        });
        ::SetFocus(List());
        PressKeys({VK_MENU, 'S'}, 1500);
        ::SetFocus(List());
        PressKeys({VK_MENU, 'E'}, 1500);
    }
    CHECK_EQ(choosers, 1);
    REQUIRE(menus.size() >= 1u);
    CHECK_EQ(menus[0].ids.front(), static_cast<UINT>(ID_EDIT_CLEAR));   // the Edit menu
    // With the folder bar hidden its keys do nothing and Tab stays put.
    Command(AFX_IDW_DIALOGBAR);
    ::SetFocus(List());
    PressKeys({VK_TAB});
    CHECK(::GetFocus() == List());
    PressKeys({VK_MENU, 'C'});
    CHECK(::GetFocus() == List());
    Command(AFX_IDW_DIALOGBAR);
}

TEST_CASE("the smallest window keeps both bars whole and rows of the list in sight")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    Frame()->SetWindowPos(nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER);
    Pump(200);
    const RECT client = Frame()->GetClientRect();
    auto inside = [&](HWND wnd) {
        RECT rc;
        ::GetWindowRect(wnd, &rc);
        ::MapWindowPoints(nullptr, Frame()->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc.left >= 0 && rc.top >= 0 && rc.right <= client.right && rc.bottom <= client.bottom;
    };
    CHECK(inside(Frame()->m_wndToolBar.m_hWnd));
    CHECK(inside(Frame()->m_wndDlgBar.m_hWnd));
    CHECK(inside(Frame()->m_wndStatusBar.m_hWnd));
    for (int id : {IDC_CURRENT_FOLDER, IDC_CHANGE_FOLDER, IDC_EXPLORE_FOLDER})
        CHECK(inside(::GetDlgItem(Frame()->m_wndDlgBar.m_hWnd, id)));
    // Too narrow for both in one row: the folder bar has a row of its own.
    RECT tool, bar;
    ::GetWindowRect(Frame()->m_wndToolBar.m_hWnd, &tool);
    ::GetWindowRect(Frame()->m_wndDlgBar.m_hWnd, &bar);
    CHECK(bar.top >= tool.bottom);
    // Three rows of the list are in sight below its header.
    RECT row{}, list;
    ListView_GetItemRect(List(), 2, &row, LVIR_BOUNDS);
    ::GetClientRect(List(), &list);
    CHECK(row.bottom <= list.bottom);
    SaveScreen("smallest-window");
}
