#pragma once
#include "Wnd.h"

class CDataExchange;

// A dialog from a template, modal (DoModal) or modeless (Create).
// Data moves between members and controls in DoDataExchange; small
// dialogs may instead fill their controls in OnInitDialog and read them
// in OnOK.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr)
        : m_nTemplate(templateId), m_hParent(parent) {}

    INT_PTR DoModal();
    bool Create(HWND parent);

    // Moves data: save true from the controls into the members (validating),
    // false from the members into the controls. False when a field failed.
    bool UpdateData(bool save = true);
    void EndDialog(int result);

    UINT m_nTemplate;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange& dx) { (void)dx; }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnClose() override;

    HWND m_hParent;
    bool m_bModal = false;
};
