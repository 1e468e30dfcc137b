#include "KestrinDoc.h"
#include "URLItem.h"
#include "../app/resource.h"
#include "../engine/DownloadParentDlg.h"
#include "../engine/DownloadThread.h"
#include "../framework/CmdUI.h"
#include "../framework/MessageBox.h"
#include "../framework/WinApp.h"
#include "../view/KestrinView.h"
#include "../app/KestrinApp.h"

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
    if (!url || m_byURL.count(url))
        return nullptr;
    auto* item = new URLItem(url);
    m_items.push_back(item);
    m_byURL.emplace(item->m_strURL, item);
    const unsigned long long order = m_nNextOrder++;
    m_order.emplace(item, order);
    m_pending.emplace(order, item);
    SetModifiedFlag(true);
    if (CKestrinView* view = GetListView())
        view->AddItemRow(item);
    FeedBatch();
    return item;
}

void CKestrinDoc::ForgetItem(URLItem* item)
{
    m_byURL.erase(item->m_strURL);
    auto it = m_order.find(item);
    if (it != m_order.end()) {
        m_pending.erase(it->second);
        m_order.erase(it);
    }
}

BOOL CKestrinDoc::RemoveItem(int index)
{
    URLItem* item = m_items[index];
    if (item->m_state & ITEM_DOWNLOADING)
        return FALSE;
    ForgetItem(item);
    m_items.erase(m_items.begin() + index);
    CDownloadThread::RemovePartial(theApp.m_strCurrentDirectory.c_str(), item->m_strFileName.c_str());
    delete item;
    return TRUE;
}

BOOL CKestrinDoc::StartBatch(int mode)
{
    if (m_nBatchMode != BATCH_IDLE)
        return FALSE;
    for (URLItem* item : m_items)
        item->SetState(ITEM_UNREAD);
    theApp.ApplyCurrentFolder();
    m_nBatchMode = mode;
    if (!m_pParentDlg || !m_pParentDlg->StartDownloads()) {
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
    if (m_nBatchMode != BATCH_DOWNLOAD || m_pending.empty())
        return nullptr;
    return m_pending.begin()->second;
}

int CKestrinDoc::CountPendingItems() const
{
    if (m_nBatchMode != BATCH_DOWNLOAD)
        return 0;
    return static_cast<int>(m_pending.size());
}

void CKestrinDoc::FeedBatch()
{
    if (m_nBatchMode != BATCH_IDLE && m_pParentDlg)
        m_pParentDlg->AddDownload();
}

void CKestrinDoc::OnItemStateChanged(unsigned char state, URLItem* item)
{
    auto it = m_order.find(item);
    if (it != m_order.end()) {
        if ((state & ITEM_STATE_BITS) == 0)
            m_pending.emplace(it->second, item);
        else
            m_pending.erase(it->second);
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
        CDownloadThread::RemovePartial(theApp.m_strCurrentDirectory.c_str(), item->m_strFileName.c_str());
        delete item;
    }
    m_items.clear();
    m_byURL.clear();
    m_order.clear();
    m_pending.clear();
    CDocument::DeleteContents();
}

BOOL CKestrinDoc::CanCloseFrame(CFrameWnd*)
{
    return TRUE;
}

namespace {

// Text lines of a list file may hold tabs but no other control bytes.
bool IsListText(const std::string& data)
{
    for (char ch : data) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)
            return false;
    }
    return true;
}

bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

bool CKestrinDoc::LoadContents(const std::string& data)
{
    if (!IsListText(data)) {
        AfxMessageBox(IDS_LIST_FILE_NOT_TEXT, MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    DeleteContents();
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!IsBlank(line))
            AddURL(line.c_str());
        start = end + 1;
    }
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

void CKestrinDoc::OnBatchDownload()
{
    StartBatch(BATCH_DOWNLOAD);
}

bool CKestrinDoc::OnCmdMsg(UINT id)
{
    if (id == ID_BATCH_DOWNLOAD) {
        OnBatchDownload();
        return true;
    }
    return CDocument::OnCmdMsg(id);
}

bool CKestrinDoc::OnUpdateCmdUI(CCmdUI& ui)
{
    if (ui.m_nID == ID_BATCH_DOWNLOAD) {
        ui.Enable(m_nBatchMode == BATCH_IDLE && !m_items.empty());
        return true;
    }
    return CDocument::OnUpdateCmdUI(ui);
}
