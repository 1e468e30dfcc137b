#include "StatusBar.h"
#include <commctrl.h>
#include "FrameworkIds.h"
#include "MessageBox.h"

CStatusBar::CStatusBar()
{
    m_dwStyle = CBRS_ALIGN_BOTTOM;
}

bool CStatusBar::Create(HWND frame, UINT id)
{
    return RegisterSuperclass("KestrinStatusBar", STATUSCLASSNAMEA) &&
        CreateEx(0, "KestrinStatusBar", "",
                 WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                 0, 0, 0, 0, frame, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

bool CStatusBar::SetIndicators(const UINT* ids, int count)
{
    m_ids.assign(ids, ids + count);
    m_texts.assign(count, std::string());
    m_widths.assign(count, 0);
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
    for (int i = 1; i < count; ++i) {
        m_texts[i] = AfxLoadString(ids[i]);
        SIZE extent{};
        ::GetTextExtentPoint32A(dc, m_texts[i].c_str(), static_cast<int>(m_texts[i].size()), &extent);
        m_widths[i] = extent.cx + 12;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    SetPaneWidths();
    ShowIdleText();
    return true;
}

void CStatusBar::SetPaneWidths()
{
    if (m_ids.empty())
        return;
    const RECT rc = GetClientRect();
    std::vector<int> rights(m_ids.size());
    int right = rc.right - ::GetSystemMetrics(SM_CXVSCROLL);
    for (int i = static_cast<int>(m_ids.size()) - 1; i >= 1; --i) {
        rights[i] = right;
        right -= m_widths[i];
    }
    rights[0] = right;
    rights.back() = -1;
    SendMessage(SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

void CStatusBar::SetMessageText(const char* text)
{
    SendMessage(SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void CStatusBar::ShowIdleText()
{
    SetMessageText(m_strIdleText.empty() ? AfxLoadString(AFX_IDS_IDLEMESSAGE).c_str()
                                         : m_strIdleText.c_str());
}

SIZE CStatusBar::CalcFixedLayout(int width)
{
    // The control knows its own height: let it size itself, then read it.
    SendMessage(WM_SIZE);
    const RECT rc = GetWindowRect();
    return {width, rc.bottom - rc.top};
}

void CStatusBar::OnSize(UINT, int, int)
{
    // The indicators keep to the right edge of whatever width the bar has.
    SetPaneWidths();
}

void CStatusBar::UpdateIndicators()
{
    for (size_t i = 1; i < m_ids.size(); ++i) {
        int key = 0;
        switch (m_ids[i]) {
        case ID_INDICATOR_CAPS: key = VK_CAPITAL; break;
        case ID_INDICATOR_NUM: key = VK_NUMLOCK; break;
        case ID_INDICATOR_SCRL: key = VK_SCROLL; break;
        case ID_INDICATOR_KANA: key = VK_KANA; break;
        }
        const bool on = key && (::GetKeyState(key) & 1);
        char current[64] = "";
        if (LOWORD(SendMessage(SB_GETTEXTLENGTHA, i)) < sizeof current)
            SendMessage(SB_GETTEXTA, i, reinterpret_cast<LPARAM>(current));
        const std::string wanted = on ? m_texts[i] : std::string();
        if (wanted != current)
            SendMessage(SB_SETTEXTA, i, reinterpret_cast<LPARAM>(wanted.c_str()));
    }
}
