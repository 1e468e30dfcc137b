#include "WorkThread.h"

CWorkThread::CWorkThread(ThreadMessageReceiver* receiver)
    : CBaseThread(receiver), m_hCommandEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

bool CWorkThread::IsCommandPending() const
{
    return ::InterlockedCompareExchange(&m_nCommandPending, 0, 0) != 0;
}

BOOL CWorkThread::PostCommand(int code, int p1, int p2, INT_PTR p3)
{
    if (IsStopping() || IsCommandPending())
        return FALSE;
    m_command = {code, p1, p2, p3};
    ::InterlockedExchange(&m_nCommandPending, 1);
    ::SetEvent(m_hCommandEvent.Get());
    return TRUE;
}

BOOL CWorkThread::WaitCommand(ThreadMessage& command)
{
    const HANDLE events[2] = {m_hCommandEvent.Get(), m_hStopEvent.Get()};
    ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    // A stop wins over a command that came with it.
    if (IsStopping())
        return FALSE;
    command = m_command;
    // The event first: a command posted once the flag is down sets it again.
    ::ResetEvent(m_hCommandEvent.Get());
    ::InterlockedExchange(&m_nCommandPending, 0);
    return command.type != CMD_QUIT;
}

BOOL CWorkThread::InitInstance()
{
    try {
        ThreadMessage command;
        while (WaitCommand(command))
            Execute(command.type, command.p1, command.p2, command.p3);
    } catch (const ThreadException&) {
        // a stop request: leave quietly
    }
    return FALSE;
}
