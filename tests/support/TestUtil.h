#pragma once
// Helpers for tests that drive the real program in its own process:
// starting and closing it, pumping messages, answering message boxes,
// temporary folders and Shift-JIS text.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace test {

// Converts UTF-8 (the tests' source text) to the ANSI code page.
std::string Ansi(const char* utf8);

// Runs the message loop until `done` is true or `ms` have passed;
// returns `done()`.
// With `eachMessage`, `done` is asked after every message, not only when
// the queue has run dry.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000, bool eachMessage = false);
void Pump(DWORD ms);

// Deletes the program's registry key (HKCU\Software\Halvane).
void ResetRegistry();
bool ReadRegDWord(const char* section, const char* name, DWORD& value);
bool ReadRegString(const char* section, const char* name, std::string& value);
void WriteRegDWord(const char* section, const char* name, DWORD value);
void WriteRegString(const char* section, const char* name, const std::string& value);

// Loads the shared strings and registry settings as start-up does.
void LoadTestSettings();

// Starts the program in this process (start-up with `args`), so that a
// test can drive its windows; Close runs the close (the list is given up
// unsaved, as a No to the save question does) and the exit.
bool StartApp(const std::vector<std::string>& args = {});
int CloseApp();

// Answers every message box of this process while it lives, with the
// default button, and remembers their texts.
class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    std::vector<std::string> Texts();

private:
    static DWORD WINAPI Run(void* self);
    HANDLE m_hThread;
    HANDLE m_hStop;
    CRITICAL_SECTION m_lock;
    std::vector<std::string> m_texts;
};

// A new empty folder under the temporary folder, deleted with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Sends command `id` to the main window, as a menu choice would.
void Command(UINT id);
// The URLs of the live document's items, in list order.
std::vector<std::string> ListedUrls();
// Puts `text` on the clipboard as its only format: CF_UNICODETEXT for wide
// text, CF_TEXT for ANSI text.
void PutTextOnClipboard(const std::wstring& text);
void PutTextOnClipboard(const std::string& text);

// Selects exactly `rows` of the program's list view.
void SelectRows(const std::vector<int>& rows);

bool WriteFileBytes(const std::string& path, const std::string& data);
bool ReadFileBytes(const std::string& path, std::string& data);
bool FileExists(const std::string& path);
// A file's size in bytes; -1 when there is no such file.
long long FileSize(const std::string& path);

// Whether every heap of this process is intact.
bool HeapsValid();

} // namespace test
