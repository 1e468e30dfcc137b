#include "ThreadGroup.h"
#include "BaseThread.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"

CThreadGroup g_threadGroup;

CThreadGroup::CThreadGroup()
{
    ::InitializeCriticalSection(&m_lock);
}

CThreadGroup::~CThreadGroup()
{
    ::DeleteCriticalSection(&m_lock);
}

void CThreadGroup::Add(CBaseThread* thread)
{
    ::EnterCriticalSection(&m_lock);
    if (m_nThreads < kMaxThreads)
        m_threads[m_nThreads++] = thread;
    ::LeaveCriticalSection(&m_lock);
}

void CThreadGroup::Remove(CBaseThread* thread)
{
    ::EnterCriticalSection(&m_lock);
    for (int i = 0; i < m_nThreads; ++i) {
        if (m_threads[i] == thread) {
            m_threads[i] = m_threads[--m_nThreads];
            m_threads[m_nThreads] = nullptr;
            break;
        }
    }
    ::LeaveCriticalSection(&m_lock);
}

void CThreadGroup::StopAll()
{
    ::EnterCriticalSection(&m_lock);
    if (m_nThreads > 0) {
        HANDLE handles[kMaxThreads];
        for (int i = 0; i < m_nThreads; ++i) {
            m_threads[i]->Stop();
            handles[i] = m_threads[i]->m_hThread;
        }
        if (::WaitForMultipleObjects(m_nThreads, handles, TRUE, 40000) == WAIT_TIMEOUT)
            AfxMessageBox(IDS_THREAD_END_ERROR, MB_OK);
    }
    ::LeaveCriticalSection(&m_lock);
}
