#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "Wnd.h"
#include "DocTemplate.h"

class CCmdUI;
class CControlBar;
class CStatusBar;
class CDocument;
class CView;

// A program's main window: a menu, accelerators, control bars along its
// edges and a view filling the rest. Commands given to it go to the view,
// the document, the frame and the application, in that order.
class CFrameWnd : public CWnd {
public:
    // Creates the window with menu, accelerators and icon `resourceId`
    // and a view of `newView` on `doc`.
    bool LoadFrame(UINT resourceId, CDocument* doc, CSingleDocTemplate::NewView newView);
    void InitialUpdateFrame(int nCmdShow);

    CDocument* GetActiveDocument() const;

    // Runs command `id` if a target enables it; false when none does.
    bool RouteCmdMsg(UINT id);
    void RouteUpdateCmdUI(CCmdUI& ui);
    bool IsCommandEnabled(UINT id);
    // Whether some target names the command at all.
    bool IsCommandHandled(UINT id);

    // Places the control bars and the view in the client area.
    virtual void RecalcLayout();
    void AddControlBar(CControlBar* bar);
    void ShowControlBar(CControlBar* bar, bool show);

    // Translates accelerator keys for this frame.
    virtual bool PreTranslateMessage(MSG& msg);

    // The status prompt ("...\n") or tooltip ("\n...") of a command.
    static std::string GetPrompt(UINT id, bool tooltip);
    // Shows a command's prompt in the status bar, or the idle text for 0.
    void ShowPrompt(UINT id);
    // The document's name or changes mark changed: the caption follows.
    virtual void OnUpdateFrameTitle() {}

    HACCEL m_hAccelTable = nullptr;

protected:
    virtual void PreCreateWindow(CREATESTRUCTA& cs);
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    int OnCreate(CREATESTRUCTA* cs) override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnClose() override;
    void PostNcDestroy() override;
    // A menu is about to show: enable, grey and check its items.
    void OnInitMenuPopup(HMENU menu);
    void OnDropFiles(HDROP drop);
    // A command that no target names; shown to the developer in a debug
    // build, ignored otherwise.
    virtual void OnUnhandledCommand(UINT id);
    // Command `id` is about to run (it is enabled), whichever way it came.
    virtual void OnBeforeCommand(UINT id) { (void)id; }

    std::vector<CControlBar*> m_bars;
    CView* m_pViewActive = nullptr;
    CStatusBar* m_pMessageBar = nullptr;   // where prompts are shown

private:
    std::string m_strTip;
    std::wstring m_wstrTip;
    CDocument* m_pCreatingDoc = nullptr;
    CSingleDocTemplate::NewView m_newView = nullptr;
};
