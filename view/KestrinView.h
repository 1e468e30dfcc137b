#pragma once
#include <string>
#include <vector>
#include "../framework/Font.h"
#include "../framework/ListView.h"
#include "../framework/OleDropTarget.h"
#include "ListColumns.h"
#include "ReasonTip.h"
#include "RowCommands.h"

class COleDataSource;

class CKestrinDoc;
class URLItem;

// The download list as a report: one row per item, in the document's
// order, showing its URL, its state and the file it is saved to.
class CKestrinView : public CListView {
public:
    // Gives the URL column its room once the header has finished a drag.
    static constexpr UINT WM_FIT_COLUMNS = WM_APP + 10;

    CKestrinView();

    // Holds the drawing of the rows while many change at once (opening a
    // list, a paste, a drop): they are counted and drawn once, when the
    // outermost batch ends. A null view is allowed.
    class RowBatch {
    public:
        explicit RowBatch(CKestrinView* view);
        ~RowBatch();
        RowBatch(const RowBatch&) = delete;
        RowBatch& operator=(const RowBatch&) = delete;

    private:
        CKestrinView* m_pView;
    };

    CKestrinDoc* GetDocument() const;

    // The list control asks the document for every row it draws: row i is
    // the document's item i. These tell it that rows came, changed or went.
    // Appends the row of an item the document has just appended.
    void AddItemRow(URLItem* item);
    // Rewrites the state column of the item's row.
    void UpdateItemState(URLItem* item);
    // Empties the list; the document is about to delete every item.
    void RemoveAllRows();

    // The list's notifications, passed on by the frame: a row's info tip
    // tells why it failed, and so does the status bar while that row has
    // the focus. True when handled, with the answer in `result`.
    bool OnListNotify(NMHDR* hdr, LRESULT& result);
    // Tells the frame why the focused row failed, or that it did not.
    void ShowFocusedFailure();

    // Deletes the selected rows whose items the document lets go.
    void DeleteSelectedItems();
    // True when rows are selected and none of their items is downloading.
    bool IsSelectionRemovable() const;
    // The item row `row` shows, or null for no such row.
    URLItem* ItemOfRow(int row) const;
    // The item of `row` when the row exists and its item failed, with a reason.
    const URLItem* FailedItemOfRow(int row) const;
    // The tip of `row` when the pointer rests on it: its reason, after its
    // URL when the row cuts that short; empty for a row without a reason.
    std::string TipTextOfRow(int row) const;
    // The tip that is up, or empty.
    const CReasonTip& GetTip() const { return m_tip; }
    // Selects the rows whose items failed, and only those, focuses the
    // first and scrolls it and its reason into sight. Returns how many.
    int SelectFailedRows() { return m_rowCommands.SelectFailedRows(); }

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    // Intake: drops and paste.
    DWORD OnDragOver(COleDataObject* data, DWORD keys, POINT point) override;
    BOOL OnDrop(COleDataObject* data, DWORD effect, POINT point) override;
    BOOL ImportURLs(COleDataObject* data);
    // Output: copy, cut and drag.
    BOOL FillDataSource(COleDataSource* source);

    // What the system calls when something is dragged over the view.
    IDropTarget* GetDropTarget() { return &m_dropTarget; }

    // Set while a drag started here runs: the view refuses its own rows.
    unsigned m_bDragging : 1;

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    bool OnChildNotify(NMHDR* hdr, LRESULT& result) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    void OnRButtonDown(POINT point);

    void OnLButtonDown(UINT flags, POINT point);
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    bool HasSelection() const;

    static const CCommandEntry<CKestrinView> s_commands[];

    COleDropTarget m_dropTarget;
    CFont m_font;

private:
    // The text of a cell, for the list control's requests.
    const std::string* CellText(int row, int column) const;
    // The selected rows, first to last.
    std::vector<int> SelectedRows() const;
    void BeginRowBatch();
    void EndRowBatch();

    int m_nRowBatches = 0;
    ListColumns m_columns;
    CRowCommands m_rowCommands;
    CReasonTip m_tip;
};
