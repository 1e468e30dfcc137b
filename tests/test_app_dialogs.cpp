// The item properties dialog (size, mark unread, a new destination) and
// the file and folder dialogs, which leave the current directory where the
// download folder is; with the real program's windows in this process.
#include <windows.h>
#include "AppUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "model/UrlItemDlg.h"
#include <cstdio>
#include <functional>

using namespace test;

using test::Ansi;

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
