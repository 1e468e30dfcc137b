#include "CountdownUtil.h"
#include <cstdlib>
#include "DialogUtil.h"
#include "EngineUtil.h"
#include "app/KestrinApp.h"
#include "engine/DownloadParentDlg.h"
#include "model/KestrinDoc.h"
#include "schedule/DialingDlg.h"
#include "schedule/TimerDlg.h"
#include "schedule/TimerDlgList.h"

namespace test {

CTimerDlg* Timer() { return TimerDlgList::GetCount() > 0 ? TimerDlgList::Get(0) : nullptr; }
HWND TimerWnd() { return Timer() ? Timer()->GetSafeHwnd() : nullptr; }

std::string Shown(int id) { return Text(TimerWnd(), id); }

void Tick()
{
    if (HWND wnd = TimerWnd())
        ::SendMessageA(wnd, WM_TIMER, CTimerDlg::kTimerId, 0);
}

bool WaitTimerClosed(DWORD ms)
{
    return PumpUntil([] { return TimerDlgList::GetCount() == 0; }, ms);
}

bool WaitBatchEnd(DWORD ms)
{
    return PumpUntil([] {
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Doc()->GetProgressDialog()->GetChildCount() == 0;
    }, ms);
}

void SaveShot(HWND wnd, const char* name)
{
    const char* dir = std::getenv("KESTRIN_SHOT_DIR");
    if (!dir || !wnd)
        return;
    ::ShowWindow(wnd, SW_SHOWNA);
    ::SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Pump(300);
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((w * 3 + 3) & ~3);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + stride * h;
    std::string data(reinterpret_cast<const char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    data.append(static_cast<const char*>(bits), stride * h);
    std::string path = std::string("Z:") + dir + "/" + name + ".bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    WriteFileBytes(path, data);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
}

CountdownSession::CountdownSession()
    : clock(21, 7)
{
    fake.m_entries = {"Office", "Home"};
    DialService::Set(&fake);
    ResetRegistry();
    ::SetCurrentDirectoryA(dir.Path().c_str());
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    ok = StartApp();
}

CountdownSession::~CountdownSession()
{
    if (HWND dialing = CDialingDlg::GetCurrent())
        ::DestroyWindow(dialing);
    if (AfxGetMainWndHandle())
        CloseApp();
    ::SetCurrentDirectoryA("C:\\");
    DialService::Set(nullptr);
}

void CountdownSession::AddQuick(int n)
{
    for (int i = 0; i < n; ++i)
        Doc()->AddURL(HttpUrl("/bytes/" + std::to_string(1000 + i) + "/q" + std::to_string(i) + ".bin" + Unique()).c_str());
}

void CountdownSession::AddSlow(int ms)
{
    Doc()->AddURL(HttpUrl("/slow/20000/" + std::to_string(ms) + "/slow.bin" + Unique()).c_str());
}

} // namespace test
