#include "KestrinDoc.h"
#include <algorithm>
#include "ListEncoding.h"
#include "ListFile.h"
#include "URLItem.h"
#include "UrlText.h"
#include "../app/resource.h"
#include "../engine/DownloadParentDlg.h"
#include "../engine/DownloadThread.h"
#include "../framework/CmdUI.h"
#include "../framework/MessageBox.h"
#include "../framework/WinApp.h"
#include "../view/KestrinView.h"
#include "../app/KestrinApp.h"
#include "../app/FrameTitle.h"
#include "../engine/FailureText.h"
#include "../schedule/TimerDlgList.h"
#include "../schedule/TimerSchedule.h"
#include "../schedule/TimerSettingDlg.h"

CKestrinDoc* CKestrinDoc::s_pDoc = nullptr;

CKestrinDoc::CKestrinDoc()
    : m_pParentDlg(new CDownloadParentDlg(this))
{
    s_pDoc = this;
}

CKestrinDoc::~CKestrinDoc()
{
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnDocumentDestroyed();
    if (m_pParentDlg) {
        CDownloadParentDlg* dlg = m_pParentDlg;
        m_pParentDlg = nullptr;
        dlg->RequestClose();
    }
    s_pDoc = nullptr;
    for (URLItem* item : m_items)
        delete item;
}

URLItem* CKestrinDoc::AddURL(const char* url)
{
    if (!IsListableURL(url))
        return nullptr;
    // "資料.txt" and "%E8%B3%87%E6%96%99.txt" are one URL to a server.
    std::string sent = UrlText::SentForm(url);
    if (m_byURL.count(sent))
        return nullptr;
    auto* item = new URLItem(url, std::move(sent));
    item->m_nIndex = static_cast<int>(m_items.size());
    // A retry takes only what had failed: an item added meanwhile waits.
    item->m_bOutsideBatch = m_nBatchMode == BATCH_RETRY;
    m_items.push_back(item);
    m_byURL.emplace(item->GetSentURL(), item);
    CountPending(item, IsBatchPending(item));
    SetModifiedFlag(true);
    if (CKestrinView* view = GetListView())
        view->AddItemRow(item);
    FeedBatch();
    return item;
}

void CKestrinDoc::CountPending(URLItem* item, bool pending)
{
    if (pending == item->m_bCountedPending)
        return;
    item->m_bCountedPending = pending;
    if (pending) {
        ++m_nPending;
        if (item->m_nIndex >= 0 && static_cast<size_t>(item->m_nIndex) < m_nFirstPending)
            m_nFirstPending = item->m_nIndex;
    } else {
        --m_nPending;
    }
}

void CKestrinDoc::NoteDownloading(URLItem* item, bool downloading)
{
    auto it = std::find(m_downloading.begin(), m_downloading.end(), item);
    if (downloading && it == m_downloading.end())
        m_downloading.push_back(item);
    else if (!downloading && it != m_downloading.end())
        m_downloading.erase(it);
}

void CKestrinDoc::NoteWaiting(URLItem* item, bool waiting)
{
    auto it = std::find(m_waiting.begin(), m_waiting.end(), item);
    if (waiting && it == m_waiting.end())
        m_waiting.push_back(item);
    else if (!waiting && it != m_waiting.end())
        m_waiting.erase(it);
}

void CKestrinDoc::ForgetItem(URLItem* item)
{
    m_byURL.erase(item->GetSentURL());
    CountPending(item, false);
    NoteDownloading(item, false);
    NoteWaiting(item, false);
    item->m_nIndex = -1;
}

void CKestrinDoc::Renumber(size_t from)
{
    for (size_t i = from; i < m_items.size(); ++i)
        m_items[i]->m_nIndex = static_cast<int>(i);
    if (m_nFirstPending > from)
        m_nFirstPending = from;
}

int CKestrinDoc::IndexOf(const URLItem* item) const
{
    if (!item || item->m_nIndex < 0 || static_cast<size_t>(item->m_nIndex) >= m_items.size() ||
        m_items[item->m_nIndex] != item)
        return -1;
    return item->m_nIndex;
}

void CKestrinDoc::RemovePartialOf(const URLItem* item)
{
    // Only an item whose last transfer kept its bytes has any; the others
    // (a completed item above all) cost no look at the disk, which under
    // some systems reads the whole folder, and a batch filled it.
    if (item->m_bPartialKept)
        CDownloadThread::RemovePartial(theApp.m_strCurrentDirectory.c_str(), item->m_strFileName.c_str());
}

BOOL CKestrinDoc::RemoveItem(int index)
{
    URLItem* item = m_items[index];
    if (item->m_state & ITEM_DOWNLOADING)
        return FALSE;
    ForgetItem(item);
    m_items.erase(m_items.begin() + index);
    Renumber(index);
    RemovePartialOf(item);
    delete item;
    SetModifiedFlag(true);
    return TRUE;
}

int CKestrinDoc::RemoveItems(const std::vector<int>& indexes, std::vector<int>* kept)
{
    if (kept)
        kept->clear();
    if (indexes.empty() || indexes.front() < 0 ||
        static_cast<size_t>(indexes.front()) >= m_items.size())
        return 0;
    // One pass: every item moves at most once, whatever is removed.
    const size_t first = static_cast<size_t>(indexes.front());
    size_t to = first;
    size_t next = 0;
    int removed = 0;
    for (size_t from = first; from < m_items.size(); ++from) {
        URLItem* item = m_items[from];
        bool remove = false;
        while (next < indexes.size() && indexes[next] < static_cast<int>(from))
            ++next;   // out of order or twice: taken once
        if (next < indexes.size() && static_cast<size_t>(indexes[next]) == from) {
            ++next;
            remove = !item->IsDownloading();
            if (!remove && kept)
                kept->push_back(static_cast<int>(to));
        }
        if (remove) {
            ForgetItem(item);
            RemovePartialOf(item);
            delete item;
            ++removed;
        } else {
            m_items[to++] = item;
        }
    }
    m_items.resize(to);
    Renumber(first);
    if (removed > 0)
        SetModifiedFlag(true);
    return removed;
}

bool CKestrinDoc::IsBatchPending(const URLItem* item)
{
    return item->IsPending() && !item->m_bOutsideBatch;
}

BOOL CKestrinDoc::StartBatch(int mode, long long retryDeadline)
{
    if (m_nBatchMode != BATCH_IDLE || (mode != BATCH_DOWNLOAD && mode != BATCH_RETRY))
        return FALSE;
    m_bBatchByHand = m_bStartingByHand;
    {
        // The rows are drawn again once, not row by row. The whole list
        // starts over; a retry takes the failed and cancelled items only,
        // and their partial files are resumed where the server allows.
        CKestrinView::RowBatch rows(GetListView());
        for (URLItem* item : m_items) {
            const bool failed = (item->m_state & (ITEM_ERROR | ITEM_CANCELLED)) && !item->IsDownloading();
            item->m_bOutsideBatch = mode == BATCH_RETRY && !failed;
            if (!item->m_bOutsideBatch) {
                item->m_nRetries = 0;
                item->SetState(ITEM_UNREAD);
            }
        }
    }
    // The items of the batch are unread now, however their state was reached.
    for (URLItem* item : m_items)
        CountPending(item, IsBatchPending(item));
    m_downloading.clear();
    m_waiting.clear();
    m_nFirstPending = 0;
    theApp.ApplyCurrentFolder();
    m_nBatchMode = mode;
    if (!m_pParentDlg || !m_pParentDlg->StartDownloads(retryDeadline)) {
        m_nBatchMode = BATCH_IDLE;
        return FALSE;
    }
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnDownloadStarted();
    return TRUE;
}

void CKestrinDoc::FinishBatch()
{
    m_nBatchMode = BATCH_IDLE;
    for (int i = 0; i < m_nTargets; ++i)
        m_targets[i]->OnDownloadFinished();
}

URLItem* CKestrinDoc::FirstPendingItem() const
{
    if (m_nBatchMode == BATCH_IDLE || m_nPending == 0)
        return nullptr;
    // Items become pending only through OnItemStateChanged, which moves the
    // mark back to them: what it passes over once stays passed.
    while (m_nFirstPending < m_items.size() && !m_items[m_nFirstPending]->m_bCountedPending)
        ++m_nFirstPending;
    return m_nFirstPending < m_items.size() ? m_items[m_nFirstPending] : nullptr;
}

int CKestrinDoc::CountPendingItems() const
{
    if (m_nBatchMode == BATCH_IDLE)
        return 0;
    return m_nPending;
}

void CKestrinDoc::FeedBatch()
{
    if (m_nBatchMode != BATCH_IDLE && m_pParentDlg)
        m_pParentDlg->AddDownload();
}

int CKestrinDoc::CancelUnfinished(const std::string& reason)
{
    int cancelled = 0;
    CKestrinView::RowBatch rows(GetListView());
    for (URLItem* item : m_items) {
        if (IsBatchPending(item) || (item->m_state & ITEM_RETRY_WAIT)) {
            item->SetState(ITEM_CANCELLED, reason);
            ++cancelled;
        }
    }
    return cancelled;
}

void CKestrinDoc::OnItemStateChanged(unsigned char state, URLItem* item)
{
    if (IndexOf(item) >= 0) {
        CountPending(item, (state & ITEM_STATE_BITS) == 0 && !item->m_bOutsideBatch);
        NoteDownloading(item, (state & ITEM_DOWNLOADING) != 0);
        NoteWaiting(item, (state & ITEM_RETRY_WAIT) != 0);
    }
    if (state == ITEM_UNREAD)
        FeedBatch();
    if (CKestrinView* view = GetListView())
        view->UpdateItemState(item);
}

CKestrinView* CKestrinDoc::GetListView() const
{
    return static_cast<CKestrinView*>(GetFirstView());
}

void CKestrinDoc::CreateProgressDialog()
{
    if (m_pParentDlg)
        m_pParentDlg->Create(AfxGetMainWndHandle());
}

void CKestrinDoc::ForgetProgressDialog(CDownloadParentDlg* dlg)
{
    if (m_pParentDlg == dlg)
        m_pParentDlg = nullptr;
}

void CKestrinDoc::AddTarget(TargetI* target)
{
    if (m_nTargets < 5)
        m_targets[m_nTargets++] = target;
}

void CKestrinDoc::RemoveTarget(TargetI* target)
{
    for (int i = 0; i < m_nTargets; ++i) {
        if (m_targets[i] == target) {
            m_targets[i] = m_targets[--m_nTargets];
            m_targets[m_nTargets] = nullptr;
            return;
        }
    }
}

void CKestrinDoc::DeleteContents()
{
    // Transfers of a running batch must never reach a deleted item.
    if (m_nBatchMode != BATCH_IDLE && m_pParentDlg)
        m_pParentDlg->AbandonBatch();
    if (CKestrinView* view = GetListView())
        view->RemoveAllRows();
    for (URLItem* item : m_items) {
        RemovePartialOf(item);
        delete item;
    }
    m_items.clear();
    m_byURL.clear();
    m_nFirstPending = 0;
    m_nPending = 0;
    m_downloading.clear();
    m_waiting.clear();
    CDocument::DeleteContents();
}

BOOL CKestrinDoc::OnOpenDocument(const char* path)
{
    // A long list shows once, when it is all there.
    CKestrinView* view = GetListView();
    CKestrinView::RowBatch batch(view);
    return CDocument::OnOpenDocument(path);
}

BOOL CKestrinDoc::CanCloseFrame(CFrameWnd*)
{
    return AskToSave(m_nBatchMode != BATCH_IDLE ? IDS_ASK_SAVE_STOPPING : IDS_ASK_SAVE);
}

BOOL CKestrinDoc::SaveModified()
{
    return AskToSave(IDS_ASK_SAVE);
}

BOOL CKestrinDoc::AskToSave(UINT question)
{
    // An unnamed list that was emptied again has nothing to lose.
    if (!IsModified() || (GetPathName().empty() && m_items.empty()))
        return TRUE;
    const std::string text = FormatStringId(question, {GetDisplayName()});
    switch (AfxMessageBox(text.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return FALSE;
    case IDYES:
        // A save that is cancelled or fails keeps the list where it is.
        return DoSave(GetPathName());
    default:
        return TRUE;
    }
}

bool CKestrinDoc::SaveBeforeUnattendedEnd()
{
    if (!IsModified() || (GetPathName().empty() && m_items.empty()))
        return true;
    if (!GetPathName().empty())
        return SaveQuietly(GetPathName());
    // "Kestrin 2026-12-08 0300.kst", or "... (2).kst" when that is taken.
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char stamp[32];
    wsprintfA(stamp, "%04u-%02u-%02u %02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute);
    std::string folder = theApp.m_strCurrentDirectory;
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    for (int n = 1; n < 100; ++n) {
        const std::string path = folder + "Kestrin " + stamp + (n > 1 ? " (" + std::to_string(n) + ")" : "") + ".kst";
        if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return SaveQuietly(path);
    }
    return false;
}

std::string CKestrinDoc::GetDisplayName() const
{
    return FrameTitle::ListName(GetPathName());
}

bool CKestrinDoc::IsListableURL(const char* url)
{
    return ListFile::IsListableURL(url);
}

bool CKestrinDoc::LoadContents(const std::string& data)
{
    std::string text;
    std::vector<std::string> urls;
    if (!ListEncoding::Decode(data, text) || !ListFile::Read(text, urls)) {
        AfxMessageBox(IDS_LIST_FILE_NOT_TEXT, MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    DeleteContents();
    for (const std::string& url : urls)
        AddURL(url.c_str());
    return true;
}

std::string CKestrinDoc::SaveContents() const
{
    std::string data;
    for (const URLItem* item : m_items) {
        data += item->m_strURL;
        data += "\r\n";
    }
    return data;
}

BOOL CKestrinDoc::StartBatchByHand(int mode)
{
    if (m_nBatchMode != BATCH_IDLE)
        return FALSE;
    m_bStartingByHand = true;
    const BOOL started = StartBatch(mode);
    m_bStartingByHand = false;
    return started;
}

void CKestrinDoc::OnBatchDownload()
{
    StartBatchByHand(BATCH_DOWNLOAD);
}

void CKestrinDoc::OnRetryFailed()
{
    StartBatchByHand(BATCH_RETRY);
}

bool CKestrinDoc::HasFailedItems() const
{
    for (const URLItem* item : m_items)
        if ((item->m_state & (ITEM_ERROR | ITEM_CANCELLED)) && !item->IsDownloading())
            return true;
    return false;
}

bool CKestrinDoc::CanRetryFailed() const
{
    return m_nBatchMode == BATCH_IDLE && HasFailedItems();
}

const CCommandEntry<CKestrinDoc> CKestrinDoc::s_commands[] = {
    {ID_BATCH_DOWNLOAD, &CKestrinDoc::OnBatchDownload, &CKestrinDoc::CanStartBatch, nullptr},
    {ID_RETRY_FAILED, &CKestrinDoc::OnRetryFailed, &CKestrinDoc::CanRetryFailed, nullptr},
    {ID_TIMER_SETTINGS, &CKestrinDoc::OnTimerSettings, &CKestrinDoc::CanStartTimer, nullptr},
};

bool CKestrinDoc::CanStartBatch() const
{
    return m_nBatchMode == BATCH_IDLE && !m_items.empty();
}

void CKestrinDoc::OnTimerSettings()
{
    TimerSchedule schedule;
    CTimerSettingDlg dlg(&schedule);
    if (dlg.DoModal() == IDOK && schedule.IsSet())
        TimerDlgList::Start(this, schedule);
}

bool CKestrinDoc::CanStartTimer() const
{
    return TimerDlgList::CanStart(this);
}

bool CKestrinDoc::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id) || CDocument::OnCmdMsg(id);
}

bool CKestrinDoc::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui) || CDocument::OnUpdateCmdUI(ui);
}
