// The list-file type registered for the shell, and lists opened from the
// shell or by a second start of the program reaching the one that runs,
// which alone writes the settings; the program itself is started as other
// processes.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>
#include "AppUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include <cstring>
#include <map>

using namespace test;

using test::Ansi;

namespace {

// Window enumeration callbacks: the platform calls them with its own
// calling convention, which a lambda does not have on 32-bit Windows.
// lp: a map from process id to that process's visible main window.
BOOL CALLBACK CollectOtherFrame(HWND w, LPARAM lp)
{
    char cls[32] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid != ::GetCurrentProcessId() && ::lstrcmpA(cls, "KestrinFrame") == 0 && ::IsWindowVisible(w))
        (*reinterpret_cast<std::map<DWORD, HWND>*>(lp))[pid] = w;
    return TRUE;
}

// lp: a process id and the visible dialog of that process, when found.
BOOL CALLBACK FindDialogOfProcess(HWND w, LPARAM lp)
{
    char cls[16] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(lp);
    if (pid == found->first && ::lstrcmpA(cls, "#32770") == 0 && ::IsWindowVisible(w)) {
        found->second = w;
        return FALSE;
    }
    return TRUE;
}

// The program itself, built beside the tests.
std::string KestrinExe()
{
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir.erase(dir.find_last_of('\\'));      // ...\tests
    dir.erase(dir.find_last_of('\\') + 1);  // the build folder
    return dir + "Kestrin.exe";
}

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

Process Launch(const std::vector<std::string>& args, const std::string& dir)
{
    std::string line = "\"" + KestrinExe() + "\"";
    for (const std::string& a : args)
        line += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process p;
    if (::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
        ::CloseHandle(pi.hThread);
        p.handle = pi.hProcess;
        p.id = pi.dwProcessId;
    }
    return p;
}

// The visible main windows of other processes, by process id.
std::map<DWORD, HWND> OtherFrames()
{
    std::map<DWORD, HWND> frames;
    ::EnumWindows(CollectOtherFrame, reinterpret_cast<LPARAM>(&frames));
    return frames;
}

HWND WaitForFrame(DWORD pid)
{
    HWND found = nullptr;
    test::PumpUntil([&] {
        auto frames = OtherFrames();
        auto it = pid ? frames.find(pid) : frames.begin();
        found = it != frames.end() ? it->second : nullptr;
        return found != nullptr;
    }, 30000);
    return found;
}

// The URL column of the list in another process's main window, read
// through memory lent in that process.
std::vector<std::string> RemoteUrls(HWND frame)
{
    std::vector<std::string> urls;
    HWND list = ::GetDlgItem(frame, AFX_IDW_PANE_FIRST);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(frame, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!list || !process)
        return {"(no list)"};
    const size_t textSize = 4096;
    char* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + textSize,
                                                       MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMA item{};
        item.iSubItem = 0;
        item.pszText = remote + sizeof(LVITEMA);
        item.cchTextMax = static_cast<int>(textSize);
        SIZE_T done = 0;
        ::WriteProcessMemory(process, remote, &item, sizeof item, &done);
        ::SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(remote));
        char text[4096] = "";
        ::ReadProcessMemory(process, remote + sizeof(LVITEMA), text, textSize - 1, &done);
        urls.push_back(text);
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return urls;
}

bool WaitForExit(const Process& p, DWORD ms, DWORD* code = nullptr)
{
    bool ended = false;
    test::PumpUntil([&] { return ended = ::WaitForSingleObject(p.handle, 0) == WAIT_OBJECT_0; }, ms);
    if (ended && code)
        ::GetExitCodeProcess(p.handle, code);
    return ended;
}

void EndProcess(Process& p)
{
    if (!p.handle)
        return;
    if (::WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
        ::TerminateProcess(p.handle, 1);
    ::CloseHandle(p.handle);
    p.handle = nullptr;
}

} // namespace

TEST_CASE("the list-file type is registered for the user")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    test::CloseApp();
    char value[MAX_PATH * 2] = "";
    LONG size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, "Software\\Classes\\.kst", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kestrin.Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, "Software\\Classes\\Kestrin.Document", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kstrn Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER,
        "Software\\Classes\\Kestrin.Document\\shell\\open\\command", value, &size), 0L);
    char exe[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    // The shell starts the program (when none runs) and hands it the file
    // by dynamic data exchange.
    CHECK_EQ(std::string(value), "\"" + std::string(exe) + "\" /dde");
    struct {
        const char* key;
        const char* value;
    } dde[] = {
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec", "[open(\"%1\")]"},
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec\\application", "Kestrin"},
        {"Software\\Classes\\Kestrin.Document\\shell\\open\\ddeexec\\topic", "System"},
    };
    for (const auto& d : dde) {
        size = sizeof value;
        CHECK_EQ(::RegQueryValueA(HKEY_CURRENT_USER, d.key, value, &size), 0L);
        CHECK_EQ(std::string(value), std::string(d.value));
    }
    // The shell reads the classes through HKEY_CLASSES_ROOT: the type must
    // resolve there too, merged in (Windows) or written there (Wine).
    for (const auto& d : dde) {
        size = sizeof value;
        CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, d.key + std::strlen("Software\\Classes\\"), value, &size), 0L);
        CHECK_EQ(std::string(value), std::string(d.value));
    }
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, ".kst", value, &size), 0L);
    CHECK_EQ(std::string(value), std::string("Kestrin.Document"));
    size = sizeof value;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, "Kestrin.Document\\shell\\open\\command", value, &size), 0L);
    CHECK_EQ(std::string(value), "\"" + std::string(exe) + "\" /dde");
}

TEST_CASE("a list opened while Kestrin runs goes to the running one, which alone writes settings")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string first = dir.File("first.kst");
    const std::string second = dir.File(Ansi("二番目の一覧.kst"));
    REQUIRE(test::WriteFileBytes(first, "http://h/a1\r\n"));
    REQUIRE(test::WriteFileBytes(second, "http://h/b1\r\nhttp://h/" + Ansi("表") + "\r\n"));
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    REQUIRE(test::FileExists(KestrinExe()));
    REQUIRE(OtherFrames().empty());

    Process running = Launch({first}, dir.Path());
    REQUIRE(running.handle != nullptr);
    HWND frame = WaitForFrame(running.id);
    REQUIRE(frame != nullptr);
    CHECK(RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"});

    // Nothing is written while it runs; the second process writes nothing.
    const RegValues before = Registry();
    Process other = Launch({second}, dir.Path());
    REQUIRE(other.handle != nullptr);
    DWORD code = 99;
    CHECK(WaitForExit(other, 20000, &code));
    CHECK_EQ(code, 0ul);
    const std::vector<std::string> expected = {"http://h/b1", "http://h/" + Ansi("表")};
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == expected; }, 10000));
    CHECK(Registry() == before);
    CHECK_EQ(OtherFrames().size(), 1u);

    // A relative name is taken from where the second process was started.
    Process relative = Launch({"first.kst"}, dir.Path());
    CHECK(WaitForExit(relative, 20000));
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"}; }, 10000));
    CHECK(Registry() == before);

    // While a modal dialog is up there, the list waits until it is closed.
    ::PostMessageA(frame, WM_COMMAND, ID_APP_ABOUT, 0);
    std::pair<DWORD, HWND> search(running.id, nullptr);
    test::PumpUntil([&] {
        ::EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
        return search.second != nullptr;
    }, 10000);
    HWND about = search.second;
    REQUIRE(about != nullptr);
    Process waiting = Launch({second}, dir.Path());
    CHECK(WaitForExit(waiting, 20000));
    test::Pump(1500);
    CHECK(RemoteUrls(frame) == std::vector<std::string>{"http://h/a1"});
    ::PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == expected; }, 10000));
    EndProcess(waiting);

    // The running one writes its settings when it closes.
    DWORD width = 0;
    CHECK(!test::ReadRegDWord("Settings", "WidthWindow", width));
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(running, 30000));
    CHECK(test::ReadRegDWord("Settings", "WidthWindow", width));
    CHECK_EQ(width, 600ul);
    EndProcess(other);
    EndProcess(relative);
    EndProcess(running);
}

TEST_CASE("shell open as registered: a new instance when none runs, the running one after that")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string first = dir.File("shell-first.kst");
    const std::string second = dir.File(Ansi("シェル.kst"));
    REQUIRE(test::WriteFileBytes(first, "http://h/s1\r\n"));
    REQUIRE(test::WriteFileBytes(second, "http://h/s2\r\nhttp://h/s3\r\n"));
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    // Let the program register itself as the list files' handler.
    Process registrar = Launch({}, dir.Path());
    HWND frame = WaitForFrame(registrar.id);
    REQUIRE(frame != nullptr);
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(registrar, 30000));
    EndProcess(registrar);
    REQUIRE(OtherFrames().empty());

    // The shell itself opens the files, as a double click or `start`
    // does: it reads the type from HKEY_CLASSES_ROOT, tries the command by
    // dynamic data exchange and, when nobody answers, starts the program
    // with the open command and sends the command again.
    char command[MAX_PATH * 2] = "";
    LONG size = sizeof command;
    CHECK_EQ(::RegQueryValueA(HKEY_CLASSES_ROOT, "Kestrin.Document\\shell\\open\\command", command, &size), 0L);
    CHECK_EQ(std::string(command), "\"" + KestrinExe() + "\" /dde");
    auto shellOpen = [](const std::string& path) {
        const auto result = reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
    };
    CHECK(shellOpen(first));
    frame = WaitForFrame(0);
    REQUIRE(frame != nullptr);
    CHECK(test::PumpUntil([&] { return RemoteUrls(frame) == std::vector<std::string>{"http://h/s1"}; }, 15000));

    CHECK(shellOpen(second));
    CHECK(test::PumpUntil([&] {
        return RemoteUrls(frame) == (std::vector<std::string>{"http://h/s2", "http://h/s3"});
    }, 15000));
    CHECK_EQ(OtherFrames().size(), 1u);

    DWORD pid = 0;
    ::GetWindowThreadProcessId(frame, &pid);
    Process shown{::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid), pid};
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(shown, 30000));
    EndProcess(shown);
}
