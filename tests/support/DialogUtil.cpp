#include "DialogUtil.h"

namespace test {

std::string Text(HWND dlg, int id)
{
    char text[512] = "";
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

void Press(HWND dlg, int id)
{
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}

} // namespace test
