#pragma once
#include "../framework/CmdTarget.h"
#include "../framework/ListCtrl.h"

class CKestrinView;
class URLItem;

// What the user does with the list's rows beside editing the list: select
// them all, open a completed item's file or its folder, put items back to
// unread, show an item's properties; what Enter and a double-click do; and
// the selection of the failed rows when a batch ends. One command table,
// asked by the view after its own.
class CRowCommands : public CCmdTarget {
public:
    explicit CRowCommands(CKestrinView& view);

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    // Enter or a double-click: opens the file of a completed item, or
    // shows the properties of any other; nothing with several selected.
    void OnActivateRow();
    // A key of the list: Shift+F10 and the menu key open the popup at the
    // focused row, and their release is kept from the default processing
    // (which would, under Wine, go on to open the menu bar). True when the
    // key was taken.
    bool OnListKey(UINT msg, WPARAM key);
    // Selects the rows whose items failed, and only those, focuses the
    // first and scrolls it and its reason into sight. Returns how many.
    int SelectFailedRows();

private:
    void OnSetUnread();
    void OnProperties();
    void OnSelectAll();
    void OnOpenFile();
    void OnOpenFolder();
    bool HasRows() const;
    bool CanSetUnread() const;
    bool CanShowProperties() const;
    bool CanOpenFile() const;
    bool CanOpenFolder() const;
    // The one selected row's item, or null.
    URLItem* SingleSelectedItem() const;
    CListCtrl List() const;
    URLItem* ItemOfRow(int row) const;

    static const CCommandEntry<CRowCommands> s_commands[];

    CKestrinView& m_view;
    UINT m_nMenuKey = 0;   // the key that opened the popup, until released
};
