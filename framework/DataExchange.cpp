#include "DataExchange.h"
#include "Dialog.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include <cstdio>
#include <climits>
#include <cstdlib>

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

// Reads a whole decimal number from a field; false when the text is not
// one (empty, signs or letters, too many digits).
bool ParseNumber(const std::string& text, long& out)
{
    size_t b = text.find_first_not_of(" \t");
    size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos)
        return false;
    std::string digits = text.substr(b, e - b + 1);
    if (digits.empty() || digits.size() > 9)
        return false;
    size_t start = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (start == digits.size())
        return false;
    for (size_t i = start; i < digits.size(); ++i)
        if (digits[i] < '0' || digits[i] > '9')
            return false;
    out = std::strtol(digits.c_str(), nullptr, 10);
    return true;
}

} // namespace

namespace {

// Moves a whole number between a field and `value`; a number outside
// lo..hi fails with message `textId`.
template <typename T>
void ExchangeNumber(CDataExchange& dx, int id, T& value, long lo, long hi, UINT textId)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (!dx.m_bSaveAndValidate) {
        ::SetWindowTextA(ctrl, std::to_string(value).c_str());
        return;
    }
    char buf[64] = "";
    ::GetWindowTextA(ctrl, buf, sizeof buf);
    long n;
    if (!ParseNumber(buf, n) || n < lo || n > hi) {
        dx.Fail(textId);
        return;
    }
    value = static_cast<T>(n);
}

} // namespace

void DDX_Text(CDataExchange& dx, int id, int& value)
{
    ExchangeNumber(dx, id, value, LONG_MIN, LONG_MAX, AFX_IDP_PARSE_INT);
}

void DDX_Text(CDataExchange& dx, int id, BYTE& value)
{
    ExchangeNumber(dx, id, value, 0, 255, AFX_IDP_PARSE_BYTE);
}

void DDX_Text(CDataExchange& dx, int id, std::string& value)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (dx.m_bSaveAndValidate) {
        const int n = ::GetWindowTextLengthA(ctrl);
        std::string text(n + 1, '\0');
        text.resize(::GetWindowTextA(ctrl, &text[0], n + 1));
        value = text;
    } else {
        ::SetWindowTextA(ctrl, value.c_str());
    }
}

void DDV_MinMaxInt(CDataExchange& dx, int value, int lo, int hi)
{
    if (dx.m_bFailed || !dx.m_bSaveAndValidate)
        return;
    if (value < lo || value > hi)
        dx.Fail(AFX_IDP_PARSE_INT_RANGE, lo, hi);
}

void DDX_Check(CDataExchange& dx, int id, int& value)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    if (dx.m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(ctrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(ctrl, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DDX_Radio(CDataExchange& dx, int id, int& value)
{
    if (dx.m_bFailed)
        return;
    HWND ctrl = dx.PrepareCtrl(id);
    HWND dlg = dx.m_pDlg->m_hWnd;
    if (dx.m_bSaveAndValidate)
        value = -1;
    int index = 0;
    // The group runs from `id` to the next control with WS_GROUP.
    for (HWND c = ctrl; c; ++index) {
        if (dx.m_bSaveAndValidate) {
            if (::SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = index;
        } else {
            ::SendMessageA(c, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        c = ::GetNextDlgGroupItem(dlg, c, FALSE);
        if (c == ctrl || (::GetWindowLongA(c, GWL_STYLE) & WS_GROUP))
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
