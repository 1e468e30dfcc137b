// List files opened from the command line and dropped on the window,
// files that are no list refused with the list kept, and control
// characters kept out of the list on every road a URL comes in by; with
// the real program's windows in this process.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include "AppUtil.h"
#include "DocUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/OleDataSource.h"
#include "model/KestrinDoc.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"
#include <cstdio>
#include <cstring>
#include <functional>

using namespace test;

using test::Ansi;

namespace {

std::vector<std::string> Rows()
{
    CListCtrl list = CKestrinDoc::GetDoc()->GetListView()->GetListCtrl();
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetItemCount(); ++i)
        rows.push_back(list.GetItemText(i, 0) + " | " + list.GetItemText(i, 1) + " | " +
                       list.GetItemText(i, 2));
    return rows;
}

// Drops `path` on the main window as the shell does.
void DropFile(const std::string& path)
{
    const size_t size = sizeof(DROPFILES) + path.size() + 2;
    HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size());
    ::GlobalUnlock(mem);
    ::SendMessageA(AfxGetMainWndHandle(), WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);
}

// Drops data offering `text` under the browser's URL format on the list,
// through the view's drop target as the system calls it.
void DropURLText(const std::string& text)
{
    DropOnList(ClipFormats::UniformResourceLocator, std::string(text.c_str(), text.size() + 1));
}

bool HasControlByte(const std::string& s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

TEST_CASE("list files open from the command line and when dropped on the window")
{
    test::ResetRegistry();
    test::TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    const std::string first = dir.File(Ansi("一覧.kst"));
    const std::string second = dir.File("second.kst");
    CHECK(test::WriteFileBytes(first, "http://h/a/1.zip\r\nhttp://h/b/2.zip\r\n"));
    CHECK(test::WriteFileBytes(second, "ftp://h/pub/3.tgz\r\n"));

    REQUIRE(test::StartApp({first}));
    const std::string unread = Ansi("未読");
    CHECK(Rows() == (std::vector<std::string>{
        "http://h/a/1.zip | " + unread + " | a\\1.zip",
        "http://h/b/2.zip | " + unread + " | b\\2.zip"}));
    // The caption names the list that is open.
    CHECK_EQ(Frame()->GetWindowText(), Ansi("一覧.kst - Kestrin"));

    DropFile(second);
    CHECK(Rows() == (std::vector<std::string>{"ftp://h/pub/3.tgz | " + unread + " | pub\\3.tgz"}));
    CHECK_EQ(Frame()->GetWindowText(), std::string("second.kst - Kestrin"));

    // A new list empties the view with the document.
    ::SendMessageA(AfxGetMainWndHandle(), WM_COMMAND, ID_FILE_NEW, 0);
    CHECK(Rows().empty());
    CHECK_EQ(CKestrinDoc::GetDoc()->GetItemCount(), 0);
    test::CloseApp();
}

TEST_CASE("a binary file given on the command line is refused with a message")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string bad = dir.File("bad.kst");
    CHECK(test::WriteFileBytes(bad, std::string("\x7f" "ELF\x01\x01\x01\x00", 8)));
    test::MessageBoxWatcher boxes;
    CHECK(!test::StartApp({bad}));
    CHECK(AfxGetMainWndHandle() == nullptr);
    CHECK(CKestrinDoc::GetDoc() == nullptr);
    test::CloseApp();
    REQUIRE(boxes.Texts().size() == 1u);
    CHECK_EQ(boxes.Texts()[0], Ansi("このファイルはリストファイルではないため開けません。"));
}

TEST_CASE("control characters never reach the list: command line, paste, drop, list file")
{
    test::ResetRegistry();
    test::TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    const std::string list = dir.File("start.kst");
    REQUIRE(test::WriteFileBytes(list, "http://h/cmd-ok\r\nhttp://h/cmd\tX-Injected: 1\r\n"
                                       "http://h/cmd-cr\rX-Injected: 1\r\n"));
    REQUIRE(test::StartApp({list}));
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/cmd-ok", "http://h/cmd-cr"}));

    // Pasted text is split into lines at LF, CR LF or a lone CR: the line
    // before a CR is a URL of its own, what follows it is no URL. A drop's
    // URL format is one URL, taken whole or not at all.
    struct {
        const char* road;
        std::function<void()> offer;
        size_t added;
    } roads[] = {
        {"paste, CR", [] { PutTextOnClipboard(L"http://h/paste\rX-Injected: 1"); Command(ID_EDIT_PASTE); }, 1},
        {"paste, TAB", [] { PutTextOnClipboard(L"http://h/paste-tab\tb"); Command(ID_EDIT_PASTE); }, 0},
        {"paste, escape", [] { PutTextOnClipboard(L"http://h/paste-esc\x1b[2J"); Command(ID_EDIT_PASTE); }, 0},
        {"drop, CR LF", [] { DropURLText("http://h/drop\r\nX-Injected: 1"); }, 0},
        {"drop, LF", [] { DropURLText("http://h/drop\nHost: elsewhere"); }, 0},
        {"drop, TAB", [] { DropURLText("http://h/drop\tb"); }, 0},
        {"drop, bell", [] { DropURLText("http://h/drop\x07"); }, 0},
    };
    size_t rows = ListedUrls().size();
    for (const auto& r : roads) {
        r.offer();
        rows += r.added;
        if (!CHECK_EQ(ListedUrls().size(), rows))
            std::printf("      road: %s\n", r.road);
        for (const std::string& u : ListedUrls())
            CHECK(!HasControlByte(u));
        rows = ListedUrls().size();
    }
    // The same roads still take a clean URL.
    PutTextOnClipboard(L"http://h/paste-ok");
    Command(ID_EDIT_PASTE);
    DropURLText("http://h/drop-ok");

    const std::string second = dir.File("second.kst");
    REQUIRE(test::WriteFileBytes(second, "http://h/file-ok\r\nhttp://h/file\tb\r\n"));
    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    CHECK(theApp.OpenDocumentFile(second.c_str()) != nullptr);
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/file-ok"});
    // Other control bytes make it no list file at all.
    const std::string third = dir.File("third.kst");
    REQUIRE(test::WriteFileBytes(third, "http://h/file-2\r\nhttp://h/\x01\r\n"));
    {
        test::MessageBoxWatcher boxes;
        CHECK(theApp.OpenDocumentFile(third.c_str()) == nullptr);
        CHECK_EQ(boxes.Texts().size(), 1u);
    }
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/file-ok"});
    for (const std::string& u : ListedUrls())
        CHECK(!HasControlByte(u));
    test::CloseApp();
    ::SetCurrentDirectoryA("C:\\");
}

TEST_CASE("a text file without URLs dropped on the window is refused and the list kept")
{
    test::ResetRegistry();
    test::TempDir dir;
    const std::string prose = dir.File("readme.txt");
    REQUIRE(test::WriteFileBytes(prose, "Kestrin\r\n\r\nGather URLs in a list, then download them.\r\n"));
    const std::string binary = dir.File("picture.png");
    REQUIRE(test::WriteFileBytes(binary, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)));
    REQUIRE(test::StartApp());
    CKestrinDoc::GetDoc()->AddURL("http://h/keep1");
    CKestrinDoc::GetDoc()->AddURL("http://h/keep2");
    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    test::MessageBoxWatcher boxes;
    DropFile(prose);
    DropFile(binary);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/keep1", "http://h/keep2"}));
    CHECK_EQ(Rows().size(), 2u);
    const auto texts = boxes.Texts();
    REQUIRE(texts.size() == 2u);
    for (const std::string& t : texts)
        CHECK_EQ(t, Ansi("このファイルはリストファイルではないため開けません。"));
    test::CloseApp();
}
