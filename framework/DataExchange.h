#pragma once
#include <windows.h>

class CDialog;

// Moves values between a dialog's members and its controls: a dialog's
// DoDataExchange prepares each control and, when a value is refused,
// calls Fail; after the first failure the exchange is over.
class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool saveAndValidate)
        : m_pDlg(dlg), m_bSaveAndValidate(saveAndValidate) {}

    HWND PrepareCtrl(int id);
    // Shows message `textId` (formatted with the two numbers when given),
    // puts the focus on the last prepared control and stops the exchange.
    void Fail(UINT textId, long lo = 0, long hi = 0);

    CDialog* m_pDlg;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
    HWND m_hLastCtrl = nullptr;
};
