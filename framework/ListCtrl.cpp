#include "ListCtrl.h"
#include <vector>

LPARAM CListCtrl::GetItemData(int row) const
{
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageA(m_hWnd, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

bool CListCtrl::SetItemData(int row, LPARAM data) const
{
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = data;
    return ::SendMessageA(m_hWnd, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

int CListCtrl::InsertItem(int row, const char* text) const
{
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(text);
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_INSERTITEMA, 0,
                                           reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrl::SetItemText(int row, int column, const char* text) const
{
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    return ::SendMessageA(m_hWnd, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string CListCtrl::GetItemText(int row, int column) const
{
    std::vector<char> buf(1024);
    for (;;) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buf.data();
        item.cchTextMax = static_cast<int>(buf.size());
        const LRESULT n = ::SendMessageA(m_hWnd, LVM_GETITEMTEXTA, row,
                                         reinterpret_cast<LPARAM>(&item));
        if (n < static_cast<LRESULT>(buf.size()) - 1)
            return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

int CListCtrl::FindItemData(LPARAM data) const
{
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = data;
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(&find)));
}

int CListCtrl::InsertColumn(int column, const char* title, int format, int width) const
{
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<char*>(title);
    col.iSubItem = column;
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_INSERTCOLUMNA, column,
                                           reinterpret_cast<LPARAM>(&col)));
}

void CListCtrl::SetRedraw(bool redraw) const
{
    ::SendMessageA(m_hWnd, WM_SETREDRAW, redraw, 0);
    if (redraw)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}
