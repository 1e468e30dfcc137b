#include "WorkThread.h"

CWorkThread::CWorkThread(ThreadMessageReceiver* receiver)
    : CBaseThread(receiver), m_hCommandEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CWorkThread::~CWorkThread()
{
    ::CloseHandle(m_hCommandEvent);
}

bool CWorkThread::IsCommandPending() const
{
    return ::WaitForSingleObject(m_hCommandEvent, 0) == WAIT_OBJECT_0;
}

BOOL CWorkThread::PostCommand(int code, int p1, int p2, INT_PTR p3)
{
    if (::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0 || IsCommandPending())
        return FALSE;
    m_command = {code, p1, p2, p3};
    ::SetEvent(m_hCommandEvent);
    return TRUE;
}

BOOL CWorkThread::WaitCommand(ThreadMessage& command)
{
    const HANDLE events[2] = {m_hCommandEvent, m_hStopEvent};
    ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    // A stop wins over a command that came with it.
    if (::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0)
        return FALSE;
    command = m_command;
    ::ResetEvent(m_hCommandEvent);
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
