// URLs in the user's characters: the form sent to servers, the names files
// are saved under, the forms kept for text the code page cannot hold, one
// row per URL however it was written, and list files that keep every URL.
#include <windows.h>
#include <cstdio>
#include "DocUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "engine/DownloadThread.h"
#include "model/KestrinDoc.h"
#include "model/SentUrl.h"
#include "model/URLItem.h"
#include "model/UrlText.h"

using namespace test;

namespace {

bool IsRequestSafe(const std::string& sent)
{
    for (char c : sent)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

} // namespace

TEST_CASE("sent form: what browsers send for the URL the user gave")
{
    struct Row {
        std::string given;   // in the code page, as the list keeps it
        const char* sent;
    } rows[] = {
        // Path, query and fragment: UTF-8 escapes.
        {Ansi("http://127.0.0.1:8080/資料.txt"), "http://127.0.0.1:8080/%E8%B3%87%E6%96%99.txt"},
        {Ansi("http://h/search?q=検索&lang=ja"), "http://h/search?q=%E6%A4%9C%E7%B4%A2&lang=ja"},
        {Ansi("http://h/a.html#章"), "http://h/a.html#%E7%AB%A0"},
        {Ansi("ftp://h/pub/資料.lzh"), "ftp://h/pub/%E8%B3%87%E6%96%99.lzh"},
        // A blank is escaped; so are the characters browsers escape.
        {Ansi("http://h/レポート 2024.pdf"), "http://h/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf"},
        {"http://h/a\"b<c>d`e{f}g|h", "http://h/a%22b%3Cc%3Ed%60e%7Bf%7Dg|h"},
        {"http://h/it's?q=it's", "http://h/it's?q=it%27s"},
        // Escapes already there stay as they are: nothing escaped twice.
        {"http://h/%E8%B3%87%E6%96%99.txt", "http://h/%E8%B3%87%E6%96%99.txt"},
        {"http://h/100%25.txt?a=%20", "http://h/100%25.txt?a=%20"},
        {"http://h/50%-off%zz", "http://h/50%-off%zz"},
        {Ansi("http://h/%E8%B3%87料.txt"), "http://h/%E8%B3%87%E6%96%99.txt"},
        // ASCII URLs go as they are.
        {"http://h/a/b.zip?x=1&y=2#top", "http://h/a/b.zip?x=1&y=2#top"},
        {"https://user:pw@h:8443/x", "https://user:pw@h:8443/x"},
        // Double-byte characters whose second byte is "\" or "|".
        {Ansi("http://h/ソフト/表.zip"), "http://h/%E3%82%BD%E3%83%95%E3%83%88/%E8%A1%A8.zip"},
        // Half-width katakana are single bytes of the code page.
        {Ansi("http://h/ﾃｽﾄ"), "http://h/%EF%BE%83%EF%BD%BD%EF%BE%84"},
        // A host in Japanese: its IDNA form, port and user kept.
        {Ansi("http://例え.テスト/"), "http://xn--r8jz45g.xn--zckzah/"},
        {Ansi("http://user@例え.テスト:8080/資料?q=章"),
         "http://user@xn--r8jz45g.xn--zckzah:8080/%E8%B3%87%E6%96%99?q=%E7%AB%A0"},
        {Ansi("http://例え。テスト/"), "http://xn--r8jz45g.xn--zckzah/"},   // an ideographic full stop
        {"http://[::1]:8080/a", "http://[::1]:8080/a"},
        // Bytes that are no text of the code page go as they are, escaped.
        {"http://h/a\x81", "http://h/a%81"},
    };
    for (const Row& r : rows) {
        const std::string sent = UrlText::SentForm(r.given);
        if (!CHECK_EQ(sent, std::string(r.sent)))
            std::printf("      given: %s\n", r.given.c_str());
        CHECK(IsRequestSafe(sent));
    }
}

TEST_CASE("sent form: a host that has no IDNA form fails as a host, never elsewhere")
{
    // A stand-in that answers with what is no host name: the rule escapes
    // the host rather than send a request line with "/" or "?" in its host.
    auto evil = [](const std::string&, std::string& ascii) {
        ascii = "evil.example/x?";
        return true;
    };
    auto none = [](const std::string&, std::string&) { return false; };
    const std::string given = "http://\xE4\xBE\x8B/a";   // UTF-8 "例"
    CHECK_EQ(SentUrl::FromUtf8(given, evil), std::string("http://%E4%BE%8B/a"));
    CHECK_EQ(SentUrl::FromUtf8(given, none), std::string("http://%E4%BE%8B/a"));
    CHECK_EQ(SentUrl::FromUtf8(given, nullptr), std::string("http://%E4%BE%8B/a"));
    // The system's IDNA gives names only.
    std::string ascii;
    CHECK(UrlText::HostToAscii("\xE4\xBE\x8B\xE3\x81\x88.\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", ascii));
    CHECK_EQ(ascii, std::string("xn--r8jz45g.xn--zckzah"));
    // Blanks and control bytes around a URL are not part of it.
    CHECK_EQ(SentUrl::FromUtf8(" \thttp://h/a b\r\n", nullptr), std::string("http://h/a%20b"));
}

TEST_CASE("kept form: wide text the code page cannot hold comes escaped, never with \"?\"")
{
    struct Row {
        const wchar_t* given;
        std::string kept;
    } rows[] = {
        {L"http://h/\x8cc7\x6599.txt", Ansi("http://h/資料.txt")},
        {L"http://h/\x7b80\x4f53.txt", "http://h/%E7%AE%80%E4%BD%93.txt"},                // 简体
        {L"http://h/\xd83d\xde00.png", "http://h/%F0%9F%98%80.png"},                     // an emoji
        {L"http://\xd55c\xad6d.kr/a", "http://xn--3e0b707e.kr/a"},                       // 한국
        {L"http://m\x00fcnchen.de/\x00fc", "http://xn--mnchen-3ya.de/%C3%BC"},
        // A wave dash is no character of the code page (its look-alike is).
        {L"http://h/a\x301c" L"b", "http://h/a%E3%80%9Cb"},
        // Text that is no URL stays no URL: control characters and blanks
        // around it are kept.
        {L"http://h/\xd83d\xde00\tb", "http://h/%F0%9F%98%80\tb"},
        {L" http://h/\xd83d\xde00", " http://h/%F0%9F%98%80"},
    };
    for (const Row& r : rows) {
        const std::string kept = UrlText::FromWide(r.given);
        if (!CHECK_EQ(kept, r.kept))
            std::printf("      given: %ls\n", r.given);
        CHECK(kept.find('?') == std::string::npos);
    }
    CHECK(!CKestrinDoc::IsListableURL(UrlText::FromWide(L"http://h/\xd83d\xde00\tb").c_str()));
    CHECK(!CKestrinDoc::IsListableURL(UrlText::FromWide(L" http://h/\xd83d\xde00").c_str()));
}

TEST_CASE("file names: escapes decoded into the code page's characters")
{
    struct Row {
        const char* url;
        std::string name;
    } rows[] = {
        {"http://127.0.0.1/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf", Ansi("レポート 2024.pdf")},
        {"http://h/docs/%E8%B3%87%E6%96%99.txt", Ansi("docs\\資料.txt")},
        {"http://h/%E8%B3%87%E6%96%99/%E8%A1%A8.zip", Ansi("資料\\表.zip")},
        {"http://h/%41%62c%2Ehidden", "Abc.hidden"},
        {"http://h/%7Euser/%7E.txt", "user\\~.txt"},
        // Second bytes that are "\" stay inside their characters.
        {"http://h/x/%E3%82%BD%E3%83%95%E3%83%88.zip", Ansi("x\\ソフト.zip")},
        // What the code page lacks keeps its escapes, the rest is decoded.
        {"http://h/%F0%9F%98%80.png", "%F0%9F%98%80.png"},
        {"http://h/%E8%B3%87%F0%9F%98%80%E6%96%99", Ansi("資") + "%F0%9F%98%80" + Ansi("料")},
        {"http://h/%E7%AE%80%E4%BD%93.txt", "%E7%AE%80" + Ansi("体") + ".txt"},
        {"http://h/a%E3%80%9Cb", "a%E3%80%9Cb"},                 // a wave dash
        {"http://h/a%C2%A5b", "a%C2%A5b"},                       // a yen sign, "\" in the code page
        // Invalid UTF-8 stays escaped: cut, overlong, surrogate, too high.
        {"http://h/a%E8%B3.txt", "a%E8%B3.txt"},
        {"http://h/a%C0%AE%C0%AE", "a%C0%AE%C0%AE"},
        {"http://h/a%ED%A0%80", "a%ED%A0%80"},
        {"http://h/a%F4%90%80%80", "a%F4%90%80%80"},
        {"http://h/a%E8b%B3%87", "a%E8b%B3%87"},
        // Characters no file name holds come out of escapes as "_".
        {"http://h/what%3F%2A%22%3C%3E%7C.txt", "what______.txt"},
        {"http://h/a%25b", "a%b"},
    };
    for (const Row& r : rows) {
        if (!CHECK_EQ(URLItem::FileNameFromURL(r.url), r.name))
            std::printf("      url: %s\n", r.url);
    }
}

TEST_CASE("file names: no escape makes a name leave the download folder")
{
    struct Row {
        const char* url;
        std::string name;
    } rows[] = {
        {"http://h/a%2Fb.txt", "a%2Fb.txt"},
        {"http://h/a%2fb.txt", "a%2fb.txt"},
        {"http://h/x/..%2F..%2Fboot.ini", "x\\..%2F..%2Fboot.ini"},
        {"http://h/a%5Cb.txt", "a%5Cb.txt"},
        {"http://h/x/..%5C..%5Cwin.ini", "x\\..%5C..%5Cwin.ini"},
        {"http://h/C%3A%5Cwindows", "C%3A%5Cwindows"},
        {"http://h/a%3Ab", "a%3Ab"},
        {"http://h/%2E%2E", "%2E%2E"},
        {"http://h/x/%2E%2E", "x\\%2E%2E"},
        {"http://h/%2E%2E/x", "%2E%2E\\x"},
        {"http://h/%2e%2e/%2e%2e", "%2e%2e\\%2e%2e"},
        {"http://h/x/.%2E", "x\\.%2E"},
        {"http://h/x/%2E", "x\\%2E"},
        {"http://h/x/%2E%2E%2E", "x\\%2E%2E%2E"},
        {"http://h/x/%20%2E%20", "x\\%20%2E%20"},
        {"http://h/%7e..", "~.."},
        {"http://h/a%00b", "a%00b"},
        {"http://h/a%0D%0Ab", "a%0D%0Ab"},
        {"http://h/a%09b%7F", "a%09b%7F"},
        {"http://h/a%C2%85b", "a%C2%85b"},                       // a C1 control
        // A lone lead byte of the URL and a decoded character whose second
        // byte is "\" would make a separator: the segment keeps its escapes.
        {"http://h/a\x81%E3%82%BD..", "a\x81%E3%82%BD.."},
    };
    const std::string folder = "C:\\downloads";
    for (const Row& r : rows) {
        const std::string name = URLItem::FileNameFromURL(r.url);
        if (!CHECK_EQ(name, r.name))
            std::printf("      url: %s\n", r.url);
        // Where Windows puts it: inside the folder, and a name the download
        // takes.
        char full[MAX_PATH * 2];
        const DWORD n = ::GetFullPathNameA((folder + "\\" + name).c_str(), sizeof full, full, nullptr);
        if (!CHECK(n > 0 && std::string(full, n).rfind(folder + "\\", 0) == 0 && n > folder.size() + 1))
            std::printf("      url: %s\n", r.url);
        if (!CHECK(CDownloadThread::IsSafeRelativeName(name)))
            std::printf("      url: %s\n", r.url);
    }
}

TEST_CASE("one row per URL however it was written")
{
    CKestrinDoc doc;
    CHECK(doc.AddURL(Ansi("http://h/資料.txt").c_str()) != nullptr);
    CHECK(doc.AddURL("http://h/%E8%B3%87%E6%96%99.txt") == nullptr);
    CHECK(doc.AddURL(Ansi("http://h/%E8%B3%87料.txt").c_str()) == nullptr);
    CHECK(doc.AddURL(Ansi("http://h/レポート 2024.pdf").c_str()) != nullptr);
    CHECK(doc.AddURL("http://h/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf") == nullptr);
    CHECK(doc.AddURL(Ansi("http://例え.テスト/").c_str()) != nullptr);
    CHECK(doc.AddURL("http://xn--r8jz45g.xn--zckzah/") == nullptr);
    // Escapes of another case name another URL to the letter, as browsers
    // keep them.
    CHECK(doc.AddURL("http://h/%e8%b3%87%e6%96%99.txt") != nullptr);
    CHECK_EQ(doc.GetItemCount(), 4);
    // The row keeps the URL as given; the item knows what is sent.
    CHECK_EQ(doc.GetItem(0)->m_strURL, Ansi("http://h/資料.txt"));
    CHECK_EQ(doc.GetItem(0)->GetSentURL(), std::string("http://h/%E8%B3%87%E6%96%99.txt"));
    CHECK_EQ(doc.GetItem(0)->m_strFileName, Ansi("資料.txt"));
    CHECK_EQ(doc.GetItem(3)->GetSentURL(), std::string("http://h/%e8%b3%87%e6%96%99.txt"));
    // Once the first goes, the second way of writing it is taken.
    CHECK(doc.RemoveItem(0));
    CHECK(doc.AddURL("http://h/%E8%B3%87%E6%96%99.txt") != nullptr);
}

TEST_CASE("list files keep every URL: Japanese, Chinese, emoji, IDN hosts")
{
    test::TempDir dir;
    const std::vector<std::string> urls = {
        Ansi("http://h/資料/能力表.zip"),
        Ansi("http://例え.テスト/ダウンロード?q=検索"),
        UrlText::FromWide(L"http://h/\x7b80\x4f53\x4e2d\x6587.txt"),    // 简体中文
        UrlText::FromWide(L"http://h/\xd83d\xde00?e=\xd83c\xdf89"),      // emoji
        UrlText::FromWide(L"http://\xd55c\xad6d.kr/\xd55c"),             // 한국
        "http://h/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf",
    };
    const std::string path = dir.File(Ansi("一覧.kst"));
    {
        CKestrinDoc doc;
        for (const std::string& u : urls)
            REQUIRE(doc.AddURL(u.c_str()) != nullptr);
        REQUIRE(doc.OnSaveDocument(path.c_str()));
    }
    // Saved in the code page, CR LF, the rows as they are.
    std::string bytes, expected;
    for (const std::string& u : urls)
        expected += u + "\r\n";
    CHECK(ReadFileBytes(path, bytes));
    CHECK_EQ(bytes, expected);
    CKestrinDoc doc;
    CHECK(doc.OnOpenDocument(path.c_str()));
    CHECK(Urls(doc) == urls);

    // The same list written by another program in UTF-8, with a mark and
    // without one: every row, Chinese and emoji in their escaped form.
    const std::string utf8 =
        "http://h/\xE8\xB3\x87\xE6\x96\x99/\xE8\x83\xBD\xE5\x8A\x9B\xE8\xA1\xA8.zip\r\n"
        "http://\xE4\xBE\x8B\xE3\x81\x88.\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88/"
        "\xE3\x83\x80\xE3\x82\xA6\xE3\x83\xB3\xE3\x83\xAD\xE3\x83\xBC\xE3\x83\x89?q=\xE6\xA4\x9C\xE7\xB4\xA2\n"
        "http://h/\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87.txt\n"
        "http://h/\xF0\x9F\x98\x80?e=\xF0\x9F\x8E\x89\r"
        "http://\xED\x95\x9C\xEA\xB5\xAD.kr/\xED\x95\x9C\r\n"
        "http://h/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf\r\n";
    for (const std::string& data : {"\xEF\xBB\xBF" + utf8, utf8}) {
        REQUIRE(WriteFileBytes(path, data));
        CKestrinDoc other;
        CHECK(other.OnOpenDocument(path.c_str()));
        CHECK(Urls(other) == urls);
    }
}
