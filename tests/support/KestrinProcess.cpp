#include "KestrinProcess.h"
#include <commctrl.h>
#include "TestUtil.h"

namespace test {

namespace {

// The list view's id in the main window (the framework's first pane).
const int kListId = 59648;

struct FrameSearch {
    DWORD pid;
    HWND found;
};

// Window enumeration callbacks: the platform calls them with its own
// calling convention, which a lambda does not have on 32-bit Windows.
BOOL CALLBACK FindFrame(HWND w, LPARAM lp)
{
    auto* search = reinterpret_cast<FrameSearch*>(lp);
    char cls[32] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == search->pid && ::lstrcmpA(cls, "KestrinFrame") == 0 && ::IsWindowVisible(w)) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

// A message box: a system dialog with the text control 0xFFFF.
BOOL CALLBACK FindMessageBox(HWND w, LPARAM lp)
{
    auto* search = reinterpret_cast<FrameSearch*>(lp);
    char cls[16] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == search->pid && ::lstrcmpA(cls, "#32770") == 0 && ::IsWindowVisible(w) &&
        ::GetDlgItem(w, 0xFFFF) != nullptr) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

KestrinProcess::~KestrinProcess()
{
    Kill();
}

std::string KestrinProcess::ExePath()
{
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir.erase(dir.find_last_of('\\'));      // ...\tests or ...\bench
    dir.erase(dir.find_last_of('\\') + 1);  // the build folder
    return dir + "Kestrin.exe";
}

bool KestrinProcess::Start(const std::vector<std::string>& args, const std::string& dir, DWORD ms)
{
    Kill();
    std::string line = "\"" + ExePath() + "\"";
    for (const std::string& a : args)
        line += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_nId = pi.dwProcessId;
    FrameSearch search{m_nId, nullptr};
    PumpUntil([&] {
        ::EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr || !IsRunning();
    }, ms);
    m_hFrame = search.found;
    return m_hFrame != nullptr;
}

bool KestrinProcess::IsRunning() const
{
    return m_hProcess && ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

void KestrinProcess::Command(UINT id) const
{
    ::PostMessageA(m_hFrame, WM_COMMAND, id, 0);
}

void KestrinProcess::Close() const
{
    ::PostMessageA(m_hFrame, WM_CLOSE, 0, 0);
}

std::string KestrinProcess::Caption() const
{
    char text[512] = "";
    DWORD_PTR n = 0;
    if (!::SendMessageTimeoutA(m_hFrame, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                               SMTO_NORMAL, 10000, &n))
        return std::string();
    return text;
}

int KestrinProcess::RowCount(DWORD ms) const
{
    HWND list = ::GetDlgItem(m_hFrame, kListId);
    DWORD_PTR n = 0;
    if (!list || !::SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, ms, &n))
        return -1;
    return static_cast<int>(n);
}

std::vector<std::string> KestrinProcess::Column(int column) const
{
    std::vector<std::string> texts;
    HWND list = ::GetDlgItem(m_hFrame, kListId);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, m_nId);
    if (!list || !process)
        return texts;
    const size_t textSize = 4096;
    char* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + textSize,
                                                       MEM_COMMIT, PAGE_READWRITE));
    const int count = RowCount();
    for (int i = 0; remote && i < count; ++i) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = remote + sizeof(LVITEMA);
        item.cchTextMax = static_cast<int>(textSize);
        SIZE_T done = 0;
        ::WriteProcessMemory(process, remote, &item, sizeof item, &done);
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL,
                              10000, &result);
        char text[4096] = "";
        ::ReadProcessMemory(process, remote + sizeof(LVITEMA), text, textSize - 1, &done);
        texts.push_back(text);
    }
    if (remote)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return texts;
}

HWND KestrinProcess::ShownMessageBox() const
{
    FrameSearch search{m_nId, nullptr};
    ::EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool KestrinProcess::WaitForExit(DWORD ms, DWORD* code)
{
    if (!m_hProcess)
        return true;
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD waited = ::GetTickCount() - start;
        const DWORD left = waited >= ms ? 0 : ms - waited;
        // Messages of this thread's own windows, if it has any, are handled meanwhile.
        const DWORD r = ::MsgWaitForMultipleObjects(1, &m_hProcess, FALSE, left < 20 ? left : 20, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            if (code)
                ::GetExitCodeProcess(m_hProcess, code);
            return true;
        }
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (left == 0)
            return false;
    }
}

void KestrinProcess::Kill()
{
    if (!m_hProcess)
        return;
    if (IsRunning()) {
        ::TerminateProcess(m_hProcess, 1);
        ::WaitForSingleObject(m_hProcess, 10000);
    }
    ::CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_nId = 0;
    m_hFrame = nullptr;
}

} // namespace test
