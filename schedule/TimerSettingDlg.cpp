#include "TimerSettingDlg.h"
#include <algorithm>
#include "AfterRun.h"
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

const int kDayBoxes[7] = {IDC_DAY_SUN, IDC_DAY_MON, IDC_DAY_TUE, IDC_DAY_WED,
                          IDC_DAY_THU, IDC_DAY_FRI, IDC_DAY_SAT};

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
      m_nStartChoice(g_settings.m_bTimerBegin ? 0 : 1),
      m_nRepeat(g_settings.m_bTimerRepeat),
      m_nDays(static_cast<unsigned char>(g_settings.m_nTimerRepeatDays & TimerSchedule::kEveryDay)),
      m_nAfterRun(g_settings.m_nTimerAfterRun),
      m_nRetryCount(g_settings.m_nRetryCount)
{
}

BOOL CTimerSettingDlg::OnInitDialog()
{
    m_hEntryList = GetDlgItem(IDC_ENTRY_LIST);
    // "ダイヤルしない" always comes first, whatever the list's sorting.
    ::SendMessageA(m_hEntryList, CB_INSERTSTRING, 0,
                   reinterpret_cast<LPARAM>(AfxLoadString(IDS_NO_DIAL).c_str()));
    for (AfterRunAction action : {AfterRunAction::None, AfterRunAction::Exit, AfterRunAction::Sleep,
                                  AfterRunAction::Shutdown})
        ::SendDlgItemMessageA(m_hWnd, IDC_AFTER_RUN, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(AfterRun::Name(action).c_str()));
    for (int day = 0; day < 7; ++day)
        ::CheckDlgButton(m_hWnd, kDayBoxes[day], (m_nDays >> day) & 1 ? BST_CHECKED : BST_UNCHECKED);
    CDialog::OnInitDialog();
    FillEntryList();
    SelectSavedEntry();
    EnableStartTime(m_nStartChoice == 0);
    EnableEndTime(m_nEndChoice == 0);
    EnableRepeat();
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
    DDX_Check(dx, IDC_REPEAT, m_nRepeat);
    DDX_CBIndex(dx, IDC_AFTER_RUN, m_nAfterRun);
    DDX_Text(dx, IDC_RETRY_COUNT, m_nRetryCount);
    DDV_MinMaxInt(dx, m_nRetryCount, 0, 10);
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

void CTimerSettingDlg::EnableRepeat()
{
    const bool startSet = ::IsDlgButtonChecked(m_hWnd, IDC_START_SET) == BST_CHECKED;
    const bool repeat = ::IsDlgButtonChecked(m_hWnd, IDC_REPEAT) == BST_CHECKED;
    ::EnableWindow(GetDlgItem(IDC_REPEAT), startSet);
    for (int id : kDayBoxes)
        ::EnableWindow(GetDlgItem(id), startSet && repeat);
}

unsigned char CTimerSettingDlg::CheckedDays() const
{
    unsigned char days = 0;
    for (int day = 0; day < 7; ++day)
        if (::IsDlgButtonChecked(m_hWnd, kDayBoxes[day]) == BST_CHECKED)
            days |= static_cast<unsigned char>(1 << day);
    return days;
}

bool CTimerSettingDlg::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_START_SET: EnableStartTime(true); EnableRepeat(); return true;
        case IDC_START_NOW: EnableStartTime(false); EnableRepeat(); return true;
        case IDC_END_SET: EnableEndTime(true); return true;
        case IDC_END_NONE: EnableEndTime(false); return true;
        case IDC_REPEAT:
            // Turned on with no day chosen: every day.
            if (::IsDlgButtonChecked(m_hWnd, IDC_REPEAT) == BST_CHECKED && CheckedDays() == 0)
                for (int box : kDayBoxes)
                    ::CheckDlgButton(m_hWnd, box, BST_CHECKED);
            EnableRepeat();
            return true;
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
    m_nDays = CheckedDays();
    // A repeat runs at the start time of the chosen days; it has to come
    // back for the next one.
    const bool repeat = m_nRepeat != 0 && m_nStartChoice == 0;
    const auto afterRun = static_cast<AfterRunAction>(m_nAfterRun < 0 ? 0 : m_nAfterRun);
    if (repeat && m_nDays == 0) {
        AfxMessageBox(IDS_REPEAT_NO_DAY, MB_ICONEXCLAMATION | MB_OK);
        ::SetFocus(GetDlgItem(IDC_DAY_SUN));
        return;
    }
    if (repeat && (afterRun == AfterRunAction::Exit || afterRun == AfterRunAction::Shutdown)) {
        AfxMessageBox(IDS_REPEAT_AFTER_RUN, MB_ICONEXCLAMATION | MB_OK);
        ::SetFocus(GetDlgItem(IDC_AFTER_RUN));
        return;
    }
    std::string name;
    if (m_nEntryIndex > 0) {
        name = EntryText(m_nEntryIndex);
        m_pSchedule->entryName = name;
    }
    m_pSchedule->start = m_nStartChoice == 0 ? TimeOfDay{m_nStartHour, m_nStartMinute} : TimeOfDay::Unset;
    m_pSchedule->end = m_nEndChoice == 0 ? TimeOfDay{m_nEndHour, m_nEndMinute} : TimeOfDay::Unset;
    m_pSchedule->hangUpWhenDone = m_nHangUp;
    m_pSchedule->repeat = repeat;
    m_pSchedule->days = m_nDays;
    m_pSchedule->afterRun = afterRun;

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
    g_settings.m_bTimerRepeat = m_nRepeat != 0;
    if (m_nDays != 0)
        g_settings.m_nTimerRepeatDays = m_nDays;
    g_settings.m_nTimerAfterRun = static_cast<int>(afterRun);
    g_settings.m_nRetryCount = m_nRetryCount;
    EndDialog(IDOK);
}
