#pragma once
#include <string>
#include "../framework/WinApp.h"

struct SharedSettings;

// Kestrin itself: start-up, the settings, the current download folder and
// the folder bar's two commands.
class CKestrinApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
    bool OnIdle(long count) override;

    void LoadSettings(SharedSettings& settings);
    void SaveSettings(const SharedSettings& settings);

    // Makes `path` the current directory if it can, then takes whatever the
    // current directory is as the download folder and shows it.
    void SetCurrentFolder(const char* path);
    std::string GetCurrentFolder();
    // Makes the download folder the process's current directory again.
    void ApplyCurrentFolder() const;

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    std::string m_strCurrentDirectory;

private:
    void OnAppAbout();
    void OnChangeFolder();
    void OnExploreFolder();

    static const CCommandEntry<CKestrinApp> s_commands[];
};

extern CKestrinApp theApp;
