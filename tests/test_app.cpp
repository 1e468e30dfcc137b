// Start-up, settings in the registry, the current folder and list files,
// with the real program's windows in this process.
#include <windows.h>
#include <shlobj.h>
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/MessageBox.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "model/UrlItemDlg.h"
#include <functional>
#include "view/KestrinView.h"

using test::Ansi;

namespace {

CMainFrame* Frame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

SIZE WindowSize()
{
    const RECT rc = Frame()->GetWindowRect();
    return {rc.right - rc.left, rc.bottom - rc.top};
}

std::string CurrentDirectory()
{
    char dir[MAX_PATH] = "";
    ::GetCurrentDirectoryA(MAX_PATH, dir);
    return dir;
}

std::vector<std::string> Rows()
{
    CListCtrl list = CKestrinDoc::GetDoc()->GetListView()->GetListCtrl();
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetItemCount(); ++i)
        rows.push_back(list.GetItemText(i, 0) + " | " + list.GetItemText(i, 1) + " | " +
                       list.GetItemText(i, 2));
    return rows;
}

// Drops `path` on the main window as the shell does.
void DropFile(const std::string& path)
{
    const size_t size = sizeof(DROPFILES) + path.size() + 2;
    HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size());
    ::GlobalUnlock(mem);
    ::SendMessageA(AfxGetMainWndHandle(), WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);
}

} // namespace

TEST_CASE("first start: the documented defaults, and exit writes every setting")
{
    test::ResetRegistry();
    test::TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());

    REQUIRE(test::StartApp());
    CHECK_EQ(Frame()->GetWindowText(), Ansi("Kestrin - URL一括ダウンロード  Copyright (C) 2026 Halvane"));
    CHECK_EQ(WindowSize().cx, 600L);
    CHECK_EQ(WindowSize().cy, 300L);
    CHECK_EQ(g_settings.m_nWidthColURL, 250);
    CHECK_EQ(g_settings.m_nWidthColState, 50);
    CHECK_EQ(g_settings.m_nWidthColFilePath, 250);
    CHECK_EQ(g_settings.m_nTimerHourBegin, 2);
    CHECK_EQ(g_settings.m_nTimerHourEnd, 5);
    CHECK_EQ(g_settings.m_nTimerMinuteBegin, 0);
    CHECK_EQ(g_settings.m_nTimerMinuteEnd, 0);
    CHECK(g_settings.m_bTimerBegin && g_settings.m_bTimerEnd && g_settings.m_bTimerHangUp);
    CHECK_EQ(g_settings.m_strRasEntryName, std::string());
    CHECK_EQ(theApp.m_strCurrentDirectory, dir.Path());
    CHECK_EQ(Frame()->m_wndDlgBar.GetDlgItemText(IDC_CURRENT_FOLDER), dir.Path());
    CHECK_EQ(g_settings.m_strShortcutHeader, std::string("[InternetShortcut]\nURL="));

    // The list view shows the three columns with the stored widths.
    HWND header = reinterpret_cast<HWND>(
        ::SendMessageA(CKestrinDoc::GetDoc()->GetListView()->m_hWnd, LVM_GETHEADER, 0, 0));
    CHECK_EQ(static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)), 3);

    CHECK_EQ(test::CloseApp(), 0);
    struct {
        const char* name;
        DWORD value;
    } expected[] = {
        {"WidthWindow", 600}, {"HeightWindow", 300}, {"WidthColURL", 250},
        {"WidthColState", 50}, {"WidthColFilePath", 250}, {"TimerHangUp", 1},
        {"TimerHourBegin", 2}, {"TimerHourEnd", 5}, {"TimerMinuteBegin", 0},
        {"TimerMinuteEnd", 0}, {"TimerBegin", 1}, {"TimerEnd", 1},
    };
    for (const auto& e : expected) {
        DWORD value = 0xDEAD;
        CHECK(test::ReadRegDWord("Settings", e.name, value));
        CHECK_EQ(value, e.value);
    }
    std::string text = "unset";
    CHECK(test::ReadRegString("Settings", "RasEntryName", text));
    CHECK_EQ(text, std::string());
    CHECK(test::ReadRegString("Settings", "CurrentDirectory", text));
    CHECK_EQ(text, dir.Path());
}

TEST_CASE("settings: out-of-range schedule values read back as their defaults")
{
    test::ResetRegistry();
    test::WriteRegDWord("Settings", "TimerHourBegin", 24);
    test::WriteRegDWord("Settings", "TimerHourEnd", 23);
    test::WriteRegDWord("Settings", "TimerMinuteBegin", 60);
    test::WriteRegDWord("Settings", "TimerMinuteEnd", 0xFFFFFFFF);   // -1
    test::WriteRegDWord("Settings", "TimerBegin", 2);
    test::WriteRegDWord("Settings", "TimerEnd", 3);
    test::WriteRegDWord("Settings", "TimerHangUp", 0);
    test::WriteRegDWord("Settings", "WidthWindow", 12345);
    test::WriteRegString("Settings", "RasEntryName", Ansi("会社"));
    test::LoadTestSettings();
    CHECK_EQ(g_settings.m_nTimerHourBegin, 2);
    CHECK_EQ(g_settings.m_nTimerHourEnd, 23);
    CHECK_EQ(g_settings.m_nTimerMinuteBegin, 0);
    CHECK_EQ(g_settings.m_nTimerMinuteEnd, 0);
    CHECK(!g_settings.m_bTimerBegin);
    CHECK(g_settings.m_bTimerEnd);
    CHECK(!g_settings.m_bTimerHangUp);
    CHECK_EQ(g_settings.m_nWidthWindow, 12345);     // sizes are taken as stored
    CHECK_EQ(g_settings.m_strRasEntryName, Ansi("会社"));
}

TEST_CASE("window size and column widths come back at the next start")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    Frame()->SetWindowPos(nullptr, 0, 0, 800, 500, SWP_NOMOVE | SWP_NOZORDER);
    HWND list = CKestrinDoc::GetDoc()->GetListView()->m_hWnd;
    ListView_SetColumnWidth(list, 0, 321);
    ListView_SetColumnWidth(list, 2, 123);
    test::CloseApp();
    DWORD value = 0;
    CHECK(test::ReadRegDWord("Settings", "WidthWindow", value));
    CHECK_EQ(value, 800u);

    REQUIRE(test::StartApp());
    CHECK_EQ(WindowSize().cx, 800L);
    CHECK_EQ(WindowSize().cy, 500L);
    list = CKestrinDoc::GetDoc()->GetListView()->m_hWnd;
    CHECK_EQ(ListView_GetColumnWidth(list, 0), 321);
    CHECK_EQ(ListView_GetColumnWidth(list, 1), 50);
    CHECK_EQ(ListView_GetColumnWidth(list, 2), 123);
    test::CloseApp();
}

TEST_CASE("current folder: a stored folder is restored; a vanished one leaves the start folder")
{
    test::ResetRegistry();
    test::TempDir start, stored;
    ::SetCurrentDirectoryA(start.Path().c_str());
    test::WriteRegString("Settings", "CurrentDirectory", stored.Path());
    REQUIRE(test::StartApp());
    CHECK_EQ(CurrentDirectory(), stored.Path());
    CHECK_EQ(Frame()->m_wndDlgBar.GetDlgItemText(IDC_CURRENT_FOLDER), stored.Path());
    // Something else moves the process's current directory; exit puts the
    // download folder back and saves it.
    ::SetCurrentDirectoryA(start.Path().c_str());
    test::CloseApp();
    std::string saved;
    CHECK(test::ReadRegString("Settings", "CurrentDirectory", saved));
    CHECK_EQ(saved, stored.Path());

    test::WriteRegString("Settings", "CurrentDirectory", stored.Path() + "\\gone");
    ::SetCurrentDirectoryA(start.Path().c_str());
    REQUIRE(test::StartApp());
    CHECK_EQ(theApp.m_strCurrentDirectory, start.Path());
    CHECK_EQ(Frame()->m_wndDlgBar.GetDlgItemText(IDC_CURRENT_FOLDER), start.Path());
    test::CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("list files open from the command line and when dropped on the window")
{
    test::ResetRegistry();
    test::TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    const std::string first = dir.File(Ansi("一覧.kst"));
    const std::string second = dir.File("second.kst");
    CHECK(test::WriteFileBytes(first, "http://h/a/1.zip\r\nhttp://h/b/2.zip\r\n"));
    CHECK(test::WriteFileBytes(second, "ftp://h/pub/3.tgz\r\n"));

    REQUIRE(test::StartApp({first}));
    const std::string unread = Ansi("未読");
    CHECK(Rows() == (std::vector<std::string>{
        "http://h/a/1.zip | " + unread + " | a\\1.zip",
        "http://h/b/2.zip | " + unread + " | b\\2.zip"}));
    // The caption stays the program's own whatever file is open.
    CHECK_EQ(Frame()->GetWindowText(), AfxLoadString(IDS_FRAME_CAPTION));

    DropFile(second);
    CHECK(Rows() == (std::vector<std::string>{"ftp://h/pub/3.tgz | " + unread + " | pub\\3.tgz"}));

    // A new list empties the view with the document.
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, ID_FILE_NEW, 0);
    CHECK(Rows().empty());
    CHECK_EQ(CKestrinDoc::GetDoc()->GetItemCount(), 0);
    test::CloseApp();
}

TEST_CASE("a binary file given on the command line is refused with a message")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string bad = dir.File("bad.kst");
    CHECK(test::WriteFileBytes(bad, std::string("\x7f" "ELF\x01\x01\x01\x00", 8)));
    test::MessageBoxWatcher boxes;
    CHECK(!test::StartApp({bad}));
    CHECK(AfxGetMainWndHandle() == nullptr);
    CHECK(CKestrinDoc::GetDoc() == nullptr);
    test::CloseApp();
    REQUIRE(boxes.Texts().size() == 1u);
    CHECK_EQ(boxes.Texts()[0], Ansi("このファイルはリストファイルではないため開けません。"));
}

TEST_CASE("the list-file type is registered for the user")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    test::CloseApp();
    char value[MAX_PATH * 2] = "";
    LONG size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, "Software\\Classes\\.kst", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kestrin.Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, "Software\\Classes\\Kestrin.Document", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kstrn Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER,
        "Software\\Classes\\Kestrin.Document\\shell\\open\\command", value, &size), 0L);
    char exe[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    CHECK_EQ(std::string(value), "\"" + std::string(exe) + "\" \"%1\"");
}

namespace {

// Runs a modal dialog and, once it is up, calls `inspect` on it and closes it.
std::function<void(HWND)> g_inspect;
HWND g_dialog = nullptr;

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM)
{
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpA(cls, "#32770") == 0 && ::GetDlgItem(hwnd, IDC_ITEM_URL)) {
        g_dialog = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK InspectTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    g_dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, 0);
    if (!g_dialog)
        return;
    ::KillTimer(nullptr, id);
    g_inspect(g_dialog);
    ::PostMessageA(g_dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void RunProperties(URLItem* item, std::function<void(HWND)> inspect)
{
    g_inspect = std::move(inspect);
    ::SetTimer(nullptr, 0, 50, InspectTimer);
    CUrlItemDlg dlg(item);
    dlg.DoModal();
}

std::string ItemText(HWND dlg, int id)
{
    char text[512] = "";
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

} // namespace

TEST_CASE("properties: the size in kilobytes, and mark unread resets it")
{
    test::LoadTestSettings();
    CKestrinDoc doc;
    URLItem* item = doc.AddURL("http://h/a/b.zip");
    struct {
        int size;
        const char* text;
    } sizes[] = {{1023, "0"}, {1024, "1"}, {0, "???"}, {-1, "???"}, {5 * 1024 * 1024 + 100, "5120"}};
    for (const auto& s : sizes) {
        item->m_nSize = s.size;
        std::string shown, url, file;
        RunProperties(item, [&](HWND dlg) {
            shown = ItemText(dlg, IDC_ITEM_SIZE);
            url = ItemText(dlg, IDC_ITEM_URL);
            file = ItemText(dlg, IDC_ITEM_FILE);
        });
        CHECK_EQ(shown, std::string(s.text));
        CHECK_EQ(url, std::string("http://h/a/b.zip"));
        CHECK_EQ(file, std::string("a\\b.zip"));
    }

    // Mark unread on a completed item: state and size reset at once.
    item->SetState(ITEM_DONE);
    item->m_nSize = 4096;
    std::string after;
    RunProperties(item, [&](HWND dlg) {
        ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_ITEM_MARK_UNREAD, BN_CLICKED), 0);
        after = ItemText(dlg, IDC_ITEM_SIZE);
    });
    CHECK_EQ(after, std::string("???"));
    CHECK_EQ(item->m_state, static_cast<unsigned char>(ITEM_UNREAD));
    CHECK_EQ(item->m_nSize, 0);

    // A downloading item is refused with a message and keeps its state.
    item->SetState(ITEM_DOWNLOADING);
    item->m_nSize = 2048;
    test::MessageBoxWatcher boxes;
    RunProperties(item, [&](HWND dlg) {
        ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_ITEM_MARK_UNREAD, BN_CLICKED), 0);
        after = ItemText(dlg, IDC_ITEM_SIZE);
    });
    CHECK_EQ(after, std::string("2"));
    CHECK_EQ(item->m_state, static_cast<unsigned char>(ITEM_DOWNLOADING));
    REQUIRE(boxes.Texts().size() == 1u);
    CHECK_EQ(boxes.Texts()[0], Ansi("現在、ダウンロード中のため、状態を変更できません。"));
    item->m_state = ITEM_UNREAD;
}
