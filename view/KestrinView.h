#pragma once
#include "../framework/Font.h"
#include "../framework/ListView.h"

class CKestrinDoc;
class URLItem;

// The download list as a report: one row per item, in the document's
// order, showing its URL, its state and the file it is saved to.
class CKestrinView : public CListView {
public:
    CKestrinView();

    CKestrinDoc* GetDocument() const;

    // Appends the row of an item the document has just appended.
    void AddItemRow(URLItem* item);
    // Rewrites the state column of the item's row.
    void UpdateItemState(URLItem* item);
    // Empties the list; the document is about to delete every item.
    void RemoveAllRows();

    // Deletes the selected rows whose items the document lets go.
    void DeleteSelectedItems();
    // True when rows are selected and none of their items is downloading.
    bool IsSelectionRemovable() const;
    URLItem* ItemOfRow(int row) const;

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    void OnRButtonDown(POINT point);

    void OnSetUnread();
    void OnProperties();

    CFont m_font;
    unsigned m_bDragging : 1;
};
