#include "DialingDlg.h"
#include "DialManager.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"
#include "../framework/WindowPlacement.h"
#include "TimerDlg.h"
#include "TimerDlgList.h"

namespace {

// Read by the service's notifier on a thread of its own.
HWND volatile g_hCurrent = nullptr;

} // namespace

CDialingDlg::CDialingDlg()
    : CDialog(IDD_DIALING)
{
    ::SecureZeroMemory(&m_params, sizeof m_params);
}

CDialingDlg::~CDialingDlg()
{
    WipeParams();
}

CDialingDlg* CDialingDlg::Open(HWND owner)
{
    auto* dlg = new CDialingDlg;
    bool deleted = false;
    dlg->m_pbDeleted = &deleted;
    const bool made = dlg->Create(owner);
    if (deleted)
        return nullptr;
    dlg->m_pbDeleted = nullptr;
    if (!made) {
        delete dlg;
        return nullptr;
    }
    return dlg;
}

HWND CDialingDlg::GetCurrent()
{
    return g_hCurrent;
}

void WINAPI CDialingDlg::DialCallback(UINT, RASCONNSTATE state, DWORD error)
{
    if (HWND current = g_hCurrent)
        ::PostMessageA(current, WM_RASDIALEVENT, static_cast<WPARAM>(state), static_cast<LPARAM>(error));
}

BOOL CDialingDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Below the countdown window that dials, or beside the main window:
    // never over the main window's menu and bars.
    HWND countdown = nullptr;
    for (int i = 0; i < TimerDlgList::GetCount() && !countdown; ++i)
        if (TimerDlgList::Get(i)->m_hWnd && ::IsWindowVisible(TimerDlgList::Get(i)->m_hWnd))
            countdown = TimerDlgList::Get(i)->m_hWnd;
    if (countdown)
        WindowPlacement::PlaceBeside(m_hWnd, countdown, true);
    else
        WindowPlacement::PlaceBeside(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));
    m_nTimer = ::SetTimer(m_hWnd, kTimerId, kTickMs, nullptr);
    g_hCurrent = m_hWnd;
    return TRUE;
}

bool CDialingDlg::Start(const std::string& entryName)
{
    m_strEntryName = entryName;
    SetDlgItemText(IDC_DIAL_ENTRY, m_strEntryName.c_str());
    m_bOutcomeDue = true;
    if (DialEntry())
        return true;
    DestroyWindow();
    return false;
}

bool CDialingDlg::DialEntry()
{
    m_nRedialTicks = -1;
    if (m_strEntryName.size() > RAS_MaxEntryName)
        return false;
    WipeParams();
    m_params.dwSize = sizeof m_params;
    m_strEntryName.copy(m_params.szEntryName, RAS_MaxEntryName);
    DialService& service = DialService::Get();
    if (service.GetEntryDialParams(m_params) != 0) {
        WipeParams();
        return false;
    }
    // A handle left from an earlier attempt is hung up; the service wants
    // the place for the new one empty.
    if (m_hConn)
        HangUpCall();
    const DWORD err = service.Dial(m_params, DialCallback, m_hConn);
    WipeParams();
    if (err != 0)
        return false;
    ShowStatus(IDS_DIAL_DIALING);
    return true;
}

void CDialingDlg::HangUpCall()
{
    DialService::Get().HangUp(m_hConn);
    m_hConn = nullptr;
}

void CDialingDlg::ShowStatus(UINT textId)
{
    SetDlgItemText(IDC_DIAL_STATE, AfxLoadString(textId).c_str());
}

void CDialingDlg::WipeParams()
{
    ::SecureZeroMemory(&m_params, sizeof m_params);
}

LRESULT CDialingDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_RASDIALEVENT) {
        OnRasDialEvent(static_cast<RASCONNSTATE>(wp), static_cast<DWORD>(lp));
        return 0;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

void CDialingDlg::OnRasDialEvent(RASCONNSTATE state, DWORD error)
{
    if (state == RASCS_Connected) {
        // The connection stays up for the downloads; nobody holds it now.
        m_hConn = nullptr;
        m_bOutcomeDue = false;
        GetDialManager().NotifyConnected();
        DestroyWindow();
    } else if (state == RASCS_AllDevicesConnected) {
        ShowStatus(IDS_DIAL_CONNECTING);
    } else if (state == RASCS_Disconnected) {
        DestroyWindow();
    } else if (error != 0) {
        if (error == ERROR_LINE_BUSY) {
            HangUpCall();
            m_nRedialTicks = 0;
            ShowStatus(IDS_DIAL_WAIT_REDIAL);
        } else {
            DestroyWindow();
        }
    }
}

void CDialingDlg::OnTimer(UINT_PTR id)
{
    if (id != m_nTimer || m_nTimer == 0) {
        CDialog::OnTimer(id);
        return;
    }
    if (m_nRedialTicks < 0)
        return;
    if (++m_nRedialTicks >= kRedialTicks && !DialEntry())
        DestroyWindow();
}

void CDialingDlg::OnOK()
{
    // Enter does not give up the call; Cancel and the close box do.
}

void CDialingDlg::OnCancel()
{
    DestroyWindow();
}

void CDialingDlg::OnDestroy()
{
    if (m_nTimer) {
        ::KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    if (m_hConn)
        HangUpCall();
    WipeParams();
    if (m_bOutcomeDue) {
        m_bOutcomeDue = false;
        GetDialManager().NotifyFailed();
    }
    if (g_hCurrent == m_hWnd)
        g_hCurrent = nullptr;
    CDialog::OnDestroy();
}

void CDialingDlg::PostNcDestroy()
{
    if (m_pbDeleted)
        *m_pbDeleted = true;
    delete this;
}
