#include "WinThread.h"
#include "WinApp.h"
#include "Wnd.h"

CWinThread::CWinThread()
    : m_hMainWnd(AfxGetMainWndHandle())
{
}

CWinThread::~CWinThread()
{
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

bool CWinThread::CreateThread(DWORD createFlags, UINT stackSize)
{
    m_hThread = ::CreateThread(nullptr, stackSize, ThreadProc, this,
                               createFlags, &m_nThreadID);
    return m_hThread != nullptr;
}

DWORD WINAPI CWinThread::ThreadProc(void* param)
{
    auto* thread = static_cast<CWinThread*>(param);
    int code = 0;
    // Nothing may unwind out of a thread procedure.
    CallGuarded([&] { thread->InitInstance(); });
    CallGuarded([&] { code = thread->ExitInstance(); });
    if (thread->m_bAutoDelete)
        delete thread;
    return static_cast<DWORD>(code);
}
