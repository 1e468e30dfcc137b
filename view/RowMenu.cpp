#include "RowMenu.h"
#include <commctrl.h>
#include "../app/resource.h"

UINT RowMenu::MenuFor(int selected)
{
    if (selected <= 0)
        return 0;
    return selected == 1 ? IDR_POPUP_SINGLE : IDR_POPUP_MULTI;
}

POINT RowMenu::KeyboardPoint(HWND list)
{
    RECT client;
    ::GetClientRect(list, &client);
    POINT point = {client.left + 2, client.top + 2};
    const int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
    RECT row{};
    if (focused >= 0 && ListView_GetItemRect(list, focused, &row, LVIR_LABEL)) {
        RECT shown;
        if (::IntersectRect(&shown, &row, &client)) {
            point.x = row.left + 8;
            point.y = row.bottom;
            if (point.y > client.bottom)
                point.y = client.bottom;
        }
    }
    ::ClientToScreen(list, &point);
    return point;
}

void RowMenu::Show(HWND list, POINT screen, HWND owner)
{
    const UINT id = MenuFor(ListView_GetSelectedCount(list));
    if (!id)
        return;
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    if (!menu)
        return;
    // Owned by the main window: its items are enabled, and their commands
    // routed, like those of the main menu.
    ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner, nullptr);
    ::DestroyMenu(menu);
}
