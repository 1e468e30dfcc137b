#include "DialogBar.h"
#include "FrameWnd.h"

bool CDialogBar::Create(HWND frame, UINT templateId, DWORD align, UINT id)
{
    m_dwStyle = align;
    if (!CreateFromTemplate(templateId, frame))
        return false;
    ::SetWindowLongPtrA(m_hWnd, GWLP_ID, id);
    const RECT rc = GetWindowRect();
    m_sizeDefault = {rc.right - rc.left, rc.bottom - rc.top};
    ShowWindow(SW_SHOWNA);
    return true;
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
