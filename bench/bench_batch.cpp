// Downloads a list of URLs in one batch through the real main window and
// progress panels, and prints the wall time from the command to the end,
// the files per second of each tenth of the batch, and the process's
// memory and handles at its start, middle and end.
// Usage: bench_batch LISTFILE FOLDER
#include <windows.h>
#include <cstdio>
#include "BenchUtil.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/resource.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("usage: bench_batch LISTFILE FOLDER\n");
        return 2;
    }
    ::SetCurrentDirectoryA(argv[2]);
    test::ResetRegistry();
    test::WriteRegString("Settings", "CurrentDirectory", argv[2]);
    if (!test::StartApp({argv[1]}))
        return 1;
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    const int count = doc->GetItemCount();

    // The samples are taken outside the clock, but for the one in the
    // middle of a long batch.
    const bench::ProcessSample start = bench::ProcessSample::Now();
    bench::ProcessSample middle = start;
    bool haveMiddle = count < 10;
    bench::Tenths tenths(count);
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, ID_BATCH_DOWNLOAD, 0);
    test::PumpUntil([&] {
        // Ended transfers: neither waiting nor running.
        const int ended = count - doc->CountPendingItems() -
                          static_cast<int>(doc->GetDownloadingItems().size());
        const bool idle = doc->m_nBatchMode == CKestrinDoc::BATCH_IDLE;
        tenths.Passed(idle ? count : ended);
        if (!haveMiddle && ended >= count / 2) {
            middle = bench::ProcessSample::Now();
            haveMiddle = true;
        }
        return idle;
    }, 3600000, true);
    const double seconds = tenths.Seconds();
    const bench::ProcessSample end = bench::ProcessSample::Now();

    int done = 0;
    for (int i = 0; i < count; ++i)
        done += doc->GetItem(i)->m_state == ITEM_DONE;
    test::CloseApp();
    std::printf("kestrin: %d of %d files in %.3f s\n", done, count, seconds);
    if (count >= 10) {
        tenths.Print("kestrin");
        bench::ProcessSample::Print("kestrin", start, middle, end);
    }
    return done == count ? 0 : 1;
}
