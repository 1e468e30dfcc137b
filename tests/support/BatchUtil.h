#pragma once
// Helpers for batch tests in the real main window: the program started on
// an empty registry in a download folder of its own, a batch followed as
// it runs, and the counting server of many small files.
#include <windows.h>
#include <set>
#include <string>
#include <vector>
#include "AppUtil.h"
#include "TestUtil.h"
#include "model/KestrinDoc.h"

class CDownloadParentDlg;
class CKestrinView;
class URLItem;

namespace test {

CDownloadParentDlg* Parent();
CKestrinView* View();

// The state column of a row as shown.
std::string StateText(int row);

// Counts the end-of-batch signals and what the document said at that time.
struct FinishCounter : CKestrinDoc::TargetI {
    void OnDownloadStarted() override { ++started; }
    void OnDownloadFinished() override;
    int started = 0;
    int finished = 0;
    bool idleWhenFinished = false;
};

// Follows a batch as it runs: panels open, their heights, which item
// started when, and the state texts seen.
struct Watch {
    void Look();
    bool RunUntilIdle(DWORD ms = 30000);

    int maxPanels = 0;
    int lastPanels = 0;
    std::vector<int> panelHistory;
    std::vector<LONG> heights;
    std::set<URLItem*> seenDownloading;
    std::vector<int> startOrder;
    std::vector<std::string> downloadingText;
};

// The program started on an empty registry, with a download folder of its
// own and no retries.
struct Session {
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    TempDir dir;
    bool ok = false;
};

// A URL of the counting server.
std::string BatchUrl(const std::string& path);
// How many requests the counting server has had.
int BatchServerTotal();
// Lists `n` URLs "<prefix><i>.bin", with the list's drawing held back
// meanwhile, as a bulk load would.
void ListMany(const std::string& prefix, int n);

} // namespace test
