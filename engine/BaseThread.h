#pragma once
#include "../framework/CriticalSection.h"
#include "../framework/Handle.h"
#include "../framework/WinThread.h"
#include "ThreadMessage.h"

// A worker thread that reports to one receiver through a queue of eight
// messages, each announced to the main window by WM_THREADMESSAGE and
// delivered on the user-interface thread by DeliverNext. The object
// outlives its thread and is deleted when its last message is delivered.
class CBaseThread : public CWinThread {
public:
    explicit CBaseThread(ThreadMessageReceiver* receiver);
    ~CBaseThread() override;

    // Runs one command on the worker thread.
    virtual void Execute(int code, int p1, int p2, INT_PTR p3) = 0;
    // Hands one command to the worker; FALSE when it is refused.
    virtual BOOL PostCommand(int code, int p1, int p2, INT_PTR p3) = 0;
    // Asks the worker to stop.
    virtual void Stop();
    // Asks the worker to leave its loop after the current command.
    virtual void Quit();

    int ExitInstance() override;
    // True once the worker is asked to stop or has left its loop.
    bool IsStopping() const { return ::InterlockedCompareExchange(&m_nStopping, 0, 0) != 0; }

    // Worker thread: queues a message, waiting up to 30 s for room; a
    // message that finds no room by then is dropped.
    void PostToReceiver(int type, int p1, int p2, INT_PTR p3);
    // Worker thread: queues a message only if the queue is empty.
    BOOL TryPostToReceiver(int type, int p1, int p2, INT_PTR p3);
    // User-interface thread: delivers the oldest queued message. After
    // MSG_THREAD_ENDED the object is deleted.
    void DeliverNext();

    static constexpr int kQueueSize = 8;

protected:
    // Sets the stop event; IsStopping reads the flag set with it, which
    // costs no system call.
    void RequestStop();

    CHandle m_hStopEvent;
    CHandle m_hRoomEvent;
    int m_nWrite = 0;
    int m_nRead = 0;
    ThreadMessage m_queue[kQueueSize];
    ThreadMessageReceiver* m_pReceiver;

private:
    // Writes a slot and posts its announcement; the caller holds the lock.
    int WriteSlot(int type, int p1, int p2, INT_PTR p3);
    // The caller holds the lock. A slot is free until its message is
    // written and again once it has been delivered.
    bool IsEmpty() const { return m_nWrite == m_nRead && m_queue[m_nRead].type == -1; }
    bool IsFull() const { return m_nWrite == m_nRead && m_queue[m_nRead].type != -1; }

    static constexpr DWORD kPostWaitMs = 30000;

    // Makes each side's index test and room-event change one step.
    CCriticalSection m_queueLock;
    mutable volatile LONG m_nStopping = 0;

    friend class CThreadGroup;
};

// Starts a worker: registered in g_threadGroup, normal priority. When the
// thread cannot be created the user is told, the object is deleted and
// the result is false.
bool StartThread(CBaseThread* thread);
