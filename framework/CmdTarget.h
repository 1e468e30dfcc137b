#pragma once
#include <windows.h>
#include <cstddef>
#include "CmdUI.h"

// Something that can handle commands. The frame routes every command to
// the view, the document, itself and the application, in that order; the
// first target that answers wins. A command that no target enables does
// not run, whichever way it was given (menu, toolbar, key).
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs command `id`; false when this target does not handle it.
    virtual bool OnCmdMsg(UINT id) { (void)id; return false; }
    // Decides the state of ui.m_nID; false when this target does not.
    virtual bool OnUpdateCmdUI(CCmdUI& ui) { (void)ui; return false; }
};

// One command of a class's command table: the handler and the rule that
// enables it, written side by side so that they cannot drift apart. A null
// rule means always enabled; `checked`, when set, decides the check mark.
template <class T>
struct CCommandEntry {
    UINT id;
    void (T::*handler)();
    bool (T::*enabled)() const;
    bool (T::*checked)() const;
};

// Runs `id` from `table` on `target`; false when the table does not name it.
template <class T, std::size_t N>
bool RunCommand(T& target, const CCommandEntry<T> (&table)[N], UINT id)
{
    for (const CCommandEntry<T>& e : table) {
        if (e.id == id) {
            (target.*e.handler)();
            return true;
        }
    }
    return false;
}

// Decides the state of ui.m_nID from `table`; false when it does not name it.
template <class T, std::size_t N>
bool UpdateCommand(const T& target, const CCommandEntry<T> (&table)[N], CCmdUI& ui)
{
    for (const CCommandEntry<T>& e : table) {
        if (e.id == ui.m_nID) {
            ui.Enable(e.enabled ? (target.*e.enabled)() : true);
            if (e.checked)
                ui.SetCheck((target.*e.checked)() ? 1 : 0);
            return true;
        }
    }
    return false;
}
