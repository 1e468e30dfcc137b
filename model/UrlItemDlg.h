#pragma once
#include <string>
#include "../framework/Dialog.h"

class URLItem;

// Properties of one download item: its URL, where it is saved, its size
// and why its last download failed (or that it was cancelled); it can be
// put back to unread or given another destination. Every
// change is made on the item at once; there is nothing to cancel.
class CUrlItemDlg : public CDialog {
public:
    explicit CUrlItemDlg(URLItem* item, HWND parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
    void UpdateSizeText();
    void OnMarkUnread();
    void OnChangeDestination();

    URLItem* m_pItem;
    std::string m_strInitialDir;
};
