#include "UrlItemDlg.h"
#include "URLItem.h"
#include <shlwapi.h>
#include "../app/KestrinApp.h"
#include "../app/resource.h"
#include "../framework/FileDialog.h"
#include "../framework/MessageBox.h"

CUrlItemDlg::CUrlItemDlg(URLItem* item, HWND parent)
    : CDialog(IDD_URL_ITEM, parent), m_pItem(item)
{
}

BOOL CUrlItemDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    UpdateSizeText();
    SetDlgItemText(IDC_ITEM_URL, m_pItem->m_strURL.c_str());
    SetDlgItemText(IDC_ITEM_FILE, m_pItem->m_strFileName.c_str());
    // Why the last download failed, or that it was cancelled.
    SetDlgItemText(IDC_ITEM_REASON, m_pItem->m_strFailure.c_str());
    return TRUE;
}

void CUrlItemDlg::UpdateSizeText()
{
    const std::string text = m_pItem->m_nSize <= 0 ? "???" : std::to_string(m_pItem->m_nSize / 1024);
    SetDlgItemText(IDC_ITEM_SIZE, text.c_str());
}

void CUrlItemDlg::OnMarkUnread()
{
    if (m_pItem->IsDownloading()) {
        AfxMessageBox(IDS_ITEM_DOWNLOADING);
        return;
    }
    m_pItem->m_nSize = 0;
    m_pItem->SetState(ITEM_UNREAD);
    UpdateSizeText();
    SetDlgItemText(IDC_ITEM_REASON, m_pItem->m_strFailure.c_str());
}

void CUrlItemDlg::OnChangeDestination()
{
    // A relative name lies in the download folder, whatever the process's
    // current directory is at the moment.
    std::string path = m_pItem->m_strFileName;
    if (::PathIsRelativeA(path.c_str()) && !theApp.m_strCurrentDirectory.empty())
        path = theApp.m_strCurrentDirectory + "\\" + path;
    char full[MAX_PATH] = "";
    char* name = nullptr;
    const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
    CFileDialog dlg(false, nullptr, (n && n < MAX_PATH && name) ? name : "",
                    OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr, m_hWnd);
    if (n && n < MAX_PATH && name && name > full) {
        // Open the dialog in the folder the item would be saved to.
        m_strInitialDir.assign(full, name);
        dlg.m_ofn.lpstrInitialDir = m_strInitialDir.c_str();
    }
    if (dlg.DoModal() != IDOK)
        return;
    // A batch may have taken the item while the dialog was open.
    if (m_pItem->IsDownloading()) {
        AfxMessageBox(IDS_ITEM_DOWNLOADING);
        return;
    }
    m_pItem->m_strFileName = dlg.GetPathName();
    m_pItem->m_bPathChosen = true;
    SetDlgItemText(IDC_ITEM_FILE, m_pItem->m_strFileName.c_str());
}

bool CUrlItemDlg::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_ITEM_MARK_UNREAD) {
        OnMarkUnread();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_ITEM_CHANGE) {
        OnChangeDestination();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}
