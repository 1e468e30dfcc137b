#pragma once
#include <windows.h>

// The keyboard's way between the list and the folder bar. Tab and
// Shift+Tab go from the list into the bar and, from its last (first)
// control, back to the list; F6 and Shift+F6 go from one to the other; and
// the bar's access keys (Alt and the underlined letter) work wherever the
// focus is in the main window, unless the menu bar has that key too.
class PaneKeys {
public:
    // Handles `msg` when it is one of those keys for `frame`, whose list
    // is `list` and whose folder bar is `bar`. True when it did.
    static bool PreTranslate(HWND frame, HWND list, HWND bar, const MSG& msg);
    // Moves the focus from the list to the bar or back (F6).
    static void NextPane(HWND list, HWND bar, bool back);

    // The letter or digit after the "&" of `text` in upper case ("変更(&S)"
    // gives 'S'), or 0 for none; "&&" is a plain ampersand.
    static char AccessKey(const char* text);
    // The control of `bar` whose access key is `key`, or null.
    static HWND ControlWithAccessKey(HWND bar, char key);
    // Whether a top-level item of `menu` has the access key `key`.
    static bool MenuHasAccessKey(HMENU menu, char key);

private:
    // The bar's controls that Tab stops at, in order: the first and last.
    static HWND FirstTabStop(HWND bar);
    static HWND LastTabStop(HWND bar);
    // What an access key does to `control`: a button is pressed; a label
    // gives the focus to the control that follows it.
    static void Activate(HWND bar, HWND control);
};
