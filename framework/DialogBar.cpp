#include "DialogBar.h"
#include <commctrl.h>
#include "FrameWnd.h"

bool CDialogBar::Create(HWND frame, UINT templateId, DWORD align, UINT id)
{
    m_dwStyle = align;
    if (!CreateFromTemplate(templateId, frame))
        return false;
    ::SetWindowLongPtrA(m_hWnd, GWLP_ID, id);
    AddToolTips();
    const RECT rc = GetWindowRect();
    m_sizeDefault = {rc.right - rc.left, rc.bottom - rc.top};
    ShowWindow(SW_SHOWNA);
    return true;
}

void CDialogBar::AddToolTips()
{
    // One tool per control; their texts come from the frame (TTN_GETDISPINFO).
    m_hTips = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                m_hWnd, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!m_hTips)
        return;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(child) <= 0 || ::GetDlgCtrlID(child) == 0xFFFF)
            continue;
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_hWnd;
        tool.uId = reinterpret_cast<UINT_PTR>(child);
        tool.lpszText = LPSTR_TEXTCALLBACKA;
        ::SendMessageA(m_hTips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

LRESULT CDialogBar::OnNotify(NMHDR* hdr)
{
    // The frame answers for its bars.
    return ::SendMessageA(GetParent(), WM_NOTIFY, hdr->idFrom, reinterpret_cast<LPARAM>(hdr));
}

SIZE CDialogBar::CalcFixedLayout(int)
{
    return m_sizeDefault;
}

bool CDialogBar::OnCommand(UINT id, UINT code, HWND control)
{
    if (control && code != BN_CLICKED)
        return false;
    // Buttons of the bar are commands of its frame.
    if (auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(GetParent()))) {
        if (frame->IsCommandEnabled(id))
            frame->RouteCmdMsg(id);
        return true;
    }
    return false;
}

void CDialogBar::UpdateButtons()
{
    auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(GetParent()));
    if (!frame)
        return;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char cls[16] = "";
        ::GetClassNameA(child, cls, sizeof cls);
        if (::lstrcmpiA(cls, "Button") != 0)
            continue;
        const UINT id = static_cast<UINT>(::GetDlgCtrlID(child));
        const bool enabled = frame->IsCommandEnabled(id);
        if ((::IsWindowEnabled(child) != FALSE) != enabled)
            ::EnableWindow(child, enabled);
    }
}
