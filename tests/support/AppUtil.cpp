#include "AppUtil.h"
#include <windows.h>
#include "app/MainFrame.h"
#include "framework/WinApp.h"
#include "model/KestrinDoc.h"
#include "view/KestrinView.h"
#include "UiUtil.h"

namespace test {

CMainFrame* Frame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

ListSession::ListSession()
{
    ResetRegistry();
    ::SetCurrentDirectoryA(dir.Path().c_str());
    WriteRegString("Settings", "CurrentDirectory", dir.Path());
    ok = StartApp();
    if (ok) {
        Frame()->SetWindowPos(nullptr, 40, 40, 800, 420, SWP_NOZORDER);
        Pump(100);
        Activate(Frame()->m_hWnd, Doc()->GetListView()->m_hWnd);
    }
}

ListSession::~ListSession()
{
    if (AfxGetMainWndHandle())
        CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

bool Enabled(UINT id)
{
    auto* frame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd());
    return frame->IsCommandEnabled(id);
}

std::string CurrentDirectory()
{
    char dir[MAX_PATH] = "";
    ::GetCurrentDirectoryA(MAX_PATH, dir);
    return dir;
}

namespace {

void SnapshotKey(const std::string& path, RegValues& out)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char name[256] = "";
        DWORD nameLen = sizeof name, type = 0, size = 0;
        if (::RegEnumValueA(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLen = sizeof name;
        ::RegEnumValueA(key, i, name, &nameLen, nullptr, &type,
                        reinterpret_cast<BYTE*>(&data[0]), &size);
        out[path + "|" + name] = std::to_string(type) + ":" + data.substr(0, size);
    }
    for (DWORD i = 0;; ++i) {
        char name[256] = "";
        DWORD nameLen = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out[path + "\\" + name] = "key";
        SnapshotKey(path + "\\" + name, out);
    }
    ::RegCloseKey(key);
}

} // namespace

RegValues Registry()
{
    RegValues values;
    SnapshotKey("Software\\Halvane", values);
    SnapshotKey("Software\\Classes\\Kestrin.Document", values);
    SnapshotKey("Software\\Classes\\.kst", values);
    return values;
}

} // namespace test
