#pragma once
#include <windows.h>

class CBaseThread;

// Posted by a worker to the main window when it has queued a message:
// wParam is the queue slot, lParam the CBaseThread.
#define WM_THREADMESSAGE (WM_USER + 271)

// A message of a worker to its receiver, or a command to the worker.
struct ThreadMessage {
    int type;
    int p1;
    int p2;
    INT_PTR p3;   // wide enough for a pointer
};

enum {
    MSG_THREAD_ENDED = 1,   // the worker has left its command loop
    CMD_QUIT = 3,           // leave the command loop
};

// The user-interface object that a worker reports to. It counts the
// thread objects that hold it and hears when the last one is gone.
class ThreadMessageReceiver {
public:
    virtual void OnReleased() {}
    virtual ~ThreadMessageReceiver() = default;
    // One message of the worker, on the user-interface thread.
    virtual void OnThreadMessage(int type, int p1, int p2, int p3, CBaseThread* thread) = 0;
    // The worker has left its loop, on the user-interface thread.
    virtual void OnThreadEnded(CBaseThread* thread) { (void)thread; }

    int m_nRef = 0;
};

// Thrown inside a worker when it is to stop; ends its command loop.
struct ThreadException {
    int m_nCode;
};
