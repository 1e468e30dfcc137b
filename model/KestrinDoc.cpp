#include "KestrinDoc.h"
#include <cstring>
#include "URLItem.h"
#include "../app/resource.h"
#include "../engine/DownloadParentDlg.h"
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
    if (!IsListableURL(url) || m_byURL.count(url))
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
    for (URLItem* item : m_items)
        delete item;
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

bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t';
}

bool IsControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// A list file is text: line ends and tabs, but no other control bytes.
// (Shift-JIS second bytes are never below 0x40, so a byte-wise look is
// enough.)
bool IsListText(const std::string& data)
{
    for (char ch : data) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsControlByte(c) && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

const char kUtf8Mark[] = "\xEF\xBB\xBF";

// Text after a UTF-8 byte-order mark, in the ANSI code page. A line that
// holds characters the code page has not becomes "?" (text, but no URL).
// False when the bytes are not UTF-8 at all.
bool Utf8ToAnsiLines(const std::string& utf8, std::string& out)
{
    out.clear();
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = utf8.size();
        const std::string line = utf8.substr(start, end - start);
        if (!line.empty()) {
            const int wn = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(),
                                                 static_cast<int>(line.size()), nullptr, 0);
            if (wn <= 0)
                return false;
            std::wstring wide(wn, L'\0');
            ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(),
                                  static_cast<int>(line.size()), &wide[0], wn);
            BOOL lost = FALSE;
            const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn,
                                                nullptr, 0, nullptr, &lost);
            std::string ansi(n > 0 ? n : 0, '\0');
            if (n > 0)
                ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn,
                                      &ansi[0], n, nullptr, &lost);
            // A line the code page cannot hold stays text, but no URL.
            out += lost ? std::string("?") : ansi;
        }
        if (end < utf8.size())
            out += utf8[end];
        start = end + 1;
    }
    return true;
}

} // namespace

bool CKestrinDoc::IsListableURL(const char* url)
{
    if (!url || !*url)
        return false;
    // Nothing that would end a line of a list file or of a request.
    for (const char* p = url; *p; ++p)
        if (IsControlByte(static_cast<unsigned char>(*p)))
            return false;
    // An absolute URL: a scheme of two or more characters (one letter
    // would be a drive), a colon and then no blank.
    const char* p = url;
    if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')))
        return false;
    for (++p; *p && *p != ':'; ++p) {
        const char c = *p;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '-' || c == '.'))
            return false;
    }
    if (*p != ':' || p - url < 2 || p[1] == '\0' || IsBlankChar(p[1]))
        return false;
    // Blanks around it would not come back from a list file.
    const size_t n = std::strlen(url);
    return !IsBlankChar(url[n - 1]);
}

bool CKestrinDoc::LoadContents(const std::string& data)
{
    std::string text;
    if (data.compare(0, 3, kUtf8Mark) == 0) {
        if (!Utf8ToAnsiLines(data.substr(3), text) || !IsListText(text)) {
            AfxMessageBox(IDS_LIST_FILE_NOT_TEXT, MB_ICONEXCLAMATION | MB_OK);
            return false;
        }
    } else {
        if (!IsListText(data)) {
            AfxMessageBox(IDS_LIST_FILE_NOT_TEXT, MB_ICONEXCLAMATION | MB_OK);
            return false;
        }
        text = data;
    }

    // Lines end in CR LF, LF or a lone CR; blanks around a URL do not
    // count. Lines that are no absolute URL are passed over.
    std::vector<std::string> urls;
    bool anyText = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        size_t first = start, last = end;
        while (first < last && IsBlankChar(text[first]))
            ++first;
        while (last > first && IsBlankChar(text[last - 1]))
            --last;
        if (first < last) {
            anyText = true;
            std::string line = text.substr(first, last - first);
            if (IsListableURL(line.c_str()))
                urls.push_back(std::move(line));
        }
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    // An empty list is saved as an empty file; text without any URL is
    // something else and the list stays as it is.
    if (anyText && urls.empty()) {
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
