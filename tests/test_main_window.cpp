// The main window's help commands, which do nothing visible without help
// content, and its bars, hidden and shown in any order; with the real
// program's windows in this process.
#include <windows.h>
#include "AppUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "view/KestrinView.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace test;

using test::Ansi;

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
