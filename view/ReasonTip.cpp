#include "ReasonTip.h"
#include <commctrl.h>
#include <windowsx.h>

namespace {
// Wide enough for a long URL, then lines break.
const int kMaxTipWidth = 600;
}

CReasonTip::~CReasonTip()
{
    Destroy();
}

void CReasonTip::Destroy()
{
    if (m_hTip && ::IsWindow(m_hTip))
        ::DestroyWindow(m_hTip);
    m_hTip = nullptr;
    m_bShown = false;
    m_strShown.clear();
}

std::string CReasonTip::Text(const std::string& cutURL, const std::string& reason)
{
    return cutURL.empty() ? reason : cutURL + "\r\n" + reason;
}

bool CReasonTip::Create(HWND list, std::function<std::string(int row)> textOf)
{
    m_hList = list;
    m_textOf = std::move(textOf);
    m_hTip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, list, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
    if (!m_hTip)
        return false;
    // One tool that the list places and shows itself.
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = list;
    tool.uId = 1;
    tool.lpszText = const_cast<char*>("");
    ::SendMessageA(m_hTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageA(m_hTip, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    return true;
}

void CReasonTip::OnMouseMove(int row, bool hasTip)
{
    if (row != m_nRow)
        Hide();
    m_nRow = row;
    if (row < 0 || !hasTip || m_bShown || !m_hList)
        return;
    // Say when the pointer rests, or leaves the list.
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hList;
    track.dwHoverTime = HOVER_DEFAULT;
    ::TrackMouseEvent(&track);
}

void CReasonTip::Show(const std::string& text, POINT screen)
{
    if (!m_hTip || text.empty())
        return;
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = m_hList;
    tool.uId = 1;
    tool.lpszText = const_cast<char*>(text.c_str());
    ::SendMessageA(m_hTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    // Below and right of the pointer, as the system's tips are.
    ::SendMessageA(m_hTip, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x + 12, screen.y + 20));
    ::SendMessageA(m_hTip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    m_bShown = true;
    m_strShown = text;
}

void CReasonTip::Hide()
{
    if (!m_bShown || !m_hTip)
        return;
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = m_hList;
    tool.uId = 1;
    ::SendMessageA(m_hTip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    m_bShown = false;
    m_strShown.clear();
}

int CReasonTip::RowAt(POINT point) const
{
    LVHITTESTINFO hit{};
    hit.pt = point;
    return ListView_HitTest(m_hList, &hit) >= 0 && (hit.flags & LVHT_ONITEM) ? hit.iItem : -1;
}

void CReasonTip::OnListMessage(UINT msg, LPARAM lp)
{
    switch (msg) {
    case WM_MOUSEMOVE: {
        const int row = RowAt({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        OnMouseMove(row, row >= 0 && m_textOf && !m_textOf(row).empty());
        break;
    }
    case WM_MOUSEHOVER: {
        POINT point = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        const int row = RowAt(point);
        if (row < 0 || row != m_nRow || !m_textOf)
            break;
        // Not while a dialog of the window is up (the window is disabled
        // then), nor when another window lies over the pointer.
        POINT screen = point;
        ::ClientToScreen(m_hList, &screen);
        if (!::IsWindowEnabled(::GetAncestor(m_hList, GA_ROOT)) || ::WindowFromPoint(screen) != m_hList)
            break;
        Show(m_textOf(row), screen);
        break;
    }
    case WM_LBUTTONDBLCLK:
    case WM_MOUSELEAVE:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_KILLFOCUS:
        Hide();
        break;
    }
}
