#include "RunSession.h"
#include "DialogUtil.h"
#include "EngineUtil.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "engine/DownloadParentDlg.h"
#include "framework/WinApp.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "schedule/DialingDlg.h"
#include "schedule/TimerDlg.h"
#include "schedule/TimerDlgList.h"
#include "view/KestrinView.h"

namespace test {

RunSession::RunSession(int hour, int minute)
    : clock(hour, minute)
{
    dial.m_entries = {"Office", "Home"};
    DialService::Set(&dial);
    ResetRegistry();
    ::SetCurrentDirectoryA(dir.Path().c_str());
    WriteRegString("Settings", "CurrentDirectory", dir.Path());
    ok = StartApp();
}

RunSession::~RunSession()
{
    if (HWND dialing = CDialingDlg::GetCurrent())
        ::DestroyWindow(dialing);
    Close();
    ::SetCurrentDirectoryA("C:\\");
    DialService::Set(nullptr);
}

int RunSession::Close()
{
    if (closed)
        return 0;
    closed = true;
    if (!ok && !AfxGetMainWndHandle())
        return 0;
    return CloseApp();
}

CKestrinDoc* LiveDoc()
{
    return CKestrinDoc::GetDoc();
}

CTimerDlg* Countdown()
{
    for (int i = 0; i < TimerDlgList::GetCount(); ++i)
        if (TimerDlgList::Get(i)->GetDocument() == LiveDoc())
            return TimerDlgList::Get(i);
    return nullptr;
}

HWND CountdownWnd()
{
    return Countdown() ? Countdown()->GetSafeHwnd() : nullptr;
}

void TickCountdown()
{
    if (HWND wnd = CountdownWnd())
        ::SendMessageA(wnd, WM_TIMER, CTimerDlg::kTimerId, 0);
}

void TickRetries()
{
    if (CDownloadParentDlg* progress = LiveDoc() ? LiveDoc()->GetProgressDialog() : nullptr)
        ::SendMessageA(progress->GetSafeHwnd(), WM_TIMER, CDownloadParentDlg::kRetryTimer, 0);
}

bool WaitBatchIdle(DWORD ms)
{
    return PumpUntil([] {
        return LiveDoc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE &&
               LiveDoc()->GetProgressDialog()->GetChildCount() == 0;
    }, ms);
}

bool WaitCountdownClosed(DWORD ms)
{
    return PumpUntil([] { return TimerDlgList::GetCount() == 0; }, ms);
}

int AddHttp(const std::string& path)
{
    URLItem* item = LiveDoc()->AddURL(HttpUrl(path).c_str());
    return item ? LiveDoc()->IndexOf(item) : -1;
}

std::string RowState(int row)
{
    return LiveDoc()->GetListView()->GetListCtrl().GetItemText(row, 1);
}

std::string RowReason(int row)
{
    return LiveDoc()->GetItem(row)->m_strFailure;
}

std::string StatusText()
{
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    return frame ? frame->GetRestText() : std::string();
}

std::string DlgText(HWND dlg, int id)
{
    char text[1024] = "";
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

void TimerSettingsCommand(std::function<void(HWND)> act)
{
    const UINT_PTR timer = WhenTimerSettingsShow(std::move(act));
    Command(ID_TIMER_SETTINGS);
    ::KillTimer(nullptr, timer);
}

TimeOfDay Minute(int hour, int minute)
{
    return {static_cast<unsigned char>(hour), static_cast<unsigned char>(minute)};
}

TimerSchedule MakeSchedule(TimeOfDay start, TimeOfDay end, const char* entry, int hangUp)
{
    TimerSchedule s;
    s.start = start;
    s.end = end;
    s.entryName = entry;
    s.hangUpWhenDone = hangUp;
    return s;
}

} // namespace test
