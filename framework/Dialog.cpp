#include "Dialog.h"
#include "DataExchange.h"
#include "WinApp.h"
#include "WindowPlacement.h"

INT_PTR CDialog::DoModal()
{
    m_bModal = true;
    return RunModalTemplate(m_nTemplate, m_hParent ? m_hParent : AfxGetMainWndHandle());
}

bool CDialog::Create(HWND parent)
{
    m_bModal = false;
    m_hParent = parent;
    return CreateFromTemplate(m_nTemplate, parent);
}

bool CDialog::UpdateData(bool save)
{
    CDataExchange dx(this, save);
    DoDataExchange(dx);
    return !dx.m_bFailed;
}

void CDialog::EndDialog(int result)
{
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        DestroyWindow();
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    // A modal dialog opens in the middle of the window it belongs to.
    if (m_bModal)
        WindowPlacement::CenterWindow(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnClose()
{
    OnCancel();
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        return OnInitDialog();
    return CWnd::WindowProc(msg, wp, lp);
}

bool CDialog::OnCommand(UINT id, UINT code, HWND control)
{
    if (id == IDOK && (code == BN_CLICKED || !control)) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL && (code == BN_CLICKED || !control)) {
        OnCancel();
        return true;
    }
    return CWnd::OnCommand(id, code, control);
}
