// Downloads a list of URLs in one batch through the real main window and
// progress panels, and prints the wall time from the command to the end.
// Usage: bench_batch LISTFILE FOLDER
#include <windows.h>
#include <cstdio>
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

    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, ID_BATCH_DOWNLOAD, 0);
    test::PumpUntil([&] { return doc->m_nBatchMode == CKestrinDoc::BATCH_IDLE; }, 600000);
    ::QueryPerformanceCounter(&t1);

    int done = 0;
    for (int i = 0; i < count; ++i)
        done += doc->GetItem(i)->m_state == ITEM_DONE;
    test::CloseApp();
    std::printf("kestrin: %d of %d files in %.2f s\n", done, count,
                static_cast<double>(t1.QuadPart - t0.QuadPart) / freq.QuadPart);
    return done == count ? 0 : 1;
}
