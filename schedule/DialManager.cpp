#include "DialManager.h"
#include "DialService.h"
#include "DialingDlg.h"
#include "../framework/WinApp.h"

DialManager& GetDialManager()
{
    static DialManager manager;
    return manager;
}

void DialManager::AddTarget(TargetI_* target)
{
    if (m_nTargets < 3)
        m_targets[m_nTargets++] = target;
}

void DialManager::RemoveTarget(TargetI_* target)
{
    for (int i = 0; i < m_nTargets; ++i) {
        if (m_targets[i] == target) {
            m_targets[i] = m_targets[--m_nTargets];
            m_targets[m_nTargets] = nullptr;
            return;
        }
    }
}

bool DialManager::Dial(const std::string& entryName)
{
    if (entryName.empty() || m_bBusy || IsAnyConnectionActive())
        return false;
    m_bBusy = 1;
    CDialingDlg* dlg = CDialingDlg::Open(AfxGetMainWndHandle());
    if (!dlg) {
        m_bBusy = 0;
        return false;
    }
    // A call that cannot start closes the window, which reports the
    // failure before this returns.
    if (!dlg->Start(entryName))
        return false;
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnDialStarted();
    return true;
}

bool DialManager::HangUp()
{
    HRASCONN first = nullptr;
    DWORD count = 0;
    DialService::Get().EnumConnections(first, count);
    if (count == 0 || !first)
        return false;
    DialService::Get().HangUp(first);
    return true;
}

bool DialManager::IsAnyConnectionActive()
{
    HRASCONN first = nullptr;
    DWORD count = 0;
    // Too small a buffer means that several connections are up.
    if (DialService::Get().EnumConnections(first, count) == ERROR_BUFFER_TOO_SMALL)
        return true;
    return count > 0;
}

void DialManager::NotifyConnected()
{
    m_bBusy = 0;
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnConnected();
}

void DialManager::NotifyFailed()
{
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnDialFailed();
    m_bBusy = 0;
}
