#include "TestUtil.h"
#include "Test.h"
#include <cstring>
#include <shellapi.h>
#include <shlwapi.h>
#include "app/KestrinApp.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/MessageBox.h"
#include "framework/Wnd.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

namespace test {

std::string Ansi(const char* utf8)
{
    const int wn = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(wn, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], wn);
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms, bool eachMessage)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > ms)
            return done();
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            if (!theApp.PreTranslateMessage(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
            if (eachMessage && done())
                return true;
        }
        theApp.OnIdle(0);
        if (done())
            break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void Pump(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

namespace {
const char kAppKey[] = "Software\\Halvane\\Kestrin\\";
}

void ResetRegistry()
{
    ::SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Halvane");
}

bool ReadRegDWord(const char* section, const char* name, DWORD& value)
{
    DWORD size = sizeof value, type = 0;
    return ::SHGetValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + section).c_str(), name,
                         &type, &value, &size) == ERROR_SUCCESS && type == REG_DWORD;
}

bool ReadRegString(const char* section, const char* name, std::string& value)
{
    char buf[1024] = "";
    DWORD size = sizeof buf, type = 0;
    if (::SHGetValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + section).c_str(), name,
                      &type, buf, &size) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    value = buf;
    return true;
}

void WriteRegDWord(const char* section, const char* name, DWORD value)
{
    ::SHSetValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + section).c_str(), name,
                  REG_DWORD, &value, sizeof value);
}

void WriteRegString(const char* section, const char* name, const std::string& value)
{
    ::SHSetValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + section).c_str(), name,
                  REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void LoadTestSettings()
{
    theApp.m_strAppName = AfxLoadString(AFX_IDS_APP_TITLE);
    theApp.SetRegistryKey(IDS_COMPANY);
    theApp.LoadSettings(g_settings);
}

bool StartApp(const std::vector<std::string>& args)
{
    theApp.m_args = args;
    theApp.m_nCmdShow = SW_SHOWNORMAL;
    const BOOL ok = theApp.InitInstance();
    if (!ok && theApp.m_pMainWnd)
        theApp.m_pMainWnd->DestroyWindow();
    return ok != FALSE;
}

int CloseApp()
{
    if (HWND main = AfxGetMainWndHandle()) {
        // As a user who answers No to the save question: the list goes.
        if (CKestrinDoc* doc = CKestrinDoc::GetDoc())
            doc->SetModifiedFlag(false);
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 60000);
    }
    // Leave the WM_QUIT of the closed frame behind.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return theApp.ExitInstance();
}

// ---- message boxes

MessageBoxWatcher::MessageBoxWatcher()
{
    ::InitializeCriticalSection(&m_lock);
    m_hStop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hThread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher()
{
    ::SetEvent(m_hStop);
    ::WaitForSingleObject(m_hThread, 5000);
    ::CloseHandle(m_hThread);
    ::CloseHandle(m_hStop);
    ::DeleteCriticalSection(&m_lock);
}

std::vector<std::string> MessageBoxWatcher::Texts()
{
    ::EnterCriticalSection(&m_lock);
    std::vector<std::string> texts = m_texts;
    ::LeaveCriticalSection(&m_lock);
    return texts;
}

namespace {

struct Found {
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    // A message box is a dialog with the static text 0xFFFF, and not one
    // of the program's own dialogs (whose labels may have that id too).
    if (pid == ::GetCurrentProcessId() && ::lstrcmpA(cls, "#32770") == 0 &&
        ::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, 0xFFFF) && !CWnd::FromHandle(hwnd)) {
        reinterpret_cast<Found*>(lp)->box = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

DWORD WINAPI MessageBoxWatcher::Run(void* self)
{
    auto* w = static_cast<MessageBoxWatcher*>(self);
    while (::WaitForSingleObject(w->m_hStop, 50) == WAIT_TIMEOUT) {
        Found found;
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
        if (!found.box)
            continue;
        char text[1024] = "";
        ::GetDlgItemTextA(found.box, 0xFFFF, text, sizeof text);
        ::EnterCriticalSection(&w->m_lock);
        w->m_texts.push_back(text);
        ::LeaveCriticalSection(&w->m_lock);
        // Press the default button (OK, Yes...) as a user pressing Enter would.
        const LRESULT def = ::SendMessageA(found.box, DM_GETDEFID, 0, 0);
        const WORD id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
        ::PostMessageA(found.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        ::Sleep(200);
    }
    return 0;
}

// ---- files

TempDir::TempDir()
{
    char base[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        m_path = std::string(base) + "kestrin-test-" + std::to_string(::GetCurrentProcessId()) +
                 "-" + std::to_string(++counter);
        if (::CreateDirectoryA(m_path.c_str(), nullptr))
            break;
    }
}

TempDir::~TempDir()
{
    std::string from = m_path;
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationA(&op);
}

void SelectRows(const std::vector<int>& rows)
{
    CListCtrl list = CKestrinDoc::GetDoc()->GetListView()->GetListCtrl();
    for (int i = 0; i < list.GetItemCount(); ++i)
        list.SetItemState(i, 0, LVIS_SELECTED);
    for (int row : rows)
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

bool WriteFileBytes(const std::string& path, const std::string& data)
{
    HANDLE f = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD n = 0;
    const bool ok = data.empty() || ::WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    ::CloseHandle(f);
    return ok && n == data.size();
}

bool ReadFileBytes(const std::string& path, std::string& data)
{
    HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    const DWORD size = ::GetFileSize(f, nullptr);
    data.assign(size, '\0');
    DWORD n = 0;
    const bool ok = size == 0 || ::ReadFile(f, &data[0], size, &n, nullptr);
    ::CloseHandle(f);
    return ok && n == size;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace test

namespace test {

void Command(UINT id)
{
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, id, 0);
}

std::vector<std::string> ListedUrls()
{
    std::vector<std::string> urls;
    const CKestrinDoc* doc = CKestrinDoc::GetDoc();
    for (int i = 0; doc && i < doc->GetItemCount(); ++i)
        urls.push_back(doc->GetItem(i)->m_strURL);
    return urls;
}

namespace {

void PutBytesOnClipboard(UINT format, const void* data, size_t size)
{
    REQUIRE(::OpenClipboard(AfxGetMainWndHandle()));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(::GlobalLock(block), data, size);
    ::GlobalUnlock(block);
    ::SetClipboardData(format, block);
    ::CloseClipboard();
}

} // namespace

void PutTextOnClipboard(const std::wstring& text)
{
    PutBytesOnClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void PutTextOnClipboard(const std::string& text)
{
    PutBytesOnClipboard(CF_TEXT, text.c_str(), text.size() + 1);
}

bool HeapsValid()
{
    HANDLE heaps[64];
    const DWORD n = ::GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < n && i < 64; ++i)
        if (!::HeapValidate(heaps[i], 0, nullptr))
            return false;
    return true;
}

} // namespace test
