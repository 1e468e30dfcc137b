#pragma once
#include "../framework/Font.h"
#include "../framework/ListView.h"

class CKestrinDoc;
class URLItem;

// The download list as a report: one row per item, in the document's
// order, showing its URL, its state and the file it is saved to.
class CKestrinView : public CListView {
public:
    CKestrinDoc* GetDocument() const;

    // Appends the row of an item the document has just appended.
    void AddItemRow(URLItem* item);
    // Rewrites the state column of the item's row.
    void UpdateItemState(URLItem* item);
    // Empties the list; the document is about to delete every item.
    void RemoveAllRows();

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;

    CFont m_font;
};
