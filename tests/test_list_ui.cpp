// The list as a user works in it, with real keys and the mouse: the
// reason column, the URL column that takes the window's width, full-row
// selection, Ctrl+A, Enter and double-click, the popup from the keyboard.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
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

CKestrinView* View() { return Doc()->GetListView(); }
HWND List() { return View()->m_hWnd; }

std::string Cell(int row, int column)
{
    return View()->GetListCtrl().GetItemText(row, column);
}

std::vector<int> Selected()
{
    std::vector<int> rows;
    for (int row = ListView_GetNextItem(List(), -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(List(), row, LVNI_SELECTED))
        rows.push_back(row);
    return rows;
}

// A point of `row`, `x` pixels into the list, in screen coordinates.
POINT RowPoint(int row, int x)
{
    RECT rc{};
    ListView_GetItemRect(List(), row, &rc, LVIR_BOUNDS);
    POINT p = {x, (rc.top + rc.bottom) / 2};
    ::ClientToScreen(List(), &p);
    return p;
}

INPUT MouseMove(POINT p)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = (p.x * 65536 + 32768) / ::GetSystemMetrics(SM_CXSCREEN);
    in.mi.dy = (p.y * 65536 + 32768) / ::GetSystemMetrics(SM_CYSCREEN);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

INPUT MouseButton(bool down)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    return in;
}

// Sends the events at once, as a hand does: the program may hold the
// button's press in a loop of its own until the release comes.
void Send(std::vector<INPUT> inputs)
{
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pump(300);
}

void Click(POINT p, int times = 1)
{
    std::vector<INPUT> inputs = {MouseMove(p)};
    for (int i = 0; i < times; ++i) {
        inputs.push_back(MouseButton(true));
        inputs.push_back(MouseButton(false));
    }
    Send(inputs);
}

// Drags with the left button from `from` to `to`, in small steps.
void Drag(POINT from, POINT to)
{
    std::vector<INPUT> inputs = {MouseMove(from), MouseButton(true)};
    for (int i = 1; i <= 10; ++i)
        inputs.push_back(MouseMove({from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10}));
    inputs.push_back(MouseButton(false));
    Send(inputs);
}

// A list with a completed, a failed, a cancelled and an unread item.
void FourItems()
{
    for (const char* url : {"http://h/a/done.zip", "http://h/a/failed.zip", "http://h/a/cancelled.zip",
                            "http://h/a/unread.zip"})
        Doc()->AddURL(url);
    Doc()->GetItem(0)->SetState(ITEM_DONE);
    Doc()->GetItem(1)->SetFailed(ITEM_UNREAD, Ansi("HTTP エラー 404 Not Found"));
    Doc()->GetItem(2)->SetState(ITEM_CANCELLED);
}

using Session = ListSession;

} // namespace

TEST_CASE("the reason column and the properties say why an item failed or that it was cancelled")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    struct Row {
        int row;
        const char* state;
        const char* reason;
    } rows[] = {
        {0, "完了", ""},
        {1, "ｴﾗｰ", "HTTP エラー 404 Not Found"},
        {2, "ｷｬﾝｾﾙ", "キャンセルされました"},
        {3, "未読", ""},
    };
    CHECK_EQ(Header_GetItemCount(ListView_GetHeader(List())), 4);
    for (const Row& r : rows) {
        CHECK_EQ(Cell(r.row, 1), Ansi(r.state));
        CHECK_EQ(Cell(r.row, 3), Ansi(r.reason));
    }
    // The properties of the failed item show its reason; marking it
    // unread there takes the reason away, in the dialog and in the row.
    // While the dialog is up, resting on a row shows no tip over it.
    std::string before, after;
    bool tipOverDialog = true;
    RECT row{};
    ListView_GetItemRect(List(), 1, &row, LVIR_BOUNDS);
    const LPARAM onRow = MAKELPARAM(row.left + 20, (row.top + row.bottom) / 2);
    WindowWatcher props([](HWND w) { return ::GetDlgItem(w, IDC_ITEM_REASON) != nullptr; },
                        [&](HWND dlg) {
                            ::SendMessageA(List(), WM_MOUSEMOVE, 0, onRow);
                            ::SendMessageA(List(), WM_MOUSEHOVER, 0, onRow);
                            tipOverDialog = View()->GetTip().IsShown();
                            char text[256] = "";
                            ::GetDlgItemTextA(dlg, IDC_ITEM_REASON, text, sizeof text);
                            before = text;
                            ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_ITEM_MARK_UNREAD, BN_CLICKED),
                                           reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDC_ITEM_MARK_UNREAD)));
                            ::GetDlgItemTextA(dlg, IDC_ITEM_REASON, text, sizeof text);
                            after = text;
                            PressButton(dlg, IDOK);
                        });
    SelectRows({1});
    Command(ID_PROPERTIES);
    CHECK_EQ(props.Count(), 1);
    CHECK(!tipOverDialog);
    CHECK_EQ(before, Ansi("HTTP エラー 404 Not Found"));
    CHECK_EQ(after, std::string());
    CHECK_EQ(Cell(1, 3), std::string());
    CHECK_EQ(Cell(1, 1), Ansi("未読"));
    // Without a dialog the cancelled row's tip comes up where it rests.
    ListView_GetItemRect(List(), 2, &row, LVIR_BOUNDS);
    const LPARAM onCancelled = MAKELPARAM(row.left + 20, (row.top + row.bottom) / 2);
    ::SendMessageA(List(), WM_MOUSEMOVE, 0, onCancelled);
    ::SendMessageA(List(), WM_MOUSEHOVER, 0, onCancelled);
    CHECK(View()->GetTip().IsShown());
    CHECK(View()->GetTip().ShownText().find(Ansi("キャンセルされました")) != std::string::npos);
    SaveScreen("list-reasons");
}

TEST_CASE("the URL column takes the room the window gives it; the others keep the user's widths")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    auto others = [] {
        return ListView_GetColumnWidth(List(), 1) + ListView_GetColumnWidth(List(), 2) +
               ListView_GetColumnWidth(List(), 3);
    };
    auto clientWidth = [] {
        RECT rc;
        ::GetClientRect(List(), &rc);
        return static_cast<int>(rc.right);
    };
    for (int width : {1000, 640, 900}) {
        Frame()->SetWindowPos(nullptr, 0, 0, width, 420, SWP_NOMOVE | SWP_NOZORDER);
        Pump(100);
        CHECK_EQ(ListView_GetColumnWidth(List(), 0), clientWidth() - others());
    }
    // Dragging the file column's right edge 60 pixels left: the URL
    // column gets them.
    HWND header = ListView_GetHeader(List());
    RECT file{}, url{};
    Header_GetItemRect(header, 2, &file);
    Header_GetItemRect(header, 0, &url);
    const int fileWidth = ListView_GetColumnWidth(List(), 2);
    POINT edge = {file.right - 1, (file.top + file.bottom) / 2};
    ::ClientToScreen(header, &edge);
    Drag(edge, {edge.x - 60, edge.y});
    CHECK_EQ(ListView_GetColumnWidth(List(), 2), fileWidth - 60);
    CHECK_EQ(ListView_GetColumnWidth(List(), 0), clientWidth() - others());
    // The URL column's own edge is the window's: dragging it changes
    // nothing.
    const int urlWidth = ListView_GetColumnWidth(List(), 0);
    POINT urlEdge = {url.right - 1, (url.top + url.bottom) / 2};
    ::ClientToScreen(header, &urlEdge);
    Drag(urlEdge, {urlEdge.x - 100, urlEdge.y});
    CHECK_EQ(ListView_GetColumnWidth(List(), 0), urlWidth);
    // A list long enough to scroll keeps the URL column inside the window.
    for (int i = 0; i < 60; ++i)
        Doc()->AddURL(("http://h/more/" + std::to_string(i)).c_str());
    Pump(100);
    CHECK_EQ(ListView_GetColumnWidth(List(), 0), clientWidth() - others());
}

TEST_CASE("a click anywhere on a row selects it; Ctrl+A selects every row")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    REQUIRE(Activate(Frame()->m_hWnd, List()));
    // The state, file and reason columns select their row too.
    const int stateX = ListView_GetColumnWidth(List(), 0) + 10;
    const int reasonX = stateX + ListView_GetColumnWidth(List(), 1) + ListView_GetColumnWidth(List(), 2);
    Click(RowPoint(2, stateX));
    CHECK(Selected() == std::vector<int>{2});
    Click(RowPoint(1, reasonX));
    CHECK(Selected() == std::vector<int>{1});
    PressKeys({VK_CONTROL, 'A'});
    CHECK(Selected() == (std::vector<int>{0, 1, 2, 3}));
    // And from the Edit menu's command.
    SelectRows({});
    Command(ID_SELECT_ALL);
    CHECK_EQ(static_cast<int>(Selected().size()), 4);
}

namespace {

// Files of the extension ".kesttest" open, for the shell, by copying them
// to `copy`; undone with the object.
struct TestOpener {
    explicit TestOpener(const std::string& copy)
    {
        char system[MAX_PATH] = "";
        ::GetSystemDirectoryA(system, MAX_PATH);
        const std::string command = "\"" + std::string(system) + "\\cmd.exe\" /c copy \"%1\" \"" + copy + "\"";
        ::RegSetValueA(HKEY_CLASSES_ROOT, ".kesttest", REG_SZ, "Kestrin.TestOpener", 0);
        ::RegSetValueA(HKEY_CLASSES_ROOT, "Kestrin.TestOpener\\shell\\open\\command", REG_SZ, command.c_str(), 0);
    }
    ~TestOpener()
    {
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "Kestrin.TestOpener\\shell\\open\\command");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "Kestrin.TestOpener\\shell\\open");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "Kestrin.TestOpener\\shell");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "Kestrin.TestOpener");
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".kesttest");
    }
};

} // namespace

TEST_CASE("Enter and a double-click open a completed item's file with the shell; other items show their properties")
{
    Session session;
    REQUIRE(session.ok);
    TestOpener opener(session.dir.File("opened.txt"));
    Doc()->AddURL("http://h/d/first.kesttest");
    Doc()->AddURL("http://h/d/second.kesttest");
    Doc()->AddURL("http://h/d/failed.kesttest");
    Doc()->AddURL("http://h/d/setup.exe");
    REQUIRE(::CreateDirectoryA(session.dir.File("d").c_str(), nullptr));
    REQUIRE(WriteFileBytes(session.dir.File("d\\first.kesttest"), "first file"));
    REQUIRE(WriteFileBytes(session.dir.File("d\\second.kesttest"), "second file"));
    REQUIRE(WriteFileBytes(session.dir.File("d\\setup.exe"), "not really a program"));
    for (int i : {0, 1, 3})
        Doc()->GetItem(i)->SetState(ITEM_DONE);
    Doc()->GetItem(2)->SetFailed(ITEM_UNREAD, "refused");
    REQUIRE(Activate(Frame()->m_hWnd, List()));

    // On a failed row: its properties, also when it was one of several
    // rows selected (the double-click is about the row it was on).
    int properties = 0;
    std::string shownURL;
    {
        WindowWatcher props([](HWND w) { return ::GetDlgItem(w, IDC_ITEM_REASON) != nullptr; },
                            [&](HWND dlg) {
                                ++properties;
                                char text[256] = "";
                                ::GetDlgItemTextA(dlg, IDC_ITEM_URL, text, sizeof text);
                                shownURL = text;
                                PressButton(dlg, IDOK);
                            });
        SelectRows({1, 2});
        Click(RowPoint(2, 30), 2);
        Pump(500);
    }
    CHECK_EQ(properties, 1);
    CHECK_EQ(shownURL, std::string("http://h/d/failed.kesttest"));
    CHECK(Selected() == std::vector<int>{2});

    // Enter on the focused completed row.
    SelectRows({0});
    ListView_SetItemState(List(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
    PressKeys({VK_RETURN});
    std::string copied;
    CHECK(PumpUntil([&] { return ReadFileBytes(session.dir.File("opened.txt"), copied) && !copied.empty(); }, 15000));
    CHECK_EQ(copied, std::string("first file"));

    // A double-click on another completed row. (The shell's copy may have
    // shown a console window: the list is brought back first.)
    ::DeleteFileA(session.dir.File("opened.txt").c_str());
    Pump(1000);
    REQUIRE(Activate(Frame()->m_hWnd, List()));
    Click(RowPoint(1, 30), 2);
    CHECK(PumpUntil([&] { return ReadFileBytes(session.dir.File("opened.txt"), copied) && !copied.empty(); }, 15000));
    CHECK_EQ(copied, std::string("second file"));

    // A downloaded program runs only when the user says so: No is the
    // answer here, and nothing is opened.
    std::vector<std::string> asked;
    {
        WindowWatcher boxes(IsMessageBox, [&](HWND box) {
            asked.push_back(MessageBoxText(box));
            PressButton(box, IDNO);
        });
        SelectRows({3});
        Command(ID_OPEN_FILE);
        Pump(500);
    }
    REQUIRE(asked.size() == 1u);
    CHECK(asked[0].find(Ansi("プログラムとして実行される可能性があります")) != std::string::npos);

    // A completed item whose file has gone: the user is told.
    ::DeleteFileA(session.dir.File("d\\first.kesttest").c_str());
    asked.clear();
    {
        WindowWatcher boxes(IsMessageBox, [&](HWND box) {
            asked.push_back(MessageBoxText(box));
            PressButton(box, IDOK);
        });
        SelectRows({0});
        Command(ID_OPEN_FILE);
        Pump(500);
    }
    REQUIRE(asked.size() == 1u);
    CHECK_EQ(asked[0], Ansi("ファイルを開けませんでした。\n") + session.dir.File("d\\first.kesttest"));
}

TEST_CASE("Shift+F10 and the menu key open the row popup at the focused row")
{
    Session session;
    REQUIRE(session.ok);
    FourItems();
    REQUIRE(Activate(Frame()->m_hWnd, List()));
    std::vector<MenuSeen> menus;
    WindowWatcher watcher(IsPopupMenu, [&](HWND menu) {
        menus.push_back(ReadPopupMenu(menu));
        ClosePopupMenu(menu);
    });

    struct Case {
        const char* what;
        std::vector<WORD> keys;
        std::vector<int> selected;
        int focused;
        UINT first;       // the menu's first command
        bool properties;  // ends with the properties
    } cases[] = {
        {"Shift+F10, one row", {VK_SHIFT, VK_F10}, {2}, 2, ID_OPEN_FILE, true},
        {"the menu key, one row", {VK_APPS}, {0}, 0, ID_OPEN_FILE, true},
        {"Shift+F10, two rows", {VK_SHIFT, VK_F10}, {1, 3}, 3, ID_EDIT_CUT, false},
    };
    for (const Case& c : cases) {
        menus.clear();
        SelectRows(c.selected);
        ListView_SetItemState(List(), c.focused, LVIS_FOCUSED, LVIS_FOCUSED);
        ::SetFocus(List());
        PressKeys(c.keys, 100);
        PumpUntil([&] { return !menus.empty(); }, 3000);
        PumpUntil([] { return ::GetCapture() == nullptr; }, 2000);
        if (!CHECK_EQ(menus.size(), 1u)) {
            Fail(__FILE__, __LINE__, c.what);
            continue;
        }
        const MenuSeen& m = menus[0];
        CHECK_EQ(m.ids.front(), c.first);
        CHECK_EQ(m.ids.back() == ID_PROPERTIES, c.properties);
        CHECK(std::find(m.ids.begin(), m.ids.end(), static_cast<UINT>(ID_RETRY_FAILED)) != m.ids.end());
        // Just below the focused row's text.
        RECT row{};
        ListView_GetItemRect(List(), c.focused, &row, LVIR_LABEL);
        POINT below = {row.left, row.bottom};
        ::ClientToScreen(List(), &below);
        if (!CHECK(m.rect.top >= below.y - 2 && m.rect.top <= below.y + 4 &&
                   m.rect.left >= below.x && m.rect.left <= below.x + 20))
            Fail(__FILE__, __LINE__, c.what);
    }
    // With nothing selected there is no popup.
    menus.clear();
    SelectRows({});
    PressKeys({VK_SHIFT, VK_F10}, 500);
    CHECK(menus.empty());
}
