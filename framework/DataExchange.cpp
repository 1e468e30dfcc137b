#include "DataExchange.h"
#include "Dialog.h"
#include "MessageBox.h"
#include <cstdio>

HWND CDataExchange::PrepareCtrl(int id)
{
    m_hLastCtrl = m_pDlg->GetDlgItem(id);
    return m_hLastCtrl;
}

void CDataExchange::Fail(UINT textId, long lo, long hi)
{
    std::string text = AfxLoadString(textId);
    char buf[512];
    std::snprintf(buf, sizeof buf, text.c_str(), lo, hi);
    AfxMessageBox(buf, MB_ICONEXCLAMATION | MB_OK);
    if (m_hLastCtrl) {
        ::SetFocus(m_hLastCtrl);
        ::SendMessageA(m_hLastCtrl, EM_SETSEL, 0, -1);
    }
    m_bFailed = true;
}
