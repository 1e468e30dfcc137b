#pragma once
#include <windows.h>
#include "../framework/CriticalSection.h"

class CBaseThread;

// The running workers, so that the main window can stop them all before
// the program closes.
class CThreadGroup {
public:
    CThreadGroup() = default;
    virtual ~CThreadGroup() = default;
    CThreadGroup(const CThreadGroup&) = delete;
    CThreadGroup& operator=(const CThreadGroup&) = delete;

    void Add(CBaseThread* thread);
    void Remove(CBaseThread* thread);
    bool IsEmpty() const { return m_nThreads == 0; }
    // Stops every worker and waits up to 40 s for all of them to end. The
    // objects go when their last messages are delivered afterwards.
    void StopAll();

    static constexpr int kMaxThreads = 20;

private:
    CCriticalSection m_lock;
    CBaseThread* m_threads[kMaxThreads] = {};
    int m_nThreads = 0;
};

extern CThreadGroup g_threadGroup;
