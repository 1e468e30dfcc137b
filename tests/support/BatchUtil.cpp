#include "BatchUtil.h"
#include <cstdlib>
#include <wininet.h>
#include "EngineUtil.h"
#include "app/MainFrame.h"
#include "framework/WinApp.h"
#include "engine/DownloadParentDlg.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

namespace test {

CDownloadParentDlg* Parent() { return Doc()->GetProgressDialog(); }
CKestrinView* View() { return Doc()->GetListView(); }

std::string StateText(int row)
{
    return View()->GetListCtrl().GetItemText(row, 1);
}

void FinishCounter::OnDownloadFinished()
{
    ++finished;
    idleWhenFinished = CKestrinDoc::GetDoc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE;
}

void Watch::Look()
{
    CDownloadParentDlg* parent = Parent();
    if (!parent)
        return;
    const int panels = parent->GetChildCount();
    if (panels > maxPanels)
        maxPanels = panels;
    if (panels != lastPanels) {
        panelHistory.push_back(panels);
        lastPanels = panels;
        const RECT rc = parent->GetClientRect();
        heights.push_back(rc.bottom);
    }
    for (int i = 0; i < Doc()->GetItemCount(); ++i) {
        URLItem* item = Doc()->GetItem(i);
        if (item->IsDownloading() && !seenDownloading.count(item)) {
            seenDownloading.insert(item);
            startOrder.push_back(i);
            downloadingText.push_back(StateText(i));
        }
    }
}

bool Watch::RunUntilIdle(DWORD ms)
{
    return PumpUntil([&] {
        Look();
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Parent()->GetChildCount() == 0;
    }, ms);
}

Session::Session()
{
    ResetRegistry();
    ::SetCurrentDirectoryA(dir.Path().c_str());
    test::WriteRegString("Settings", "CurrentDirectory", dir.Path());
    // A failure ends its item at once here; retries have tests of
    // their own (test_retry_run).
    test::WriteRegDWord("Settings", "RetryCount", 0);
    ok = StartApp();
}

Session::~Session()
{
    if (AfxGetMainWndHandle())
        CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

std::string BatchUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(ServerPort("batch")) + path;
}

int BatchServerTotal()
{
    HINTERNET root = ::InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET url = ::InternetOpenUrlA(root, BatchUrl("/total").c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buf[32] = "";
    DWORD n = 0;
    if (url)
        ::InternetReadFile(url, buf, sizeof buf - 1, &n);
    buf[n] = '\0';
    if (url)
        ::InternetCloseHandle(url);
    ::InternetCloseHandle(root);
    return url ? std::atoi(buf) : -1;
}

void ListMany(const std::string& prefix, int n)
{
    HWND list = View()->m_hWnd;
    ::SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < n; ++i)
        Doc()->AddURL((prefix + std::to_string(i) + ".bin").c_str());
    ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

} // namespace test
