#include "DialogUtil.h"
#include "app/resource.h"
#include "schedule/TimerSettingDlg.h"

namespace test {

std::string Text(HWND dlg, int id)
{
    char text[512] = "";
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

void Press(HWND dlg, int id)
{
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}

void Click(HWND dlg, int id)
{
    ::SendMessageA(::GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

namespace {

std::function<void(HWND)> g_act;
HWND g_settingsDlg = nullptr;

BOOL CALLBACK FindSettings(HWND hwnd, LPARAM)
{
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpA(cls, "#32770") == 0 && ::GetDlgItem(hwnd, IDC_ENTRY_LIST)) {
        g_settingsDlg = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ActTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    g_settingsDlg = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindSettings, 0);
    if (!g_settingsDlg)
        return;
    ::KillTimer(nullptr, id);
    HWND dlg = g_settingsDlg;
    g_act(dlg);
    if (::IsWindow(dlg))
        ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

} // namespace

UINT_PTR WhenTimerSettingsShow(std::function<void(HWND)> act)
{
    g_act = std::move(act);
    return ::SetTimer(nullptr, 0, 50, ActTimer);
}

INT_PTR RunTimerSettings(TimerSchedule& schedule, std::function<void(HWND)> act)
{
    const UINT_PTR timer = WhenTimerSettingsShow(std::move(act));
    CTimerSettingDlg dlg(&schedule);
    const INT_PTR result = dlg.DoModal();
    ::KillTimer(nullptr, timer);
    return result;
}

} // namespace test
