#pragma once
#include <windows.h>

struct ITaskbarList3;

// A progress bar in a window's taskbar button, where the system has one
// (Windows 7 and later); elsewhere nothing happens. The system's object is
// made at the first use and released with this one.
class CTaskbarProgress {
public:
    CTaskbarProgress() = default;
    ~CTaskbarProgress();
    CTaskbarProgress(const CTaskbarProgress&) = delete;
    CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

    // Shows `done` of `total` in `wnd`'s button (`total` above 0).
    void Show(HWND wnd, ULONGLONG done, ULONGLONG total);
    // Takes the bar off `wnd`'s button.
    void Clear(HWND wnd);
    // Whether the system offered the object.
    bool IsAvailable();

private:
    ITaskbarList3* m_pList = nullptr;
    bool m_bTried = false;
    bool m_bShown = false;
};
