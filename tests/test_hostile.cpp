// Hostile data on the clipboard and in drops: blocks that lie about their
// size, successes that hand over nothing, streams that claim more than they
// read, paths that name pipes. Fed through the real view's paste and drop,
// in-process and through the real OLE clipboard: the program stays up, adds
// nothing wrong, and the next good paste works.
#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
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

// How a hostile data object answers GetData for one format.
enum class Answer {
    Bytes,         // a block holding the bytes
    NullBlock,     // S_OK with TYMED_HGLOBAL and a null handle
    NullStream,    // S_OK with TYMED_ISTREAM and a null stream
    Boasting,      // a stream whose Read claims ten times what it read
    Fail,          // an error
};

// A stream over bytes whose Stat and Read lie the way `Answer` says.
class LyingStream : public IStream {
public:
    explicit LyingStream(const std::string& bytes) : m_bytes(bytes) {}
    virtual ~LyingStream() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG n = --m_nRef;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Read(void* buffer, ULONG cb, ULONG* read) override
    {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(cb, m_bytes.size() - m_nPos));
        std::memcpy(buffer, m_bytes.data() + m_nPos, n);
        m_nPos += n;
        if (read)
            *read = n ? n * 10 + 1000 : 0;   // more than asked, more than the buffer
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override
    {
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_bytes.size();
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::string m_bytes;
    size_t m_nPos = 0;
    ULONG m_nRef = 1;
};

// A data object of another program that answers as it is told.
class HostileData : public IDataObject {
public:
    HostileData& Offer(CLIPFORMAT cf, Answer answer, const std::string& bytes = std::string(),
                       LONG lindex = -1)
    {
        m_formats.push_back({cf, lindex, answer, bytes});
        return *this;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRef; }   // lives on the test's stack

    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* medium) override
    {
        const Format* e = Find(f);
        if (!e)
            return DV_E_FORMATETC;
        std::memset(medium, 0, sizeof *medium);
        switch (e->answer) {
        case Answer::Bytes: {
            HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, e->bytes.size() ? e->bytes.size() : 1);
            std::memcpy(::GlobalLock(block), e->bytes.data(), e->bytes.size());
            ::GlobalUnlock(block);
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = block;
            return S_OK;
        }
        case Answer::NullBlock:
            medium->tymed = TYMED_HGLOBAL;
            return S_OK;
        case Answer::NullStream:
            medium->tymed = TYMED_ISTREAM;
            return S_OK;
        case Answer::Boasting:
            medium->tymed = TYMED_ISTREAM;
            medium->pstm = new LyingStream(e->bytes);
            return S_OK;
        case Answer::Fail:
            break;
        }
        return E_FAIL;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return Find(f) ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        std::vector<FORMATETC> formats;
        for (const Format& e : m_formats)
            formats.push_back({e.cf, nullptr, DVASPECT_CONTENT, e.lindex, Tymed(e.answer)});
        return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    struct Format {
        CLIPFORMAT cf;
        LONG lindex;
        Answer answer;
        std::string bytes;
    };
    static DWORD Tymed(Answer a)
    {
        return a == Answer::NullStream || a == Answer::Boasting ? TYMED_ISTREAM : TYMED_HGLOBAL;
    }
    const Format* Find(const FORMATETC* f) const
    {
        for (const Format& e : m_formats)
            if (e.cf == f->cfFormat && (e.lindex == f->lindex || f->lindex == -1) && (Tymed(e.answer) & f->tymed))
                return &e;
        return nullptr;
    }

    std::vector<Format> m_formats;
    ULONG m_nRef = 1;
};

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

bool HeapsValid()
{
    HANDLE heaps[64];
    const DWORD n = ::GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < n && i < 64; ++i)
        if (!::HeapValidate(heaps[i], 0, nullptr))
            return false;
    return true;
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

TEST_CASE("pasted text: every URL once, in order, whatever its line ends; 50,000 lines at once")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    struct Row {
        const char* what;
        std::string text;
    } rows[] = {
        {"CR only", "http://h/a\rhttp://h/b\rhttp://h/a\r\rhttp://h/c"},
        {"LF only", "http://h/d\nhttp://h/e\n\nhttp://h/d\n"},
        {"CR LF", "http://h/f\r\nhttp://h/g\r\nhttp://h/f\r\n"},
        {"mixed", "http://h/h\r\n\rhttp://h/i\n\r\nhttp://h/j\r"},
    };
    for (const Row& r : rows) {
        PutTextOnClipboard(r.text);
        Command(ID_EDIT_PASTE);
    }
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/a", "http://h/b", "http://h/c", "http://h/d", "http://h/e",
                                              "http://h/f", "http://h/g", "http://h/h", "http://h/i", "http://h/j"}));

    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    REQUIRE(CKestrinDoc::GetDoc()->GetItemCount() == 0);
    const int n = 50000;
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "http://example.com/file/" + std::to_string(i) + ".zip" + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    // and each of them a second time: still one row each
    text += text;
    PutTextOnClipboard(text);
    const DWORD t0 = ::GetTickCount();
    {
        std::vector<std::string> got = UrlImporter::UrlLinesOf(std::wstring(text.begin(), text.end()));
        std::printf("split %d lines in %lu ms\n", static_cast<int>(got.size()), ::GetTickCount() - t0);
        std::fflush(stdout);
    }
    const DWORD t1 = ::GetTickCount();
    Command(ID_EDIT_PASTE);
    std::printf("pasted in %lu ms\n", ::GetTickCount() - t1);
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    REQUIRE(doc->GetItemCount() == n);
    bool inOrder = true;
    for (int i = 0; i < n && inOrder; ++i)
        inOrder = doc->GetItem(i)->m_strURL == "http://example.com/file/" + std::to_string(i) + ".zip";
    CHECK(inOrder);
    test::CloseApp();
}

TEST_CASE("drop effects: a key held gets what it asks for or nothing")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinView* view = CKestrinDoc::GetDoc()->GetListView();
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    struct Row {
        const char* what;
        DWORD keys;
        DWORD allowed;
        DWORD effect;   // what the source is told, over the view and after the drop
    } rows[] = {
        {"plain, any", 0, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
        {"plain, copy only", 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"plain, link only", 0, DROPEFFECT_LINK, DROPEFFECT_LINK},
        {"Ctrl, copy only", MK_CONTROL, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"Ctrl, move only", MK_CONTROL, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"Ctrl+Shift, copy only", MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY, DROPEFFECT_NONE},
        {"Ctrl+Shift, move only", MK_CONTROL | MK_SHIFT, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"Ctrl+Shift, link allowed", MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_LINK},
        {"Shift, copy only", MK_SHIFT, DROPEFFECT_COPY, DROPEFFECT_NONE},
    };
    int added = 0;
    for (const Row& r : rows) {
        HostileData data;
        const std::string url = "http://h/" + std::to_string(added + 100);
        data.Offer(ClipFormats::UniformResourceLocator, Answer::Bytes, url + '\0');
        DWORD effect = r.allowed;
        target->DragEnter(&data, MK_LBUTTON | r.keys, where, &effect);
        effect = r.allowed;
        target->DragOver(MK_LBUTTON | r.keys, where, &effect);
        const DWORD hover = effect;
        effect = r.allowed;
        target->Drop(&data, r.keys, where, &effect);
        if (hover != r.effect || effect != r.effect)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": effect " + std::to_string(hover) + "/" +
                       std::to_string(effect) + ", expected " + std::to_string(r.effect));
        const bool shouldAdd = r.effect != DROPEFFECT_NONE;
        const bool didAdd = CKestrinDoc::GetDoc()->GetItemCount() == added + 1;
        if (shouldAdd != didAdd)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": wrong addition");
        if (didAdd)
            ++added;
    }
    test::CloseApp();
}

TEST_CASE("rows copied in an earlier run are pasted after a restart")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    doc->AddURL("http://h/one.zip");
    doc->AddURL("ftp://h/two.tgz");
    doc->AddURL("http://h/three");
    test::SelectRows({0, 1});
    Command(ID_EDIT_COPY);
    test::CloseApp();

    // Nothing of the file group is left for a later paste to trip over.
    {
        IDataObject* clip = nullptr;
        REQUIRE(SUCCEEDED(::OleInitialize(nullptr)));
        REQUIRE(SUCCEEDED(::OleGetClipboard(&clip)));
        COleDataObject data;
        data.Attach(clip);
        CHECK(!data.IsDataAvailable(ClipFormats::FileGroupDescriptor));
        CHECK(!data.IsDataAvailable(ClipFormats::FileContents));
        clip->Release();
        data.Release();
        ::OleUninitialize();
    }

    REQUIRE(test::StartApp());
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/one.zip", "ftp://h/two.tgz"}));

    // One row: its URL, as a URL.
    test::SelectRows({1});
    Command(ID_EDIT_COPY);
    test::CloseApp();
    REQUIRE(test::StartApp());
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == std::vector<std::string>{"ftp://h/two.tgz"});
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

namespace {

// A window whose handler for one message throws, before or after it ran
// the default processing, and counts how often the default ran.
class ThrowingWnd : public CWnd {
public:
    int m_nDefaults = 0;
    bool m_bAfterDefault = false;
    bool Create()
    {
        RegisterClass("KestrinThrowingTest", 0, nullptr, nullptr, nullptr);
        return CreateEx(0, "KestrinThrowingTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_USER + 7) {
            if (m_bAfterDefault)
                DefWindowProc(msg, wp, lp);
            throw std::runtime_error("handler failed");
        }
        return CWnd::WindowProc(msg, wp, lp);
    }
    LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_USER + 7)
            ++m_nDefaults;
        return CWnd::DefWindowProc(msg, wp, lp);
    }
};

} // namespace

TEST_CASE("a handler that throws has the default processing run once, never twice")
{
    ThrowingWnd wnd;
    REQUIRE(wnd.Create());
    for (bool after : {false, true}) {
        wnd.m_nDefaults = 0;
        wnd.m_bAfterDefault = after;
        ::SendMessageA(wnd.m_hWnd, WM_USER + 7, 0, 0);
        CHECK_EQ(wnd.m_nDefaults, 1);
    }
    wnd.DestroyWindow();
}

namespace {

// Makes the creation of chosen windows of the program fail, the way the
// system lets a hook refuse a window or another program hold a drop target.
struct CreationBreaker {
    static std::string s_class;      // windows of this class are refused
    static bool s_childOnly;
    static bool s_takeDropTarget;    // the view's drop target is taken first
    static HHOOK s_hook;

    class Holder : public IDropTarget {
    public:
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override
        {
            if (iid == IID_IUnknown || iid == IID_IDropTarget) {
                *out = this;
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
        STDMETHODIMP DragOver(DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
        STDMETHODIMP DragLeave() override { return S_OK; }
        STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
    };
    static Holder s_holder;

    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_CREATEWND) {
            HWND hwnd = reinterpret_cast<HWND>(wp);
            char name[64] = "";
            ::GetClassNameA(hwnd, name, sizeof name);
            const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs;
            if (s_class == name && (!s_childOnly || (cs->style & WS_CHILD))) {
                if (!s_takeDropTarget)
                    return 1;   // the system refuses to create the window
                ::RegisterDragDrop(hwnd, &s_holder);
            }
        }
        return ::CallNextHookEx(s_hook, code, wp, lp);
    }

    CreationBreaker(const char* cls, bool childOnly, bool takeDropTarget)
    {
        s_class = cls;
        s_childOnly = childOnly;
        s_takeDropTarget = takeDropTarget;
        s_hook = ::SetWindowsHookExA(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CreationBreaker() { ::UnhookWindowsHookEx(s_hook); }
};
std::string CreationBreaker::s_class;
bool CreationBreaker::s_childOnly = false;
bool CreationBreaker::s_takeDropTarget = false;
HHOOK CreationBreaker::s_hook = nullptr;
CreationBreaker::Holder CreationBreaker::s_holder;

} // namespace

TEST_CASE("a view or a bar that cannot be created ends start-up cleanly")
{
    struct Row {
        const char* what;
        const char* cls;
        bool childOnly;
        bool takeDropTarget;
    } rows[] = {
        {"view's drop target taken", "KestrinListView", false, true},
        {"view refused", "KestrinListView", false, false},
        {"toolbar refused", "KestrinToolBar", false, false},
        {"status bar refused", "KestrinStatusBar", false, false},
        {"folder bar refused", "#32770", true, false},
    };
    for (const Row& r : rows) {
        test::ResetRegistry();
        bool started;
        {
            CreationBreaker breaker(r.cls, r.childOnly, r.takeDropTarget);
            started = test::StartApp();
        }
        if (started) {
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": start-up went on");
            test::CloseApp();
            continue;
        }
        CHECK(AfxGetMainWnd() == nullptr);
        CHECK(CKestrinDoc::GetDoc() == nullptr);
        // No quit message is left for a loop that never started.
        MSG msg;
        CHECK(!::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        theApp.ExitInstance();
        if (!HeapsValid())
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": heap damaged");
    }
    // And the program starts normally afterwards.
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc::GetDoc()->AddURL("http://h/works");
    CHECK_EQ(CKestrinDoc::GetDoc()->GetItemCount(), 1);
    test::CloseApp();
    CHECK(HeapsValid());
}
