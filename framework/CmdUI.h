#pragma once
#include <windows.h>

// The state of one command (menu item, toolbar button, dialog-bar button)
// while the command targets decide whether it is enabled and checked.
// Whoever asked applies the result to its own element.
class CCmdUI {
public:
    explicit CCmdUI(UINT id) : m_nID(id) {}

    void Enable(bool on = true) { m_bEnabled = on; m_bHandled = true; }
    void SetCheck(int check = 1) { m_nCheck = check; }

    UINT m_nID;
    bool m_bEnabled = false;
    bool m_bHandled = false;   // some target decided the state
    int m_nCheck = 0;
};
