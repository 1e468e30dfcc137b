#pragma once
#include "../framework/DialogBar.h"
#include "../framework/FrameWnd.h"
#include "../framework/StatusBar.h"
#include "../framework/ToolBar.h"

// The main window: the list view, a toolbar and the current-folder bar in
// the top row, a status bar, and the window size kept in the settings.
// Worker threads report to it; it stops them before it closes.
class CMainFrame : public CFrameWnd {
public:
    // Shows the download folder in the folder bar.
    void ShowCurrentFolder(const char* folder);
    // Brings the bars up to date; runs when the program is idle.
    void OnIdleUpdate();

    CDialogBar m_wndDlgBar;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    void OnClose() override;
    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

private:
    void OnViewToolBar();
    void OnViewStatusBar();
    void OnViewDialogBar();
    bool IsToolBarShown() const;
    bool IsStatusBarShown() const;
    bool IsDialogBarShown() const;

    static const CCommandEntry<CMainFrame> s_commands[];
};
