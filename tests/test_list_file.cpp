// List files: saved and opened again, line ends of any kind, files that
// are no list refused with the list kept, saving that replaces the file
// whole, the code page read, and lists at the size limit.
#include "DocUtil.h"
#include <cstdio>
#include <cstring>
#include "Test.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "model/UrlSplitter.h"
#include "app/resource.h"
#include "framework/CmdUI.h"

using test::Ansi;
using test::Urls;

TEST_CASE("list file: saved URLs come back in order, Japanese ones too")
{
    test::TempDir dir;
    const std::string path = dir.File("list.kst");
    const std::string japanese = "http://h/" + Ansi("ソフト/表示.zip");
    {
        CKestrinDoc doc;
        doc.AddURL("http://h/b");
        doc.AddURL(japanese.c_str());
        doc.AddURL("ftp://h/a");
        CHECK(doc.OnSaveDocument(path.c_str()));
        CHECK(!doc.IsModified());
    }
    std::string bytes;
    CHECK(test::ReadFileBytes(path, bytes));
    CHECK_EQ(bytes, "http://h/b\r\n" + japanese + "\r\nftp://h/a\r\n");

    CKestrinDoc doc;
    doc.AddURL("http://h/old");
    CHECK(doc.OnOpenDocument(path.c_str()));
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/b", japanese, "ftp://h/a"}));
    CHECK(!doc.IsModified());
    CHECK_EQ(doc.GetItem(1)->m_strFileName, Ansi("ソフト\\表示.zip"));
}

TEST_CASE("list file: line ends of any kind, blank lines and duplicates")
{
    test::TempDir dir;
    const std::string path = dir.File("hand-made.kst");
    CHECK(test::WriteFileBytes(path, "\r\nhttp://h/1\n\n  \t\nhttp://h/2\r\nhttp://h/1\r\n\r\nhttp://h/3"));
    CKestrinDoc doc;
    CHECK(doc.OnOpenDocument(path.c_str()));
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/1", "http://h/2", "http://h/3"}));
}

TEST_CASE("list file: an empty file from an earlier version opens as an empty list")
{
    test::TempDir dir;
    const std::string path = dir.File("old.kst");
    CHECK(test::WriteFileBytes(path, ""));
    CKestrinDoc doc;
    doc.AddURL("http://h/x");
    CHECK(doc.OnOpenDocument(path.c_str()));
    CHECK_EQ(doc.GetItemCount(), 0);
}

TEST_CASE("list file: binary, huge and missing files are refused and the list is kept")
{
    test::TempDir dir;
    const std::string binary = dir.File("picture.kst");
    CHECK(test::WriteFileBytes(binary, std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13)));
    const std::string huge = dir.File("huge.kst");
    {
        HANDLE f = ::CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        ::SetFilePointer(f, CKestrinDoc::kMaxFileSize + 1, nullptr, FILE_BEGIN);
        ::SetEndOfFile(f);
        ::CloseHandle(f);
    }

    CKestrinDoc doc;
    doc.AddURL("http://h/keep");
    test::MessageBoxWatcher boxes;
    CHECK(!doc.OnOpenDocument(binary.c_str()));
    CHECK(!doc.OnOpenDocument(huge.c_str()));
    CHECK(!doc.OnOpenDocument(dir.File("missing.kst").c_str()));
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/keep"}));
    const auto texts = boxes.Texts();
    REQUIRE(texts.size() == 3u);
    CHECK_EQ(texts[0], Ansi("このファイルはリストファイルではないため開けません。"));
    CHECK_EQ(texts[1], Ansi("ファイルが大きすぎるため開けません。"));
    CHECK_EQ(texts[2], Ansi("ファイルを開けませんでした。"));
}

TEST_CASE("list file: saving replaces the earlier file whole; a failed save says so")
{
    test::TempDir dir;
    const std::string path = dir.File("list.kst");
    CHECK(test::WriteFileBytes(path, std::string(10000, 'z')));
    CKestrinDoc doc;
    doc.AddURL("http://h/1");
    CHECK(doc.OnSaveDocument(path.c_str()));
    std::string bytes;
    CHECK(test::ReadFileBytes(path, bytes));
    CHECK_EQ(bytes, std::string("http://h/1\r\n"));
    CHECK(!test::FileExists(path + ".tmp~"));

    test::MessageBoxWatcher boxes;
    CHECK(!doc.OnSaveDocument(dir.File("no-such-folder\\list.kst").c_str()));
    CHECK_EQ(boxes.Texts().size(), 1u);
}

TEST_CASE("list file: lines that are absolute URLs count, blanks trimmed, whatever the line ends")
{
    struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> rows;
    } cases[] = {
        {"CR LF", "http://h/1\r\nhttp://h/2\r\n", {"http://h/1", "http://h/2"}},
        {"LF", "http://h/1\nhttp://h/2", {"http://h/1", "http://h/2"}},
        {"lone CR", "http://h/1\rhttp://h/2\r", {"http://h/1", "http://h/2"}},
        {"mixed", "http://h/1\r\rhttp://h/2\n\r\nhttp://h/3", {"http://h/1", "http://h/2", "http://h/3"}},
        {"blanks around", "  http://h/1\t \r\n\thttp://h/2  ", {"http://h/1", "http://h/2"}},
        {"notes between", "My downloads:\r\nhttp://h/1\r\n- the second one -\r\nftp://h/2\r\n",
         {"http://h/1", "ftp://h/2"}},
        // A CR inside a line ends it: what follows is a line of its own,
        // not part of the request.
        {"CR inside", "http://h/1\rX-Injected: 1\r\n", {"http://h/1"}},
        {"tab inside", "http://h/1\tx\r\nhttp://h/2\r\n", {"http://h/2"}},
        {"only line ends", "\r\n\r\n  \r\n", {}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File("case.kst");
        REQUIRE(test::WriteFileBytes(path, c.bytes));
        CKestrinDoc doc;
        doc.AddURL("http://h/old");
        test::MessageBoxWatcher boxes;
        if (!CHECK(doc.OnOpenDocument(path.c_str())))
            std::printf("      case: %s\n", c.name);
        if (!CHECK(Urls(doc) == c.rows))
            std::printf("      case: %s\n", c.name);
        CHECK(boxes.Texts().empty());
    }
}

TEST_CASE("list file: prose, binary data and broken UTF-8 are refused and the list is kept")
{
    const std::string refusal = Ansi("このファイルはリストファイルではないため開けません。");
    struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"prose", "Dear user,\r\nthe files are on the server as usual.\r\nRegards\r\n"},
        {"prose in Japanese", Ansi("ダウンロードするファイルの一覧です。\r\n明日また送ります。\r\n")},
        {"paths", "C:\\files\\a.zip\r\n/home/user/b.zip\r\n"},
        {"one NUL", std::string("http://h/1\r\nhttp://h/2\0\r\n", 25)},
        {"UTF-16", std::string("h\0t\0t\0p\0:\0/\0/\0h\0/\0\x31\0", 20)},
        {"escape codes", "http://h/1\r\n\x1b[31mhttp://h/2\r\n"},
        {"broken UTF-8 after the mark", "\xEF\xBB\xBFhttp://h/\xE3\x81\r\n"},
        {"mark, then no URL", "\xEF\xBB\xBFhello\r\n"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File("bad.kst");
        REQUIRE(test::WriteFileBytes(path, c.bytes));
        CKestrinDoc doc;
        doc.AddURL("http://h/keep");
        test::MessageBoxWatcher boxes;
        if (!CHECK(!doc.OnOpenDocument(path.c_str())))
            std::printf("      case: %s\n", c.name);
        CHECK(Urls(doc) == std::vector<std::string>{"http://h/keep"});
        test::PumpUntil([&] { return !boxes.Texts().empty(); }, 3000);
        const auto texts = boxes.Texts();
        if (!CHECK(texts.size() == 1u && texts[0] == refusal))
            std::printf("      case: %s\n", c.name);
    }
}

TEST_CASE("list file: a UTF-8 file with a byte-order mark is read in the ANSI code page")
{
    test::TempDir dir;
    const std::string path = dir.File("utf8.kst");
    // "表示", then a line with Arabic, which Shift-JIS cannot hold: that one
    // is kept in its escaped form.
    REQUIRE(test::WriteFileBytes(path, "\xEF\xBB\xBFhttp://h/\xE8\xA1\xA8\xE7\xA4\xBA.zip\r\n"
                                       "http://h/\xD8\xA3.zip\r\nhttp://h/plain\n"));
    CKestrinDoc doc;
    CHECK(doc.OnOpenDocument(path.c_str()));
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/" + Ansi("表示") + ".zip",
                                                 "http://h/%D8%A3.zip", "http://h/plain"}));
}

TEST_CASE("list file: Japanese URLs, very long URLs and a list at the size limit come back the same")
{
    test::TempDir dir;
    const std::string path = dir.File("round.kst");

    std::vector<std::string> japanese = {
        "http://h/" + Ansi("ソフト/表示.zip"),          // second byte 0x5C
        "ftp://h/" + Ansi("資料/能力表.lzh"),
        "http://" + Ansi("例え.テスト") + "/" + Ansi("ダウンロード") + "?q=" + Ansi("検索"),
    };
    std::vector<std::string> longOnes;
    for (size_t size : {2048u, 2049u, 8192u, 65536u, 1u << 20}) {
        std::string url = "http://h/";
        while (url.size() < size)
            url += Ansi("長") + "a/";
        url.resize(size - (size % 2));
        if (static_cast<unsigned char>(url.back()) >= 0x80)
            url.back() = 'z';
        longOnes.push_back(url + std::to_string(size));
    }
    for (const auto& rows : {japanese, longOnes}) {
        {
            CKestrinDoc doc;
            for (const std::string& u : rows)
                REQUIRE(doc.AddURL(u.c_str()) != nullptr);
            REQUIRE(doc.OnSaveDocument(path.c_str()));
        }
        CKestrinDoc doc;
        CHECK(doc.OnOpenDocument(path.c_str()));
        CHECK(Urls(doc) == rows);
    }

    // A list of 100,000 rows, and the largest list file there may be:
    // long URLs up to the size limit.
    std::vector<std::string> many;
    for (int i = 0; i < 100000; ++i)
        many.push_back("http://mirror" + std::to_string(i % 7) + ".example.com/pub/" +
                       std::to_string(i / 100) + "/file-" + std::to_string(i) + ".zip");
    std::vector<std::string> largest;
    size_t bytes = 0;
    for (int i = 0;; ++i) {
        std::string url = "http://h/" + std::to_string(i) + "/" + std::string(60000, 'x');
        if (bytes + url.size() + 2 > CDocument::kMaxFileSize)
            break;
        bytes += url.size() + 2;
        largest.push_back(std::move(url));
    }
    for (const auto* rows : {&many, &largest}) {
        {
            CKestrinDoc doc;
            for (const std::string& u : *rows)
                doc.AddURL(u.c_str());
            REQUIRE(doc.OnSaveDocument(path.c_str()));
        }
        CKestrinDoc doc;
        CHECK(doc.OnOpenDocument(path.c_str()));
        CHECK_EQ(doc.GetItemCount(), static_cast<int>(rows->size()));
        CHECK(Urls(doc) == *rows);
    }
    std::string saved;
    CHECK(test::ReadFileBytes(path, saved));
    CHECK_EQ(saved.size(), bytes);
    CHECK(bytes > CDocument::kMaxFileSize - 60100);
}
