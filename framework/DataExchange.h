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

// The exchange functions. Each does nothing once the exchange has failed.
// Number fields: decimal digits with optional blanks around them; a field
// that is no such number is refused with the framework's parse message.
void DDX_Text(CDataExchange& dx, int id, int& value);
void DDX_Text(CDataExchange& dx, int id, BYTE& value);
// The value must lie in lo..hi (refused with the range message).
void DDV_MinMaxInt(CDataExchange& dx, int value, int lo, int hi);
void DDV_MinMaxByte(CDataExchange& dx, BYTE value, BYTE lo, BYTE hi);
// A check box: 0 clear, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange& dx, int id, int& value);
// A group of radio buttons starting at `id` (the one with WS_GROUP) and
// running up to the next control with WS_GROUP: the index of the checked
// button, -1 when none is.
void DDX_Radio(CDataExchange& dx, int id, int& index);
// The selected item of a list box or combo box, -1 when none is.
void DDX_CBIndex(CDataExchange& dx, int id, int& index);
