#include "WinApp.h"
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include "CmdUI.h"
#include "CommandLineInfo.h"
#include "DdeClient.h"
#include "DocTemplate.h"
#include "Document.h"
#include "FileDialog.h"
#include "FrameWnd.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include "RegKey.h"
#include "ShellFileType.h"

namespace {
CWinApp* g_app = nullptr;
const char kRecentSection[] = "Recent File List";
}

CWinApp::CWinApp()
    : m_hInstance(::GetModuleHandleA(nullptr))
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    delete m_pDocTemplate;
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HWND AfxGetMainWndHandle()
{
    CWnd* wnd = AfxGetMainWnd();
    return wnd ? wnd->m_hWnd : nullptr;
}

int CWinApp::ExitInstance()
{
    m_ddeServer.Stop();
    if (m_bStartedUp)
        SaveStdProfileSettings();
    m_bStartedUp = false;
    return 0;
}

bool CWinApp::PreTranslateMessage(MSG& msg)
{
    auto* frame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
    if (frame && frame->PreTranslateMessage(msg))
        return true;
    // Keyboard navigation in modeless dialogs and dialog bars.
    for (HWND w = msg.hwnd; w; w = ::GetParent(w)) {
        if (::GetClassWord(w, GCW_ATOM) == 0x8002 /* dialog */ &&
            ::IsDialogMessageA(w, &msg))
            return true;
        if (!(::GetWindowLongA(w, GWL_STYLE) & WS_CHILD))
            break;
    }
    return false;
}

bool CWinApp::OnIdle(long)
{
    return false;
}

int CWinApp::Run()
{
    MSG msg;
    long idleCount = 0;
    for (;;) {
        while (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                break;
        }
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (!PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        // Idle work follows input and paint, not every timer or thread report.
        if (msg.message != WM_TIMER && msg.message != WM_PAINT && msg.message < WM_USER)
            idleCount = 0;
    }
    return static_cast<int>(msg.wParam);
}

// ---- profile

void CWinApp::SetRegistryKey(UINT companyStringId)
{
    m_strRegistryKey = AfxLoadString(companyStringId);
}

std::string CWinApp::GetAppRegistryPath() const
{
    return "Software\\" + m_strRegistryKey + "\\" + m_strAppName;
}

int CWinApp::GetProfileInt(const char* section, const char* entry, int def) const
{
    CRegKey key;
    DWORD value;
    if (key.Open(HKEY_CURRENT_USER, (GetAppRegistryPath() + "\\" + section).c_str())
        && key.QueryDWord(entry, value))
        return static_cast<int>(value);
    return def;
}

bool CWinApp::WriteProfileInt(const char* section, const char* entry, int value) const
{
    CRegKey key;
    return key.Create(HKEY_CURRENT_USER, (GetAppRegistryPath() + "\\" + section).c_str())
        && key.SetDWord(entry, static_cast<DWORD>(value));
}

std::string CWinApp::GetProfileString(const char* section, const char* entry,
                                      const char* def) const
{
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_CURRENT_USER, (GetAppRegistryPath() + "\\" + section).c_str())
        && key.QueryString(entry, value))
        return value;
    return def;
}

bool CWinApp::WriteProfileString(const char* section, const char* entry,
                                 const std::string& value) const
{
    CRegKey key;
    return key.Create(HKEY_CURRENT_USER, (GetAppRegistryPath() + "\\" + section).c_str())
        && key.SetString(entry, value);
}

void CWinApp::LoadStdProfileSettings(UINT maxRecent)
{
    m_nMaxRecent = maxRecent;
    m_recentFiles.clear();
    for (UINT i = 1; i <= maxRecent; ++i) {
        std::string entry = "File" + std::to_string(i);
        std::string path = GetProfileString(kRecentSection, entry.c_str());
        if (!path.empty())
            m_recentFiles.push_back(path);
    }
}

void CWinApp::AddToRecentFileList(const std::string& path)
{
    if (m_nMaxRecent == 0)
        return;
    for (auto it = m_recentFiles.begin(); it != m_recentFiles.end(); ++it) {
        if (::lstrcmpiA(it->c_str(), path.c_str()) == 0) {
            m_recentFiles.erase(it);
            break;
        }
    }
    m_recentFiles.insert(m_recentFiles.begin(), path);
    if (m_recentFiles.size() > m_nMaxRecent)
        m_recentFiles.resize(m_nMaxRecent);
}

void CWinApp::RemoveFromRecentFileList(size_t index)
{
    if (index < m_recentFiles.size())
        m_recentFiles.erase(m_recentFiles.begin() + static_cast<std::ptrdiff_t>(index));
}

void CWinApp::SaveStdProfileSettings() const
{
    if (m_nMaxRecent == 0 || m_strRegistryKey.empty())
        return;
    for (UINT i = 0; i < m_recentFiles.size(); ++i) {
        std::string entry = "File" + std::to_string(i + 1);
        WriteProfileString(kRecentSection, entry.c_str(), m_recentFiles[i]);
    }
    // Entries of files that left the list go too.
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, (GetAppRegistryPath() + "\\" + kRecentSection).c_str(), KEY_SET_VALUE))
        for (UINT i = static_cast<UINT>(m_recentFiles.size()); i < m_nMaxRecent; ++i)
            key.DeleteValue(("File" + std::to_string(i + 1)).c_str());
}

std::string CWinApp::RecentFileMenuText(size_t index, const std::string& path)
{
    char shown[MAX_PATH] = "";
    if (!::PathCompactPathExA(shown, path.c_str(), 48, 0))
        ::lstrcpynA(shown, path.c_str(), MAX_PATH);
    // An ampersand of the path is shown, not taken for an access key.
    std::string text = "&" + std::to_string(index + 1) + " ";
    for (const char* p = shown; *p; ++p) {
        text += *p;
        if (*p == '&')
            text += '&';
    }
    return text;
}

void CWinApp::UpdateRecentFileMenu(HMENU menu)
{
    int at = -1;
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n && at < 0; ++i)
        if (::GetMenuItemID(menu, i) == ID_FILE_MRU_FILE1)
            at = i;
    if (at < 0)
        return;
    if (m_strRecentPlaceholder.empty()) {
        char text[128] = "";
        ::GetMenuStringA(menu, at, text, sizeof text, MF_BYPOSITION);
        m_strRecentPlaceholder = text;
    }
    for (UINT id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE4; ++id)
        ::DeleteMenu(menu, id, MF_BYCOMMAND);
    if (m_recentFiles.empty()) {
        ::InsertMenuA(menu, at, MF_BYPOSITION | MF_STRING | MF_GRAYED, ID_FILE_MRU_FILE1,
                      m_strRecentPlaceholder.c_str());
        return;
    }
    for (size_t i = 0; i < m_recentFiles.size() && i < 4; ++i)
        ::InsertMenuA(menu, at + static_cast<int>(i), MF_BYPOSITION | MF_STRING,
                      ID_FILE_MRU_FILE1 + i, RecentFileMenuText(i, m_recentFiles[i]).c_str());
}

void CWinApp::OpenRecentFile(size_t index)
{
    if (index >= m_recentFiles.size())
        return;
    const std::string path = m_recentFiles[index];
    if (OpenDocumentFile(path.c_str()))
        return;
    // A list that is gone (not one whose opening was refused or cancelled)
    // leaves the menu; the user has been told it could not be opened.
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        for (size_t i = 0; i < m_recentFiles.size(); ++i) {
            if (m_recentFiles[i] == path) {
                RemoveFromRecentFileList(i);
                break;
            }
        }
    }
}

// ---- documents

void CWinApp::AddDocTemplate(CSingleDocTemplate* tmpl)
{
    delete m_pDocTemplate;
    m_pDocTemplate = tmpl;
}

CDocument* CWinApp::OpenDocumentFile(const char* path)
{
    return m_pDocTemplate ? m_pDocTemplate->OpenDocumentFile(path) : nullptr;
}

void CWinApp::RegisterShellFileTypes()
{
    if (!m_pDocTemplate)
        return;
    CShellFileType type;
    type.ext = m_pDocTemplate->GetDocString(CSingleDocTemplate::filterExt);
    type.typeId = m_pDocTemplate->GetDocString(CSingleDocTemplate::regFileTypeId);
    type.typeName = m_pDocTemplate->GetDocString(CSingleDocTemplate::regFileTypeName);
    type.appName = m_strAppName;
    // With shell open enabled the shell hands the file over by dynamic
    // data exchange, starting the program first when none runs.
    type.dde = m_ddeServer.IsRunning();
    type.Register();
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    info.Parse(m_args);
}

void CWinApp::EnableShellOpen()
{
    m_ddeServer.Start(m_strAppName.c_str());
}

bool CWinApp::PassToRunningInstance(const std::string& path)
{
    char full[MAX_PATH] = "";
    const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH || std::strchr(full, '"'))
        return false;
    return CDdeClient::Execute(m_strAppName.c_str(), std::string("[open(\"") + full + "\")]", 10000);
}

bool CWinApp::IsDDECommand(const std::string& command, std::vector<std::string>* paths)
{
    // [open("path")] one or more times, blanks between the parts allowed.
    size_t i = 0;
    int count = 0;
    auto skipBlanks = [&] {
        while (i < command.size() && (command[i] == ' ' || command[i] == '\t'))
            ++i;
    };
    auto take = [&](const char* text) {
        skipBlanks();
        const size_t n = std::strlen(text);
        if (command.size() - i < n || ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE,
                command.c_str() + i, static_cast<int>(n), text, static_cast<int>(n)) != CSTR_EQUAL)
            return false;
        i += n;
        return true;
    };
    for (;;) {
        skipBlanks();
        if (i == command.size())
            return count > 0;
        if (!take("[") || !take("open") || !take("(") || !take("\""))
            return false;
        const size_t close = command.find('"', i);
        if (close == std::string::npos || close == i)
            return false;
        const std::string path = command.substr(i, close - i);
        i = close + 1;
        if (!take(")") || !take("]"))
            return false;
        if (paths)
            paths->push_back(path);
        ++count;
    }
}

bool CWinApp::OnDDECommand(const std::string& command)
{
    std::vector<std::string> paths;
    if (!IsDDECommand(command, &paths))
        return false;
    for (const std::string& path : paths)
        OpenDocumentFile(path.c_str());
    // The user asked for this window: bring it up.
    if (HWND main = AfxGetMainWndHandle()) {
        if (::IsIconic(main))
            ::ShowWindow(main, SW_RESTORE);
        ::SetForegroundWindow(main);
    }
    return true;
}

bool CWinApp::ProcessShellCommand(const CCommandLineInfo& info)
{
    if (info.m_nShellCommand == CCommandLineInfo::FileOpen)
        return OpenDocumentFile(info.m_strFileName.c_str()) != nullptr;
    return OpenDocumentFile(nullptr) != nullptr;
}

void CWinApp::OnFileNew()
{
    OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen()
{
    if (!m_pDocTemplate)
        return;
    CFileDialog dlg(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                    m_pDocTemplate->GetFileFilter().c_str(), AfxGetMainWndHandle());
    if (dlg.DoModal() == IDOK)
        OpenDocumentFile(dlg.GetPathName().c_str());
}

void CWinApp::OnAppExit()
{
    if (m_pMainWnd)
        m_pMainWnd->PostMessage(WM_CLOSE);
}

std::string CWinApp::GetHelpFilePath() const
{
    char exe[MAX_PATH] = "";
    const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    std::string path = exe;
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && path.find_first_of("\\/", dot) == std::string::npos)
        path.erase(dot);
    return path + ".chm";
}

void CWinApp::OnHelp()
{
    // Help content is not shipped with every build: without it the help
    // commands quietly do nothing.
    const std::string path = GetHelpFilePath();
    if (path.empty() || ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    ::ShellExecuteA(AfxGetMainWndHandle(), "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

const CCommandEntry<CWinApp> CWinApp::s_commands[] = {
    {ID_FILE_NEW, &CWinApp::OnFileNew, nullptr, nullptr},
    {ID_FILE_OPEN, &CWinApp::OnFileOpen, nullptr, nullptr},
    {ID_APP_EXIT, &CWinApp::OnAppExit, nullptr, nullptr},
    {ID_FILE_MRU_FILE1, &CWinApp::OnRecentFile1, &CWinApp::HasRecentFile1, nullptr},
    {ID_FILE_MRU_FILE2, &CWinApp::OnRecentFile2, &CWinApp::HasRecentFile2, nullptr},
    {ID_FILE_MRU_FILE3, &CWinApp::OnRecentFile3, &CWinApp::HasRecentFile3, nullptr},
    {ID_FILE_MRU_FILE4, &CWinApp::OnRecentFile4, &CWinApp::HasRecentFile4, nullptr},
    {ID_HELP_INDEX, &CWinApp::OnHelp, nullptr, nullptr},
    {ID_CONTEXT_HELP, &CWinApp::OnHelp, nullptr, nullptr},
    {ID_HELP, &CWinApp::OnHelp, nullptr, nullptr},
    {ID_DEFAULT_HELP, &CWinApp::OnHelp, nullptr, nullptr},
};

bool CWinApp::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id);
}

bool CWinApp::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui);
}

int AfxWinMain(int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_nCmdShow = nCmdShow;
    app->m_args.assign(__argv + 1, __argv + __argc);
    int code = 1;
    CallGuarded([&] {
        if (app->InitInstance()) {
            app->Run();
        } else if (app->m_pMainWnd) {
            app->m_pMainWnd->DestroyWindow();
        }
        code = app->ExitInstance();
    });
    return code;
}
