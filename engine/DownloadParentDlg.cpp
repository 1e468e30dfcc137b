#include "DownloadParentDlg.h"
#include "../app/resource.h"
#include "../model/KestrinDoc.h"

CDownloadParentDlg::CDownloadParentDlg(CKestrinDoc* doc)
    : CDialog(IDD_DOWNLOAD_PARENT), m_pDoc(doc), m_bCloseRequested(0)
{
}

bool CDownloadParentDlg::Create(HWND owner)
{
    return CDialog::Create(owner);
}

BOOL CDownloadParentDlg::StartDownloads()
{
    return FALSE;
}

BOOL CDownloadParentDlg::AddDownload()
{
    return FALSE;
}

void CDownloadParentDlg::AbandonBatch()
{
}

void CDownloadParentDlg::RequestClose()
{
    m_bCloseRequested = 1;
    m_pDoc = nullptr;
    if (m_hWnd)
        DestroyWindow();
    else
        delete this;
}

void CDownloadParentDlg::PostNcDestroy()
{
    if (m_pDoc)
        m_pDoc->ForgetProgressDialog(this);
    delete this;
}
