// Hostile data on the clipboard and in drops: blocks that lie about their
// size, successes that hand over nothing, streams that claim more than they
// read, paths that name pipes, contents handed over as a file. Fed through
// the real view's paste and drop, in-process and through the real OLE
// clipboard: the program stays up, adds nothing wrong, leaves nothing
// behind, and the next good paste works.
#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include "HostileData.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "framework/FrameworkIds.h"
#include "framework/OleDataObject.h"
#include "framework/OleDataSource.h"
#include "framework/OleDropTarget.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"
#include "view/UrlImporter.h"

using namespace test;

namespace {

std::string DropBlock(DWORD offset, bool wide, const std::string& list)
{
    std::string block(sizeof(DROPFILES), '\0');
    auto* drop = reinterpret_cast<DROPFILES*>(&block[0]);
    drop->pFiles = offset;
    drop->fWide = wide;
    return block + list;
}

std::string WideList(const std::wstring& names)
{
    return std::string(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
}

std::string Shortcut(const std::string& url)
{
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

std::string Count(DWORD n)
{
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

void PutRawBlock(UINT cf, const std::string& bytes)
{
    REQUIRE(::OpenClipboard(AfxGetMainWndHandle()));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    ::SetClipboardData(cf, block);
    ::CloseClipboard();
}

// Drops `data` on the view as the system would, with no key held.
void DropOnView(IDataObject* data)
{
    CKestrinView* view = CKestrinDoc::GetDoc()->GetListView();
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(data, MK_LBUTTON, where, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON, where, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->Drop(data, 0, where, &effect);
}

} // namespace

TEST_CASE("malformed drop lists and empty successes add nothing, by paste and by drop")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    doc->AddURL("http://h/before");
    test::TempDir dir;
    REQUIRE(test::WriteFileBytes(dir.File("good.url"), Shortcut("http://h/from-file")));
    const std::string good = dir.File("good.url");
    const CLIPFORMAT fgd = ClipFormats::FileGroupDescriptor;
    const CLIPFORMAT contents = ClipFormats::FileContents;
    const CLIPFORMAT url = ClipFormats::UniformResourceLocator;

    struct Row {
        const char* what;
        std::function<void(HostileData&)> build;
    } rows[] = {
        {"drop list beyond its block",
         [&](HostileData& d) { d.Offer(CF_HDROP, Answer::Bytes, DropBlock(4096, false, good + '\0' + '\0')); }},
        {"drop list with a huge offset",
         [&](HostileData& d) { d.Offer(CF_HDROP, Answer::Bytes, DropBlock(0xFFFFFFF0u, false, good + '\0' + '\0')); }},
        {"drop list inside its header",
         [&](HostileData& d) { d.Offer(CF_HDROP, Answer::Bytes, DropBlock(4, false, good + '\0' + '\0')); }},
        {"narrow drop list without its terminator",
         [&](HostileData& d) { d.Offer(CF_HDROP, Answer::Bytes, DropBlock(sizeof(DROPFILES), false, good)); }},
        {"wide drop list ending in a narrow terminator",
         [&](HostileData& d) {
             const std::wstring wgood(good.begin(), good.end());
             d.Offer(CF_HDROP, Answer::Bytes, DropBlock(sizeof(DROPFILES), true, WideList(wgood) + '\0'));
         }},
        {"header cut short", [&](HostileData& d) { d.Offer(CF_HDROP, Answer::Bytes, std::string(7, '\x14')); }},
        {"null block for the URL", [&](HostileData& d) { d.Offer(url, Answer::NullBlock); }},
        {"null block for the drop list", [&](HostileData& d) { d.Offer(CF_HDROP, Answer::NullBlock); }},
        {"null block for the file group", [&](HostileData& d) { d.Offer(fgd, Answer::NullBlock); }},
        {"null stream for the contents",
         [&](HostileData& d) { d.Offer(fgd, Answer::Bytes, Count(1) + std::string(332, '\0')).Offer(contents, Answer::NullStream, "", 0); }},
        {"null block for the contents",
         [&](HostileData& d) { d.Offer(fgd, Answer::Bytes, Count(1) + std::string(332, '\0')).Offer(contents, Answer::NullBlock, "", 0); }},
        {"file group counting far more than its block",
         [&](HostileData& d) { d.Offer(fgd, Answer::Bytes, Count(0x7FFFFFFF) + std::string(10, '\0')).Offer(contents, Answer::Bytes, Shortcut("http://h/never"), 0); }},
    };
    for (const Row& r : rows) {
        for (int road = 0; road < 2; ++road) {
            HostileData data;
            r.build(data);
            const DWORD start = ::GetTickCount();
            if (road == 0) {
                DropOnView(&data);
            } else {
                REQUIRE(SUCCEEDED(::OleSetClipboard(&data)));
                Command(ID_EDIT_PASTE);
                ::OleSetClipboard(nullptr);
            }
            if (ListedUrls() != std::vector<std::string>{"http://h/before"})
                test::Fail(__FILE__, __LINE__, std::string(r.what) + (road ? " (paste)" : " (drop)") + ": the list changed");
            CHECK(::GetTickCount() - start < 5000);
            CHECK(::IsWindow(AfxGetMainWndHandle()));
        }
    }

    // The same blocks put on the clipboard as they are, by a program that
    // does not use OLE.
    PutRawBlock(CF_HDROP, DropBlock(4096, false, good + '\0' + '\0'));
    Command(ID_EDIT_PASTE);
    PutRawBlock(CF_HDROP, DropBlock(sizeof(DROPFILES), false, std::string(300, 'A')));
    Command(ID_EDIT_PASTE);
    PutRawBlock(CF_HDROP, DropBlock(0x7FFFFFF0u, true, ""));
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/before"});

    // A stream that claims more than it read: only what it read counts.
    HostileData boasting;
    boasting.Offer(fgd, Answer::Bytes, Count(1) + std::string(332, '\0'))
        .Offer(contents, Answer::Boasting, Shortcut("http://h/boasted"), 0);
    DropOnView(&boasting);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/before", "http://h/boasted"}));

    // The next good paste and drop work.
    PutRawBlock(CF_HDROP, DropBlock(sizeof(DROPFILES), false, good + '\0' + '\0'));
    Command(ID_EDIT_PASTE);
    HostileData link;
    link.Offer(url, Answer::Bytes, std::string("http://h/after") + '\0');
    DropOnView(&link);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/before", "http://h/boasted", "http://h/from-file",
                                              "http://h/after"}));
    CHECK(HeapsValid());
    test::CloseApp();
}

namespace {

// Lets a pipe reader that waits go after `ms`, so that a faulty intake
// cannot hold the test for ever.
struct PipeRelease {
    const char* name;
    DWORD ms;
    static DWORD WINAPI Run(void* p)
    {
        auto* self = static_cast<PipeRelease*>(p);
        ::Sleep(self->ms);
        HANDLE h = ::CreateFileA(self->name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
        return 0;
    }
};

} // namespace

TEST_CASE("dropped paths are read only when they name a local regular file")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    test::TempDir dir;
    REQUIRE(test::WriteFileBytes(dir.File("ok.url"), Shortcut("http://h/ok")));
    REQUIRE(::CreateDirectoryA(dir.File("folder.url").c_str(), nullptr));
    // A .url file far larger than any shortcut.
    REQUIRE(test::WriteFileBytes(dir.File("huge.url"), Shortcut("http://h/huge") + std::string(200000, ' ')));

    const char pipeName[] = "\\\\.\\pipe\\kestrin-hostile.url";
    HANDLE pipe = ::CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 4096, 4096, 0,
                                     nullptr);
    REQUIRE(pipe != INVALID_HANDLE_VALUE);
    PipeRelease release{pipeName, 20000};
    HANDLE releaser = ::CreateThread(nullptr, 0, PipeRelease::Run, &release, 0, nullptr);

    const std::vector<std::string> paths = {
        pipeName,
        "\\\\.\\NUL.url",
        "\\\\?\\" + dir.File("ok.url"),
        "\\\\127.0.0.1\\share\\remote.url",
        dir.File("folder.url"),
        dir.File("huge.url"),
        "NUL.url",
        dir.File("ok.url"),
    };
    std::string list;
    for (const std::string& p : paths)
        list += p + '\0';
    list += '\0';
    HostileData drop;
    drop.Offer(CF_HDROP, Answer::Bytes, DropBlock(sizeof(DROPFILES), false, list));
    const DWORD start = ::GetTickCount();
    DropOnView(&drop);
    CHECK(::GetTickCount() - start < 5000);
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/ok"});
    ::WaitForSingleObject(releaser, 30000);
    ::CloseHandle(releaser);
    ::CloseHandle(pipe);
    test::CloseApp();
}

namespace {

int CountTempFiles()
{
    char folder[MAX_PATH];
    ::GetTempPathA(MAX_PATH, folder);
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((std::string(folder) + "kst*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return n;
}

} // namespace

TEST_CASE("contents handed over as a file leave no temporary file behind")
{
    ClipFormats::Register();
    const int before = CountTempFiles();
    auto* source = new COleDataSource;
    const std::string text = Shortcut("http://h/by-file");
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, text.size());
    std::memcpy(::GlobalLock(block), text.data(), text.size());
    ::GlobalUnlock(block);
    FORMATETC format = {ClipFormats::FileContents, nullptr, DVASPECT_CONTENT, 0, TYMED_FILE};
    source->CacheGlobalData(ClipFormats::FileContents, block, &format);
    HGLOBAL group = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4 + 332);
    *static_cast<DWORD*>(::GlobalLock(group)) = 1;
    ::GlobalUnlock(group);
    source->CacheGlobalData(ClipFormats::FileGroupDescriptor, group);
    for (int round = 0; round < 3; ++round) {
        COleDataObject data;
        data.Attach(source);
        std::vector<std::string> urls;
        UrlImporter::Import(data, [&](const char* u) { urls.push_back(u); });
        CHECK(urls == std::vector<std::string>{"http://h/by-file"});
    }
    source->Release();
    CHECK_EQ(CountTempFiles(), before);
}
