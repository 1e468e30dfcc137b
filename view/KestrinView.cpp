#include "KestrinView.h"
#include "../app/SharedSettings.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"

CKestrinDoc* CKestrinView::GetDocument() const
{
    return static_cast<CKestrinDoc*>(m_pDocument);
}

void CKestrinView::PreCreateWindow(CREATESTRUCTA& cs)
{
    CListView::PreCreateWindow(cs);
    cs.style |= LVS_REPORT | LVS_NOSORTHEADER;
}

int CKestrinView::OnCreate(CREATESTRUCTA* cs)
{
    if (CListView::OnCreate(cs) == -1)
        return -1;
    if (m_font.CreatePointFont(140, ""))
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.m_hFont), TRUE);
    CListCtrl list = GetListCtrl();
    list.InsertColumn(0, g_settings.m_strColURL.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColURL);
    list.InsertColumn(1, g_settings.m_strColState.c_str(), LVCFMT_CENTER, g_settings.m_nWidthColState);
    list.InsertColumn(2, g_settings.m_strColFilePath.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColFilePath);
    return 0;
}

void CKestrinView::OnDestroy()
{
    CListCtrl list = GetListCtrl();
    g_settings.m_nWidthColURL = list.GetColumnWidth(0);
    g_settings.m_nWidthColState = list.GetColumnWidth(1);
    g_settings.m_nWidthColFilePath = list.GetColumnWidth(2);
    CListView::OnDestroy();
}

void CKestrinView::AddItemRow(URLItem* item)
{
    CListCtrl list = GetListCtrl();
    const int row = list.InsertItem(list.GetItemCount(), item->m_strURL.c_str());
    if (row < 0)
        return;
    list.SetItemData(row, reinterpret_cast<LPARAM>(item));
    list.SetItemText(row, 2, item->m_strFileName.c_str());
    list.SetItemText(row, 1, item->GetStateLabel().c_str());
}

void CKestrinView::UpdateItemState(URLItem* item)
{
    CListCtrl list = GetListCtrl();
    const int row = list.FindItemData(reinterpret_cast<LPARAM>(item));
    if (row >= 0)
        list.SetItemText(row, 1, item->GetStateLabel().c_str());
}

void CKestrinView::RemoveAllRows()
{
    CListCtrl list = GetListCtrl();
    for (int row = list.GetItemCount() - 1; row >= 0; --row)
        list.SetItemData(row, 0);
    list.DeleteAllItems();
}
