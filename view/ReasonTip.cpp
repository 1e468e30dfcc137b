#include "ReasonTip.h"
#include <commctrl.h>

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

bool CReasonTip::Create(HWND list)
{
    m_hList = list;
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
