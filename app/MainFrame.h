#pragma once
#include "../framework/DialogBar.h"
#include "../framework/FrameWnd.h"

// The main window: the list view, the current-folder bar, and the window
// size kept in the settings.
class CMainFrame : public CFrameWnd {
public:
    // Shows the download folder in the folder bar.
    void ShowCurrentFolder(const char* folder);
    // Brings the bars' buttons up to date; runs when the program is idle.
    void OnIdleUpdate();

    CDialogBar m_wndDlgBar;

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;
};
