#pragma once
#include <windows.h>
#include <string>

class CDialog;

// Moves values between a dialog's members and its controls. After the first
// failed validation the remaining calls do nothing, so a dialog's
// DoDataExchange stops at the first bad field.
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

void DDX_Text(CDataExchange& dx, int id, int& value);
void DDX_Text(CDataExchange& dx, int id, BYTE& value);
void DDX_Text(CDataExchange& dx, int id, std::string& value);
void DDV_MinMaxInt(CDataExchange& dx, int value, int lo, int hi);
void DDX_Check(CDataExchange& dx, int id, int& value);
// `id` is the first radio button of its group; value is the index checked.
void DDX_Radio(CDataExchange& dx, int id, int& value);
void DDX_CBIndex(CDataExchange& dx, int id, int& index);
