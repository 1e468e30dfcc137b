#pragma once
#include <string>
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
    // Brings the bars up to date; runs when the program is idle. While a
    // batch runs it does so at most a few times a second.
    void OnIdleUpdate();

    // A batch has begun: the last one's summary goes.
    void OnBatchStarted();
    // A batch has ended: the status bar says how it went (with the retries
    // spent, when there were any), and the window flashes when it is not
    // the active one. Nothing waits for the user.
    void OnBatchEnded(int done, int failed, int cancelled, int retries = 0);
    // Puts `text` in the place of the last batch's summary: how a scheduled
    // run went, or what the machine refused to do after it.
    void ShowRunNote(const std::string& text);
    // The reason the focused row failed, or empty: shown in the status bar
    // while that row keeps the focus.
    void ShowFocusedFailure(const std::string& text);
    // What the last paste or drop did (IntakeReport's line), shown in the
    // status bar until the next message there.
    void ShowIntakeReport(const std::string& text);
    // What the status bar's message pane shows when no prompt is up.
    const std::string& GetRestText() const;

    // How often the window was flashed at the end of a batch.
    int m_nFlashes = 0;

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

private:
    void OnViewToolBar();
    void OnViewStatusBar();
    void OnViewDialogBar();
    bool IsToolBarShown() const;
    bool IsStatusBarShown() const;
    bool IsDialogBarShown() const;

    static const CCommandEntry<CMainFrame> s_commands[];
    void UpdateBars();
    void ShowRestText();

    DWORD m_dwLastBarUpdate = 0;
    bool m_bBarTimer = false;
    std::string m_strBatchSummary;      // how the last batch ended
    std::string m_strFocusFailure;      // why the focused row failed
    bool m_bFailureLatest = false;      // that reason came after the summary
    std::string m_strIntakeReport;      // what the last paste or drop did
    bool m_bIntakeLatest = false;       // ... and nothing was shown after it
};
