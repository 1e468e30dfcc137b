#include "DataExchange.h"
#include "Dialog.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include <cstdio>
#include <string>

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

namespace {

std::string ControlText(HWND ctrl)
{
    const int n = ::GetWindowTextLengthA(ctrl);
    std::string text(n + 1, '\0');
    text.resize(::GetWindowTextA(ctrl, &text[0], n + 1));
    return text;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A decimal number with blanks around it, with a sign when `sign` allows
// one; false for anything else or a number beyond `limit`.
bool ParseNumber(const std::string& text, bool sign, long long limit, long long& value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (sign && i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const size_t digits = i;
    long long n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        n = n * 10 + (text[i++] - '0');
        if (n > limit + 1)
            return false;
    }
    if (i == digits)
        return false;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return false;
    value = negative ? -n : n;
    return value >= -limit - 1 && value <= limit;
}

// Shows `value` in control `id`, or reads it back as a number within
// `limit` (signed when `sign`), failing with message `failId`.
bool ExchangeNumber(CDataExchange& dx, int id, long long& value, bool sign, long long limit,
                    UINT failId)
{
    if (dx.m_bFailed)
        return false;
    HWND ctrl = dx.PrepareCtrl(id);
    if (!dx.m_bSaveAndValidate) {
        ::SetWindowTextA(ctrl, std::to_string(value).c_str());
        return false;
    }
    if (!ParseNumber(ControlText(ctrl), sign, limit, value) || (!sign && value < 0)) {
        dx.Fail(failId);
        return false;
    }
    return true;
}

} // namespace

void DDX_Text(CDataExchange& dx, int id, int& value)
{
    long long n = value;
    if (ExchangeNumber(dx, id, n, true, 0x7FFFFFFF, AFX_IDP_PARSE_INT))
        value = static_cast<int>(n);
}

void DDX_Text(CDataExchange& dx, int id, BYTE& value)
{
    long long n = value;
    if (ExchangeNumber(dx, id, n, false, 255, AFX_IDP_PARSE_BYTE))
        value = static_cast<BYTE>(n);
}

void DDV_MinMaxInt(CDataExchange& dx, int value, int lo, int hi)
{
    if (dx.m_bFailed || !dx.m_bSaveAndValidate)
        return;
    if (value < lo || value > hi)
        dx.Fail(AFX_IDP_PARSE_INT_RANGE, lo, hi);
}

void DDV_MinMaxByte(CDataExchange& dx, BYTE value, BYTE lo, BYTE hi)
{
    DDV_MinMaxInt(dx, value, lo, hi);
}

void DDX_Check(CDataExchange& dx, int id, int& value)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (dx.m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(ctrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(ctrl, BM_SETCHECK, value, 0);
}

void DDX_Radio(CDataExchange& dx, int id, int& index)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (dx.m_bSaveAndValidate)
        index = -1;
    int i = 0;
    while (ctrl) {
        // Labels and other controls inside the group are not counted.
        if (::SendMessageA(ctrl, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (dx.m_bSaveAndValidate) {
                if (index < 0 && ::SendMessageA(ctrl, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    index = i;
            } else {
                ::SendMessageA(ctrl, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++i;
        }
        ctrl = ::GetWindow(ctrl, GW_HWNDNEXT);
        if (ctrl && (::GetWindowLongA(ctrl, GWL_STYLE) & WS_GROUP))
            break;
    }
}

void DDX_CBIndex(CDataExchange& dx, int id, int& index)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (dx.m_bSaveAndValidate)
        index = static_cast<int>(::SendMessageA(ctrl, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageA(ctrl, CB_SETCURSEL, index, 0);
}
