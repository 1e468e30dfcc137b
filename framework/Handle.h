#pragma once
#include <windows.h>

// A kernel handle (file, event, thread) closed with its object. Both null
// and INVALID_HANDLE_VALUE mean "none".
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    // Takes `h` in place of the handle held (which is closed).
    void Reset(HANDLE h = nullptr)
    {
        Close();
        m_h = h;
    }
    // Closes the handle now; false when the system refused.
    bool Close()
    {
        const bool ok = !IsValid() || ::CloseHandle(m_h);
        m_h = nullptr;
        return ok;
    }

private:
    HANDLE m_h = nullptr;
};
