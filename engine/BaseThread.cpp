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
    ::InitializeCriticalSection(&m_queueLock);
    ++m_pReceiver->m_nRef;
}

CBaseThread::~CBaseThread()
{
    if (--m_pReceiver->m_nRef == 0)
        m_pReceiver->OnReleased();
    ::CloseHandle(m_hStopEvent);
    ::CloseHandle(m_hRoomEvent);
    ::DeleteCriticalSection(&m_queueLock);
}

void CBaseThread::Stop()
{
    RequestStop();
}

void CBaseThread::RequestStop()
{
    ::InterlockedExchange(&m_nStopping, 1);
    ::SetEvent(m_hStopEvent);
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
        ::ResetEvent(m_hRoomEvent);     // full
    return index;
}

void CBaseThread::PostToReceiver(int type, int p1, int p2, INT_PTR p3)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        ::EnterCriticalSection(&m_queueLock);
        if (!IsFull()) {
            const int index = WriteSlot(type, p1, p2, p3);
            ::LeaveCriticalSection(&m_queueLock);
            ::PostMessageA(GetMainWnd(), WM_THREADMESSAGE, index, reinterpret_cast<LPARAM>(this));
            return;
        }
        ::LeaveCriticalSection(&m_queueLock);
        // Full: wait for the receiver to take one.
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kPostWaitMs ||
            ::WaitForSingleObject(m_hRoomEvent, kPostWaitMs - waited) != WAIT_OBJECT_0)
            return;
    }
}

BOOL CBaseThread::TryPostToReceiver(int type, int p1, int p2, INT_PTR p3)
{
    ::EnterCriticalSection(&m_queueLock);
    if (!IsEmpty()) {
        ::LeaveCriticalSection(&m_queueLock);
        return FALSE;
    }
    const int index = WriteSlot(type, p1, p2, p3);
    ::LeaveCriticalSection(&m_queueLock);
    ::PostMessageA(GetMainWnd(), WM_THREADMESSAGE, index, reinterpret_cast<LPARAM>(this));
    return TRUE;
}

void CBaseThread::DeliverNext()
{
    ::EnterCriticalSection(&m_queueLock);
    const ThreadMessage msg = m_queue[m_nRead];
    ::LeaveCriticalSection(&m_queueLock);

    if (msg.type != MSG_THREAD_ENDED) {
        m_pReceiver->OnThreadMessage(msg.type, msg.p1, msg.p2, msg.p3, this);
        ::EnterCriticalSection(&m_queueLock);
        m_queue[m_nRead].type = -1;
        const bool wasFull = m_nWrite == m_nRead;
        m_nRead = (m_nRead + 1) % kQueueSize;
        if (wasFull)
            ::SetEvent(m_hRoomEvent);
        ::LeaveCriticalSection(&m_queueLock);
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
