#pragma once
#include <windows.h>

class CCmdUI;

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
