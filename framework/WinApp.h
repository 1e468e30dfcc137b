#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CmdTarget.h"

class CWnd;
class CDocument;
class CSingleDocTemplate;
struct CCommandLineInfo;

// The program: start-up, the message loop, exit, the registry profile
// under HKEY_CURRENT_USER\Software\<company>\<program>, and the commands
// that concern the whole program (new, open, exit).
class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance();
    // The message loop; returns the exit code of WM_QUIT.
    virtual int Run();
    virtual bool PreTranslateMessage(MSG& msg);
    // Runs while the queue is empty; true asks for more idle time.
    virtual bool OnIdle(long count);

    // Profile
    void SetRegistryKey(UINT companyStringId);
    std::string GetAppRegistryPath() const;
    int GetProfileInt(const char* section, const char* entry, int def) const;
    bool WriteProfileInt(const char* section, const char* entry, int value) const;
    std::string GetProfileString(const char* section, const char* entry,
                                 const char* def = "") const;
    bool WriteProfileString(const char* section, const char* entry,
                            const std::string& value) const;

    // Recent files, kept in the profile section "Recent File List".
    void LoadStdProfileSettings(UINT maxRecent);
    void AddToRecentFileList(const std::string& path);
    void SaveStdProfileSettings() const;

    // Documents
    void AddDocTemplate(CSingleDocTemplate* tmpl);
    CDocument* OpenDocumentFile(const char* path);
    // Binds the document file extension to this program for the user.
    void RegisterShellFileTypes();

    void ParseCommandLine(CCommandLineInfo& info);
    bool ProcessShellCommand(const CCommandLineInfo& info);

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd = nullptr;
    std::vector<std::string> m_args;   // the command line after the program name
    int m_nCmdShow = SW_SHOWNORMAL;
    std::string m_strAppName;       // string AFX_IDS_APP_TITLE
    std::string m_strRegistryKey;   // the company key
    CSingleDocTemplate* m_pDocTemplate = nullptr;

protected:
    void OnFileNew();
    void OnFileOpen();
    void OnAppExit();

private:
    static const CCommandEntry<CWinApp> s_commands[];

    std::vector<std::string> m_recentFiles;
    UINT m_nMaxRecent = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HWND AfxGetMainWndHandle();

// Runs the program's one CWinApp with the process's command line:
// start-up, message loop, exit.
int AfxWinMain(int nCmdShow);
