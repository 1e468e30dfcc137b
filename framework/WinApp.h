#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CmdTarget.h"
#include "DdeServer.h"

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

    // Recent files, kept in the profile section "Recent File List", the
    // newest first; the File menu lists them (ID_FILE_MRU_FILE1...).
    void LoadStdProfileSettings(UINT maxRecent);
    void AddToRecentFileList(const std::string& path);
    void RemoveFromRecentFileList(size_t index);
    void SaveStdProfileSettings() const;
    const std::vector<std::string>& GetRecentFiles() const { return m_recentFiles; }
    // Puts the recent files into `menu` where it has ID_FILE_MRU_FILE1
    // ("&1 C:\...\list.kst"), or the menu's own placeholder when there
    // are none. Does nothing to a menu without that item.
    void UpdateRecentFileMenu(HMENU menu);
    // The text of a recent file's menu item: its number and its path,
    // shortened in the middle when long.
    static std::string RecentFileMenuText(size_t index, const std::string& path);

    // Documents
    void AddDocTemplate(CSingleDocTemplate* tmpl);
    CDocument* OpenDocumentFile(const char* path);
    // Binds the document file extension to this program for the user.
    void RegisterShellFileTypes();

    void ParseCommandLine(CCommandLineInfo& info);
    bool ProcessShellCommand(const CCommandLineInfo& info);

    // Opening by the shell through dynamic data exchange: this program
    // serves its name with the topic "System" and takes [open("path")].
    void EnableShellOpen();
    // Hands a file to open to a running instance of this program; true
    // when one took it (this one then has nothing more to do).
    bool PassToRunningInstance(const std::string& path);
    // Carries out execute strings: [open("path")], one or more.
    virtual bool OnDDECommand(const std::string& command);
    // Whether `command` is one OnDDECommand understands; the paths of its
    // open commands go to `paths` when given.
    static bool IsDDECommand(const std::string& command, std::vector<std::string>* paths = nullptr);

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    // The help file: the program's path with the extension ".chm".
    std::string GetHelpFilePath() const;
    // Help, help topics, context help and default help: opens the help
    // file when there is one, and does nothing when there is none.
    void OnHelp();

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd = nullptr;
    std::vector<std::string> m_args;   // the command line after the program name
    int m_nCmdShow = SW_SHOWNORMAL;
    std::string m_strAppName;       // string AFX_IDS_APP_TITLE
    std::string m_strRegistryKey;   // the company key
    CSingleDocTemplate* m_pDocTemplate = nullptr;

protected:
    void OnFileNew();
    // Set by InitInstance once start-up has succeeded; a program whose
    // start-up failed writes nothing to its profile at exit.
    bool m_bStartedUp = false;

    void OnFileOpen();
    void OnAppExit();
    // Opens recent file `index`; one that is gone leaves the list.
    void OpenRecentFile(size_t index);
    void OnRecentFile1() { OpenRecentFile(0); }
    void OnRecentFile2() { OpenRecentFile(1); }
    void OnRecentFile3() { OpenRecentFile(2); }
    void OnRecentFile4() { OpenRecentFile(3); }
    bool HasRecentFile1() const { return m_recentFiles.size() > 0; }
    bool HasRecentFile2() const { return m_recentFiles.size() > 1; }
    bool HasRecentFile3() const { return m_recentFiles.size() > 2; }
    bool HasRecentFile4() const { return m_recentFiles.size() > 3; }

private:
    static const CCommandEntry<CWinApp> s_commands[];

    CDdeServer m_ddeServer;
    std::vector<std::string> m_recentFiles;
    UINT m_nMaxRecent = 0;
    std::string m_strRecentPlaceholder;   // the menu item shown when none
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HWND AfxGetMainWndHandle();

// Runs the program's one CWinApp with the process's command line:
// start-up, message loop, exit.
int AfxWinMain(int nCmdShow);
