#include "BaseThread.h"
#include "ThreadGroup.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"

CBaseThread::CBaseThread(ThreadMessageReceiver* receiver)
    : m_hStopEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hRoomEvent(::CreateEventA(nullptr, TRUE, TRUE, nullptr)),
      m_pReceiver(receiver)
{
    m_bAutoDelete = false;
    for (ThreadMessage& slot : m_queue)
        slot.type = -1;
    ++m_pReceiver->m_nRef;
}

CBaseThread::~CBaseThread()
{
    if (--m_pReceiver->m_nRef == 0)
        m_pReceiver->OnReleased();
}

void CBaseThread::Stop()
{
    RequestStop();
}

void CBaseThread::RequestStop()
{
    ::InterlockedExchange(&m_nStopping, 1);
    ::SetEvent(m_hStopEvent.Get());
}

void CBaseThread::Quit()
{
    PostCommand(CMD_QUIT, 0, 0, 0);
}

int CBaseThread::ExitInstance()
{
    RequestStop();
    PostToReceiver(MSG_THREAD_ENDED, 0, 0, 0);
    return 0;
}

int CBaseThread::WriteSlot(int type, int p1, int p2, INT_PTR p3)
{
    const int index = m_nWrite;
    m_queue[index] = {type, p1, p2, p3};
    m_nWrite = (m_nWrite + 1) % kQueueSize;
    if (m_nWrite == m_nRead)
        ::ResetEvent(m_hRoomEvent.Get());     // full
    return index;
}

void CBaseThread::PostToReceiver(int type, int p1, int p2, INT_PTR p3)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        int index = -1;
        {
            CLock lock(m_queueLock);
            if (!IsFull())
                index = WriteSlot(type, p1, p2, p3);
        }
        if (index >= 0) {
            ::PostMessageA(GetMainWnd(), WM_THREADMESSAGE, index, reinterpret_cast<LPARAM>(this));
            return;
        }
        // Full: wait for the receiver to take one.
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kPostWaitMs ||
            ::WaitForSingleObject(m_hRoomEvent.Get(), kPostWaitMs - waited) != WAIT_OBJECT_0)
            return;
    }
}

BOOL CBaseThread::TryPostToReceiver(int type, int p1, int p2, INT_PTR p3)
{
    int index;
    {
        CLock lock(m_queueLock);
        if (!IsEmpty())
            return FALSE;
        index = WriteSlot(type, p1, p2, p3);
    }
    ::PostMessageA(GetMainWnd(), WM_THREADMESSAGE, index, reinterpret_cast<LPARAM>(this));
    return TRUE;
}

void CBaseThread::DeliverNext()
{
    ThreadMessage msg;
    {
        CLock lock(m_queueLock);
        msg = m_queue[m_nRead];
    }

    if (msg.type != MSG_THREAD_ENDED) {
        m_pReceiver->OnThreadMessage(msg.type, msg.p1, msg.p2, msg.p3, this);
        CLock lock(m_queueLock);
        m_queue[m_nRead].type = -1;
        const bool wasFull = m_nWrite == m_nRead;
        m_nRead = (m_nRead + 1) % kQueueSize;
        if (wasFull)
            ::SetEvent(m_hRoomEvent.Get());
        return;
    }

    m_pReceiver->OnThreadEnded(this);
    if (::WaitForSingleObject(m_hThread, 1000) == WAIT_TIMEOUT)
        AfxMessageBox(IDS_THREAD_END_ERROR, MB_OK);
    g_threadGroup.Remove(this);
    delete this;
}

bool StartThread(CBaseThread* thread)
{
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        AfxMessageBox(IDS_THREAD_CREATE_FAILED, MB_OK);
        delete thread;
        return false;
    }
    g_threadGroup.Add(thread);
    thread->SetThreadPriority(THREAD_PRIORITY_NORMAL);
    thread->ResumeThread();
    return true;
}
