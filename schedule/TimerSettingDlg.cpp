#include "TimerSettingDlg.h"
#include <algorithm>
#include "DialService.h"
#include "TimerSchedule.h"
#include "../app/SharedSettings.h"
#include "../app/resource.h"
#include "../framework/DataExchange.h"
#include "../framework/MessageBox.h"

namespace {

std::wstring Wide(const std::string& text)
{
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

// Whether `text` begins with `prefix`, without regard to case.
bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    const std::wstring t = Wide(text);
    const std::wstring p = Wide(prefix);
    if (p.size() > t.size())
        return false;
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, t.c_str(), static_cast<int>(p.size()),
                            p.c_str(), static_cast<int>(p.size())) == CSTR_EQUAL;
}

} // namespace

CTimerSettingDlg::CTimerSettingDlg(TimerSchedule* schedule, HWND parent)
    : CDialog(IDD_TIMER_SETTING, parent),
      m_pSchedule(schedule),
      m_nStartHour(static_cast<BYTE>(g_settings.m_nTimerHourBegin)),
      m_nEndHour(static_cast<BYTE>(g_settings.m_nTimerHourEnd)),
      m_nStartMinute(static_cast<BYTE>(g_settings.m_nTimerMinuteBegin)),
      m_nEndMinute(static_cast<BYTE>(g_settings.m_nTimerMinuteEnd)),
      m_nHangUp(g_settings.m_bTimerHangUp),
      m_nEndChoice(g_settings.m_bTimerEnd ? 0 : 1),
      m_nStartChoice(g_settings.m_bTimerBegin ? 0 : 1)
{
}

BOOL CTimerSettingDlg::OnInitDialog()
{
    m_hEntryList = GetDlgItem(IDC_ENTRY_LIST);
    // "ダイヤルしない" always comes first, whatever the list's sorting.
    ::SendMessageA(m_hEntryList, CB_INSERTSTRING, 0,
                   reinterpret_cast<LPARAM>(AfxLoadString(IDS_NO_DIAL).c_str()));
    CDialog::OnInitDialog();
    FillEntryList();
    SelectSavedEntry();
    EnableStartTime(m_nStartChoice == 0);
    EnableEndTime(m_nEndChoice == 0);
    return TRUE;
}

void CTimerSettingDlg::DoDataExchange(CDataExchange& dx)
{
    DDX_Text(dx, IDC_START_HOUR, m_nStartHour);
    DDV_MinMaxByte(dx, m_nStartHour, 0, 23);
    DDX_Text(dx, IDC_END_HOUR, m_nEndHour);
    DDV_MinMaxByte(dx, m_nEndHour, 0, 23);
    DDX_Text(dx, IDC_START_MINUTE, m_nStartMinute);
    DDV_MinMaxByte(dx, m_nStartMinute, 0, 59);
    DDX_Text(dx, IDC_END_MINUTE, m_nEndMinute);
    DDV_MinMaxByte(dx, m_nEndMinute, 0, 59);
    DDX_Check(dx, IDC_HANG_UP_WHEN_DONE, m_nHangUp);
    DDX_Radio(dx, IDC_END_SET, m_nEndChoice);
    DDX_Radio(dx, IDC_START_SET, m_nStartChoice);
    DDX_CBIndex(dx, IDC_ENTRY_LIST, m_nEntryIndex);
}

void CTimerSettingDlg::FillEntryList()
{
    // Every entry the service returned, however many, sorted without
    // regard to case after "ダイヤルしない".
    std::vector<std::string> names;
    if (!DialService::Get().EnumEntries(names))
        return;
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    for (const std::string& name : names)
        ::SendMessageA(m_hEntryList, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(name.c_str()));
}

std::string CTimerSettingDlg::EntryText(int index) const
{
    const LRESULT n = ::SendMessageA(m_hEntryList, CB_GETLBTEXTLEN, index, 0);
    if (n == CB_ERR)
        return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    const LRESULT got = ::SendMessageA(m_hEntryList, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

void CTimerSettingDlg::SelectSavedEntry()
{
    const int count = static_cast<int>(::SendMessageA(m_hEntryList, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (StartsWithNoCase(EntryText(i), g_settings.m_strRasEntryName)) {
            if (i != 0) {
                ::SendMessageA(m_hEntryList, CB_SETCURSEL, i, 0);
                m_nEntryIndex = i;
            }
            return;
        }
    }
}

void CTimerSettingDlg::EnableStartTime(bool on)
{
    ::EnableWindow(GetDlgItem(IDC_START_HOUR), on);
    ::EnableWindow(GetDlgItem(IDC_START_MINUTE), on);
}

void CTimerSettingDlg::EnableEndTime(bool on)
{
    ::EnableWindow(GetDlgItem(IDC_END_HOUR), on);
    ::EnableWindow(GetDlgItem(IDC_END_MINUTE), on);
}

bool CTimerSettingDlg::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_START_SET: EnableStartTime(true); return true;
        case IDC_START_NOW: EnableStartTime(false); return true;
        case IDC_END_SET: EnableEndTime(true); return true;
        case IDC_END_NONE: EnableEndTime(false); return true;
        }
    }
    return CDialog::OnCommand(id, code, control);
}

void CTimerSettingDlg::OnOK()
{
    // Every field is checked, enabled or not; the first bad one keeps the
    // dialog open with nothing written.
    if (!UpdateData(true))
        return;
    std::string name;
    if (m_nEntryIndex > 0) {
        name = EntryText(m_nEntryIndex);
        m_pSchedule->entryName = name;
    }
    m_pSchedule->start = m_nStartChoice == 0 ? TimeOfDay{m_nStartHour, m_nStartMinute} : TimeOfDay::Unset;
    m_pSchedule->end = m_nEndChoice == 0 ? TimeOfDay{m_nEndHour, m_nEndMinute} : TimeOfDay::Unset;
    m_pSchedule->hangUpWhenDone = m_nHangUp;

    if (m_nStartChoice == 0) {
        g_settings.m_nTimerHourBegin = m_nStartHour;
        g_settings.m_nTimerMinuteBegin = m_nStartMinute;
        g_settings.m_bTimerBegin = 1;
    } else {
        g_settings.m_bTimerBegin = 0;
    }
    if (m_nEndChoice == 0) {
        g_settings.m_nTimerHourEnd = m_nEndHour;
        g_settings.m_nTimerMinuteEnd = m_nEndMinute;
        g_settings.m_bTimerEnd = 1;
    } else {
        g_settings.m_bTimerEnd = 0;
    }
    g_settings.m_strRasEntryName = name;
    g_settings.m_bTimerHangUp = m_nHangUp != 0;
    EndDialog(IDOK);
}
