#pragma once
#include <windows.h>
#include <string>
#include "CallGuarded.h"
#include "CmdTarget.h"

// One C++ object per window. The object is found from the window procedure
// through the window's user data, set at WM_NCCREATE (WM_INITDIALOG for
// dialogs). At WM_NCDESTROY the link is cut and PostNcDestroy runs, where
// self-deleting windows delete themselves.
class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The object of a window created by this framework, or null.
    static CWnd* FromHandle(HWND hwnd);

    // Registers a window class served by this framework.
    static bool RegisterClass(const char* name, UINT style, HICON icon,
                              HCURSOR cursor, HBRUSH background);
    // Registers `name` as a copy of the system class `base` served by this
    // framework, so that the object sees the control's own creation.
    static bool RegisterSuperclass(const char* name, const char* base);

    // Creates the window. On failure the object is still there, whatever
    // became of its window, and belongs to the caller as before.
    bool CreateEx(DWORD exStyle, const char* className, const char* title,
                  DWORD style, int x, int y, int cx, int cy,
                  HWND parent, HMENU menuOrId);
    BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const
        { return ::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const
        { return ::PostMessageA(m_hWnd, msg, wp, lp); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) const
        { return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags); }
    void SetWindowText(const char* text) const { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowText() const;
    RECT GetClientRect() const { RECT rc{}; ::GetClientRect(m_hWnd, &rc); return rc; }
    RECT GetWindowRect() const { RECT rc{}; ::GetWindowRect(m_hWnd, &rc); return rc; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const char* text) const { ::SetDlgItemTextA(m_hWnd, id, text); }
    std::string GetDlgItemText(int id) const;
    HWND GetParent() const { return ::GetParent(m_hWnd); }

    HWND m_hWnd = nullptr;

protected:
    // Dispatches one message to the typed handlers below.
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    // The default processing of a message (system class, superclass or dialog).
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

    virtual int OnCreate(CREATESTRUCTA* cs) { (void)cs; return 0; }
    // WM_COMMAND; by default menu, accelerator and control commands are
    // handed to OnCmdMsg.
    virtual bool OnCommand(UINT id, UINT code, HWND control);
    virtual LRESULT OnNotify(NMHDR* hdr);
    // A notification this window sent to its parent, handed back to it by
    // the parent: true when handled, with the answer in `result`.
    virtual bool OnChildNotify(NMHDR* hdr, LRESULT& result) { (void)hdr; (void)result; return false; }
    virtual void OnTimer(UINT_PTR id);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnClose();
    virtual void OnDestroy() {}
    // Runs after the window is gone; m_hWnd is already null. Not run for a
    // window whose creation failed: the creator keeps the object then.
    virtual void PostNcDestroy() {}

    void Attach(HWND hwnd);

    // Creates the window from dialog template `templateId`, modeless, or
    // runs it modally and returns its result.
    bool CreateFromTemplate(UINT templateId, HWND parent);
    INT_PTR RunModalTemplate(UINT templateId, HWND parent);

    WNDPROC m_pfnSuper = nullptr;   // the system class procedure of a superclass
    bool m_bDialogProc = false;     // served by the system's dialog procedure

private:
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static INT_PTR CALLBACK StaticDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    bool m_bDefaulted = false;      // the current dialog message went to the default
    bool m_bDefaultRan = false;     // the current message had its default processing
    bool m_bCreating = false;       // inside CreateEx or CreateFromTemplate
};
