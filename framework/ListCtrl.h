#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>

// A non-owning handle to a list-view control.
class CListCtrl {
public:
    explicit CListCtrl(HWND hwnd = nullptr) : m_hWnd(hwnd) {}

    int GetItemCount() const { return ListView_GetItemCount(m_hWnd); }
    int GetSelectedCount() const { return ListView_GetSelectedCount(m_hWnd); }
    // The next selected row after `row` (-1: from the start), or -1.
    int GetNextSelected(int row) const
        { return ListView_GetNextItem(m_hWnd, row, LVNI_SELECTED); }
    bool IsSelected(int row) const
        { return (ListView_GetItemState(m_hWnd, row, LVIS_SELECTED) & LVIS_SELECTED) != 0; }
    void SetItemState(int row, UINT state, UINT mask) const
        { ListView_SetItemState(m_hWnd, row, state, mask); }
    LPARAM GetItemData(int row) const;
    bool SetItemData(int row, LPARAM data) const;
    int InsertItem(int row, const char* text) const;
    bool SetItemText(int row, int column, const char* text) const;
    std::string GetItemText(int row, int column) const;
    bool DeleteItem(int row) const { return ListView_DeleteItem(m_hWnd, row) != FALSE; }
    bool DeleteAllItems() const { return ListView_DeleteAllItems(m_hWnd) != FALSE; }
    // Rows of a list whose data the program keeps (LVS_OWNERDATA).
    void SetItemCountEx(int count, DWORD flags) const
        { ListView_SetItemCountEx(m_hWnd, count, flags); }
    // Draws rows `first` to `last` again at the next paint.
    void RedrawItems(int first, int last) const { ListView_RedrawItems(m_hWnd, first, last); }
    bool EnsureVisible(int row) const { return ListView_EnsureVisible(m_hWnd, row, FALSE) != FALSE; }
    // Stops (false) or resumes (true) drawing; resuming draws everything again.
    void SetRedraw(bool redraw) const;
    // The row whose item data is `data`, or -1.
    int FindItemData(LPARAM data) const;
    int InsertColumn(int column, const char* title, int format, int width) const;
    int GetColumnWidth(int column) const { return ListView_GetColumnWidth(m_hWnd, column); }

    HWND m_hWnd;
};
