#pragma once
#include <windows.h>

// The popup menu of the list's rows: the one for a single row (which can
// be opened and has properties) or the one for several, shown at the
// pointer, or at the focused row when the keyboard asks for it (Shift+F10,
// the menu key). Its commands go to the main window like menu commands,
// and its items are enabled by the same rules.
class RowMenu {
public:
    // The menu resource for `selected` rows; 0 when none is selected.
    static UINT MenuFor(int selected);
    // Where the keyboard's popup opens, in screen coordinates: below the
    // focused row's text when that row is in sight, else at the list's
    // top-left corner.
    static POINT KeyboardPoint(HWND list);
    // Shows the popup for the selection of `list` at `screen` and runs
    // the chosen command through `owner`. Nothing without a selection.
    static void Show(HWND list, POINT screen, HWND owner);
};
