// A long list in the real main window: opening a list file, pasting the
// same lines, deleting every row; each timed from the command to the rows
// drawn; starting with the list; what the rows cost in memory (the
// first thing measured, so that no freed memory is reused); and the
// document alone adding the same URLs.
// Usage: bench_list [LINES]   (100000 by default)
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "BenchUtil.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

namespace {

std::string Url(int i)
{
    return "http://mirror" + std::to_string(i % 7) + ".example.com/pub/archive/" +
           std::to_string(i / 100) + "/file-" + std::to_string(i) + ".zip";
}

// Draws the main window and everything in it now.
void Paint()
{
    ::RedrawWindow(AfxGetMainWndHandle(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Command(UINT id)
{
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, id, 0);
}

int Rows()
{
    return CKestrinDoc::GetDoc()->GetListView()->GetListCtrl().GetItemCount();
}

bool PutTextOnClipboard(const std::string& text)
{
    if (!::OpenClipboard(AfxGetMainWndHandle()))
        return false;
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(::GlobalLock(block), text.c_str(), text.size() + 1);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_TEXT, block);
    ::CloseClipboard();
    return true;
}

double PerLines(double mib, int lines)
{
    return mib * 100000.0 / lines;
}

} // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += Url(i) + "\r\n";
    const std::string path = dir.File("long.kst");
    if (!test::WriteFileBytes(path, text))
        return 1;
    test::ResetRegistry();
    bool ok = true;

    ok &= test::StartApp();
    test::Pump(200);
    Paint();
    const bench::ProcessSample empty = bench::ProcessSample::Now();

    // Opening the list in the running program.
    bench::Stopwatch watch;
    ok &= theApp.OpenDocumentFile(path.c_str()) != nullptr;
    Paint();
    const double openSeconds = watch.Seconds();
    ok &= Rows() == lines;
    const bench::ProcessSample full = bench::ProcessSample::Now();
    std::printf("open: %d rows shown in %.3f s\n", Rows(), openSeconds);
    std::printf("memory: %.1f MiB resident, %.1f MiB private per 100,000 rows (%.1f MiB resident in all)\n",
                PerLines(full.residentMiB - empty.residentMiB, lines),
                PerLines(full.privateMiB - empty.privateMiB, lines), full.residentMiB);

    // Deleting every row.
    ListView_SetItemState(CKestrinDoc::GetDoc()->GetListView()->m_hWnd, -1, LVIS_SELECTED,
                          LVIS_SELECTED);
    watch.Restart();
    Command(ID_EDIT_CLEAR);
    Paint();
    const double deleteSeconds = watch.Seconds();
    std::printf("delete: %d selected rows deleted in %.3f s, %d left\n", lines, deleteSeconds, Rows());
    ok &= Rows() == 0;

    // Pasting the same lines into the empty list.
    ok &= PutTextOnClipboard(text);
    watch.Restart();
    Command(ID_EDIT_PASTE);
    Paint();
    const double pasteSeconds = watch.Seconds();
    ok &= Rows() == lines;
    std::printf("paste: %d rows shown in %.3f s\n", Rows(), pasteSeconds);

    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    test::CloseApp();

    // Started with the list on the command line: to the window with its rows.
    {
        bench::Stopwatch startWatch;
        ok &= test::StartApp({path});
        Paint();
        const double seconds = startWatch.Seconds();
        ok &= Rows() == lines;
        std::printf("start with the list: %d rows shown in %.3f s\n", Rows(), seconds);
        test::CloseApp();
    }

    // The document alone, without a window: the time its own work takes.
    {
        bench::Stopwatch aloneWatch;
        CKestrinDoc doc;
        for (int i = 0; i < lines; ++i)
            doc.AddURL(Url(i).c_str());
        std::printf("document alone: %d URLs added in %.3f s\n", doc.GetItemCount(), aloneWatch.Seconds());
    }
    return ok ? 0 : 1;
}
