// URLs going out: the names of the shortcuts a drag gives, the data copy,
// cut and drag give out (and what is left out when memory runs short), and
// copy and paste through the real OLE clipboard.
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

} // namespace

TEST_CASE("shortcut names: the object part, dots and slashes as blanks, then .url")
{
    CHECK_EQ(ShortcutExport::ShortcutFileName("http://h/pub/index.html"), std::string(" pub index html.url"));
    CHECK_EQ(ShortcutExport::ShortcutFileName("http://h/"), std::string(" .url"));
    CHECK_EQ(ShortcutExport::ShortcutFileName("http://h"), std::string(" .url"));
    CHECK_EQ(ShortcutExport::ShortcutFileName("http://h:8080/a.b/c?d=1"), std::string(" a b c?d=1.url"));
    // A URL the splitter rejects is named after itself.
    CHECK_EQ(ShortcutExport::ShortcutFileName("www.example.com/a"), std::string("www example com a.url"));
    const std::string longName = ShortcutExport::ShortcutFileName("http://h/" + std::string(400, 'x'));
    CHECK_EQ(longName, " " + std::string(254, 'x') + ".url");
    // Cut at 255 bytes, but never through a double-byte character.
    std::string sjis;
    while (sjis.size() < 300)
        sjis += Ansi("表");
    const std::string name = ShortcutExport::ShortcutFileName("http://h/x" + sjis);
    CHECK_EQ(name.size(), static_cast<size_t>(2 + 126 * 2 + 4));   // "/x" and 126 characters
}

namespace {

std::string GetBytes(IDataObject* data, CLIPFORMAT cf, LONG lindex = -1)
{
    FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, lindex, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return "<none>";
    std::string bytes(static_cast<const char*>(::GlobalLock(medium.hGlobal)), ::GlobalSize(medium.hGlobal));
    ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    return bytes;
}

std::vector<std::pair<CLIPFORMAT, LONG>> Offered(IDataObject* data)
{
    std::vector<std::pair<CLIPFORMAT, LONG>> formats;
    IEnumFORMATETC* e = nullptr;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, &e)))
        return formats;
    FORMATETC f;
    while (e->Next(1, &f, nullptr) == S_OK)
        formats.push_back({f.cfFormat, f.lindex});
    e->Release();
    return formats;
}

void CheckDescriptor(const std::string& bytes, const std::vector<std::string>& urls)
{
    REQUIRE(bytes.size() >= 4 + 332 * urls.size());
    const auto* group = reinterpret_cast<const FILEGROUPDESCRIPTORA*>(bytes.data());
    CHECK_EQ(group->cItems, static_cast<UINT>(urls.size()));
    for (size_t k = 0; k < urls.size(); ++k) {
        const FILEDESCRIPTORA& r = group->fgd[k];
        CHECK_EQ(r.dwFlags, static_cast<DWORD>(FD_FILESIZE));
        CHECK_EQ(r.nFileSizeLow, static_cast<DWORD>(kHeader.size() + urls[k].size() + 1));
        CHECK_EQ(r.nFileSizeHigh, 0u);
        CHECK_EQ(std::string(r.cFileName), ShortcutExport::ShortcutFileName(urls[k]));
        // Everything else stays zero.
        FILEDESCRIPTORA blank{};
        blank.dwFlags = r.dwFlags;
        blank.nFileSizeLow = r.nFileSizeLow;
        std::memcpy(blank.cFileName, r.cFileName, sizeof blank.cFileName);
        CHECK(std::memcmp(&blank, &r, sizeof r) == 0);
    }
}

} // namespace

TEST_CASE("the data given out: text, URL, one shortcut per row, then the descriptor")
{
    ClipFormats::Register();
    const std::vector<std::string> urls = {"http://h/pub/a.zip", "ftp://h/b.tgz"};
    auto* source = new COleDataSource;
    ShortcutExport::Fill(*source, urls, kHeader);
    const auto formats = Offered(source);
    REQUIRE(formats.size() == 5u);
    CHECK(formats[0] == std::make_pair(static_cast<CLIPFORMAT>(CF_TEXT), -1L));
    CHECK(formats[1] == std::make_pair(ClipFormats::UniformResourceLocator, -1L));
    CHECK(formats[2] == std::make_pair(ClipFormats::FileContents, 0L));
    CHECK(formats[3] == std::make_pair(ClipFormats::FileContents, 1L));
    CHECK(formats[4] == std::make_pair(ClipFormats::FileGroupDescriptor, -1L));
    CHECK_EQ(GetBytes(source, CF_TEXT), std::string("http://h/pub/a.zip", 19));
    CHECK_EQ(GetBytes(source, ClipFormats::UniformResourceLocator), std::string("http://h/pub/a.zip", 19));
    const std::string first = GetBytes(source, ClipFormats::FileContents, 0);
    CHECK_EQ(first, std::string("[InternetShortcut]\nURL=http://h/pub/a.zip") + '\0');
    CHECK_EQ(GetBytes(source, ClipFormats::FileContents, 1),
             std::string("[InternetShortcut]\nURL=ftp://h/b.tgz") + '\0');
    CheckDescriptor(GetBytes(source, ClipFormats::FileGroupDescriptor), urls);

    // Read back by the intake: exactly the URLs.
    COleDataObject data;
    data.Attach(source);
    std::vector<std::string> back;
    UrlImporter::Import(data, [&](const char* u) { back.push_back(u); });
    CHECK(back == urls);
    data.Release();
    source->Release();
}

namespace {
int g_allocations = 0;
int g_failAt = 0;
HGLOBAL WINAPI FailingAlloc(UINT flags, SIZE_T bytes)
{
    return ++g_allocations == g_failAt ? nullptr : ::GlobalAlloc(flags, bytes);
}
} // namespace

TEST_CASE("a file group that cannot be filled is not offered; the text still is")
{
    ClipFormats::Register();
    const std::vector<std::string> urls = {"http://h/1", "http://h/2", "http://h/3"};
    // Allocations: text, URL, three shortcuts, the descriptor.
    for (int failAt : {4, 6, 5}) {
        g_allocations = 0;
        g_failAt = failAt;
        auto* source = new COleDataSource;
        ShortcutExport::Fill(*source, urls, kHeader, FailingAlloc);
        const auto formats = Offered(source);
        REQUIRE(formats.size() == 2u);
        CHECK(formats[0].first == CF_TEXT);
        CHECK(formats[1].first == ClipFormats::UniformResourceLocator);
        source->Release();
    }
    g_allocations = 0;
    g_failAt = 1;   // no text block: the rest goes out
    auto* source = new COleDataSource;
    ShortcutExport::Fill(*source, urls, kHeader, FailingAlloc);
    CHECK_EQ(Offered(source).size(), 5u);
    source->Release();
}

TEST_CASE("copy and paste through the real clipboard; cut leaves the data behind")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    const std::string japanese = "http://h/" + Ansi("資料/表.zip");
    for (const std::string& u : {std::string("http://h/1"), std::string("http://h/2.zip"),
                                 std::string("http://h/3"), japanese, std::string("http://h/5")})
        doc->AddURL(u.c_str());

    // Rows 2 and 5: the first of them is the text, both are shortcuts.
    test::SelectRows({1, 4});
    Command(ID_EDIT_COPY);
    {
        IDataObject* clip = nullptr;
        REQUIRE(SUCCEEDED(::OleGetClipboard(&clip)));
        CHECK_EQ(GetBytes(clip, CF_TEXT).substr(0, 15), std::string("http://h/2.zip", 15));
        CHECK_EQ(GetBytes(clip, ClipFormats::FileContents, 1).substr(0, 29),
                 std::string("[InternetShortcut]\nURL=http://h/5", 29));
        CheckDescriptor(GetBytes(clip, ClipFormats::FileGroupDescriptor), {"http://h/2.zip", "http://h/5"});
        clip->Release();
    }

    // Cut row 4 (Japanese): the row goes, the clipboard keeps it.
    test::SelectRows({3});
    Command(ID_EDIT_CUT);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/1", "http://h/2.zip", "http://h/3", "http://h/5"}));

    // A new list, then paste: the cut URL comes back.
    doc->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    CHECK(ListedUrls().empty());
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == std::vector<std::string>{japanese});
    Command(ID_EDIT_PASTE);   // already listed: nothing more
    CHECK_EQ(ListedUrls().size(), 1u);

    // Copy two rows and paste them into a fresh list: both, in order.
    doc->AddURL("http://h/a");
    test::SelectRows({0, 1});
    Command(ID_EDIT_COPY);
    doc->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == (std::vector<std::string>{japanese, "http://h/a"}));

    // Text from a browser's address bar, prose, several lines.
    PutTextOnClipboard(L"https://example.com/a.zip");
    Command(ID_EDIT_PASTE);
    PutTextOnClipboard(L"Please read the notes at https://example.com/notes before you start.");
    Command(ID_EDIT_PASTE);
    PutTextOnClipboard(L"http://h/x1\r\nhttp://h/x2\r\nhttp://h/x1\r\n");
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == (std::vector<std::string>{japanese, "http://h/a", "https://example.com/a.zip",
                                              "http://h/x1", "http://h/x2"}));
    test::CloseApp();
}
