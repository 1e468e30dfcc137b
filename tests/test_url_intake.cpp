// URLs coming in: shortcut text, text lines, data built the way browsers
// build a dragged link, which offered format counts, file groups that lie
// about their count, ".url" files dropped by path, and the drop effects
// the keys choose.
#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include <sstream>
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "framework/OleDataObject.h"
#include "framework/OleDataSource.h"
#include "framework/OleDropTarget.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"
#include "view/ShortcutExport.h"
#include "view/UrlImporter.h"

using namespace test;

using test::Ansi;

namespace {

const std::string kHeader = "[InternetShortcut]\nURL=";

std::string Read(const std::string& text)
{
    std::istringstream in(text);
    std::string url = "untouched";
    UrlImporter::ReadShortcutURL(in, url);
    return url;
}

// A data object offering blocks under the given formats, in order.
class Builder {
public:
    Builder() : m_source(new COleDataSource) { ClipFormats::Register(); }
    ~Builder() { m_source->Release(); }

    Builder& Bytes(CLIPFORMAT cf, const std::string& bytes, LONG lindex = -1,
                   DWORD tymed = TYMED_HGLOBAL, size_t padding = 0)
    {
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size() + padding);
        char* p = static_cast<char*>(::GlobalLock(block));
        std::memcpy(p, bytes.data(), bytes.size());
        std::memset(p + bytes.size(), 0xCD, padding);   // what uninitialised memory may hold
        ::GlobalUnlock(block);
        FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, lindex, tymed};
        m_source->CacheGlobalData(cf, block, &format);
        return *this;
    }
    Builder& Text(CLIPFORMAT cf, const std::string& text) { return Bytes(cf, text + '\0'); }
    Builder& Wide(CLIPFORMAT cf, const std::wstring& text)
    {
        return Bytes(cf, std::string(reinterpret_cast<const char*>(text.c_str()),
                                     (text.size() + 1) * sizeof(wchar_t)));
    }
    // A file group descriptor of `count` records named like browsers do.
    Builder& Group(CLIPFORMAT cf, UINT count, bool wide, DWORD claimedCount = 0)
    {
        const size_t record = wide ? sizeof(FILEDESCRIPTORW) : sizeof(FILEDESCRIPTORA);
        std::string block(4 + record * count, '\0');
        const UINT items = claimedCount ? claimedCount : count;
        std::memcpy(&block[0], &items, 4);
        for (UINT i = 0; i < count; ++i) {
            DWORD flags = FD_LINKUI;
            std::memcpy(&block[4 + record * i], &flags, 4);
        }
        return Bytes(cf, block);
    }
    Builder& Drop(const std::vector<std::string>& paths)
    {
        std::string block(sizeof(DROPFILES), '\0');
        auto* drop = reinterpret_cast<DROPFILES*>(&block[0]);
        drop->pFiles = sizeof(DROPFILES);
        for (const std::string& p : paths)
            block += p + '\0';
        block += '\0';
        return Bytes(CF_HDROP, block);
    }

    std::vector<std::string> Import() const
    {
        COleDataObject data;
        data.Attach(m_source);
        std::vector<std::string> urls;
        UrlImporter::Import(data, [&](const char* url) { urls.push_back(url); });
        return urls;
    }

    COleDataSource* m_source;
};

CLIPFORMAT Format(const char* name)
{
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatA(name));
}

std::string Shortcut(const std::string& url, const char* eol = "\r\n")
{
    return std::string("[InternetShortcut]") + eol + "URL=" + url + eol;
}

} // namespace

TEST_CASE("shortcut text: where the reader finds a URL and where it does not")
{
    struct Row {
        const char* text;
        const char* url;
    } rows[] = {
        {"[InternetShortcut]\nURL=http://h/a.zip", "http://h/a.zip"},
        {"[InternetShortcut]\r\nURL=http://h/a.zip\r\n", "http://h/a.zip"},
        {"[InternetShortcut]\n\n\n  url = http://h/b\nIconIndex=0\n", "http://h/b"},
        {"[InternetShortcut]\nUrl=http://h/c", "http://h/c"},
        {"anything\nURL=http://h/d", "http://h/d"},
        {"[InternetShortcut]\nBASEURL=http://h/e\nURL=http://h/f", "untouched"},
        {"[InternetShortcut]\nURLs=http://h/g", "untouched"},
        {"URL=http://h/only-line", "untouched"},
        {"[InternetShortcut]\nURL", "untouched"},
        {"", "untouched"},
        {"[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n[InternetShortcut]\r\nURL=http://h/x\r\n", "untouched"},
        {"[InternetShortcut]\nURL=http://h/with blank ", "http://h/with blank "},
        {"[InternetShortcut]\nURL=", ""},
    };
    for (const Row& r : rows)
        CHECK_EQ(Read(r.text), std::string(r.url));

    // A URL line of 300 characters gives its first 259.
    const std::string longUrl = "http://h/" + std::string(291, 'x');
    CHECK_EQ(Read("[InternetShortcut]\nURL=" + longUrl), longUrl.substr(0, 259));
    // Global memory longer than its text: the text ends at the NUL.
    CHECK_EQ(Read(std::string("[InternetShortcut]\nURL=http://h/z\0garbage", 41)), std::string("http://h/z"));
}

TEST_CASE("text: only lines that are web URLs count, each once, in order")
{
    CHECK(UrlImporter::UrlLinesOf(L"https://example.com/a.zip") ==
          std::vector<std::string>{"https://example.com/a.zip"});
    CHECK(UrlImporter::UrlLinesOf(L"Download it from https://example.com/a.zip today.").empty());
    CHECK(UrlImporter::UrlLinesOf(L"  http://h/1\r\nftp://h/2\n\nmailto:x@y\nhttp://h/1\n file:///c:/x \nhttps://h/3 ") ==
          (std::vector<std::string>{"http://h/1", "ftp://h/2", "https://h/3"}));
    // Japanese in the code page is kept; a URL with what it cannot hold
    // comes escaped.
    CHECK(UrlImporter::UrlLinesOf(L"http://h/\x8868.zip\nhttp://h/\x0623.zip") ==
          (std::vector<std::string>{"http://h/" + Ansi("表") + ".zip", "http://h/%D8%A3.zip"}));
}

TEST_CASE("a link dragged out of the common browsers adds exactly its URL")
{
    const std::string url = "https://example.com/files/setup.exe?lang=ja";
    const std::wstring wurl(url.begin(), url.end());
    const CLIPFORMAT groupW = Format("FileGroupDescriptorW");

    // Chromium: moz-url, a wide file group with one CR LF shortcut,
    // URL wide and ANSI, then text.
    Builder chrome;
    chrome.Wide(ClipFormats::MozUrl, wurl + L"\nSetup")
        .Group(groupW, 1, true)
        .Bytes(ClipFormats::FileContents, Shortcut(url), 0)
        .Wide(ClipFormats::UniformResourceLocatorW, wurl)
        .Text(ClipFormats::UniformResourceLocator, url)
        .Wide(CF_UNICODETEXT, wurl)
        .Text(CF_TEXT, url);
    CHECK(chrome.Import() == std::vector<std::string>{url});

    // Firefox: the ANSI file group too, its shortcut in memory sized to the
    // text with no NUL, and a favicon key after the URL.
    Builder firefox;
    firefox.Wide(ClipFormats::MozUrl, wurl + L"\nSetup")
        .Wide(ClipFormats::UniformResourceLocatorW, wurl)
        .Text(ClipFormats::UniformResourceLocator, url)
        .Group(groupW, 1, true)
        .Group(ClipFormats::FileGroupDescriptor, 1, false)
        .Bytes(ClipFormats::FileContents,
               Shortcut(url) + "IDList=\r\nHotKey=0\r\nIconFile=C:\\x\\fav.ico\r\nIconIndex=0\r\n", 0,
               TYMED_HGLOBAL, 11)
        .Wide(CF_UNICODETEXT, wurl);
    CHECK(firefox.Import() == std::vector<std::string>{url});

    // The old browsers: the shortcut behind a stream only.
    Builder stream;
    stream.Text(ClipFormats::UniformResourceLocator, url)
        .Group(ClipFormats::FileGroupDescriptor, 1, false)
        .Bytes(ClipFormats::FileContents, Shortcut(url), 0, TYMED_ISTREAM)
        .Text(CF_TEXT, url);
    CHECK(stream.Import() == std::vector<std::string>{url});

    // A shortcut handed over as a file.
    Builder file;
    file.Group(ClipFormats::FileGroupDescriptor, 1, false)
        .Bytes(ClipFormats::FileContents, Shortcut(url), 0, TYMED_FILE);
    CHECK(file.Import() == std::vector<std::string>{url});

    // A Linux browser under Wine: moz-url, _NETSCAPE_URL, text and an empty
    // file list.
    Builder wine;
    wine.Wide(ClipFormats::MozUrl, wurl + L"\n" + L"\x30BB\x30C3\x30C8\x30A2\x30C3\x30D7")
        .Text(ClipFormats::NetscapeUrl, url + "\nSetup")
        .Wide(CF_UNICODETEXT, wurl)
        .Drop({});
    CHECK(wine.Import() == std::vector<std::string>{url});
}

TEST_CASE("format precedence: the first offered format is used, with no falling back")
{
    // A file group whose contents are no shortcut, beside a URL: nothing.
    Builder notShortcut;
    notShortcut.Group(ClipFormats::FileGroupDescriptor, 1, false)
        .Bytes(ClipFormats::FileContents, "just some text\r\n", 0)
        .Text(ClipFormats::UniformResourceLocator, "http://h/ignored");
    CHECK(notShortcut.Import().empty());

    // Two shortcuts come in index order.
    Builder two;
    two.Group(ClipFormats::FileGroupDescriptor, 2, false)
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/second"), 1)
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/first"), 0);
    CHECK(two.Import() == (std::vector<std::string>{"http://h/first", "http://h/second"}));

    // The URL format is taken as it is, blanks and all.
    Builder url;
    url.Text(ClipFormats::UniformResourceLocator, " http://h/with blanks ").Text(CF_TEXT, "http://h/text");
    CHECK(url.Import() == std::vector<std::string>{" http://h/with blanks "});

    // Contents of exactly 4096 bytes are read; 4097 are skipped.
    std::string exact = Shortcut("http://h/exact");
    exact.resize(4096, ' ');
    std::string over = Shortcut("http://h/over");
    over.resize(4097, ' ');
    Builder sizes;
    sizes.Group(ClipFormats::FileGroupDescriptor, 2, false)
        .Bytes(ClipFormats::FileContents, exact, 0)
        .Bytes(ClipFormats::FileContents, over, 1);
    CHECK(sizes.Import() == std::vector<std::string>{"http://h/exact"});

    // Text of any kind only when none of the three formats is offered.
    Builder prose;
    prose.Text(CF_TEXT, "This is a paragraph about http://h/x and more.");
    CHECK(prose.Import().empty());
}

TEST_CASE("a file group whose count lies is read only as far as its block goes")
{
    Builder hostile;
    hostile.Group(ClipFormats::FileGroupDescriptor, 2, false, 0xFFFFFFFFu)
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/0"), 0)
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/1"), 1)
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/2"), 2);
    const DWORD start = ::GetTickCount();
    CHECK(hostile.Import() == (std::vector<std::string>{"http://h/0", "http://h/1"}));
    CHECK(::GetTickCount() - start < 5000);

    Builder tiny;
    tiny.Bytes(ClipFormats::FileGroupDescriptor, std::string("\xff\xff", 2))
        .Bytes(ClipFormats::FileContents, Shortcut("http://h/0"), 0);
    CHECK(tiny.Import().empty());
}

TEST_CASE(".url files dropped by path, as browsers and the shell write them")
{
    test::TempDir dir;
    struct File {
        const char* name;
        std::string bytes;
    } files[] = {
        {"crlf.url", Shortcut("http://h/crlf")},
        {"lf.URL", Shortcut("http://h/lf", "\n")},
        {"no-end.Url", "[InternetShortcut]\r\nURL=http://h/no-end"},
        {"keys.url", Shortcut("http://h/keys") + "IDList=\r\nHotKey=0\r\n"},
        {"edge.url", "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n[InternetShortcut]\r\nIDList=\r\nURL=http://h/edge\r\n"},
        {"notes.txt", Shortcut("http://h/txt")},
        {"dup.url", Shortcut("http://h/crlf")},
    };
    std::vector<std::string> paths;
    for (const File& f : files) {
        CHECK(test::WriteFileBytes(dir.File(f.name), f.bytes));
        paths.push_back(dir.File(f.name));
    }
    paths.push_back(dir.File("missing.url"));
    Builder drop;
    drop.Drop(paths);
    CHECK(drop.Import() == (std::vector<std::string>{"http://h/crlf", "http://h/lf", "http://h/no-end",
                                                     "http://h/keys", "http://h/crlf"}));
}

namespace {

CKestrinView* View() { return CKestrinDoc::GetDoc()->GetListView(); }

} // namespace

TEST_CASE("drop effects follow the keys, within what the source allows; own rows are refused")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinView* view = View();
    const POINT pt = {10, 10};
    CHECK_EQ(view->OnDragOver(nullptr, MK_LBUTTON, pt), static_cast<DWORD>(DROPEFFECT_MOVE));
    CHECK_EQ(view->OnDragOver(nullptr, MK_LBUTTON | MK_CONTROL, pt), static_cast<DWORD>(DROPEFFECT_COPY));
    CHECK_EQ(view->OnDragOver(nullptr, MK_LBUTTON | MK_CONTROL | MK_SHIFT, pt),
             static_cast<DWORD>(DROPEFFECT_LINK));
    CHECK_EQ(view->OnDragOver(nullptr, MK_LBUTTON | MK_SHIFT, pt), static_cast<DWORD>(DROPEFFECT_MOVE));

    // A browser that allows copy and link gets a copy for a plain drop.
    CHECK_EQ(COleDropTarget::LimitEffect(DROPEFFECT_MOVE, DROPEFFECT_COPY | DROPEFFECT_LINK),
             static_cast<DWORD>(DROPEFFECT_COPY));
    CHECK_EQ(COleDropTarget::LimitEffect(DROPEFFECT_LINK, DROPEFFECT_COPY | DROPEFFECT_LINK),
             static_cast<DWORD>(DROPEFFECT_LINK));
    CHECK_EQ(COleDropTarget::LimitEffect(DROPEFFECT_NONE, DROPEFFECT_COPY),
             static_cast<DWORD>(DROPEFFECT_NONE));

    // Through the view's drop target, as the system calls it.
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    doc->AddURL("http://h/existing");
    Builder link;
    link.Text(ClipFormats::UniformResourceLocator, "http://h/dropped");
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    CHECK_EQ(target->DragEnter(link.m_source, MK_LBUTTON, where, &effect), S_OK);
    CHECK_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));   // nothing until the first move
    effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
    target->DragOver(MK_LBUTTON, where, &effect);
    CHECK_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    CHECK_EQ(target->Drop(link.m_source, 0, where, &effect), S_OK);
    CHECK_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/existing", "http://h/dropped"}));

    // While its own drag runs, the view refuses the drop: nothing is added,
    // and the source is told nothing moved.
    Builder own;
    own.Text(ClipFormats::UniformResourceLocator, "http://h/own-row");
    view->m_bDragging = 1;
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(own.m_source, MK_LBUTTON, where, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON | MK_CONTROL, where, &effect);
    CHECK_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->Drop(own.m_source, 0, where, &effect);
    CHECK_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    view->m_bDragging = 0;
    CHECK_EQ(ListedUrls().size(), 2u);
    test::CloseApp();
}
