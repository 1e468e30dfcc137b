#include "DownloadChildDlg.h"
#include <commctrl.h>
#include "DownloadParentDlg.h"
#include "DownloadThread.h"
#include "../app/KestrinApp.h"
#include "../app/resource.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"

namespace {
// Closes a panel that never got its thread, once its creation is over.
const UINT WM_CLOSE_PANEL = WM_APP + 1;
}

CDownloadChildDlg::CDownloadChildDlg()
    : CDialog(IDD_DOWNLOAD_CHILD), m_bCreating(0), m_bNoThread(0), m_bWindowGone(0)
{
}

CKestrinDoc* CDownloadChildDlg::Doc() const
{
    return m_pDoc && CKestrinDoc::GetDoc() == m_pDoc ? m_pDoc : nullptr;
}

void CDownloadChildDlg::CreateThread()
{
    m_bCreating = 1;
    m_pThread = new CDownloadThread(this);
    if (!StartThread(m_pThread)) {
        // The user has been told; the panel closes and the item stays pending.
        m_pThread = nullptr;
        m_bNoThread = 1;
        PostMessage(WM_CLOSE_PANEL);
    }
    m_bCreating = 0;
}

BOOL CDownloadChildDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The system's dialog manager does not pass WM_CREATE on to a dialog
    // procedure, so the panel's thread starts here, as its window is made.
    CreateThread();
    if (CDownloadParentDlg::s_nChildWidth == 0) {
        const RECT rc = GetWindowRect();
        CDownloadParentDlg::s_nChildWidth = rc.right - rc.left;
        CDownloadParentDlg::s_nChildHeight = rc.bottom - rc.top;
    }
    return TRUE;
}

LRESULT CDownloadChildDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CLOSE_PANEL) {
        DestroyWindow();
        return 0;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

void CDownloadChildDlg::ShowKilobytes(int id, int bytes) const
{
    SetDlgItemText(id, std::to_string(bytes / 1024).c_str());
}

void CDownloadChildDlg::SetProgress(int percent) const
{
    ::SendDlgItemMessageA(m_hWnd, IDC_PANEL_PROGRESS, PBM_SETPOS, percent, 0);
}

BOOL CDownloadChildDlg::StartNextItem()
{
    CKestrinDoc* doc = Doc();
    auto* parent = dynamic_cast<CDownloadParentDlg*>(CWnd::FromHandle(GetParent()));
    if (!doc || !m_pThread || (parent && parent->IsStopping()))
        return FALSE;
    URLItem* item = doc->FirstPendingItem();
    if (!item)
        return FALSE;
    m_pItem = item;
    SetDlgItemText(IDC_PANEL_URL, item->m_strURL.c_str());
    SetDlgItemText(IDC_PANEL_DONE, "0");
    SetDlgItemText(IDC_PANEL_TOTAL, "???");
    SetProgress(0);

    if (!m_pThread->StartDownload(item->m_strURL.c_str(), item->m_strFileName.c_str(),
                                  theApp.m_strCurrentDirectory.c_str(), item->m_bPathChosen)) {
        m_pItem = nullptr;
        if (!m_pThread->IsStopping()) {
            // Handed over but not taken in time: this worker is not to be
            // trusted with more. The item ends in error, not downloading.
            m_pThread->Stop();
            item->SetState((item->m_state & ~ITEM_DOWNLOADING) | ITEM_ERROR);
        }
        // Refused because the worker is stopping: the item stays unread.
        return FALSE;
    }
    item->SetState(item->m_state | ITEM_DOWNLOADING);
    return TRUE;
}

void CDownloadChildDlg::GoOn()
{
    if (!StartNextItem() && m_pThread)
        m_pThread->Quit();
}

void CDownloadChildDlg::EndItem(unsigned char remove, unsigned char add)
{
    URLItem* item = m_pItem;
    m_pItem = nullptr;
    item->SetState((item->m_state & ~remove) | add);
}

void CDownloadChildDlg::OnThreadMessage(int type, int p1, int, int, CBaseThread*)
{
    if (!m_pItem || m_bWindowGone)
        return;   // a transfer that was given up
    switch (type) {
    case DLM_SIZE:
        m_pItem->m_nSize = p1;
        if (p1 > 0) {
            ShowKilobytes(IDC_PANEL_TOTAL, p1);
        } else {
            SetProgress(0);
        }
        break;
    case DLM_PROGRESS:
        if (m_pItem->m_nSize > 0) {
            if (m_pItem->m_nSize < p1) {
                // More came than was announced: the size is not known.
                m_pItem->m_nSize = 0;
                SetProgress(0);
                SetDlgItemText(IDC_PANEL_TOTAL, "???");
            } else {
                SetProgress(static_cast<int>(static_cast<double>(p1) / m_pItem->m_nSize * 100));
            }
        }
        ShowKilobytes(IDC_PANEL_DONE, p1);
        break;
    case DLM_COMPLETE:
        m_pItem->m_nSize = p1;
        EndItem(ITEM_DOWNLOADING, ITEM_DONE);
        GoOn();
        break;
    case DLM_ERROR:
        EndItem(ITEM_DOWNLOADING, ITEM_ERROR);
        GoOn();
        break;
    case DLM_CANCELLED:
        EndItem(ITEM_DOWNLOADING | ITEM_DONE, ITEM_CANCELLED);
        GoOn();
        break;
    }
}

void CDownloadChildDlg::OnThreadEnded(CBaseThread*)
{
    // Stopped in the middle of a transfer.
    if (m_pItem)
        EndItem(ITEM_DOWNLOADING | ITEM_DONE, ITEM_CANCELLED);
    m_pThread = nullptr;
}

void CDownloadChildDlg::OnReleased()
{
    if (m_bWindowGone) {
        delete this;
    } else if (m_bCreating) {
        m_bNoThread = 1;
    } else {
        DestroyWindow();
    }
}

void CDownloadChildDlg::OnCancel()
{
    if (m_pThread)
        m_pThread->Cancel();
}

void CDownloadChildDlg::StopThread()
{
    if (m_pThread)
        m_pThread->Stop();
}

void CDownloadChildDlg::Abandon()
{
    m_pItem = nullptr;
    StopThread();
}

void CDownloadChildDlg::OnDestroy()
{
    // Destroyed while the thread still runs (with its owner window): the
    // transfer is given up and its item not touched again.
    if (m_pThread) {
        m_pItem = nullptr;
        m_pThread->Stop();
    }
    if (auto* parent = dynamic_cast<CDownloadParentDlg*>(CWnd::FromHandle(GetParent())))
        parent->RemoveChild(this);
    CDialog::OnDestroy();
}

void CDownloadChildDlg::PostNcDestroy()
{
    // The thread may still hold the panel; the last of the two deletes it.
    m_bWindowGone = 1;
    if (m_nRef == 0)
        delete this;
}
