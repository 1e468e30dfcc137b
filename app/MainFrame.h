#pragma once
#include <string>
#include "../framework/DialogBar.h"
#include "../framework/FrameWnd.h"
#include "../framework/StatusBar.h"
#include "../framework/TaskbarProgress.h"
#include "../framework/ToolBar.h"

// The main window: the list view, a toolbar and the current-folder bar in
// the top row (the folder bar takes a row of its own when the window is
// too narrow for both), a status bar, and the window size kept in the
// settings. Its caption names the list and, while a batch runs, how far
// it is. Worker threads report to it; before it closes it offers to save a
// changed list, then stops them.
class CMainFrame : public CFrameWnd {
public:
    // Shows the download folder in the folder bar.
    void ShowCurrentFolder(const char* folder);
    // Brings the bars and the caption up to date; runs when the program is
    // idle. While a batch runs it does so at most a few times a second.
    void OnIdleUpdate();

    // A batch has begun: the last one's summary goes.
    void OnBatchStarted();
    // A batch has ended: the status bar says how it went (with the retries
    // spent, when there were any). When the user started it, the system's
    // notification sound plays, the window flashes when it is not the
    // active one, and the failed rows are selected. Nothing waits for the
    // user.
    void OnBatchEnded(int done, int failed, int cancelled, int retries = 0);
    // A message for the status bar that stays until the next command (the
    // end of a batch, the outcome of a paste, how a scheduled run went).
    void ShowNotice(const std::string& text);
    // The reason the focused row failed, or empty: shown in the status bar
    // while that row keeps the focus.
    void ShowFocusedFailure(const std::string& text);
    // What the status bar's message pane shows when no prompt is up.
    const std::string& GetRestText() const;
    // The caption as it stands: list name, changes mark, batch place.
    std::string ComposeTitle() const;

    bool PreTranslateMessage(MSG& msg) override;
    void OnUpdateFrameTitle() override { UpdateTitle(); }

    // How often the window was flashed, and the sound played, at the end of
    // a batch.
    int m_nFlashes = 0;
    int m_nSounds = 0;

    CDialogBar m_wndDlgBar;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    void OnDestroy() override;
    void OnClose() override;
    void OnTimer(UINT_PTR id) override;
    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;
    void OnBeforeCommand(UINT id) override;
    void RecalcLayout() override;

private:
    void OnViewToolBar();
    void OnViewStatusBar();
    void OnViewDialogBar();
    void OnNextPane();
    void OnPrevPane();
    bool IsToolBarShown() const;
    bool IsStatusBarShown() const;
    bool IsDialogBarShown() const;
    HWND ListWindow() const;
    // The smallest size that keeps the bars whole and some rows in sight.
    void OnGetMinMaxInfo(MINMAXINFO* info);

    static const CCommandEntry<CMainFrame> s_commands[];
    void UpdateBars();
    void UpdateTitle();
    void ShowRestText();

    DWORD m_dwLastBarUpdate = 0;
    bool m_bBarTimer = false;
    bool m_bCloseAgreed = false;        // the user has answered the save question
    std::string m_strNotice;            // stays until the next command
    std::string m_strFocusFailure;      // why the focused row failed
    bool m_bFailureLatest = false;      // that reason came after the notice
    CTaskbarProgress m_taskbar;
};
