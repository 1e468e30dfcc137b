#pragma once
#include "BaseThread.h"

// A worker that waits for one command at a time and runs it. At most one
// command is pending; a second one is refused, not queued.
class CWorkThread : public CBaseThread {
public:
    explicit CWorkThread(ThreadMessageReceiver* receiver);
    ~CWorkThread() override = default;

    BOOL PostCommand(int code, int p1, int p2, INT_PTR p3) override;
    // The command loop.
    BOOL InitInstance() override;

protected:
    // Waits for the next command; FALSE for a stop or CMD_QUIT.
    BOOL WaitCommand(ThreadMessage& command);
    // True while a command waits to be taken.
    bool IsCommandPending() const;

    ThreadMessage m_command{};
    CHandle m_hCommandEvent;
    // Set with the command event, cleared after it; read without a wait.
    mutable volatile LONG m_nCommandPending = 0;
};
