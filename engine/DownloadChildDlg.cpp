#include "DownloadChildDlg.h"
#include <commctrl.h>
#include <climits>
#include "DownloadParentDlg.h"
#include "DownloadThread.h"
#include "FailureText.h"
#include "RetryQueue.h"
#include "PanelText.h"
#include "../app/KestrinApp.h"
#include "../app/resource.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"

namespace {
// Closes a panel that never got its thread, once its creation is over.
const UINT WM_CLOSE_PANEL = WM_APP + 1;
// While a transfer runs, its speed is looked at this often even when no
// byte comes, so that a stalled transfer shows it.
const UINT_PTR kRateTimer = 2;
const DWORD kRateInterval = 1000;

// What the item's 32-bit size keeps of a byte count: 0 (no size known)
// when it does not fit.
int ItemSize(long long bytes)
{
    return bytes > INT_MAX || bytes < INT_MIN ? 0 : static_cast<int>(bytes);
}
} // namespace

CDownloadChildDlg::CDownloadChildDlg()
    : CDialog(IDD_DOWNLOAD_CHILD), m_bCreating(0), m_bNoThread(0), m_bWindowGone(0)
{
}

long long CDownloadChildDlg::MessageBytes(int p1, int p2)
{
    if (p2 == 0 && p1 == -1)
        return -1;
    return static_cast<long long>((static_cast<unsigned long long>(static_cast<unsigned>(p2)) << 32) |
                                  static_cast<unsigned>(p1));
}

CKestrinDoc* CDownloadChildDlg::Doc() const
{
    return m_pDoc && CKestrinDoc::GetDoc() == m_pDoc ? m_pDoc : nullptr;
}

CDownloadParentDlg* CDownloadChildDlg::Parent() const
{
    return m_hWnd ? dynamic_cast<CDownloadParentDlg*>(CWnd::FromHandle(GetParent())) : nullptr;
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
    if (msg == WM_TIMER && (wp == m_showPacer.TimerId() || wp == kRateTimer)) {
        ShowNow();
        return 0;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

void CDownloadChildDlg::ShowLater()
{
    if (m_showPacer.Due(m_hWnd))
        ShowNow();
}

void CDownloadChildDlg::ShowNow()
{
    m_showPacer.Shown(m_hWnd);
    if (!m_hWnd)
        return;
    const DWORD now = ::GetTickCount();
    // Only what differs from the screen is written.
    const std::string total = m_llTotal > 0 ? std::to_string(m_llTotal / 1024) : "???";
    const std::string done = std::to_string(m_llDone / 1024);
    const int known = PanelText::PercentOf(m_llDone, m_llTotal);
    const int percent = known > 0 ? known : 0;
    // The speed over the last seconds of this item's transfer, from its
    // first bytes on (a resumed file's earlier part is not counted).
    if (m_pItem != m_pRateItem) {
        m_rate.Reset();
        m_pRateItem = m_pItem;
    }
    if (m_pItem && m_llDone > 0)
        m_rate.Add(now, m_llDone);
    const double rate = m_pItem ? m_rate.BytesPerSecond() : -1;
    ShowText(IDC_PANEL_SPEED, PanelText::Speed(rate), m_strShownSpeed);
    ShowText(IDC_PANEL_TIME_LEFT,
             m_llTotal > 0 && m_llDone <= m_llTotal ? PanelText::TimeLeft(m_rate.MsLeft(m_llTotal - m_llDone))
                                                    : std::string(),
             m_strShownLeft);
    ShowText(IDC_PANEL_PERCENT, PanelText::Percent(m_llDone, m_llTotal), m_strShownPercent);
    if (m_pItem && !m_bRateTimer) {
        m_bRateTimer = ::SetTimer(m_hWnd, kRateTimer, kRateInterval, nullptr) != 0;
    } else if (!m_pItem && m_bRateTimer) {
        ::KillTimer(m_hWnd, kRateTimer);
        m_bRateTimer = false;
    }
    if (CDownloadParentDlg* parent = Parent())
        parent->ShowPlace();
    if (m_strURL != m_strShownURL) {
        SetDlgItemText(IDC_PANEL_URL, m_strURL.c_str());
        m_strShownURL = m_strURL;
    }
    if (total != m_strShownTotal) {
        SetDlgItemText(IDC_PANEL_TOTAL, total.c_str());
        m_strShownTotal = total;
    }
    if (done != m_strShownDone) {
        SetDlgItemText(IDC_PANEL_DONE, done.c_str());
        m_strShownDone = done;
    }
    if (percent != m_nShownPercent) {
        ::SendDlgItemMessageA(m_hWnd, IDC_PANEL_PROGRESS, PBM_SETPOS, percent, 0);
        m_nShownPercent = percent;
    }
}

void CDownloadChildDlg::ShowText(int id, const std::string& text, std::string& shown)
{
    if (text == shown)
        return;
    SetDlgItemText(id, text.c_str());
    shown = text;
}

BOOL CDownloadChildDlg::StartNextItem()
{
    CKestrinDoc* doc = Doc();
    CDownloadParentDlg* parent = Parent();
    if (!doc || !m_pThread || !parent || parent->IsStopping())
        return FALSE;
    // Names resolve against the download folder as it stands now.
    const std::string folder = theApp.m_strCurrentDirectory;
    for (;;) {
        URLItem* item = doc->FirstPendingItem();
        if (!item)
            return FALSE;
        std::string claim = CDownloadParentDlg::TargetKey(folder, item->m_strFileName);
        if (!parent->ClaimTarget(claim, item)) {
            // Another item of this batch has that file: it is not written twice.
            TransferFailure same;
            same.kind = TransferFailure::SAME_FILE;
            item->SetFailed(item->m_state, FailureText(same));
            parent->NoteOutcome(ITEM_ERROR);
            continue;
        }
        m_pItem = item;
        m_strClaim = claim;
        m_strURL = item->m_strURL;
        m_llTotal = 0;
        m_llDone = 0;
        ShowLater();

        if (!m_pThread->StartDownload(item->GetSentURL().c_str(), item->m_strFileName.c_str(),
                                      folder.c_str(), item->m_bPathChosen)) {
            m_pItem = nullptr;
            parent->ReleaseTarget(m_strClaim);
            m_strClaim.clear();
            if (!m_pThread->IsStopping()) {
                // Handed over but not taken in time: this worker is not to be
                // trusted with more. The item ends in error, not downloading.
                m_pThread->Stop();
                item->SetFailed(item->m_state & ~ITEM_DOWNLOADING, FailureText(TransferFailure()));
                parent->NoteOutcome(ITEM_ERROR);
            }
            // Refused because the worker is stopping: the item stays unread.
            return FALSE;
        }
        m_strFolder = folder;
        item->SetState(item->m_state | ITEM_DOWNLOADING);
        return TRUE;
    }
}

void CDownloadChildDlg::GoOn()
{
    if (!StartNextItem() && m_pThread)
        m_pThread->Quit();
    // The batch's place moves on with an item that ended, also when no
    // other follows it here.
    if (CDownloadParentDlg* parent = Parent())
        parent->ShowPlace();
}

void CDownloadChildDlg::EndItem(unsigned char remove, unsigned char add, const std::string* reason)
{
    URLItem* item = m_pItem;
    m_pItem = nullptr;
    if (CDownloadParentDlg* parent = Parent()) {
        // A file that was not completed is free for another item.
        if (!(add & ITEM_DONE))
            parent->ReleaseTarget(m_strClaim);
        parent->NoteOutcome(add);
    }
    m_strClaim.clear();
    if (reason)
        item->SetState((item->m_state & ~remove) | add, *reason);
    else
        item->SetState((item->m_state & ~remove) | add);
}

void CDownloadChildDlg::FailItem(const TransferFailure& failure)
{
    URLItem* item = m_pItem;
    m_pItem = nullptr;
    if (CDownloadParentDlg* parent = Parent()) {
        parent->ReleaseTarget(m_strClaim);
        parent->NoteOutcome(ITEM_ERROR);
    }
    m_strClaim.clear();
    item->SetFailed(item->m_state & ~ITEM_DOWNLOADING, RetryQueue::FinalText(*item, FailureText(failure)));
}

void CDownloadChildDlg::OnThreadMessage(int type, int p1, int p2, int, CBaseThread*)
{
    if (!m_pItem || m_bWindowGone)
        return;   // a transfer that was given up
    switch (type) {
    case DLM_SIZE:
        m_llTotal = MessageBytes(p1, p2);
        m_pItem->m_nSize = ItemSize(m_llTotal);
        ShowLater();
        break;
    case DLM_PROGRESS:
        m_llDone = MessageBytes(p1, p2);
        if (m_llTotal > 0 && m_llTotal < m_llDone) {
            // More came than was announced: the size is not known.
            m_llTotal = 0;
            m_pItem->m_nSize = 0;
        }
        ShowLater();
        break;
    case DLM_COMPLETE:
        m_llDone = MessageBytes(p1, p2);
        m_pItem->m_nSize = ItemSize(m_llDone);
        m_pItem->m_bPartialKept = false;
        EndItem(ITEM_DOWNLOADING, ITEM_DONE);
        GoOn();
        break;
    case DLM_ERROR: {
        m_pItem->m_bPartialKept = p1 != 0;
        const TransferFailure failure = m_pThread ? m_pThread->GetLastFailure() : TransferFailure();
        CDownloadParentDlg* parent = Parent();
        if (parent && parent->OfferRetry(m_pItem, failure)) {
            // It waits for its next try, keeping its claim on its file.
            m_pItem = nullptr;
            m_strClaim.clear();
        } else {
            FailItem(failure);
        }
        GoOn();
        break;
    }
    case DLM_CANCELLED:
        m_pItem->m_bPartialKept = p1 != 0;
        EndItem(ITEM_DOWNLOADING | ITEM_DONE, ITEM_CANCELLED);
        GoOn();
        break;
    }
}

void CDownloadChildDlg::OnThreadEnded(CBaseThread*)
{
    // Stopped in the middle of a transfer, which may have kept its bytes.
    if (m_pItem) {
        m_pItem->m_bPartialKept = true;
        EndItem(ITEM_DOWNLOADING | ITEM_DONE, ITEM_CANCELLED);
    }
    // The item of a given-up transfer has left the list: what the transfer
    // kept of it goes too, now that its file is closed.
    if (!m_strAbandonedName.empty()) {
        CDownloadThread::RemovePartial(m_strFolder.c_str(), m_strAbandonedName.c_str());
        m_strAbandonedName.clear();
    }
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

void CDownloadChildDlg::EndAtDeadline(const std::string& reason)
{
    if (m_pItem) {
        // Stopped now: its bytes stay for a later run.
        m_pItem->m_bPartialKept = true;
        EndItem(ITEM_DOWNLOADING | ITEM_DONE, ITEM_CANCELLED, &reason);
    }
    StopThread();
}

void CDownloadChildDlg::Abandon()
{
    if (m_pItem && m_pThread)
        m_strAbandonedName = m_pItem->m_strFileName;
    m_pItem = nullptr;
    m_strClaim.clear();
    StopThread();
}

void CDownloadChildDlg::OnDestroy()
{
    m_showPacer.Stop(m_hWnd);
    if (m_bRateTimer) {
        ::KillTimer(m_hWnd, kRateTimer);
        m_bRateTimer = false;
    }
    // Destroyed while the thread still runs (with its owner window): the
    // transfer is given up and its item not touched again.
    if (m_pThread) {
        m_pItem = nullptr;
        m_pThread->Stop();
    }
    if (auto* parent = Parent())
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
