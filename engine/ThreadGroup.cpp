#include "ThreadGroup.h"
#include "BaseThread.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"

CThreadGroup g_threadGroup;

void CThreadGroup::Add(CBaseThread* thread)
{
    CLock lock(m_lock);
    if (m_nThreads < kMaxThreads)
        m_threads[m_nThreads++] = thread;
}

void CThreadGroup::Remove(CBaseThread* thread)
{
    CLock lock(m_lock);
    for (int i = 0; i < m_nThreads; ++i) {
        if (m_threads[i] == thread) {
            m_threads[i] = m_threads[--m_nThreads];
            m_threads[m_nThreads] = nullptr;
            break;
        }
    }
}

void CThreadGroup::StopAll()
{
    CLock lock(m_lock);
    if (m_nThreads > 0) {
        HANDLE handles[kMaxThreads];
        for (int i = 0; i < m_nThreads; ++i) {
            m_threads[i]->Stop();
            handles[i] = m_threads[i]->m_hThread;
        }
        if (::WaitForMultipleObjects(m_nThreads, handles, TRUE, 40000) == WAIT_TIMEOUT)
            AfxMessageBox(IDS_THREAD_END_ERROR, MB_OK);
    }
}
