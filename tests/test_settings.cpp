// The settings in the registry: the defaults of a first start, values out
// of range, the window and column sizes and the download folder brought
// back at the next start, and a failed start-up that leaves them alone;
// with the real program's windows in this process.
#include <windows.h>
#include <algorithm>
#include "AppUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "model/KestrinDoc.h"
#include "view/KestrinView.h"
#include <cstdio>

using namespace test;

using test::Ansi;

namespace {

SIZE WindowSize()
{
    const RECT rc = Frame()->GetWindowRect();
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// How wide `text` (UTF-8 here) is in the list's font.
int TextWidth(HWND list, const char* text)
{
    const std::string ansi = Ansi(text);
    return static_cast<int>(::SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(ansi.c_str())));
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
    // The state column shows its title and every state whole in the
    // list's large font: wider than the 50 pixels it is given.
    const int stateWidth = ListView_GetColumnWidth(list, 1);
    CHECK(stateWidth > 50);
    for (const char* label : {"未読", "ﾀﾞｳﾝﾛｰﾄﾞ中", "完了", "ｷｬﾝｾﾙ", "ｴﾗｰ", "再試行待ち", "状態"})
        CHECK(TextWidth(list, label) + 12 <= stateWidth);
    RECT client;
    ::GetClientRect(list, &client);
    // (never narrower than 80 pixels: the list scrolls sideways instead)
    const DWORD urlWidth = static_cast<DWORD>(std::max(80L, client.right - (stateWidth + 250 + 150)));
    CHECK_EQ(ListView_GetColumnWidth(list, 0), static_cast<int>(urlWidth));

    CHECK_EQ(test::CloseApp(), 0);
    struct {
        const char* name;
        DWORD value;
    } expected[] = {
        {"WidthWindow", 600}, {"HeightWindow", 300}, {"WidthColURL", urlWidth},
        {"WidthColState", static_cast<DWORD>(stateWidth)}, {"WidthColFilePath", 250}, {"WidthColReason", 150}, {"TimerHangUp", 1},
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
    ListView_SetColumnWidth(list, 1, 140);
    ListView_SetColumnWidth(list, 2, 123);
    ListView_SetColumnWidth(list, 3, 210);
    RECT client;
    ::GetClientRect(list, &client);
    const int urlWidth = client.right - (140 + 123 + 210);
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
    CHECK_EQ(ListView_GetColumnWidth(list, 1), 140);
    CHECK_EQ(ListView_GetColumnWidth(list, 2), 123);
    CHECK_EQ(ListView_GetColumnWidth(list, 3), 210);
    test::CloseApp();

    // A state column left too narrow for its labels comes back wide enough.
    test::WriteRegDWord("Settings", "WidthColState", 20);
    REQUIRE(test::StartApp());
    list = CKestrinDoc::GetDoc()->GetListView()->m_hWnd;
    CHECK(TextWidth(list, "ﾀﾞｳﾝﾛｰﾄﾞ中") + 12 <= ListView_GetColumnWidth(list, 1));
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
