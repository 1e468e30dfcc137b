#include "ToolBar.h"
#include <commctrl.h>
#include "FrameWnd.h"

CToolBar::CToolBar()
{
    m_dwStyle = CBRS_ALIGN_TOP;
}

CToolBar::~CToolBar()
{
    if (m_hImages)
        ::ImageList_Destroy(m_hImages);
}

bool CToolBar::Create(HWND frame, UINT id)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                        CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
    // The system's toolbar; its notices go to the frame.
    if (!RegisterSuperclass("KestrinToolBar", TOOLBARCLASSNAMEA) ||
        !CreateEx(0, "KestrinToolBar", "", style, 0, 0, 0, 0, frame,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return false;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return true;
}

bool CToolBar::LoadToolBar(UINT resourceId)
{
    HINSTANCE inst = ::GetModuleHandleA(nullptr);
    HRSRC res = ::FindResourceA(inst, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(241));
    if (!res || ::SizeofResource(inst, res) < 8)
        return false;
    const auto* data = static_cast<const WORD*>(::LockResource(::LoadResource(inst, res)));
    const WORD width = data[1], height = data[2], count = data[3];
    if (data[0] != 1 || ::SizeofResource(inst, res) < 8u + 2u * count)
        return false;

    HBITMAP bitmap = static_cast<HBITMAP>(::LoadImageA(inst, MAKEINTRESOURCEA(resourceId),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return false;
    m_hImages = ::ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, count, 0);
    ::ImageList_AddMasked(m_hImages, bitmap, RGB(192, 192, 192));
    ::DeleteObject(bitmap);
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height));
    SendMessage(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_hImages));

    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (WORD i = 0; i < count; ++i) {
        TBBUTTON b{};
        b.idCommand = data[4 + i];
        if (b.idCommand == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
            m_commands.push_back(b.idCommand);
        }
        buttons.push_back(b);
    }
    SendMessage(TB_ADDBUTTONS, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessage(TB_AUTOSIZE);
    return true;
}

SIZE CToolBar::CalcFixedLayout(int)
{
    SIZE size{};
    SendMessage(TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    size.cx += 4;
    size.cy += 4;
    return size;
}

void CToolBar::UpdateButtons()
{
    auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(GetParent()));
    if (!frame)
        return;
    for (UINT id : m_commands) {
        const bool enabled = frame->IsCommandEnabled(id);
        if ((SendMessage(TB_ISBUTTONENABLED, id) != 0) != enabled)
            SendMessage(TB_ENABLEBUTTON, id, MAKELPARAM(enabled, 0));
    }
}
