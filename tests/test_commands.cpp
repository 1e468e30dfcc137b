// Every command the user can give (main menu, popup menus, toolbar,
// accelerator keys) reaches a target that names it in its command table.
#include <windows.h>
#include <algorithm>
#include <set>
#include "Test.h"
#include "TestUtil.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/WinApp.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

namespace {

void CommandsOfMenu(HMENU menu, std::set<UINT>& ids)
{
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            CommandsOfMenu(sub, ids);
            continue;
        }
        const UINT id = ::GetMenuItemID(menu, i);
        if (id != 0 && id != static_cast<UINT>(-1))
            ids.insert(id);
    }
}

std::set<UINT> CommandsOfMenuResource(UINT resourceId)
{
    std::set<UINT> ids;
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId));
    if (menu) {
        CommandsOfMenu(menu, ids);
        ::DestroyMenu(menu);
    }
    return ids;
}

std::set<UINT> CommandsOfAccelerators()
{
    std::set<UINT> ids;
    HACCEL table = ::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    const int n = ::CopyAcceleratorTableA(table, nullptr, 0);
    std::vector<ACCEL> keys(n);
    ::CopyAcceleratorTableA(table, keys.data(), n);
    for (const ACCEL& a : keys)
        ids.insert(a.cmd);
    return ids;
}

std::set<UINT> CommandsOfToolBar()
{
    std::set<UINT> ids;
    HINSTANCE inst = ::GetModuleHandleA(nullptr);
    HRSRC res = ::FindResourceA(inst, MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(241));
    if (!res)
        return ids;
    const auto* data = static_cast<const WORD*>(::LockResource(::LoadResource(inst, res)));
    for (WORD i = 0; i < data[3]; ++i)
        if (data[4 + i] != 0)
            ids.insert(data[4 + i]);
    return ids;
}

CMainFrame* Frame() { return static_cast<CMainFrame*>(AfxGetMainWnd()); }

} // namespace

TEST_CASE("every command of the menus, the toolbar and the keys has a handler")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    // Commands that are inert by design. (F6 and Shift+F6 were once; they
    // now go between the list and the folder bar.)
    const std::set<UINT> inert = {ID_EDIT_UNDO};

    struct Source {
        const char* name;
        std::set<UINT> ids;
        size_t least;   // how many commands the resource holds at least
    } sources[] = {
        {"main menu", CommandsOfMenuResource(IDR_MAINFRAME), 17},
        {"popup for several rows", CommandsOfMenuResource(IDR_POPUP_MULTI), 6},
        {"popup for one row", CommandsOfMenuResource(IDR_POPUP_SINGLE), 9},
        {"accelerators", CommandsOfAccelerators(), 14},
        {"toolbar", CommandsOfToolBar(), 6},
    };
    for (const Source& s : sources) {
        CHECK(s.ids.size() >= s.least);
        for (UINT id : s.ids) {
            if (inert.count(id))
                continue;
            if (!Frame()->IsCommandHandled(id)) {
                test::Fail(__FILE__, __LINE__, std::string(s.name) + ": no handler for command " +
                           std::to_string(id));
            }
        }
    }
    // The inert ones stay inert: nobody names them, and a key that gives
    // one changes nothing.
    for (UINT id : inert)
        CHECK(!Frame()->IsCommandHandled(id));
    CKestrinDoc::GetDoc()->AddURL("http://h/a");
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, ID_EDIT_UNDO, 0);
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, 12345, 0);
    CHECK_EQ(CKestrinDoc::GetDoc()->GetItemCount(), 1);
    CHECK(::IsWindow(AfxGetMainWndHandle()));
    test::CloseApp();
}

TEST_CASE("one table decides both whether a command runs and whether it is enabled")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CMainFrame* frame = Frame();
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    struct Row {
        const char* what;
        UINT id;
        bool enabledEmpty;   // with an empty list and nothing selected
    } rows[] = {
        {"delete", ID_EDIT_CLEAR, false},
        {"cut", ID_EDIT_CUT, false},
        {"copy", ID_EDIT_COPY, false},
        {"paste", ID_EDIT_PASTE, true},
        {"mark unread", ID_SET_UNREAD, false},
        {"properties", ID_PROPERTIES, false},
        {"batch download", ID_BATCH_DOWNLOAD, false},
        {"retry failed", ID_RETRY_FAILED, false},
        {"select all", ID_SELECT_ALL, false},
        {"open file", ID_OPEN_FILE, false},
        {"open folder", ID_OPEN_FOLDER, false},
        {"first recent list", ID_FILE_MRU_FILE1, false},
        {"new", ID_FILE_NEW, true},
        {"open", ID_FILE_OPEN, true},
        {"save", ID_FILE_SAVE, true},
        {"save as", ID_FILE_SAVE_AS, true},
        {"next pane", ID_NEXT_PANE, true},
        {"exit", ID_APP_EXIT, true},
        {"about", ID_APP_ABOUT, true},
        {"tool bar", ID_VIEW_TOOLBAR, true},
    };
    for (const Row& r : rows) {
        if (frame->IsCommandEnabled(r.id) != r.enabledEmpty)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": wrong state with an empty list");
    }
    // A disabled command given by key does not run: delete with nothing
    // selected leaves the row.
    doc->AddURL("http://h/kept");
    ::SendMessageA(frame->m_hWnd, WM_COMMAND, ID_EDIT_CLEAR, 0);
    CHECK_EQ(doc->GetItemCount(), 1);
    // Enabled, it runs through the same table.
    test::SelectRows({0});
    CHECK(frame->IsCommandEnabled(ID_EDIT_CLEAR));
    ::SendMessageA(frame->m_hWnd, WM_COMMAND, ID_EDIT_CLEAR, 0);
    CHECK_EQ(doc->GetItemCount(), 0);
    // The bars' commands carry the check mark of their bar.
    CHECK(frame->m_wndToolBar.IsWindowVisible());
    ::SendMessageA(frame->m_hWnd, WM_COMMAND, ID_VIEW_TOOLBAR, 0);
    CHECK(!frame->m_wndToolBar.IsWindowVisible());
    CCmdUI ui(ID_VIEW_TOOLBAR);
    frame->RouteUpdateCmdUI(ui);
    CHECK(ui.m_bHandled);
    CHECK_EQ(ui.m_nCheck, 0);
    ::SendMessageA(frame->m_hWnd, WM_COMMAND, ID_VIEW_TOOLBAR, 0);
    CCmdUI again(ID_VIEW_TOOLBAR);
    frame->RouteUpdateCmdUI(again);
    CHECK_EQ(again.m_nCheck, 1);
    test::CloseApp();
}

TEST_CASE("the commands on rows follow the states of the selected items")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CMainFrame* frame = Frame();
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    for (const char* url : {"http://h/a/done.bin", "http://h/a/failed.bin", "http://h/a/cancelled.bin",
                            "http://h/a/unread.bin", "http://h/a/running.bin"})
        doc->AddURL(url);
    doc->GetItem(0)->SetState(ITEM_DONE);
    doc->GetItem(1)->SetFailed(ITEM_UNREAD, "HTTP 404");
    doc->GetItem(2)->SetState(ITEM_CANCELLED);
    doc->GetItem(4)->SetState(ITEM_DOWNLOADING);

    struct Row {
        const char* what;
        std::vector<int> selected;
        UINT id;
        bool enabled;
    } rows[] = {
        {"open a completed item", {0}, ID_OPEN_FILE, true},
        {"open a failed item", {1}, ID_OPEN_FILE, false},
        {"open an unread item", {3}, ID_OPEN_FILE, false},
        {"open two items", {0, 3}, ID_OPEN_FILE, false},
        {"open nothing", {}, ID_OPEN_FILE, false},
        {"folder of a completed item", {0}, ID_OPEN_FOLDER, true},
        {"folder of an unread item", {3}, ID_OPEN_FOLDER, true},
        {"folder of two items", {0, 1}, ID_OPEN_FOLDER, false},
        {"select all with rows", {}, ID_SELECT_ALL, true},
        {"retry with failed items, nothing selected", {}, ID_RETRY_FAILED, true},
        {"properties of a downloading item", {4}, ID_PROPERTIES, false},
    };
    for (const Row& r : rows) {
        test::SelectRows(r.selected);
        if (frame->IsCommandEnabled(r.id) != r.enabled)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": wrong state");
    }

    // Select all takes every row, the last one included.
    test::SelectRows({});
    test::Command(ID_SELECT_ALL);
    CListCtrl list = doc->GetListView()->GetListCtrl();
    CHECK_EQ(list.GetSelectedCount(), 5);

    // A disabled command given by key runs nothing: opening an unread
    // item's file shows no message and starts nothing.
    {
        test::MessageBoxWatcher boxes;
        test::SelectRows({3});
        test::Command(ID_OPEN_FILE);
        test::Pump(300);
        CHECK(boxes.Texts().empty());
    }

    // Without failed or cancelled items there is nothing to retry, and a
    // key that asks for it starts no batch.
    doc->GetItem(1)->SetState(ITEM_DONE);
    doc->GetItem(2)->SetState(ITEM_DONE);
    CHECK(!frame->IsCommandEnabled(ID_RETRY_FAILED));
    test::Command(ID_RETRY_FAILED);
    CHECK_EQ(doc->m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
    // Nor while a batch runs.
    doc->GetItem(2)->SetState(ITEM_CANCELLED);
    CHECK(frame->IsCommandEnabled(ID_RETRY_FAILED));
    doc->m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    CHECK(!frame->IsCommandEnabled(ID_RETRY_FAILED));
    doc->m_nBatchMode = CKestrinDoc::BATCH_IDLE;
    doc->GetItem(4)->SetState(ITEM_DONE);
    test::CloseApp();
}
