#include "KestrinView.h"
#include <windowsx.h>
#include "../app/MainFrame.h"
#include "../app/SharedSettings.h"
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"
#include "../model/UrlItemDlg.h"
#include "../framework/OleDataSource.h"
#include "ShortcutExport.h"
#include "UrlImporter.h"
#include "../app/resource.h"
#include "../framework/CmdUI.h"
#include "../framework/FrameworkIds.h"
#include "../framework/WinApp.h"

CKestrinView::CKestrinView()
    : m_bDragging(0)
{
}

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
    // There is no list without drops.
    if (!m_dropTarget.Register(this))
        return -1;
    if (m_font.CreatePointFont(140, ""))
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.m_hFont), TRUE);
    CListCtrl list = GetListCtrl();
    list.InsertColumn(0, g_settings.m_strColURL.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColURL);
    list.InsertColumn(1, g_settings.m_strColState.c_str(), LVCFMT_CENTER, g_settings.m_nWidthColState);
    list.InsertColumn(2, g_settings.m_strColFilePath.c_str(), LVCFMT_LEFT, g_settings.m_nWidthColFilePath);
    // Pointing at a row shows why it failed.
    ListView_SetExtendedListViewStyleEx(m_hWnd, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    return 0;
}

void CKestrinView::OnDestroy()
{
    CListCtrl list = GetListCtrl();
    g_settings.m_nWidthColURL = list.GetColumnWidth(0);
    g_settings.m_nWidthColState = list.GetColumnWidth(1);
    g_settings.m_nWidthColFilePath = list.GetColumnWidth(2);
    m_dropTarget.Revoke();
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
    // A batch changes rows in list order: look next to the last one first.
    const LPARAM data = reinterpret_cast<LPARAM>(item);
    int row = -1;
    for (int r = m_nLastRow - 1; r <= m_nLastRow + 2 && row < 0; ++r)
        if (r >= 0 && r < list.GetItemCount() && list.GetItemData(r) == data)
            row = r;
    if (row < 0)
        row = list.FindItemData(data);
    if (row < 0)
        return;
    m_nLastRow = row;
    list.SetItemText(row, 1, item->GetStateLabel().c_str());
    if (ListView_GetItemState(m_hWnd, row, LVIS_FOCUSED) & LVIS_FOCUSED)
        ShowFocusedFailure();
}

void CKestrinView::ShowFocusedFailure()
{
    auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandle(GetParent()));
    if (!frame)
        return;
    const int row = ListView_GetNextItem(m_hWnd, -1, LVNI_FOCUSED);
    const URLItem* item = row >= 0 ? ItemOfRow(row) : nullptr;
    frame->ShowFocusedFailure(item ? item->m_strFailure : std::string());
}

bool CKestrinView::OnListNotify(NMHDR* hdr, LRESULT& result)
{
    switch (hdr->code) {
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(hdr);
        if ((change->uChanged & LVIF_STATE) &&
            ((change->uNewState ^ change->uOldState) & LVIS_FOCUSED))
            ShowFocusedFailure();
        return false;
    }
    case LVN_DELETEITEM: {
        const auto* gone = reinterpret_cast<const NMLISTVIEW*>(hdr);
        if (ListView_GetItemState(m_hWnd, gone->iItem, LVIS_FOCUSED) & LVIS_FOCUSED) {
            if (auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandle(GetParent())))
                frame->ShowFocusedFailure(std::string());
        }
        return false;
    }
    case LVN_DELETEALLITEMS:
        if (auto* frame = dynamic_cast<CMainFrame*>(CWnd::FromHandle(GetParent())))
            frame->ShowFocusedFailure(std::string());
        result = TRUE;   // no LVN_DELETEITEM for every row
        return true;
    case LVN_GETINFOTIPA: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(hdr);
        const URLItem* item = tip->iItem >= 0 && tip->iItem < GetListCtrl().GetItemCount()
            ? ItemOfRow(tip->iItem) : nullptr;
        if (!item || item->m_strFailure.empty() || !tip->pszText || tip->cchTextMax <= 0)
            return false;
        // The full URL when the row cuts it short, then the reason.
        std::string text = (tip->dwFlags & LVGIT_UNFOLDED) ? std::string() : std::string(tip->pszText);
        if (!text.empty())
            text += "\r\n";
        text += item->m_strFailure;
        ::lstrcpynA(tip->pszText, text.c_str(), tip->cchTextMax);
        result = 0;
        return true;
    }
    case LVN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(hdr);
        const URLItem* item = tip->iItem >= 0 && tip->iItem < GetListCtrl().GetItemCount()
            ? ItemOfRow(tip->iItem) : nullptr;
        if (!item || item->m_strFailure.empty() || !tip->pszText || tip->cchTextMax <= 0)
            return false;
        std::wstring text = (tip->dwFlags & LVGIT_UNFOLDED) ? std::wstring() : std::wstring(tip->pszText);
        if (!text.empty())
            text += L"\r\n";
        const std::string& reason = item->m_strFailure;
        const int n = ::MultiByteToWideChar(CP_ACP, 0, reason.data(), static_cast<int>(reason.size()), nullptr, 0);
        std::wstring wide(n, L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, reason.data(), static_cast<int>(reason.size()), &wide[0], n);
        text += wide;
        ::lstrcpynW(tip->pszText, text.c_str(), tip->cchTextMax);
        result = 0;
        return true;
    }
    }
    return false;
}

void CKestrinView::RemoveAllRows()
{
    CListCtrl list = GetListCtrl();
    for (int row = list.GetItemCount() - 1; row >= 0; --row)
        list.SetItemData(row, 0);
    list.DeleteAllItems();
}

URLItem* CKestrinView::ItemOfRow(int row) const
{
    return reinterpret_cast<URLItem*>(GetListCtrl().GetItemData(row));
}

bool CKestrinView::IsSelectionRemovable() const
{
    CListCtrl list = GetListCtrl();
    if (list.GetSelectedCount() == 0)
        return false;
    // Only the selected rows are visited: this runs whenever the program idles.
    for (int row = list.GetNextSelected(-1); row >= 0; row = list.GetNextSelected(row)) {
        if (ItemOfRow(row)->IsDownloading())
            return false;
    }
    return true;
}

void CKestrinView::DeleteSelectedItems()
{
    CListCtrl list = GetListCtrl();
    // From the last row up, so that a removal never moves a row still to come.
    for (int row = list.GetItemCount() - 1; row >= 0; --row) {
        if (!list.IsSelected(row) || !GetDocument()->RemoveItem(row))
            continue;
        list.SetItemData(row, 0);
        list.DeleteItem(row);
    }
}

void CKestrinView::OnSetUnread()
{
    CListCtrl list = GetListCtrl();
    if (list.GetSelectedCount() == 0)
        return;
    for (int row = list.GetItemCount() - 1; row >= 0; --row) {
        URLItem* item = ItemOfRow(row);
        if (list.IsSelected(row) && !item->IsDownloading())
            item->SetState(ITEM_UNREAD);
    }
}

void CKestrinView::OnProperties()
{
    CListCtrl list = GetListCtrl();
    int row = list.GetItemCount() - 1;
    while (row >= 0 && !list.IsSelected(row))
        --row;
    if (row < 0 || ItemOfRow(row)->IsDownloading())
        return;
    URLItem* item = ItemOfRow(row);
    CUrlItemDlg dlg(item);
    dlg.DoModal();
    // A new destination shows in the row at once.
    const int now = list.FindItemData(reinterpret_cast<LPARAM>(item));
    if (now >= 0)
        list.SetItemText(now, 2, item->m_strFileName.c_str());
}

void CKestrinView::OnRButtonDown(POINT point)
{
    CListCtrl list = GetListCtrl();
    const int selected = list.GetSelectedCount();
    if (selected == 0)
        return;
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr),
                             MAKEINTRESOURCEA(selected == 1 ? IDR_POPUP_SINGLE : IDR_POPUP_MULTI));
    if (!menu)
        return;
    ::ClientToScreen(m_hWnd, &point);
    // Owned by the main window: its items are enabled, and their commands
    // routed, like those of the main menu.
    ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_RIGHTBUTTON, point.x, point.y, 0,
                     AfxGetMainWndHandle(), nullptr);
    ::DestroyMenu(menu);
}

LRESULT CKestrinView::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_RBUTTONDOWN:
        // The control selects the row under the pointer first.
        DefWindowProc(msg, wp, lp);
        OnRButtonDown({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wp), {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    }
    return CListView::WindowProc(msg, wp, lp);
}

// ---- intake

DWORD CKestrinView::OnDragOver(COleDataObject*, DWORD keys, POINT)
{
    if (m_bDragging)
        return DROPEFFECT_NONE;   // rows never go back where they came from
    if ((keys & MK_CONTROL) && (keys & MK_SHIFT))
        return DROPEFFECT_LINK;
    if (keys & MK_CONTROL)
        return DROPEFFECT_COPY;
    return DROPEFFECT_MOVE;
}

BOOL CKestrinView::OnDrop(COleDataObject* data, DWORD, POINT)
{
    ImportURLs(data);
    return TRUE;
}

BOOL CKestrinView::ImportURLs(COleDataObject* data)
{
    CKestrinDoc* doc = GetDocument();
    // Many rows may come at once: the list is drawn once, at the end.
    SendMessage(WM_SETREDRAW, FALSE);
    struct Redraw {
        HWND hwnd;
        ~Redraw()
        {
            ::SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(hwnd, nullptr, TRUE);
        }
    } redraw{m_hWnd};
    UrlImporter::Import(*data, [doc](const char* url) { doc->AddURL(url); });
    return TRUE;
}

void CKestrinView::ReadShortcutURL(std::istream& in, std::string& url)
{
    UrlImporter::ReadShortcutURL(in, url);
}

void CKestrinView::OnEditPaste()
{
    COleDataObject data;
    if (data.AttachClipboard())
        ImportURLs(&data);
    data.Release();
}

// ---- output

BOOL CKestrinView::FillDataSource(COleDataSource* source)
{
    CListCtrl list = GetListCtrl();
    std::vector<std::string> urls;
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.IsSelected(row))
            urls.push_back(ItemOfRow(row)->m_strURL);
    if (urls.empty())
        return FALSE;
    ShortcutExport::Fill(*source, urls, g_settings.m_strShortcutHeader);
    return TRUE;
}

HGLOBAL CKestrinView::MakeShortcutContents(const char* url)
{
    return ShortcutExport::MakeShortcutContents(url, g_settings.m_strShortcutHeader);
}

void CKestrinView::OnEditCopy()
{
    if (GetListCtrl().GetSelectedCount() == 0)
        return;
    auto* source = new COleDataSource;
    bool filled = false;
    try {
        filled = FillDataSource(source) != FALSE;
    } catch (...) {
        source->Release();
        throw;
    }
    if (filled)
        source->SetClipboard();
    else
        source->Release();
}

void CKestrinView::OnEditCut()
{
    OnEditCopy();
    DeleteSelectedItems();
}

void CKestrinView::OnLButtonDown(UINT flags, POINT point)
{
    // The control selects, focuses and watches for its own drag first.
    DefWindowProc(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
    if (GetListCtrl().GetSelectedCount() == 0)
        return;
    // The source and the flag go on every way out, an exception included.
    struct DragScope {
        CKestrinView* view;
        COleDataSource* source;
        ~DragScope()
        {
            view->m_bDragging = 0;
            source->Release();
        }
    } scope{this, new COleDataSource};
    if (!FillDataSource(scope.source))
        return;
    m_bDragging = 1;
    const DWORD effect = scope.source->DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE);
    if (effect == DROPEFFECT_MOVE)
        DeleteSelectedItems();
}

// The view's commands and the rule that enables each; the same rules hold
// in the main menu, the toolbar, the popup menus and for the keys.
const CCommandEntry<CKestrinView> CKestrinView::s_commands[] = {
    {ID_EDIT_CLEAR, &CKestrinView::DeleteSelectedItems, &CKestrinView::IsSelectionRemovable, nullptr},
    {ID_EDIT_CUT, &CKestrinView::OnEditCut, &CKestrinView::IsSelectionRemovable, nullptr},
    {ID_EDIT_COPY, &CKestrinView::OnEditCopy, &CKestrinView::HasSelection, nullptr},
    {ID_EDIT_PASTE, &CKestrinView::OnEditPaste, nullptr, nullptr},
    {ID_SET_UNREAD, &CKestrinView::OnSetUnread, &CKestrinView::CanSetUnread, nullptr},
    {ID_PROPERTIES, &CKestrinView::OnProperties, &CKestrinView::CanShowProperties, nullptr},
};

bool CKestrinView::HasSelection() const
{
    return GetListCtrl().GetSelectedCount() > 0;
}

bool CKestrinView::CanSetUnread() const
{
    CListCtrl list = GetListCtrl();
    for (int row = list.GetNextSelected(-1); row >= 0; row = list.GetNextSelected(row))
        if (!ItemOfRow(row)->IsDownloading())
            return true;
    return false;
}

bool CKestrinView::CanShowProperties() const
{
    CListCtrl list = GetListCtrl();
    const int row = list.GetNextSelected(-1);
    return list.GetSelectedCount() == 1 && row >= 0 && !ItemOfRow(row)->IsDownloading();
}

bool CKestrinView::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id) || CListView::OnCmdMsg(id);
}

bool CKestrinView::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui) || CListView::OnUpdateCmdUI(ui);
}
