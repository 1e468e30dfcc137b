#include <winsock2.h>
#include "KestrinApp.h"
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include "AboutDlg.h"
#include "MainFrame.h"
#include "SharedSettings.h"
#include "resource.h"
#include "../framework/CmdUI.h"
#include "../framework/CommandLineInfo.h"
#include "../framework/DocTemplate.h"
#include "../framework/FrameworkIds.h"
#include "../framework/MessageBox.h"
#include "../model/DirectoryDialog.h"
#include "../model/KestrinDoc.h"
#include "../schedule/RunSummary.h"
#include "../view/ClipFormats.h"
#include "../view/KestrinView.h"
#include "../framework/OleDataSource.h"

CKestrinApp theApp;

namespace {

const char kSettings[] = "Settings";

CDocument* NewDocument() { return new CKestrinDoc; }
CFrameWnd* NewFrame() { return new CMainFrame; }
CView* NewView() { return new CKestrinView; }

} // namespace

BOOL CKestrinApp::InitInstance()
{
    m_bStartedUp = false;
    m_strAppName = AfxLoadString(AFX_IDS_APP_TITLE);

    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        AfxMessageBox(IDS_SOCKETS_INIT_FAILED);
        return FALSE;
    }
    if (FAILED(::OleInitialize(nullptr))) {
        AfxMessageBox(IDS_OLE_INIT_FAILED);
        return FALSE;
    }
    SetRegistryKey(IDS_COMPANY);

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    // A list opened while Kestrin runs goes to the running one; this
    // process then ends without writing anything.
    if (cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen &&
        PassToRunningInstance(cmdInfo.m_strFileName))
        return FALSE;

    // Before any window: the drop and clipboard code looks them up.
    ClipFormats::Register();

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);

    LoadStdProfileSettings(4);
    LoadSettings(g_settings);

    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, NewDocument, NewFrame, NewView));
    EnableShellOpen();
    RegisterShellFileTypes();

    if (!ProcessShellCommand(cmdInfo))
        return FALSE;

    ::DragAcceptFiles(AfxGetMainWndHandle(), TRUE);

    SetCurrentFolder(GetProfileString(kSettings, "CurrentDirectory").c_str());

    if (CKestrinDoc* doc = CKestrinDoc::GetDoc())
        doc->CreateProgressDialog();
    // How the last unattended run went, even when the machine was shut
    // down after it.
    const RunSummary lastRun = RunSummary::Load();
    if (!lastRun.IsEmpty()) {
        if (auto* frame = dynamic_cast<CMainFrame*>(m_pMainWnd))
            frame->ShowNotice(lastRun.Format());
    }
    m_bStartedUp = true;
    return TRUE;
}

int CKestrinApp::ExitInstance()
{
    // A start-up that failed at any step leaves the stored settings as they
    // were: what this run holds may be defaults or half read.
    if (m_bStartedUp) {
        SaveSettings(g_settings);
        WriteProfileString(kSettings, "CurrentDirectory", GetCurrentFolder());
    }
    const int code = CWinApp::ExitInstance();
    // What was copied stays on the clipboard after the program has gone.
    COleDataSource::FlushClipboard();
    ::OleUninitialize();
    ::WSACleanup();
    return code;
}

bool CKestrinApp::OnIdle(long count)
{
    if (auto* frame = dynamic_cast<CMainFrame*>(m_pMainWnd))
        frame->OnIdleUpdate();
    return CWinApp::OnIdle(count);
}

void CKestrinApp::LoadSettings(SharedSettings& s)
{
    s.m_nWidthWindow = GetProfileInt(kSettings, "WidthWindow", 600);
    s.m_nHeightWindow = GetProfileInt(kSettings, "HeightWindow", 300);
    s.m_nWidthColURL = GetProfileInt(kSettings, "WidthColURL", 250);
    s.m_nWidthColState = GetProfileInt(kSettings, "WidthColState", 50);
    s.m_nWidthColFilePath = GetProfileInt(kSettings, "WidthColFilePath", 250);
    s.m_nWidthColReason = GetProfileInt(kSettings, "WidthColReason", 150);
    s.m_bTimerBegin = GetProfileInt(kSettings, "TimerBegin", 1) & 1;
    s.m_bTimerEnd = GetProfileInt(kSettings, "TimerEnd", 1) & 1;
    s.m_bTimerHangUp = GetProfileInt(kSettings, "TimerHangUp", 1) & 1;
    s.m_nTimerHourBegin = GetProfileInt(kSettings, "TimerHourBegin", 2);
    s.m_nTimerHourEnd = GetProfileInt(kSettings, "TimerHourEnd", 5);
    s.m_nTimerMinuteBegin = GetProfileInt(kSettings, "TimerMinuteBegin", 0);
    s.m_nTimerMinuteEnd = GetProfileInt(kSettings, "TimerMinuteEnd", 0);
    if (s.m_nTimerHourBegin < 0 || s.m_nTimerHourBegin > 23)
        s.m_nTimerHourBegin = 2;
    if (s.m_nTimerHourEnd < 0 || s.m_nTimerHourEnd > 23)
        s.m_nTimerHourEnd = 5;
    if (s.m_nTimerMinuteBegin < 0 || s.m_nTimerMinuteBegin > 59)
        s.m_nTimerMinuteBegin = 0;
    if (s.m_nTimerMinuteEnd < 0 || s.m_nTimerMinuteEnd > 59)
        s.m_nTimerMinuteEnd = 0;
    s.m_strRasEntryName = GetProfileString(kSettings, "RasEntryName");
    s.m_bTimerRepeat = GetProfileInt(kSettings, "TimerRepeat", 0) & 1;
    s.m_nTimerRepeatDays = GetProfileInt(kSettings, "TimerRepeatDays", 0x7F) & 0x7F;
    if (s.m_nTimerRepeatDays == 0)
        s.m_nTimerRepeatDays = 0x7F;
    s.m_nTimerAfterRun = GetProfileInt(kSettings, "TimerAfterRun", 0);
    if (s.m_nTimerAfterRun < 0 || s.m_nTimerAfterRun > 3)
        s.m_nTimerAfterRun = 0;
    s.m_nRetryCount = GetProfileInt(kSettings, "RetryCount", 3);
    if (s.m_nRetryCount < 0 || s.m_nRetryCount > 10)
        s.m_nRetryCount = 3;

    s.m_strColURL = AfxLoadString(IDS_COL_URL);
    s.m_strColState = AfxLoadString(IDS_COL_STATE);
    s.m_strColFilePath = AfxLoadString(IDS_COL_FILE_PATH);
    s.m_strStateDownloading = AfxLoadString(IDS_STATE_DOWNLOADING);
    s.m_strStateDone = AfxLoadString(IDS_STATE_DONE);
    s.m_strStateUnread = AfxLoadString(IDS_STATE_UNREAD);
    s.m_strStateCancelled = AfxLoadString(IDS_STATE_CANCELLED);
    s.m_strStateError = AfxLoadString(IDS_STATE_ERROR);
    s.m_strStateRetryWait = AfxLoadString(IDS_STATE_RETRY_WAIT);
    s.m_strTimerDownloading = AfxLoadString(IDS_TIMER_DOWNLOADING);
    s.m_strTimerWaitHangUp = AfxLoadString(IDS_TIMER_WAIT_HANG_UP);
    s.m_strTimerWaitDial = AfxLoadString(IDS_TIMER_WAIT_DIAL);
    s.m_strTimerWaitDownload = AfxLoadString(IDS_TIMER_WAIT_DOWNLOAD);
    s.m_strTimerDialing = AfxLoadString(IDS_TIMER_DIALING);
    s.m_strTimerWaitRepeat = AfxLoadString(IDS_TIMER_WAIT_REPEAT);
    s.m_strShortcutHeader = AfxLoadString(IDS_SHORTCUT_HEADER);
    s.m_strFolderDialogTitle = AfxLoadString(IDS_FOLDER_DIALOG_TITLE);
    s.m_strFrameCaption = AfxLoadString(IDS_FRAME_CAPTION);
    s.m_strColReason = AfxLoadString(IDS_COL_REASON);
    s.m_strReasonCancelled = AfxLoadString(IDS_REASON_CANCELLED);
}

void CKestrinApp::SaveSettings(const SharedSettings& s)
{
    WriteProfileInt(kSettings, "WidthWindow", s.m_nWidthWindow);
    WriteProfileInt(kSettings, "HeightWindow", s.m_nHeightWindow);
    WriteProfileInt(kSettings, "WidthColURL", s.m_nWidthColURL);
    WriteProfileInt(kSettings, "WidthColState", s.m_nWidthColState);
    WriteProfileInt(kSettings, "WidthColFilePath", s.m_nWidthColFilePath);
    WriteProfileInt(kSettings, "WidthColReason", s.m_nWidthColReason);
    WriteProfileInt(kSettings, "TimerHangUp", s.m_bTimerHangUp ? 1 : 0);
    WriteProfileInt(kSettings, "TimerHourBegin", s.m_nTimerHourBegin);
    WriteProfileInt(kSettings, "TimerHourEnd", s.m_nTimerHourEnd);
    WriteProfileInt(kSettings, "TimerMinuteBegin", s.m_nTimerMinuteBegin);
    WriteProfileInt(kSettings, "TimerMinuteEnd", s.m_nTimerMinuteEnd);
    WriteProfileInt(kSettings, "TimerBegin", s.m_bTimerBegin ? 1 : 0);
    WriteProfileInt(kSettings, "TimerEnd", s.m_bTimerEnd ? 1 : 0);
    WriteProfileString(kSettings, "RasEntryName", s.m_strRasEntryName);
    WriteProfileInt(kSettings, "TimerRepeat", s.m_bTimerRepeat ? 1 : 0);
    WriteProfileInt(kSettings, "TimerRepeatDays", s.m_nTimerRepeatDays);
    WriteProfileInt(kSettings, "TimerAfterRun", s.m_nTimerAfterRun);
    WriteProfileInt(kSettings, "RetryCount", s.m_nRetryCount);
}

void CKestrinApp::SetCurrentFolder(const char* path)
{
    ::SetCurrentDirectoryA(path);
    char dir[MAX_PATH] = "";
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, dir);
    if (n > 0 && n < MAX_PATH)
        m_strCurrentDirectory = dir;
    if (auto* frame = dynamic_cast<CMainFrame*>(m_pMainWnd))
        frame->ShowCurrentFolder(m_strCurrentDirectory.c_str());
}

std::string CKestrinApp::GetCurrentFolder()
{
    ApplyCurrentFolder();
    char dir[MAX_PATH] = "";
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, dir);
    if (n > 0 && n < MAX_PATH)
        m_strCurrentDirectory = dir;
    return m_strCurrentDirectory;
}

void CKestrinApp::ApplyCurrentFolder() const
{
    if (!m_strCurrentDirectory.empty())
        ::SetCurrentDirectoryA(m_strCurrentDirectory.c_str());
}

void CKestrinApp::OnAppAbout()
{
    CAboutDlg dlg;
    dlg.DoModal();
}

void CKestrinApp::OnChangeFolder()
{
    CDirectoryDialog dlg(nullptr);
    if (dlg.DoModal() == IDOK)
        SetCurrentFolder(dlg.GetFolder().c_str());
}

void CKestrinApp::OnExploreFolder()
{
    const char* dir = m_strCurrentDirectory.c_str();
    ::ShellExecuteA(AfxGetMainWndHandle(), "explore", dir, nullptr, dir, SW_SHOWNORMAL);
}

const CCommandEntry<CKestrinApp> CKestrinApp::s_commands[] = {
    {ID_APP_ABOUT, &CKestrinApp::OnAppAbout, nullptr, nullptr},
    {IDC_CHANGE_FOLDER, &CKestrinApp::OnChangeFolder, nullptr, nullptr},
    {IDC_EXPLORE_FOLDER, &CKestrinApp::OnExploreFolder, nullptr, nullptr},
};

bool CKestrinApp::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id) || CWinApp::OnCmdMsg(id);
}

bool CKestrinApp::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui) || CWinApp::OnUpdateCmdUI(ui);
}
