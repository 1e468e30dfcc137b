#include "KestrinView.h"
#include <windowsx.h>
#include <algorithm>
#include <cstring>
#include "../app/MainFrame.h"
#include "../app/SharedSettings.h"
#include "../model/KestrinDoc.h"
#include "../model/Mbcs.h"
#include "../model/URLItem.h"
#include "../model/UrlItemDlg.h"
#include "../framework/OleDataSource.h"
#include "IntakeReport.h"
#include "ItemShell.h"
#include "ListColumns.h"
#include "RowFinder.h"
#include "RowMenu.h"
#include "ShortcutExport.h"
#include "UrlImporter.h"
#include "../app/resource.h"
#include "../framework/CmdUI.h"
#include "../framework/FrameworkIds.h"
#include "../framework/WinApp.h"
#include "../framework/Widen.h"
#include "../app/KestrinApp.h"

CKestrinView::CKestrinView()
    : m_bDragging(0), m_rowCommands(*this)
{
}

CKestrinDoc* CKestrinView::GetDocument() const
{
    return static_cast<CKestrinDoc*>(m_pDocument);
}

void CKestrinView::PreCreateWindow(CREATESTRUCTA& cs)
{
    CListView::PreCreateWindow(cs);
    // The rows are the document's items: the control keeps only their
    // count and selection, and asks for each text it draws. The selection
    // stays in sight while another window has the focus (the failed rows
    // selected at the end of a batch, a dialog about a row).
    cs.style |= LVS_REPORT | LVS_NOSORTHEADER | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
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
    m_columns.Attach(m_hWnd, WM_FIT_COLUMNS);
    ListColumns::Insert(GetListCtrl());
    // A click anywhere on a row selects it.
    ListView_SetExtendedListViewStyleEx(m_hWnd, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // Pointing at a row shows why it failed.
    m_tip.Create(m_hWnd, [this](int row) { return TipTextOfRow(row); });
    return 0;
}

void CKestrinView::OnDestroy()
{
    m_tip.Destroy();
    ListColumns::Store(GetListCtrl());
    m_dropTarget.Revoke();
    CListView::OnDestroy();
}

CKestrinView::RowBatch::RowBatch(CKestrinView* view)
    : m_pView(view)
{
    if (m_pView)
        m_pView->BeginRowBatch();
}

CKestrinView::RowBatch::~RowBatch()
{
    if (m_pView)
        m_pView->EndRowBatch();
}

void CKestrinView::BeginRowBatch()
{
    if (m_nRowBatches++ == 0 && m_hWnd)
        GetListCtrl().SetRedraw(false);
}

void CKestrinView::EndRowBatch()
{
    if (--m_nRowBatches > 0 || !m_hWnd)
        return;
    CListCtrl list = GetListCtrl();
    if (CKestrinDoc* doc = GetDocument())
        list.SetItemCountEx(doc->GetItemCount(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    list.SetRedraw(true);
}

void CKestrinView::AddItemRow(URLItem*)
{
    // Within a batch the rows are counted once, at its end.
    CKestrinDoc* doc = GetDocument();
    if (m_nRowBatches || !doc || !m_hWnd)
        return;
    GetListCtrl().SetItemCountEx(doc->GetItemCount(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void CKestrinView::UpdateItemState(URLItem* item)
{
    CKestrinDoc* doc = GetDocument();
    const int row = doc ? doc->IndexOf(item) : -1;
    if (row < 0 || m_nRowBatches || !m_hWnd)
        return;
    GetListCtrl().RedrawItems(row, row);
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

const URLItem* CKestrinView::FailedItemOfRow(int row) const
{
    if (row < 0 || row >= GetListCtrl().GetItemCount())
        return nullptr;
    const URLItem* item = ItemOfRow(row);
    return item->m_strFailure.empty() ? nullptr : item;
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
    }
    return false;
}

void CKestrinView::RemoveAllRows()
{
    // The control forgets rows and selection before any item goes.
    if (m_hWnd)
        GetListCtrl().DeleteAllItems();
}

URLItem* CKestrinView::ItemOfRow(int row) const
{
    CKestrinDoc* doc = GetDocument();
    if (!doc || row < 0 || row >= doc->GetItemCount())
        return nullptr;
    return doc->GetItem(row);
}

std::vector<int> CKestrinView::SelectedRows() const
{
    CListCtrl list = GetListCtrl();
    const int selected = list.GetSelectedCount();
    std::vector<int> rows;
    rows.reserve(selected);
    if (selected > 0 && selected == list.GetItemCount()) {
        // Everything (select all): no need to ask row by row.
        for (int row = 0; row < selected; ++row)
            rows.push_back(row);
        return rows;
    }
    for (int row = list.GetNextSelected(-1); row >= 0; row = list.GetNextSelected(row))
        rows.push_back(row);
    return rows;
}

bool CKestrinView::IsSelectionRemovable() const
{
    CListCtrl list = GetListCtrl();
    if (list.GetSelectedCount() == 0)
        return false;
    // Only the downloading items are looked at: this runs whenever the
    // program idles, however many rows are selected.
    for (URLItem* item : GetDocument()->GetDownloadingItems()) {
        const int row = GetDocument()->IndexOf(item);
        if (row >= 0 && item->IsDownloading() && list.IsSelected(row))
            return false;
    }
    return true;
}

void CKestrinView::DeleteSelectedItems()
{
    CKestrinDoc* doc = GetDocument();
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || !doc)
        return;
    CListCtrl list = GetListCtrl();
    int focus = -1;
    {
        RowBatch batch(this);
        // The document removes every row it lets go of in one pass; the
        // rows it keeps stay selected, in order.
        std::vector<int> kept;
        if (doc->RemoveItems(rows, &kept) == 0)
            return;
        list.DeleteAllItems();
        const int count = doc->GetItemCount();
        list.SetItemCountEx(count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        for (int row : kept)
            list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        // The focus goes to the first kept row, or to the row that took
        // the place of the first one deleted.
        focus = !kept.empty() ? kept.front() : std::min(rows.front(), count - 1);
        if (focus >= 0)
            list.SetItemState(focus, LVIS_FOCUSED, LVIS_FOCUSED);
    }
    if (focus >= 0)
        list.EnsureVisible(focus);
}

const std::string* CKestrinView::CellText(int row, int column) const
{
    const URLItem* item = ItemOfRow(row);
    return item ? ListColumns::CellText(*item, column) : nullptr;
}

bool CKestrinView::OnChildNotify(NMHDR* hdr, LRESULT& result)
{
    if (hdr->hwndFrom != m_hWnd)
        return false;
    switch (hdr->code) {
    case LVN_GETDISPINFOA: {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(hdr)->item;
        ListColumns::CopyText(CellText(item.iItem, item.iSubItem), item);
        result = 0;
        return true;
    }
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(hdr)->item;
        ListColumns::CopyText(CellText(item.iItem, item.iSubItem), item);
        result = 0;
        return true;
    }
    case NM_DBLCLK: {
        // A double-click acts on the row it was on, whatever else was
        // selected: a drag may still hold the selection it began with.
        const DWORD pos = ::GetMessagePos();
        POINT point = {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
        ::ScreenToClient(m_hWnd, &point);
        const int row = m_tip.RowAt(point);
        if (row < 0)
            return false;
        CListCtrl list = GetListCtrl();
        list.SetItemState(-1, 0, LVIS_SELECTED);
        list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        m_rowCommands.OnActivateRow();
        result = 0;
        return true;
    }
    case NM_RETURN:
        // Enter and a double-click open a completed item's file, and show
        // the properties of any other.
        m_rowCommands.OnActivateRow();
        result = 0;
        return true;
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW:
        // Searches by item (LVM_FINDITEM with LVFI_PARAM) and typing the
        // start of a URL to jump to its row.
        result = GetDocument() ? RowFinder::Answer(*GetDocument(), hdr) : -1;
        return true;
    }
    // Info tips, the focused row, and the rows going.
    return OnListNotify(hdr, result);
}

void CKestrinView::OnRButtonDown(POINT point)
{
    ::ClientToScreen(m_hWnd, &point);
    RowMenu::Show(m_hWnd, point, AfxGetMainWndHandle());
}

LRESULT CKestrinView::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_RBUTTONDOWN:
        m_tip.Hide();
        // The control selects the row under the pointer first.
        DefWindowProc(msg, wp, lp);
        OnRButtonDown({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_LBUTTONDOWN:
        m_tip.Hide();
        OnLButtonDown(static_cast<UINT>(wp), {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_SYSKEYDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYUP:
    case WM_KEYUP:
        m_tip.Hide();
        if (m_rowCommands.OnListKey(msg, wp))
            return 0;
        break;
    case WM_CONTEXTMENU:
        // Asked for without the pointer (the pointer's button has its own).
        if (lp == -1) {
            RowMenu::Show(m_hWnd, RowMenu::KeyboardPoint(m_hWnd), AfxGetMainWndHandle());
            return 0;
        }
        break;
    case WM_SIZE: {
        const LRESULT result = CListView::WindowProc(msg, wp, lp);
        m_columns.Fit();
        return result;
    }
    case WM_FIT_COLUMNS:
        m_columns.Fit();
        return 0;
    default:
        // The pointer's moves, rests and leaving, and what hides the tip.
        m_tip.OnListMessage(msg, lp);
        break;
    }
    return CListView::WindowProc(msg, wp, lp);
}

std::string CKestrinView::TipTextOfRow(int row) const
{
    const URLItem* item = FailedItemOfRow(row);
    if (!item)
        return std::string();
    // The URL too when its column cuts it short.
    const int needed = static_cast<int>(::SendMessageA(m_hWnd, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(item->m_strURL.c_str()))) + 12;
    const bool cut = needed > GetListCtrl().GetColumnWidth(ListColumns::URL);
    return CReasonTip::Text(cut ? item->m_strURL : std::string(), item->m_strFailure);
}

LRESULT CKestrinView::OnNotify(NMHDR* hdr)
{
    LRESULT result = 0;
    if (m_columns.OnHeaderNotify(hdr, result, [&] { return CListView::OnNotify(hdr); }))
        return result;
    return CListView::OnNotify(hdr);
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
    IntakeReport report;
    {
        RowBatch batch(this);
        report.CountNotUrls(UrlImporter::Import(*data, [&](const char* url) { report.Offer(*doc, url); }));
    }
    if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        frame->ShowNotice(report.Text());
    return TRUE;
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
};

bool CKestrinView::HasSelection() const
{
    return GetListCtrl().GetSelectedCount() > 0;
}

bool CKestrinView::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id) || m_rowCommands.OnCmdMsg(id) || CListView::OnCmdMsg(id);
}

bool CKestrinView::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui) || m_rowCommands.OnUpdateCmdUI(ui) ||
           CListView::OnUpdateCmdUI(ui);
}
