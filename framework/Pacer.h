#pragma once
#include <windows.h>

// Keeps a window from showing something more often than once an interval.
// Asked again within the interval, it arms a window timer for the
// interval's end (once) instead, so that the last state is shown all the
// same; the window's WM_TIMER for TimerId() then shows it.
class CPacer {
public:
    CPacer(UINT_PTR timerId, DWORD intervalMs) : m_nTimerId(timerId), m_nIntervalMs(intervalMs) {}

    UINT_PTR TimerId() const { return m_nTimerId; }
    // True: show it now (and call Shown). False: the timer will ask for it.
    bool Due(HWND wnd)
    {
        if (m_bPending)
            return false;
        const DWORD since = ::GetTickCount() - m_dwLastShown;
        if (!m_bShownOnce || since >= m_nIntervalMs)
            return true;
        m_bPending = ::SetTimer(wnd, m_nTimerId, m_nIntervalMs - since, nullptr) != 0;
        return !m_bPending;
    }
    void Shown(HWND wnd)
    {
        Stop(wnd);
        m_bShownOnce = true;
        m_dwLastShown = ::GetTickCount();
    }
    void Stop(HWND wnd)
    {
        if (m_bPending) {
            ::KillTimer(wnd, m_nTimerId);
            m_bPending = false;
        }
    }

private:
    const UINT_PTR m_nTimerId;
    const DWORD m_nIntervalMs;
    DWORD m_dwLastShown = 0;
    bool m_bShownOnce = false;
    bool m_bPending = false;
};
