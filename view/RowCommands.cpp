#include "RowCommands.h"
#include "ItemShell.h"
#include "KestrinView.h"
#include "ListColumns.h"
#include "RowMenu.h"
#include "../app/KestrinApp.h"
#include "../app/resource.h"
#include "../framework/CmdUI.h"
#include "../framework/WinApp.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"
#include "../model/UrlItemDlg.h"

CRowCommands::CRowCommands(CKestrinView& view)
    : m_view(view)
{
}

CListCtrl CRowCommands::List() const
{
    return m_view.GetListCtrl();
}

URLItem* CRowCommands::ItemOfRow(int row) const
{
    return m_view.ItemOfRow(row);
}

// The commands on rows and the rule that enables each; the same rules hold
// in the main menu, the popup menus and for the keys.
const CCommandEntry<CRowCommands> CRowCommands::s_commands[] = {
    {ID_SET_UNREAD, &CRowCommands::OnSetUnread, &CRowCommands::CanSetUnread, nullptr},
    {ID_PROPERTIES, &CRowCommands::OnProperties, &CRowCommands::CanShowProperties, nullptr},
    {ID_SELECT_ALL, &CRowCommands::OnSelectAll, &CRowCommands::HasRows, nullptr},
    {ID_OPEN_FILE, &CRowCommands::OnOpenFile, &CRowCommands::CanOpenFile, nullptr},
    {ID_OPEN_FOLDER, &CRowCommands::OnOpenFolder, &CRowCommands::CanOpenFolder, nullptr},
};

bool CRowCommands::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id);
}

bool CRowCommands::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui);
}

void CRowCommands::OnSetUnread()
{
    CListCtrl list = List();
    if (list.GetSelectedCount() == 0)
        return;
    CKestrinView::RowBatch batch(&m_view);
    for (int row = list.GetItemCount() - 1; row >= 0; --row) {
        URLItem* item = ItemOfRow(row);
        if (list.IsSelected(row) && !item->IsDownloading())
            item->SetState(ITEM_UNREAD);
    }
}

void CRowCommands::OnProperties()
{
    CListCtrl list = List();
    int row = list.GetItemCount() - 1;
    while (row >= 0 && !list.IsSelected(row))
        --row;
    if (row < 0 || ItemOfRow(row)->IsDownloading())
        return;
    URLItem* item = ItemOfRow(row);
    CUrlItemDlg dlg(item);
    dlg.DoModal();
    // A new destination shows in the row at once.
    const int now = m_view.GetDocument()->IndexOf(item);
    if (now >= 0)
        list.RedrawItems(now, now);
}

bool CRowCommands::HasRows() const
{
    return List().GetItemCount() > 0;
}

void CRowCommands::OnSelectAll()
{
    // Row -1: every row at once, however long the list.
    List().SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
}

URLItem* CRowCommands::SingleSelectedItem() const
{
    CListCtrl list = List();
    if (list.GetSelectedCount() != 1)
        return nullptr;
    return ItemOfRow(list.GetNextSelected(-1));
}

bool CRowCommands::CanOpenFile() const
{
    const URLItem* item = SingleSelectedItem();
    return item && (item->m_state & ITEM_DONE) && !item->IsDownloading();
}

bool CRowCommands::CanOpenFolder() const
{
    return SingleSelectedItem() != nullptr;
}

void CRowCommands::OnOpenFile()
{
    if (const URLItem* item = SingleSelectedItem())
        ItemShell::Open(AfxGetMainWndHandle(), ItemShell::FilePath(*item, theApp.m_strCurrentDirectory));
}

void CRowCommands::OnOpenFolder()
{
    if (const URLItem* item = SingleSelectedItem())
        ItemShell::ShowInFolder(AfxGetMainWndHandle(), ItemShell::FilePath(*item, theApp.m_strCurrentDirectory));
}

void CRowCommands::OnActivateRow()
{
    if (CanOpenFile())
        OnOpenFile();
    else if (CanShowProperties())
        OnProperties();
}

int CRowCommands::SelectFailedRows()
{
    CKestrinDoc* doc = m_view.GetDocument();
    if (!doc || !m_view.m_hWnd)
        return 0;
    CListCtrl list = List();
    // Only the rows selected now are cleared, and nothing is drawn until
    // the new selection stands: clearing "every row" walks the whole
    // list, which after a batch of thousands kept the window from
    // answering for most of a second.
    list.SetRedraw(false);
    for (int row = list.GetNextSelected(-1); row >= 0; row = list.GetNextSelected(row))
        list.SetItemState(row, 0, LVIS_SELECTED);
    const int focused = ListView_GetNextItem(list.m_hWnd, -1, LVNI_FOCUSED);
    if (focused >= 0)
        list.SetItemState(focused, 0, LVIS_FOCUSED);
    int first = -1, count = 0;
    for (int row = 0; row < doc->GetItemCount(); ++row) {
        if (!(doc->GetItem(row)->m_state & ITEM_ERROR))
            continue;
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        if (first < 0)
            first = row;
        ++count;
    }
    list.SetRedraw(true);
    if (first >= 0) {
        list.SetItemState(first, LVIS_FOCUSED, LVIS_FOCUSED);
        list.EnsureVisible(first);
        // The reason column in sight, scrolled to if the list is wide.
        RECT cell{}, client = m_view.GetClientRect();
        if (ListView_GetSubItemRect(m_view.m_hWnd, first, ListColumns::REASON, LVIR_BOUNDS, &cell) &&
            (cell.left < 0 || cell.left >= client.right))
            ListView_Scroll(m_view.m_hWnd, cell.left - (client.right - (cell.right - cell.left)) / 2, 0);
    }
    return count;
}

bool CRowCommands::CanSetUnread() const
{
    CListCtrl list = List();
    for (int row = list.GetNextSelected(-1); row >= 0; row = list.GetNextSelected(row))
        if (!ItemOfRow(row)->IsDownloading())
            return true;
    return false;
}

bool CRowCommands::CanShowProperties() const
{
    CListCtrl list = List();
    const int row = list.GetNextSelected(-1);
    return list.GetSelectedCount() == 1 && row >= 0 && !ItemOfRow(row)->IsDownloading();
}

bool CRowCommands::OnListKey(UINT msg, WPARAM key)
{
    if (msg == WM_KEYUP || msg == WM_SYSKEYUP) {
        if (!m_nMenuKey || key != m_nMenuKey)
            return false;
        m_nMenuKey = 0;
        return true;
    }
    const bool shiftF10 = key == VK_F10 && (::GetKeyState(VK_SHIFT) & 0x8000) && !(::GetKeyState(VK_CONTROL) & 0x8000);
    if (!shiftF10 && key != VK_APPS)
        return false;
    m_nMenuKey = static_cast<UINT>(key);
    RowMenu::Show(m_view.m_hWnd, RowMenu::KeyboardPoint(m_view.m_hWnd), AfxGetMainWndHandle());
    return true;
}
