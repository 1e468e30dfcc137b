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

void ListColumns::Insert(CListCtrl list)
{
    list.InsertColumn(URL, g_settings.m_strColURL.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColURL);
    list.InsertColumn(STATE, g_settings.m_strColState.c_str(), LVCFMT_CENTER, g_settings.m_nWidthColState);
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
