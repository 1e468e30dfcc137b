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
#include "ShortcutExport.h"
#include "UrlImporter.h"
#include "../app/resource.h"
#include "../framework/CmdUI.h"
#include "../framework/FrameworkIds.h"
#include "../framework/WinApp.h"
#include "../framework/Widen.h"

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
    // The rows are the document's items: the control keeps only their
    // count and selection, and asks for each text it draws.
    cs.style |= LVS_REPORT | LVS_NOSORTHEADER | LVS_OWNERDATA;
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

namespace {

// An info tip: the full URL when the row cuts it short (the control
// offers it in `shown`), then the reason.
template <class Char>
std::basic_string<Char> FailureTip(DWORD flags, const Char* shown, const std::basic_string<Char>& reason)
{
    std::basic_string<Char> text;
    if (!(flags & LVGIT_UNFOLDED) && *shown) {
        text = shown;
        text += static_cast<Char>('\r');
        text += static_cast<Char>('\n');
    }
    return text + reason;
}

} // namespace

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
    case LVN_GETINFOTIPA: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(hdr);
        const URLItem* item = FailedItemOfRow(tip->iItem);
        if (!item || !tip->pszText || tip->cchTextMax <= 0)
            return false;
        ::lstrcpynA(tip->pszText, FailureTip(tip->dwFlags, tip->pszText, item->m_strFailure).c_str(),
                    tip->cchTextMax);
        result = 0;
        return true;
    }
    case LVN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(hdr);
        const URLItem* item = FailedItemOfRow(tip->iItem);
        if (!item || !tip->pszText || tip->cchTextMax <= 0)
            return false;
        ::lstrcpynW(tip->pszText, FailureTip(tip->dwFlags, tip->pszText, Widen(item->m_strFailure)).c_str(),
                    tip->cchTextMax);
        result = 0;
        return true;
    }
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
    if (!item)
        return nullptr;
    switch (column) {
    case 0:
        return &item->m_strURL;
    case 1:
        return &item->GetStateLabel();
    case 2:
        return &item->m_strFileName;
    }
    return nullptr;
}

int CKestrinView::FindRowByPrefix(const char* text, int start, bool wrap) const
{
    CKestrinDoc* doc = GetDocument();
    const int count = doc ? doc->GetItemCount() : 0;
    const int length = static_cast<int>(std::strlen(text));
    if (count == 0)
        return -1;
    if (start < 0)
        start = 0;
    if (start >= count) {
        if (!wrap)
            return -1;
        start = 0;
    }
    const int steps = wrap ? count : count - start;
    for (int i = 0; i < steps; ++i) {
        const int row = (start + i) % count;
        const std::string& url = doc->GetItem(row)->m_strURL;
        if (static_cast<int>(url.size()) >= length &&
            ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, url.data(), length, text,
                             length) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

bool CKestrinView::OnChildNotify(NMHDR* hdr, LRESULT& result)
{
    if (hdr->hwndFrom != m_hWnd)
        return false;
    switch (hdr->code) {
    case LVN_GETDISPINFOA: {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(hdr)->item;
        const std::string* text = CellText(item.iItem, item.iSubItem);
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            // Whole characters only: a cut never splits a double-byte one.
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
        result = 0;
        return true;
    }
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(hdr)->item;
        const std::string* text = CellText(item.iItem, item.iSubItem);
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            int n = 0;
            if (text && !text->empty())
                n = ::MultiByteToWideChar(CP_ACP, 0, text->data(), static_cast<int>(text->size()),
                                          item.pszText, item.cchTextMax - 1);
            item.pszText[n > 0 ? n : 0] = L'\0';
        }
        result = 0;
        return true;
    }
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW: {
        // Searches by item (LVM_FINDITEM with LVFI_PARAM) and typing the
        // start of a URL to jump to its row.
        auto* find = reinterpret_cast<NMLVFINDITEMA*>(hdr);
        result = -1;
        if (find->lvfi.flags & LVFI_PARAM) {
            // Any value may be asked for: compared, never followed.
            CKestrinDoc* doc = GetDocument();
            for (int row = 0; row < doc->GetItemCount() && result < 0; ++row)
                if (reinterpret_cast<LPARAM>(doc->GetItem(row)) == find->lvfi.lParam)
                    result = row;
        } else if (find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) {
            std::string text;
            if (hdr->code == LVN_ODFINDITEMA) {
                if (find->lvfi.psz)
                    text = find->lvfi.psz;
            } else {
                const wchar_t* wide = reinterpret_cast<NMLVFINDITEMW*>(hdr)->lvfi.psz;
                const int n = wide ? ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr) : 0;
                if (n > 1) {
                    text.assign(n, '\0');
                    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], n, nullptr, nullptr);
                    text.resize(n - 1);
                }
            }
            if (!text.empty())
                result = FindRowByPrefix(text.c_str(), find->iStart, (find->lvfi.flags & LVFI_WRAP) != 0);
        }
        return true;
    }
    }
    // Info tips, the focused row, and the rows going.
    return OnListNotify(hdr, result);
}

void CKestrinView::OnSetUnread()
{
    CListCtrl list = GetListCtrl();
    if (list.GetSelectedCount() == 0)
        return;
    RowBatch batch(this);
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
    const int now = GetDocument()->IndexOf(item);
    if (now >= 0)
        list.RedrawItems(now, now);
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
    IntakeReport report;
    {
        RowBatch batch(this);
        report.CountNotUrls(UrlImporter::Import(*data, [&](const char* url) { report.Offer(*doc, url); }));
    }
    if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        frame->ShowIntakeReport(report.Text());
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
