#pragma once
// The real program in a process of its own, driven from outside as a user
// or the system would: started with arguments, its main window found,
// commands posted to it, its list read through its window, and the
// process ended by a close, or killed as a crash would end it.
#include <windows.h>
#include <string>
#include <vector>

namespace test {

class KestrinProcess {
public:
    KestrinProcess() = default;
    // Kills the process if it still runs.
    ~KestrinProcess();
    KestrinProcess(const KestrinProcess&) = delete;
    KestrinProcess& operator=(const KestrinProcess&) = delete;

    // Kestrin.exe of the build folder (the one above the test's own).
    static std::string ExePath();

    // Starts it with `args`, in `dir`, and waits up to `ms` for its main
    // window to show.
    bool Start(const std::vector<std::string>& args, const std::string& dir, DWORD ms = 30000);
    HWND Frame() const { return m_hFrame; }
    HANDLE Handle() const { return m_hProcess; }
    DWORD Id() const { return m_nId; }
    bool IsRunning() const;

    // Posts a command to the main window, as a menu choice would.
    void Command(UINT id) const;
    // Posts WM_CLOSE, as the window's close box does.
    void Close() const;
    // The main window's caption.
    std::string Caption() const;
    // How many rows the list has; -1 when its window did not answer
    // within `ms`.
    int RowCount(DWORD ms = 60000) const;
    // The text of column `column` of every row, read through memory lent
    // in the process.
    std::vector<std::string> Column(int column) const;
    // A message box the process shows, or null.
    HWND ShownMessageBox() const;

    // Waits up to `ms` for the process to end; its exit code in `code`.
    bool WaitForExit(DWORD ms, DWORD* code = nullptr);
    // Ends the process at once, as a crash or the task manager does.
    void Kill();

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_nId = 0;
    HWND m_hFrame = nullptr;
};

} // namespace test
