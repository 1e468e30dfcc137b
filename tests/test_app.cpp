// Start-up, settings in the registry, the current folder and list files,
// with the real program's windows in this process.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/DdeClient.h"
#include "framework/FrameworkIds.h"
#include "framework/MessageBox.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "model/UrlItemDlg.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include "framework/OleDataSource.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"

using namespace test;

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
    // The caption names the list: a new one has no name yet.
    CHECK_EQ(Frame()->GetWindowText(), Ansi("名称未設定 - Kestrin"));
    CHECK_EQ(WindowSize().cx, 600L);
    CHECK_EQ(WindowSize().cy, 300L);
    CHECK_EQ(g_settings.m_nWidthColURL, 250);
    CHECK_EQ(g_settings.m_nWidthColState, 50);
    CHECK_EQ(g_settings.m_nWidthColFilePath, 250);
    CHECK_EQ(g_settings.m_nWidthColReason, 150);
    CHECK_EQ(g_settings.m_nTimerHourBegin, 2);
    CHECK_EQ(g_settings.m_nTimerHourEnd, 5);
    CHECK_EQ(g_settings.m_nTimerMinuteBegin, 0);
    CHECK_EQ(g_settings.m_nTimerMinuteEnd, 0);
    CHECK(g_settings.m_bTimerBegin && g_settings.m_bTimerEnd && g_settings.m_bTimerHangUp);
    CHECK_EQ(g_settings.m_strRasEntryName, std::string());
    CHECK_EQ(theApp.m_strCurrentDirectory, dir.Path());
    CHECK_EQ(Frame()->m_wndDlgBar.GetDlgItemText(IDC_CURRENT_FOLDER), dir.Path());
    CHECK_EQ(g_settings.m_strShortcutHeader, std::string("[InternetShortcut]\nURL="));

    // The list view shows the four columns (URL, state, file, reason); the
    // URL column takes the width the others leave.
    HWND list = CKestrinDoc::GetDoc()->GetListView()->m_hWnd;
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    CHECK_EQ(static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)), 4);
    RECT client;
    ::GetClientRect(list, &client);
    const DWORD urlWidth = static_cast<DWORD>(client.right - (50 + 250 + 150));
    CHECK_EQ(ListView_GetColumnWidth(list, 0), static_cast<int>(urlWidth));

    CHECK_EQ(test::CloseApp(), 0);
    struct {
        const char* name;
        DWORD value;
    } expected[] = {
        {"WidthWindow", 600}, {"HeightWindow", 300}, {"WidthColURL", urlWidth},
        {"WidthColState", 50}, {"WidthColFilePath", 250}, {"WidthColReason", 150}, {"TimerHangUp", 1},
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
    // The URL column is the window's to size: the user sizes the others.
    ListView_SetColumnWidth(list, 2, 123);
    ListView_SetColumnWidth(list, 3, 210);
    RECT client;
    ::GetClientRect(list, &client);
    const int urlWidth = client.right - (50 + 123 + 210);
    CHECK_EQ(ListView_GetColumnWidth(list, 0), urlWidth);
    test::CloseApp();
    DWORD value = 0;
    CHECK(test::ReadRegDWord("Settings", "WidthWindow", value));
    CHECK_EQ(value, 800u);

    REQUIRE(test::StartApp());
    CHECK_EQ(WindowSize().cx, 800L);
    CHECK_EQ(WindowSize().cy, 500L);
    list = CKestrinDoc::GetDoc()->GetListView()->m_hWnd;
    CHECK_EQ(ListView_GetColumnWidth(list, 0), urlWidth);
    CHECK_EQ(ListView_GetColumnWidth(list, 1), 50);
    CHECK_EQ(ListView_GetColumnWidth(list, 2), 123);
    CHECK_EQ(ListView_GetColumnWidth(list, 3), 210);
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
    // The caption names the list that is open.
    CHECK_EQ(Frame()->GetWindowText(), Ansi("一覧.kst - Kestrin"));

    DropFile(second);
    CHECK(Rows() == (std::vector<std::string>{"ftp://h/pub/3.tgz | " + unread + " | pub\\3.tgz"}));
    CHECK_EQ(Frame()->GetWindowText(), std::string("second.kst - Kestrin"));

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
    // The shell starts the program (when none runs) and hands it the file
    // by dynamic data exchange.
    CHECK_EQ(std::string(value), "\"" + std::string(exe) + "\" /dde");
    struct {
        const char* key;
        const char* value;
    } dde[] = {
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec", "[open(\"%1\")]"},
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec\\application", "Kestrin"},
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec\\topic", "System"},
    };
    for (const auto& d : dde) {
        size = sizeof value;
        CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, d.key, value, &size), 0L);
        CHECK_EQ(std::string(value), std::string(d.value));
    }
    // The shell reads the classes through HKEY_CLASSES_ROOT: the type must
    // resolve there too, merged in (Windows) or written there (Wine).
    for (const auto& d : dde) {
        size = sizeof value;
        CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, d.key + std::strlen("Software\\Classes\\"), value, &size), 0L);
        CHECK_EQ(std::string(value), std::string(d.value));
    }
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, ".kst", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kestrin.Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, "Kestrin.Document\\shell\\open\\command", value, &size), 0L);
    CHECK_EQ(std::string(value), "\"" + std::string(exe) + "\" /dde");
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

namespace {

// Every value and subkey under the program's keys: its own settings and
// its shell registration, as type and bytes.
using RegValues = std::map<std::string, std::string>;

void SnapshotKey(const std::string& path, RegValues& out)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char name[256] = "";
        DWORD nameLen = sizeof name, type = 0, size = 0;
        if (::RegEnumValueA(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLen = sizeof name;
        ::RegEnumValueA(key, i, name, &nameLen, nullptr, &type,
                        reinterpret_cast<BYTE*>(&data[0]), &size);
        out[path + "|" + name] = std::to_string(type) + ":" + data.substr(0, size);
    }
    for (DWORD i = 0;; ++i) {
        char name[256] = "";
        DWORD nameLen = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out[path + "\\" + name] = "key";
        SnapshotKey(path + "\\" + name, out);
    }
    ::RegCloseKey(key);
}

RegValues Registry()
{
    RegValues values;
    SnapshotKey("Software\\Halvane", values);
    SnapshotKey("Software\\Classes\\Kestrin.Document", values);
    SnapshotKey("Software\\Classes\\.kst", values);
    return values;
}

// Drops data offering `text` under the browser's URL format on the list,
// through the view's drop target as the system calls it.
void DropURLText(const std::string& text)
{
    auto* source = new COleDataSource;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(::GlobalLock(block), text.c_str(), text.size() + 1);
    ::GlobalUnlock(block);
    const CLIPFORMAT cf = ClipFormats::UniformResourceLocator;
    FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    source->CacheGlobalData(cf, block, &format);
    CKestrinView* view = CKestrinDoc::GetDoc()->GetListView();
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(source, MK_LBUTTON, where, &effect);
    effect = DROPEFFECT_COPY;
    target->DragOver(MK_LBUTTON | MK_CONTROL, where, &effect);
    effect = DROPEFFECT_COPY;
    target->Drop(source, 0, where, &effect);
    source->Release();
}

bool HasControlByte(const std::string& s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

TEST_CASE("control characters never reach the list: command line, paste, drop, list file")
{
    test::ResetRegistry();
    test::TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    const std::string list = dir.File("start.kst");
    REQUIRE(test::WriteFileBytes(list, "http://h/cmd-ok\r\nhttp://h/cmd\tX-Injected: 1\r\n"
                                       "http://h/cmd-cr\rX-Injected: 1\r\n"));
    REQUIRE(test::StartApp({list}));
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/cmd-ok", "http://h/cmd-cr"}));

    // Pasted text is split into lines at LF, CR LF or a lone CR: the line
    // before a CR is a URL of its own, what follows it is no URL. A drop's
    // URL format is one URL, taken whole or not at all.
    struct {
        const char* road;
        std::function<void()> offer;
        size_t added;
    } roads[] = {
        {"paste, CR", [] { PutTextOnClipboard(L"http://h/paste\rX-Injected: 1"); Command(ID_EDIT_PASTE); }, 1},
        {"paste, TAB", [] { PutTextOnClipboard(L"http://h/paste-tab\tb"); Command(ID_EDIT_PASTE); }, 0},
        {"paste, escape", [] { PutTextOnClipboard(L"http://h/paste-esc\x1b[2J"); Command(ID_EDIT_PASTE); }, 0},
        {"drop, CR LF", [] { DropURLText("http://h/drop\r\nX-Injected: 1"); }, 0},
        {"drop, LF", [] { DropURLText("http://h/drop\nHost: elsewhere"); }, 0},
        {"drop, TAB", [] { DropURLText("http://h/drop\tb"); }, 0},
        {"drop, bell", [] { DropURLText("http://h/drop\x07"); }, 0},
    };
    size_t rows = ListedUrls().size();
    for (const auto& r : roads) {
        r.offer();
        rows += r.added;
        if (!CHECK_EQ(ListedUrls().size(), rows))
            std::printf("      road: %s\n", r.road);
        for (const std::string& u : ListedUrls())
            CHECK(!HasControlByte(u));
        rows = ListedUrls().size();
    }
    // The same roads still take a clean URL.
    PutTextOnClipboard(L"http://h/paste-ok");
    Command(ID_EDIT_PASTE);
    DropURLText("http://h/drop-ok");

    const std::string second = dir.File("second.kst");
    REQUIRE(test::WriteFileBytes(second, "http://h/file-ok\r\nhttp://h/file\tb\r\n"));
    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    CHECK(theApp.OpenDocumentFile(second.c_str()) != nullptr);
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/file-ok"});
    // Other control bytes make it no list file at all.
    const std::string third = dir.File("third.kst");
    REQUIRE(test::WriteFileBytes(third, "http://h/file-2\r\nhttp://h/\x01\r\n"));
    {
        test::MessageBoxWatcher boxes;
        CHECK(theApp.OpenDocumentFile(third.c_str()) == nullptr);
        CHECK_EQ(boxes.Texts().size(), 1u);
    }
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/file-ok"});
    for (const std::string& u : ListedUrls())
        CHECK(!HasControlByte(u));
    test::CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("a text file without URLs dropped on the window is refused and the list kept")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string prose = dir.File("readme.txt");
    REQUIRE(test::WriteFileBytes(prose, "Kestrin\r\n\r\nGather URLs in a list, then download them.\r\n"));
    const std::string binary = dir.File("picture.png");
    REQUIRE(test::WriteFileBytes(binary, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)));
    REQUIRE(test::StartApp());
    CKestrinDoc::GetDoc()->AddURL("http://h/keep1");
    CKestrinDoc::GetDoc()->AddURL("http://h/keep2");
    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    test::MessageBoxWatcher boxes;
    DropFile(prose);
    DropFile(binary);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/keep1", "http://h/keep2"}));
    CHECK_EQ(Rows().size(), 2u);
    const auto texts = boxes.Texts();
    REQUIRE(texts.size() == 2u);
    for (const std::string& t : texts)
        CHECK_EQ(t, Ansi("このファイルはリストファイルではないため開けません。"));
    test::CloseApp();
}

TEST_CASE("a failed start-up leaves every stored value as it was, byte for byte")
{
    test::ResetRegistry();
    test::TempDir dir, stored;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    const std::string good = dir.File("good.kst");
    REQUIRE(test::WriteFileBytes(good, "http://h/1\r\n"));
    // A normal run stores everything, then some values are made unusual.
    REQUIRE(test::StartApp({good}));
    test::CloseApp();
    test::WriteRegDWord("Settings", "WidthWindow", 777);
    test::WriteRegDWord("Settings", "TimerHourBegin", 99);
    test::WriteRegString("Settings", "CurrentDirectory", stored.Path());
    test::WriteRegString("Settings", "RasEntryName", Ansi("会社"));
    const RegValues before = Registry();
    REQUIRE(before.size() > 15u);

    struct {
        const char* name;
        std::string bytes;   // null: the file does not exist
        bool exists;
    } cases[] = {
        {"binary.kst", std::string("\x7f" "ELF\x01\x01\x01\x00", 8), true},
        {"prose.kst", "This is not a list.\r\n", true},
        {"missing.kst", "", false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        if (c.exists)
            REQUIRE(test::WriteFileBytes(path, c.bytes));
        test::MessageBoxWatcher boxes;
        CHECK(!test::StartApp({path}));
        test::CloseApp();
        CHECK_EQ(boxes.Texts().size(), 1u);
        if (!CHECK(Registry() == before))
            std::printf("      case: %s\n", c.name);
    }
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("closing while minimised or maximised stores the normal size")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    Frame()->SetWindowPos(nullptr, 10, 10, 700, 400, SWP_NOZORDER);
    struct {
        const char* name;
        int show;
    } cases[] = {{"minimised", SW_MINIMIZE}, {"maximised", SW_MAXIMIZE}, {"normal", SW_RESTORE}};
    for (const auto& c : cases) {
        Frame()->ShowWindow(c.show);
        test::Pump(200);
        test::CloseApp();
        DWORD width = 0, height = 0;
        CHECK(test::ReadRegDWord("Settings", "WidthWindow", width));
        CHECK(test::ReadRegDWord("Settings", "HeightWindow", height));
        if (!CHECK(width == 700u && height == 400u))
            std::printf("      case: %s, stored %lu x %lu\n", c.name, width, height);
        REQUIRE(test::StartApp());
        CHECK_EQ(WindowSize().cx, 700L);
        CHECK_EQ(WindowSize().cy, 400L);
    }
    test::CloseApp();
}

namespace {

// Window enumeration callbacks: the platform calls them with its own
// calling convention, which a lambda does not have on 32-bit Windows.
BOOL CALLBACK CountOwnVisible(HWND w, LPARAM lp)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w))
        ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

// lp: a map from process id to that process's visible main window.
BOOL CALLBACK CollectOtherFrame(HWND w, LPARAM lp)
{
    char cls[32] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid != ::GetCurrentProcessId() && ::lstrcmpA(cls, "KestrinFrame") == 0 && ::IsWindowVisible(w))
        (*reinterpret_cast<std::map<DWORD, HWND>*>(lp))[pid] = w;
    return TRUE;
}

// lp: a process id and the visible dialog of that process, when found.
BOOL CALLBACK FindDialogOfProcess(HWND w, LPARAM lp)
{
    char cls[16] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(lp);
    if (pid == found->first && ::lstrcmpA(cls, "#32770") == 0 && ::IsWindowVisible(w)) {
        found->second = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

TEST_CASE("help commands are routed and, without help content, do nothing visible")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CHECK(!test::FileExists(theApp.GetHelpFilePath()));
    auto visibleWindows = [] {
        int count = 0;
        ::EnumWindows(CountOwnVisible, reinterpret_cast<LPARAM>(&count));
        return count;
    };
    const int before = visibleWindows();
    HWND focus = ::GetFocus();
    test::MessageBoxWatcher boxes;
    for (UINT id : {ID_HELP_INDEX, ID_CONTEXT_HELP, ID_HELP, ID_DEFAULT_HELP}) {
        CHECK(Frame()->IsCommandEnabled(id));
        Command(id);
        test::Pump(300);
        CHECK_EQ(visibleWindows(), before);
        CHECK(::GetFocus() == focus);
    }
    // F1 comes from the accelerators.
    MSG msg{AfxGetMainWndHandle(), WM_KEYDOWN, VK_F1, 0x003B0001, 0, {0, 0}};
    CHECK(Frame()->PreTranslateMessage(msg));
    test::Pump(300);
    CHECK_EQ(visibleWindows(), before);
    CHECK(boxes.Texts().empty());
    CHECK(AfxGetMainWndHandle() != nullptr);
    CHECK_EQ(test::CloseApp(), 0);
}

namespace {

// The program itself, built beside the tests.
std::string KestrinExe()
{
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir.erase(dir.find_last_of('\\'));      // ...\tests
    dir.erase(dir.find_last_of('\\') + 1);  // the build folder
    return dir + "Kestrin.exe";
}

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

Process Launch(const std::vector<std::string>& args, const std::string& dir)
{
    std::string line = "\"" + KestrinExe() + "\"";
    for (const std::string& a : args)
        line += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process p;
    if (::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
        ::CloseHandle(pi.hThread);
        p.handle = pi.hProcess;
        p.id = pi.dwProcessId;
    }
    return p;
}

// The visible main windows of other processes, by process id.
std::map<DWORD, HWND> OtherFrames()
{
    std::map<DWORD, HWND> frames;
    ::EnumWindows(CollectOtherFrame, reinterpret_cast<LPARAM>(&frames));
    return frames;
}

HWND WaitForFrame(DWORD pid)
{
    HWND found = nullptr;
    test::PumpUntil([&] {
        auto frames = OtherFrames();
        auto it = pid ? frames.find(pid) : frames.begin();
        found = it != frames.end() ? it->second : nullptr;
        return found != nullptr;
    }, 30000);
    return found;
}

// The URL column of the list in another process's main window, read
// through memory lent in that process.
std::vector<std::string> RemoteUrls(HWND frame)
{
    std::vector<std::string> urls;
    HWND list = ::GetDlgItem(frame, AFX_IDW_PANE_FIRST);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(frame, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!list || !process)
        return {"(no list)"};
    const size_t textSize = 4096;
    char* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + textSize,
                                                       MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA item{};
        item.iSubItem = 0;
        item.pszText = remote + sizeof(LVITEMA);
        item.cchTextMax = static_cast<int>(textSize);
        SIZE_T done = 0;
        ::WriteProcessMemory(process, remote, &item, sizeof item, &done);
        ::SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(remote));
        char text[4096] = "";
        ::ReadProcessMemory(process, remote + sizeof(LVITEMA), text, textSize - 1, &done);
        urls.push_back(text);
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return urls;
}

bool WaitForExit(const Process& p, DWORD ms, DWORD* code = nullptr)
{
    bool ended = false;
    test::PumpUntil([&] { return ended = ::WaitForSingleObject(p.handle, 0) == WAIT_OBJECT_0; }, ms);
    if (ended && code)
        ::GetExitCodeProcess(p.handle, code);
    return ended;
}

void EndProcess(Process& p)
{
    if (!p.handle)
        return;
    if (::WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
        ::TerminateProcess(p.handle, 1);
    ::CloseHandle(p.handle);
    p.handle = nullptr;
}

} // namespace

TEST_CASE("a list opened while Kestrin runs goes to the running one, which alone writes settings")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string first = dir.File("first.kst");
    const std::string second = dir.File(Ansi("二番目の一覧.kst"));
    REQUIRE(test::WriteFileBytes(first, "http://h/a1\r\n"));
    REQUIRE(test::WriteFileBytes(second, "http://h/b1\r\nhttp://h/" + Ansi("表") + "\r\n"));
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    REQUIRE(test::FileExists(KestrinExe()));
    REQUIRE(OtherFrames().empty());

    Process running = Launch({first}, dir.Path());
    REQUIRE(running.handle != nullptr);
    HWND frame = WaitForFrame(running.id);
    REQUIRE(frame != nullptr);
    CHECK(RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"});

    // Nothing is written while it runs; the second process writes nothing.
    const RegValues before = Registry();
    Process other = Launch({second}, dir.Path());
    REQUIRE(other.handle != nullptr);
    DWORD code = 99;
    CHECK(WaitForExit(other, 20000, &code));
    CHECK_EQ(code, 0ul);
    const std::vector<std::string> expected = {"http://h/b1", "http://h/" + Ansi("表")};
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == expected; }, 10000));
    CHECK(Registry() == before);
    CHECK_EQ(OtherFrames().size(), 1u);

    // A relative name is taken from where the second process was started.
    Process relative = Launch({"first.kst"}, dir.Path());
    CHECK(WaitForExit(relative, 20000));
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"}; }, 10000));
    CHECK(Registry() == before);

    // While a modal dialog is up there, the list waits until it is closed.
    ::PostMessageA(frame, WM_COMMAND, ID_APP_ABOUT, 0);
    std::pair<DWORD, HWND> search(running.id, nullptr);
    test::PumpUntil([&] {
        ::EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
        return search.second != nullptr;
    }, 10000);
    HWND about = search.second;
    REQUIRE(about != nullptr);
    Process waiting = Launch({second}, dir.Path());
    CHECK(WaitForExit(waiting, 20000));
    test::Pump(1500);
    CHECK(RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"});
    ::PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == expected; }, 10000));
    EndProcess(waiting);

    // The running one writes its settings when it closes.
    DWORD width = 0;
    CHECK(!test::ReadRegDWord("Settings", "WidthWindow", width));
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(running, 30000));
    CHECK(test::ReadRegDWord("Settings", "WidthWindow", width));
    CHECK_EQ(width, 600ul);
    EndProcess(other);
    EndProcess(relative);
    EndProcess(running);
}

TEST_CASE("shell open as registered: a new instance when none runs, the running one after that")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string first = dir.File("shell-first.kst");
    const std::string second = dir.File(Ansi("シェル.kst"));
    REQUIRE(test::WriteFileBytes(first, "http://h/s1\r\n"));
    REQUIRE(test::WriteFileBytes(second, "http://h/s2\r\nhttp://h/s3\r\n"));
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    // Let the program register itself as the list files' handler.
    Process registrar = Launch({}, dir.Path());
    HWND frame = WaitForFrame(registrar.id);
    REQUIRE(frame != nullptr);
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(registrar, 30000));
    EndProcess(registrar);
    REQUIRE(OtherFrames().empty());

    // The shell itself opens the files, as a double click or `start`
    // does: it reads the type from HKEY_CLASSES_ROOT, tries the command by
    // dynamic data exchange and, when nobody answers, starts the program
    // with the open command and sends the command again.
    char command[MAX_PATH * 2] = "";
    LONG size = sizeof command;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, "Kestrin.Document\\shell\\open\\command", command, &size), 0L);
    CHECK_EQ(std::string(command), "\"" + KestrinExe() + "\" /dde");
    auto shellOpen = [](const std::string& path) {
        const auto result = reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
    };
    CHECK(shellOpen(first));
    frame = WaitForFrame(0);
    REQUIRE(frame != nullptr);
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == std::vector<std::string>{"http://h/s1"}; }, 15000));

    CHECK(shellOpen(second));
    CHECK(test::PumpUntil([&] {
        return RemoteUrls(frame) == (std::vector<std::string>{"http://h/s2", "http://h/s3"});
    }, 15000));
    CHECK_EQ(OtherFrames().size(), 1u);

    DWORD pid = 0;
    ::GetWindowThreadProcessId(frame, &pid);
    Process shown{::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid), pid};
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(shown, 30000));
    EndProcess(shown);
}

namespace {

// A script for modal dialogs: each step waits for an enabled dialog of
// this process that it recognises, then acts on it.
struct DialogStep {
    std::function<bool(HWND)> match;
    std::function<void(HWND)> act;
};
std::vector<DialogStep> g_steps;
size_t g_nextStep = 0;

BOOL CALLBACK FindStepDialog(HWND hwnd, LPARAM lp)
{
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpA(cls, "#32770") == 0 && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd) &&
        g_steps[g_nextStep].match(hwnd)) {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_nextStep >= g_steps.size())
        return;
    HWND dlg = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindStepDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg)
        return;
    const DialogStep step = g_steps[g_nextStep++];
    step.act(dlg);
}

// Runs `open` (which shows modal dialogs) with the steps acting on them.
// True when every step ran.
bool RunDialogs(std::vector<DialogStep> steps, const std::function<void()>& open)
{
    g_steps = std::move(steps);
    g_nextStep = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, StepTimer);
    open();
    ::KillTimer(nullptr, timer);
    return g_nextStep == g_steps.size();
}

bool IsFileDialog(HWND dlg)
{
    return ::GetDlgItem(dlg, 0x47C) != nullptr || ::GetDlgItem(dlg, 0x480) != nullptr;
}

// Types `text` as the file name and presses the button `id` (OK or Cancel).
DialogStep TypeInFileDialog(const std::string& text, int id = IDOK)
{
    return {IsFileDialog, [text, id](HWND dlg) {
        if (::GetDlgItem(dlg, 0x47C))
            ::SetDlgItemTextA(dlg, 0x47C, text.c_str());
        if (::GetDlgItem(dlg, 0x480))
            ::SetDlgItemTextA(dlg, 0x480, text.c_str());
        ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }};
}

} // namespace

TEST_CASE("file dialogs leave the current directory; the folder chooser yields the confirmed folder")
{
    test::ResetRegistry();
    test::TempDir download, other;
    ::CreateDirectoryA(other.File("sub").c_str(), nullptr);
    ::SetCurrentDirectoryA(download.Path().c_str());
    REQUIRE(test::StartApp());
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    doc->AddURL("http://h/a/1.zip");
    doc->SetModifiedFlag(false);

    struct {
        const char* name;
        std::vector<DialogStep> steps;
        std::function<void()> open;
        std::string folder;       // the download folder afterwards
    } cases[] = {
        {"save as, cancelled after going to another folder",
         {TypeInFileDialog(other.File("sub")), TypeInFileDialog("", IDCANCEL)},
         [] { Command(ID_FILE_SAVE_AS); }, download.Path()},
        {"folder chooser, cancelled",
         {TypeInFileDialog(other.Path(), IDCANCEL)},
         [] { Command(IDC_CHANGE_FOLDER); }, download.Path()},
        {"save as in another folder",
         {TypeInFileDialog(other.File("saved.kst"))},
         [] { Command(ID_FILE_SAVE_AS); }, download.Path()},
        {"open from another folder",
         {TypeInFileDialog(other.File("saved.kst"))},
         [] { Command(ID_FILE_OPEN); }, download.Path()},
        {"folder chooser, a typed name that is no folder",
         {TypeInFileDialog(other.File("Directory"))},
         [] { Command(IDC_CHANGE_FOLDER); }, other.Path()},
        {"folder chooser, a subfolder typed",
         {TypeInFileDialog(other.File("sub"))},
         [] { Command(IDC_CHANGE_FOLDER); }, other.File("sub")},
    };
    for (const auto& c : cases) {
        const bool ran = RunDialogs(c.steps, c.open);
        if (!CHECK(ran) || !CHECK_EQ(CurrentDirectory(), c.folder) ||
            !CHECK_EQ(theApp.m_strCurrentDirectory, c.folder) ||
            !CHECK_EQ(Frame()->m_wndDlgBar.GetDlgItemText(IDC_CURRENT_FOLDER), c.folder))
            std::printf("      case: %s\n", c.name);
    }
    CHECK(test::FileExists(other.File("saved.kst")));
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/a/1.zip"});
    test::CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("properties: a new destination is chosen without moving the current directory")
{
    test::ResetRegistry();
    test::TempDir download, other;
    ::SetCurrentDirectoryA(download.Path().c_str());
    REQUIRE(test::StartApp());
    URLItem* item = CKestrinDoc::GetDoc()->AddURL("http://h/a/1.zip");
    std::string shown;
    const bool ran = RunDialogs(
        {{[](HWND dlg) { return ::GetDlgItem(dlg, IDC_ITEM_URL) != nullptr; },
          [](HWND dlg) { ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_ITEM_CHANGE, BN_CLICKED), 0); }},
         TypeInFileDialog(other.File("renamed.zip")),
         {[](HWND dlg) { return ::GetDlgItem(dlg, IDC_ITEM_URL) != nullptr; },
          [&](HWND dlg) {
              shown = ItemText(dlg, IDC_ITEM_FILE);
              ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          }}},
        [&] {
            CUrlItemDlg dlg(item);
            dlg.DoModal();
        });
    CHECK(ran);
    CHECK_EQ(item->m_strFileName, other.File("renamed.zip"));
    CHECK_EQ(shown, other.File("renamed.zip"));
    CHECK_EQ(CurrentDirectory(), download.Path());
    test::CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

namespace {

RECT ChildRect(CWnd& wnd)
{
    RECT rc = wnd.GetWindowRect();
    ::MapWindowPoints(nullptr, AfxGetMainWndHandle(), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// Saves what the main window shows as a bitmap file (for looking at).
void SaveScreenshot(const std::string& path)
{
    HWND main = AfxGetMainWndHandle();
    const RECT rc = Frame()->GetWindowRect();
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::SelectObject(mem, old);
    const DWORD size = ((w * 3 + 3) & ~3) * h;
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                        sizeof fh + sizeof bi.bmiHeader};
    std::string data(reinterpret_cast<const char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    data.append(static_cast<const char*>(bits), size);
    test::WriteFileBytes(path, data);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
}

} // namespace

TEST_CASE("bars: hidden and shown in any order, the folder bar stays whole in the top row")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    Frame()->SetWindowPos(nullptr, 0, 0, 800, 400, SWP_NOMOVE | SWP_NOZORDER);
    test::Pump(200);
    CMainFrame& f = *Frame();
    const RECT tool0 = ChildRect(f.m_wndToolBar), bar0 = ChildRect(f.m_wndDlgBar);
    const RECT view0 = ChildRect(*CKestrinDoc::GetDoc()->GetListView());
    // The folder bar sits right of the toolbar, in the same row, whole.
    CHECK_EQ(bar0.top, tool0.top);
    CHECK_EQ(bar0.left, tool0.right);
    CHECK(view0.top >= bar0.bottom && view0.top >= tool0.bottom);

    const UINT ids[] = {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, AFX_IDW_DIALOGBAR};
    int order[] = {0, 1, 2};
    const char* shots = std::getenv("KESTRIN_SHOT_DIR");
    do {
        for (int i : order) {
            Command(ids[i]);   // hide
            test::Pump(50);
            if (i == 0) {
                // Without the toolbar the folder bar moves to the left edge.
                if (f.m_wndDlgBar.IsWindowVisible()) {
                    const RECT bar = ChildRect(f.m_wndDlgBar);
                    CHECK_EQ(bar.left, 0L);
                    CHECK_EQ(bar.right - bar.left, bar0.right - bar0.left);
                    CHECK_EQ(bar.bottom - bar.top, bar0.bottom - bar0.top);
                }
                if (shots && f.m_wndDlgBar.IsWindowVisible() && f.m_wndStatusBar.IsWindowVisible())
                    SaveScreenshot(std::string(shots) + "\\toolbar-hidden.bmp");
            }
        }
        for (int i : order) {
            Command(ids[i]);   // show
            test::Pump(50);
        }
        test::Pump(100);
        const RECT tool = ChildRect(f.m_wndToolBar), bar = ChildRect(f.m_wndDlgBar);
        const RECT view = ChildRect(*CKestrinDoc::GetDoc()->GetListView());
        if (!CHECK(::EqualRect(&tool, &tool0) && ::EqualRect(&bar, &bar0) && ::EqualRect(&view, &view0)))
            std::printf("      order %d %d %d: bar %ld,%ld-%ld,%ld (was %ld,%ld-%ld,%ld)\n",
                        order[0], order[1], order[2], bar.left, bar.top, bar.right, bar.bottom,
                        bar0.left, bar0.top, bar0.right, bar0.bottom);
        // Every control of the folder bar is still inside it.
        for (HWND child = ::GetWindow(f.m_wndDlgBar.m_hWnd, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            RECT rc;
            ::GetWindowRect(child, &rc);
            RECT outer = f.m_wndDlgBar.GetWindowRect();
            RECT both;
            ::IntersectRect(&both, &rc, &outer);
            CHECK(::EqualRect(&both, &rc));
        }
    } while (std::next_permutation(order, order + 3));
    if (shots) {
        SaveScreenshot(std::string(shots) + "\\toolbar-shown.bmp");
        for (int width : {500, 900, 700}) {
            f.SetWindowPos(nullptr, 0, 0, width, 400, SWP_NOMOVE | SWP_NOZORDER);
            test::Pump(200);
        }
        SaveScreenshot(std::string(shots) + "\\resized.bmp");
    }
    test::CloseApp();
}
