#include "DownloadParentDlg.h"
#include "DownloadChildDlg.h"
#include "../app/MainFrame.h"
#include "../app/SharedSettings.h"
#include "../app/resource.h"
#include "../framework/WinApp.h"
#include "../framework/Widen.h"
#include "../framework/WindowPlacement.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"
#include "FailureText.h"
#include "../schedule/Clock.h"

int CDownloadParentDlg::s_nChildWidth = 0;
int CDownloadParentDlg::s_nChildHeight = 0;
int CDownloadParentDlg::s_nParentClientHeight = 0;

CDownloadParentDlg::CDownloadParentDlg(CKestrinDoc* doc)
    : CDialog(IDD_DOWNLOAD_PARENT), m_pDoc(doc), m_bCloseRequested(0), m_bStopping(0), m_bPlaced(0),
      m_bClosing(0), m_bRetryTimer(0)
{
}

bool CDownloadParentDlg::Create(HWND owner)
{
    return CDialog::Create(owner);
}

CKestrinDoc* CDownloadParentDlg::Doc() const
{
    // Never a document that is gone.
    return m_pDoc && CKestrinDoc::GetDoc() == m_pDoc ? m_pDoc : nullptr;
}

BOOL CDownloadParentDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (s_nParentClientHeight == 0)
        s_nParentClientHeight = GetClientRect().bottom;
    m_strCaption = GetWindowText();
    return TRUE;
}

BatchPlace CDownloadParentDlg::GetPlace() const
{
    // An item a panel is just taking is still pending until its transfer
    // has been handed over: the items are counted by their states.
    CKestrinDoc* doc = Doc();
    if (!doc)
        return BatchPlace();
    // Items waiting for a retry are still to come.
    return BatchPlace(m_nDone + m_nFailed + m_nCancelled, static_cast<int>(doc->GetDownloadingItems().size()),
                      doc->CountPendingItems() + static_cast<int>(doc->GetWaitingItems().size()));
}

void CDownloadParentDlg::ShowPlace()
{
    if (m_hWnd && m_placePacer.Due(m_hWnd))
        ShowPlaceNow();
}

void CDownloadParentDlg::ShowPlaceNow()
{
    m_placePacer.Shown(m_hWnd);
    if (!m_hWnd)
        return;
    const BatchPlace place = GetPlace();
    const std::string caption = place.IsEmpty() ? m_strCaption : place.Caption();
    if (caption != GetWindowText())
        SetWindowText(caption.c_str());
}

CDownloadChildDlg* CDownloadParentDlg::OpenPanel()
{
    auto* panel = new CDownloadChildDlg;
    panel->m_pDoc = m_pDoc;
    m_children[m_nChildren++] = panel;
    if (!panel->Create(m_hWnd)) {
        // No window came of it: take it out again unless its destruction did.
        for (int i = 0; i < m_nChildren; ++i) {
            if (m_children[i] == panel) {
                m_children[i] = m_children[--m_nChildren];
                delete panel;
                break;
            }
        }
        return nullptr;
    }
    return panel;
}

BOOL CDownloadParentDlg::StartDownloads(long long retryDeadline)
{
    CKestrinDoc* doc = Doc();
    const int pending = doc ? doc->CountPendingItems() : 0;
    if (pending == 0 || !m_hWnd || m_bClosing)
        return FALSE;
    m_bStopping = 0;
    m_claims.clear();
    m_nDone = m_nFailed = m_nCancelled = 0;
    m_retries.Begin(g_settings.m_nRetryCount, retryDeadline);
    WatchRetries(false);
    if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        frame->OnBatchStarted();
    while (m_nChildren < 2 && m_nChildren < pending) {
        if (!OpenPanel())
            break;
    }
    if (m_nChildren == 0)
        return FALSE;
    LayoutChildren(0);
    // Each panel takes the first pending item in turn; the transfers
    // start before the windows are shown.
    EachPanel([](CDownloadChildDlg* panel) { panel->GoOn(); });
    EachPanel([](CDownloadChildDlg* panel) { panel->ShowWindow(SW_SHOWNA); });
    PlaceFirstTime();
    ShowPlaceNow();
    ShowWindow(SW_SHOWNA);
    return TRUE;
}

BOOL CDownloadParentDlg::AddDownload()
{
    CKestrinDoc* doc = Doc();
    if (m_bStopping || m_bClosing || !m_hWnd || !doc || doc->CountPendingItems() == 0 || m_nChildren == 2)
        return FALSE;
    CDownloadChildDlg* panel = OpenPanel();
    if (!panel)
        return FALSE;
    LayoutChildren(m_nChildren - 1);
    panel->ShowWindow(SW_SHOWNA);
    PlaceFirstTime();
    ShowWindow(SW_SHOWNA);
    panel->GoOn();
    return TRUE;
}

void CDownloadParentDlg::PlaceFirstTime()
{
    if (m_bPlaced)
        return;
    m_bPlaced = 1;
    // Below the main window when the screen has room, else beside it, so
    // that the list stays in sight; over a window that fills the screen,
    // at its lower right, never over its menu and bars. The user may move
    // it from there.
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (!owner || !::IsWindowVisible(owner) || ::IsIconic(owner))
        return;
    RECT ownerRect{};
    ::GetWindowRect(owner, &ownerRect);
    const RECT self = GetWindowRect();
    // The size it has with both panels.
    const SIZE size = {self.right - self.left, (self.bottom - self.top) + (2 - m_nChildren) * s_nChildHeight};
    const POINT at = WindowPlacement::Beside(ownerRect, size, WindowPlacement::WorkAreaOf(owner),
                                             WindowPlacement::TopBandOf(owner), true);
    SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDownloadParentDlg::LayoutChildren(int first)
{
    const int top = s_nParentClientHeight + m_nRetryLine;
    RECT rc = {0, 0, s_nChildWidth, top + m_nChildren * s_nChildHeight};
    ::AdjustWindowRectEx(&rc, static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)));
    SetWindowPos(nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    for (int k = first; k < m_nChildren; ++k)
        m_children[k]->SetWindowPos(nullptr, 0, top + k * s_nChildHeight, 0, 0,
                                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDownloadParentDlg::RemoveChild(CWnd* child)
{
    int index = -1;
    for (int i = 0; i < m_nChildren; ++i)
        if (m_children[i] == child)
            index = i;
    if (index < 0)
        return;
    auto* panel = m_children[index];
    for (int i = index; i + 1 < m_nChildren; ++i)
        m_children[i] = m_children[i + 1];
    m_children[--m_nChildren] = nullptr;

    if (m_nChildren > 0) {
        // The lower panels move up into the gap.
        for (int i = index; i < m_nChildren; ++i)
            m_children[i]->ShowWindow(SW_HIDE);
        LayoutChildren(index);
        for (int i = index; i < m_nChildren; ++i)
            m_children[i]->ShowWindow(SW_SHOWNA);
    }

    // Items that came (or came back) while this panel was winding down
    // belong to the batch too: they get the freed place, unless the batch
    // is being stopped or the panel never had a thread.
    CKestrinDoc* doc = Doc();
    const bool refill = !m_bStopping && !m_bClosing && !m_bCloseRequested && !panel->HasNoThread() && doc &&
                        doc->CountPendingItems() > 0;
    if (refill && AddDownload())
        return;
    if (m_nChildren > 0)
        return;
    EndOrWait();
}

void CDownloadParentDlg::EndOrWait()
{
    CKestrinDoc* doc = Doc();
    if (!m_bStopping && !m_bClosing && !m_bCloseRequested && doc && !doc->GetWaitingItems().empty()) {
        // The batch goes on while items wait for their retry; Cancel ends it.
        LayoutChildren(0);
        WatchRetries(true);
        return;
    }
    WatchRetries(false);
    ShowWindow(SW_HIDE);
    m_bStopping = 0;
    EndBatch();
    if (m_bCloseRequested && m_hWnd)
        DestroyWindow();
}

void CDownloadParentDlg::EndBatch()
{
    // The main window hears first, so that what the document's observers
    // show of the run (a scheduled run's summary) comes after it.
    if (!m_bClosing) {
        if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
            frame->OnBatchEnded(m_nDone, m_nFailed, m_nCancelled, m_retries.GetSpent());
    }
    if (CKestrinDoc* doc = Doc())
        doc->FinishBatch();
}

bool CDownloadParentDlg::OfferRetry(URLItem* item, const TransferFailure& failure)
{
    if (!item || m_bStopping || m_bClosing || !Doc())
        return false;
    if (!m_retries.Offer(*item, failure, Clock::NowSeconds()))
        return false;
    WatchRetries(true);
    return true;
}

void CDownloadParentDlg::WatchRetries(bool on)
{
    if (on != (m_bRetryTimer != 0) && m_hWnd) {
        if (on)
            m_bRetryTimer = ::SetTimer(m_hWnd, kRetryTimer, kRetryTickMs, nullptr) != 0;
        else {
            ::KillTimer(m_hWnd, kRetryTimer);
            m_bRetryTimer = 0;
        }
    }
    ShowRetryLine();
}

void CDownloadParentDlg::OnTimer(UINT_PTR id)
{
    if (id == m_placePacer.TimerId()) {
        ShowPlaceNow();
        return;
    }
    if (id != kRetryTimer) {
        CDialog::OnTimer(id);
        return;
    }
    CKestrinDoc* doc = Doc();
    if (!doc || m_bStopping || m_bClosing) {
        WatchRetries(false);
        return;
    }
    // Items that go back to unread call for panels themselves (FeedBatch).
    const std::vector<URLItem*> waiting = doc->GetWaitingItems();
    m_retries.Release(waiting, Clock::NowSeconds());
    ShowRetryLine();
    if (!doc->GetWaitingItems().empty())
        return;
    WatchRetries(false);
    // Nothing waits any more (the items were marked unread or removed by
    // the user): with no panel left the batch is over.
    if (m_nChildren == 0 && !AddDownload())
        EndOrWait();
}

void CDownloadParentDlg::EndWaits()
{
    WatchRetries(false);
    CKestrinDoc* doc = Doc();
    if (!doc)
        return;
    const std::vector<URLItem*> waiting = doc->GetWaitingItems();
    m_nFailed += m_retries.Abandon(waiting);
    ShowRetryLine();
}

void CDownloadParentDlg::ShowRetryLine()
{
    if (!m_hWnd)
        return;
    CKestrinDoc* doc = Doc();
    const URLItem* next = nullptr;
    int count = 0;
    if (doc && !m_bStopping && !m_bClosing) {
        for (const URLItem* item : doc->GetWaitingItems()) {
            ++count;
            if (!next || item->m_llRetryAt < next->m_llRetryAt)
                next = item;
        }
    }
    std::string text;
    if (next) {
        text = next->m_strFailure + ": " + next->m_strURL;
        if (count > 1)
            text = FormatStringId(IDS_RETRY_LINE_MORE, {text, std::to_string(count - 1)});
    }
    HWND line = ::GetDlgItem(m_hWnd, IDC_RETRY_LINE);
    if (text != GetDlgItemText(IDC_RETRY_LINE))
        SetDlgItemText(IDC_RETRY_LINE, text.c_str());
    RECT rc = {0, 0, 0, 12};
    ::MapDialogRect(m_hWnd, &rc);
    const int height = next ? rc.bottom : 0;
    if (height == m_nRetryLine)
        return;
    m_nRetryLine = height;
    ::ShowWindow(line, next ? SW_SHOWNA : SW_HIDE);
    LayoutChildren(0);
    ShowPlace();
}

void CDownloadParentDlg::StopAtDeadline(const std::string& reason)
{
    CKestrinDoc* doc = Doc();
    if (!doc || doc->m_nBatchMode == CKestrinDoc::BATCH_IDLE || m_bClosing)
        return;
    m_bStopping = 1;
    WatchRetries(false);
    CDownloadChildDlg* panels[2] = {m_children[0], m_children[1]};
    const int count = m_nChildren;
    for (int i = 0; i < count; ++i)
        panels[i]->EndAtDeadline(reason);
    m_nCancelled += doc->CancelUnfinished(reason);
    if (m_nChildren == 0)
        EndOrWait();
}

void CDownloadParentDlg::NoteOutcome(unsigned char state)
{
    if (state & ITEM_DONE)
        ++m_nDone;
    else if (state & ITEM_ERROR)
        ++m_nFailed;
    else if (state & ITEM_CANCELLED)
        ++m_nCancelled;
}

bool CDownloadParentDlg::ClaimTarget(const std::string& key, const URLItem* item)
{
    // An item fetched again in the same batch (marked unread meanwhile)
    // may write its own file again.
    return m_claims.emplace(key, item).first->second == item;
}

void CDownloadParentDlg::ReleaseTarget(const std::string& key)
{
    m_claims.erase(key);
}

std::string CDownloadParentDlg::TargetKey(const std::string& folder, const std::string& name)
{
    const bool absolute = (name.size() >= 2 && name[1] == ':') ||
                          (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    std::string path = absolute ? name : folder + "\\" + name;
    char full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full)
        path = full;

    // Wide, so that upper case is the file system's idea of it for every
    // character, double-byte ones included.
    const std::wstring wide = Widen(path);
    std::wstring key;
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i] == L'/' ? L'\\' : wide[i];
        if (c == L'\\') {
            // "a.txt." and "a.txt " name a.txt; doubled separators are one.
            while (!key.empty() && (key.back() == L'.' || key.back() == L' ') &&
                   key.size() > 3)
                key.pop_back();
            if (!key.empty() && key.back() == L'\\' && i > 1)
                continue;
        }
        key.push_back(c);
    }
    while (key.size() > 3 && (key.back() == L'.' || key.back() == L' '))
        key.pop_back();
    if (!key.empty())
        ::CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    const int an = ::WideCharToMultiByte(CP_UTF8, 0, key.data(), static_cast<int>(key.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(an, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, key.data(), static_cast<int>(key.size()), &out[0], an, nullptr, nullptr);
    return out;
}

void CDownloadParentDlg::OnCancel()
{
    // Stop both transfers; their items end cancelled, the items waiting
    // for a retry end in error, the others stay unread, and the panels
    // close one by one.
    CKestrinDoc* doc = Doc();
    const bool waiting = doc && !doc->GetWaitingItems().empty();
    if (m_nChildren == 0 && !waiting)
        return;
    m_bStopping = 1;
    EndWaits();
    EachPanel([](CDownloadChildDlg* panel) { panel->StopThread(); });
    if (m_nChildren == 0)
        EndOrWait();
}

void CDownloadParentDlg::AbandonBatch()
{
    m_bStopping = 1;
    WatchRetries(false);
    EachPanel([](CDownloadChildDlg* panel) { panel->Abandon(); });
    // Only retries waited: nothing is left to wind down.
    CKestrinDoc* doc = Doc();
    if (m_nChildren == 0 && doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE)
        EndOrWait();
}

void CDownloadParentDlg::BeginClose()
{
    m_bClosing = 1;
    WatchRetries(false);
    EachPanel([](CDownloadChildDlg* panel) { panel->StopThread(); });
    CKestrinDoc* doc = Doc();
    if (m_nChildren == 0 && doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE)
        EndOrWait();
}

void CDownloadParentDlg::EachPanel(void (*step)(CDownloadChildDlg*))
{
    // A step may take its panel out of the list: the panels are the ones
    // there were when it began.
    CDownloadChildDlg* panels[2] = {m_children[0], m_children[1]};
    const int count = m_nChildren;
    for (int i = 0; i < count; ++i)
        step(panels[i]);
}

void CDownloadParentDlg::RequestClose()
{
    m_bCloseRequested = 1;
    if (m_nChildren > 0) {
        // The document goes now: the panels must not reach it again.
        AbandonBatch();
        for (int i = 0; i < m_nChildren; ++i)
            m_children[i]->m_pDoc = nullptr;
        m_pDoc = nullptr;
        return;
    }
    m_pDoc = nullptr;
    if (m_hWnd)
        DestroyWindow();
    else
        delete this;
}

void CDownloadParentDlg::OnDestroy()
{
    // Going with its owner: panels closing now start nothing new.
    m_bStopping = 1;
    m_bClosing = 1;
    WatchRetries(false);
    CDialog::OnDestroy();
}

void CDownloadParentDlg::PostNcDestroy()
{
    if (CKestrinDoc* doc = Doc())
        doc->ForgetProgressDialog(this);
    delete this;
}
