#include "ListColumns.h"
#include <cstring>
#include <cwchar>
#include "../app/SharedSettings.h"
#include "../framework/Widen.h"
#include "../model/Mbcs.h"
#include "../model/URLItem.h"

const std::string* ListColumns::CellText(const URLItem& item, int column)
{
    switch (column) {
    case URL:
        return &item.m_strURL;
    case STATE:
        return &item.GetStateLabel();
    case FILE:
        return &item.m_strFileName;
    case REASON:
        // Whatever the item says of its last transfer: a failure, a
        // cancel, or a retry that waits.
        return &item.m_strFailure;
    }
    return nullptr;
}

int ListColumns::UrlWidth(int clientWidth, int others)
{
    const int rest = clientWidth - others;
    return rest > kMinUrlWidth ? rest : kMinUrlWidth;
}

namespace {

int TextWidth(CListCtrl list, const std::string& text)
{
    return static_cast<int>(
        ::SendMessageA(list.m_hWnd, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

} // namespace

int ListColumns::StateWidth(CListCtrl list)
{
    // The cell's and the header's own margins around the text.
    const int kCellMargin = 16;
    const int kHeaderMargin = 20;
    int width = 0;
    for (const std::string* label : {&g_settings.m_strStateUnread, &g_settings.m_strStateDownloading,
                                     &g_settings.m_strStateDone, &g_settings.m_strStateCancelled,
                                     &g_settings.m_strStateError, &g_settings.m_strStateRetryWait}) {
        const int w = TextWidth(list, *label) + kCellMargin;
        width = w > width ? w : width;
    }
    const int header = TextWidth(list, g_settings.m_strColState) + kHeaderMargin;
    return header > width ? header : width;
}

void ListColumns::Insert(CListCtrl list)
{
    // The state column shows every state whole, in the list's font,
    // however narrow it was left.
    const int fit = StateWidth(list);
    const int state = g_settings.m_nWidthColState > fit ? g_settings.m_nWidthColState : fit;
    list.InsertColumn(URL, g_settings.m_strColURL.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColURL);
    list.InsertColumn(STATE, g_settings.m_strColState.c_str(), LVCFMT_CENTER, state);
    list.InsertColumn(FILE, g_settings.m_strColFilePath.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColFilePath);
    list.InsertColumn(REASON, g_settings.m_strColReason.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColReason);
}

void ListColumns::Store(CListCtrl list)
{
    g_settings.m_nWidthColURL = list.GetColumnWidth(URL);
    g_settings.m_nWidthColState = list.GetColumnWidth(STATE);
    g_settings.m_nWidthColFilePath = list.GetColumnWidth(FILE);
    g_settings.m_nWidthColReason = list.GetColumnWidth(REASON);
}

bool ListColumns::FitUrlColumn(CListCtrl list)
{
    RECT client;
    if (!list.m_hWnd || !::GetClientRect(list.m_hWnd, &client) || client.right <= 0)
        return false;
    const int others = list.GetColumnWidth(STATE) + list.GetColumnWidth(FILE) + list.GetColumnWidth(REASON);
    const int width = UrlWidth(client.right, others);
    if (width == list.GetColumnWidth(URL))
        return false;
    ListView_SetColumnWidth(list.m_hWnd, URL, width);
    return true;
}

void ListColumns::CopyText(const std::string* text, LVITEMA& item)
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    const char* p = text ? text->c_str() : "";
    const char* const end = p + (text ? text->size() : 0);
    int n = 0;
    while (p + n < end) {
        const int len = static_cast<int>(MbcsCharLength(p + n, end));
        if (n + len >= item.cchTextMax)
            break;
        n += len;
    }
    std::memcpy(item.pszText, p, n);
    item.pszText[n] = '\0';
}

void ListColumns::CopyText(const std::string* text, LVITEMW& item)
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    // Whole: a text longer than the buffer is cut, not lost.
    const std::wstring wide = text ? Widen(*text) : std::wstring();
    const size_t n = wide.size() < static_cast<size_t>(item.cchTextMax) ? wide.size()
                                                                        : static_cast<size_t>(item.cchTextMax - 1);
    std::wmemcpy(item.pszText, wide.data(), n);
    item.pszText[n] = L'\0';
}

void ListColumns::Attach(HWND list, UINT fitMessage)
{
    m_hList = list;
    m_nFitMessage = fitMessage;
}

void ListColumns::Fit()
{
    if (m_bFitting || !m_hList)
        return;
    m_bFitting = true;
    FitUrlColumn(CListCtrl(m_hList));
    m_bFitting = false;
}

bool ListColumns::OnHeaderNotify(NMHDR* hdr, LRESULT& result, const std::function<LRESULT()>& byDefault)
{
    if (!m_hList || hdr->hwndFrom != ListView_GetHeader(m_hList))
        return false;
    const int column = reinterpret_cast<NMHEADERA*>(hdr)->iItem;
    switch (hdr->code) {
    case HDN_BEGINTRACKA:
    case HDN_BEGINTRACKW:
        if (column == URL) {
            result = TRUE;
            return true;
        }
        m_bTracking = true;
        return false;
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
        result = byDefault();
        m_bTracking = false;
        // The header has the new width once it is done with the drag.
        ::PostMessageA(m_hList, m_nFitMessage, 0, 0);
        return true;
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        if (column != URL)
            return false;
        result = TRUE;
        return true;
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
        result = byDefault();
        if (column != URL && !m_bTracking)
            Fit();
        return true;
    }
    return false;
}
