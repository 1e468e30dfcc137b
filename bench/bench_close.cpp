// What leaving the list costs after a batch: starts the real program (in
// a process of its own) with a list, downloads it in one batch, then
// closes the window, empties the list (Ctrl+N) or deletes every row, and
// times that until the rows are gone and until the process has ended.
// "idle" closes the same list without a batch: what closing the windows
// costs by itself.
// Usage: bench_close LISTFILE FOLDER close|new|delete|idle
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "BenchUtil.h"
#include "KestrinProcess.h"
#include "TestUtil.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"

namespace {

// Waits for the process to end and says after how long.
bool TimeExit(test::KestrinProcess& kestrin, const bench::Stopwatch& watch, const char* what)
{
    const bool ended = kestrin.WaitForExit(600000);
    std::printf("%s: the process ended in %.3f s%s\n", what, watch.Seconds(), ended ? "" : " (NOT ENDED)");
    return ended;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::printf("usage: bench_close LISTFILE FOLDER close|new|delete|idle\n");
        return 2;
    }
    const std::string action = argv[3];
    test::ResetRegistry();
    test::WriteRegString("Settings", "CurrentDirectory", argv[2]);
    test::KestrinProcess kestrin;
    if (!kestrin.Start({argv[1]}, argv[2])) {
        std::printf("bench_close: Kestrin did not start\n");
        return 1;
    }
    const int rows = kestrin.RowCount();
    const std::string idleCaption = kestrin.Caption();
    std::printf("%s: %d rows listed\n", action.c_str(), rows);

    if (action != "idle") {
        // The batch runs while the caption shows its place.
        bench::Stopwatch batch;
        kestrin.Command(ID_BATCH_DOWNLOAD);
        const bool began = test::PumpUntil([&] { return kestrin.Caption() != idleCaption; }, 30000);
        const bool ended = began && test::PumpUntil([&] { return kestrin.Caption() == idleCaption; }, 3600000);
        std::printf("batch: %d rows downloaded in %.3f s%s\n", rows, batch.Seconds(),
                    ended ? "" : " (DID NOT END)");
        if (!ended)
            return 1;
    }

    bench::Stopwatch watch;
    if (action == "close" || action == "idle") {
        kestrin.Close();
        return TimeExit(kestrin, watch, action.c_str()) ? 0 : 1;
    }
    if (action == "new") {
        kestrin.Command(ID_FILE_NEW);
    } else if (action == "delete") {
        kestrin.Command(ID_SELECT_ALL);
        kestrin.Command(ID_EDIT_CLEAR);
    } else {
        std::printf("bench_close: unknown action %s\n", action.c_str());
        return 2;
    }
    // The list answers once the rows are gone.
    test::PumpUntil([&] { return kestrin.RowCount() == 0; }, 600000);
    std::printf("%s: %d rows gone in %.3f s\n", action.c_str(), rows, watch.Seconds());
    bench::Stopwatch closing;
    kestrin.Close();
    // A list whose rows were deleted is a changed list: the question is
    // answered No as soon as it shows.
    bool answered = false;
    test::PumpUntil([&] {
        if (!answered) {
            if (HWND box = kestrin.ShownMessageBox()) {
                ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                answered = true;
            }
        }
        return !kestrin.IsRunning();
    }, 600000);
    const bool ended = TimeExit(kestrin, closing, "then close");
    return ended ? 0 : 1;
}
