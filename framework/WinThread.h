#pragma once
#include <windows.h>

// A thread of the program. Its body is InitInstance; ExitInstance runs
// after it, and its result is the thread's exit code. (No thread of this
// program runs a message loop.)
// The object deletes itself after the thread ends unless m_bAutoDelete
// is cleared.
class CWinThread {
public:
    CWinThread();
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Creates the thread (CREATE_SUSPENDED to start it later).
    bool CreateThread(DWORD createFlags = 0, UINT stackSize = 0);
    DWORD ResumeThread() const { return ::ResumeThread(m_hThread); }
    BOOL SetThreadPriority(int priority) const { return ::SetThreadPriority(m_hThread, priority); }
    // The window this thread reports to: the program's main window when
    // the thread object was made.
    HWND GetMainWnd() const { return m_hMainWnd; }

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    bool m_bAutoDelete = true;
    HWND m_hMainWnd;

private:
    static DWORD WINAPI ThreadProc(void* param);
};
