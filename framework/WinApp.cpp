#include "WinApp.h"
#include <shlobj.h>
#include <cstdlib>
#include "CmdUI.h"
#include "CommandLineInfo.h"
#include "DocTemplate.h"
#include "Document.h"
#include "FileDialog.h"
#include "FrameWnd.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include "RegKey.h"

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
    SaveStdProfileSettings();
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

void CWinApp::SaveStdProfileSettings() const
{
    if (m_nMaxRecent == 0 || m_strRegistryKey.empty())
        return;
    for (UINT i = 0; i < m_recentFiles.size(); ++i) {
        std::string entry = "File" + std::to_string(i + 1);
        WriteProfileString(kRecentSection, entry.c_str(), m_recentFiles[i]);
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
    const std::string ext = m_pDocTemplate->GetDocString(CSingleDocTemplate::filterExt);
    const std::string typeId = m_pDocTemplate->GetDocString(CSingleDocTemplate::regFileTypeId);
    const std::string typeName = m_pDocTemplate->GetDocString(CSingleDocTemplate::regFileTypeName);
    if (ext.empty() || typeId.empty())
        return;

    char exe[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string open = std::string("\"") + exe + "\" \"%1\"";
    const std::string icon = std::string("\"") + exe + "\",0";

    // Per-user registration: needs no administrator rights.
    const std::string classes = "Software\\Classes\\";
    bool changed = false;
    auto put = [&](const std::string& path, const char* name, const std::string& value) {
        CRegKey key;
        std::string old;
        if (key.Open(HKEY_CURRENT_USER, (classes + path).c_str())
            && key.QueryString(name, old) && old == value)
            return;
        if (key.Create(HKEY_CURRENT_USER, (classes + path).c_str()))
            changed = key.SetString(name, value) || changed;
    };
    std::string lowerExt = ext;
    ::CharLowerA(&lowerExt[0]);
    put(typeId, nullptr, typeName);
    put(typeId + "\\DefaultIcon", nullptr, icon);
    put(typeId + "\\shell\\open\\command", nullptr, open);
    put(lowerExt, nullptr, typeId);
    // Lets the shell's New menu make an empty list file.
    put(lowerExt + "\\ShellNew", "NullFile", "");
    if (changed)
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    info.Parse(m_args);
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

const CCommandEntry<CWinApp> CWinApp::s_commands[] = {
    {ID_FILE_NEW, &CWinApp::OnFileNew, nullptr, nullptr},
    {ID_FILE_OPEN, &CWinApp::OnFileOpen, nullptr, nullptr},
    {ID_APP_EXIT, &CWinApp::OnAppExit, nullptr, nullptr},
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
