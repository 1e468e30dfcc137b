// Japanese URLs end to end, in the real program: taken in by drop, paste
// and list file (with what the status bar says of it), downloaded by a
// batch, and what the server received (its answer is the request line and
// Host header it was sent, so each saved file holds them), under the name
// the user can read. The test's name mapping (LD_PRELOAD, see
// servers/raw_server.sh) sends xn--r8jz45g.xn--zckzah to 127.0.0.1.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include "DocUtil.h"
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "engine/DownloadParentDlg.h"
#include "framework/FrameworkIds.h"
#include "framework/OleDataObject.h"
#include "framework/OleDataSource.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

std::string RawUrl(const std::string& hostAndPath)
{
    return "http://" + hostAndPath;
}

std::string Port()
{
    return std::to_string(ServerPort("raw"));
}

// The program started in a fresh download folder.
struct Session {
    Session()
    {
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        WriteRegString("Settings", "CurrentDirectory", dir.Path());
        ok = StartApp();
    }
    ~Session()
    {
        if (AfxGetMainWndHandle())
            CloseApp();
        ::SetCurrentDirectoryA("C:\\");
    }
    TempDir dir;
    bool ok = false;
};

bool RunBatch()
{
    Command(ID_BATCH_DOWNLOAD);
    return PumpUntil([] {
        CDownloadParentDlg* parent = Doc()->GetProgressDialog();
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && parent && parent->GetChildCount() == 0;
    }, 60000);
}

std::string StatusText()
{
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    char text[512] = "";
    ::SendMessageA(frame->m_wndStatusBar.m_hWnd, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string Report(int added, int listed, int notUrls)
{
    return Ansi("URL を ") + std::to_string(added) + Ansi(" 件追加しました (登録済み ") +
           std::to_string(listed) + Ansi(" 件、URL ではない行 ") + std::to_string(notUrls) + Ansi(" 件)");
}

} // namespace

TEST_CASE("the server receives Japanese paths, queries and hosts as browsers send them")
{
    Session session;
    REQUIRE(session.ok);
    REQUIRE(ServerPort("raw") > 0);
    const std::string at = "127.0.0.1:" + Port();
    const std::string idn = "xn--r8jz45g.xn--zckzah:" + Port();
    struct Row {
        std::string url;    // as the user gives it, in the code page
        std::string file;   // where it is saved
        std::string request;
    } rows[] = {
        {RawUrl(at + Ansi("/資料.txt")), Ansi("資料.txt"),
         "GET /%E8%B3%87%E6%96%99.txt HTTP/1.1\nHost: " + at + "\n"},
        {RawUrl(at + Ansi("/q/検索?q=日本語&n=1")), Ansi("q\\検索_q=日本語&n=1"),
         "GET /q/%E6%A4%9C%E7%B4%A2?q=%E6%97%A5%E6%9C%AC%E8%AA%9E&n=1 HTTP/1.1\nHost: " + at + "\n"},
        {RawUrl(at + Ansi("/blank/レポート 2024.pdf")), Ansi("blank\\レポート 2024.pdf"),
         "GET /blank/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf HTTP/1.1\nHost: " + at + "\n"},
        {RawUrl(at + "/escaped/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf"),
         Ansi("escaped\\レポート 2024.pdf"),
         "GET /escaped/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88%202024.pdf HTTP/1.1\nHost: " + at + "\n"},
        {RawUrl(Ansi("例え.テスト:") + Port() + Ansi("/idn/資料.txt")), Ansi("idn\\資料.txt"),
         "GET /idn/%E8%B3%87%E6%96%99.txt HTTP/1.1\nHost: " + idn + "\n"},
    };
    // The first by the URL format of a drop, the blank one too (pasted
    // text would count it prose), the rest through the document.
    DropOnList(ClipFormats::UniformResourceLocator, rows[0].url + '\0');
    DropOnList(ClipFormats::UniformResourceLocator, rows[2].url + '\0');
    for (const Row& r : rows)
        Doc()->AddURL(r.url.c_str());
    REQUIRE(Doc()->GetItemCount() == 5);
    CHECK(RunBatch());
    for (const Row& r : rows) {
        URLItem* item = nullptr;
        for (int i = 0; i < Doc()->GetItemCount(); ++i)
            if (Doc()->GetItem(i)->m_strURL == r.url)
                item = Doc()->GetItem(i);
        REQUIRE(item != nullptr);
        std::string got;
        if (!CHECK_EQ(item->m_strFailure, std::string()) || !CHECK_EQ(item->m_strFileName, r.file) ||
            !CHECK(ReadFileBytes(session.dir.File(r.file), got)) || !CHECK_EQ(got, r.request))
            std::printf("      url: %s\n", r.url.c_str());
        CHECK(item->m_state == ITEM_DONE);
    }
}

TEST_CASE("two URLs whose decoded names are one file: the second is not written over the first")
{
    Session session;
    REQUIRE(session.ok);
    REQUIRE(ServerPort("raw") > 0);
    const std::string first = "http://127.0.0.1:" + Port() + Ansi("/same/資料.txt");
    const std::string second = "http://xn--r8jz45g.xn--zckzah:" + Port() + "/same/%E8%B3%87%E6%96%99.txt";
    Doc()->AddURL(first.c_str());
    Doc()->AddURL(second.c_str());
    REQUIRE(Doc()->GetItemCount() == 2);
    CHECK_EQ(Doc()->GetItem(1)->m_strFileName, Ansi("same\\資料.txt"));
    CHECK(RunBatch());
    CHECK(Doc()->GetItem(0)->m_state == ITEM_DONE);
    CHECK(Doc()->GetItem(1)->m_state == ITEM_ERROR);
    CHECK_EQ(Doc()->GetItem(1)->m_strFailure, Ansi("他のアイテムと同じファイルです"));
    std::string got;
    CHECK(ReadFileBytes(session.dir.File(Ansi("same\\資料.txt")), got));
    CHECK_EQ(got, "GET /same/%E8%B3%87%E6%96%99.txt HTTP/1.1\nHost: 127.0.0.1:" + Port() + "\n");
}

TEST_CASE("a URL outside the code page pasted as wide text is kept escaped, downloaded, and comes back from a list file")
{
    Session session;
    REQUIRE(session.ok);
    REQUIRE(ServerPort("raw") > 0);
    const std::string digits = Port();
    const std::wstring port(digits.begin(), digits.end());
    // 简体 (simplified Chinese: 体 is in the code page, 简 is not) and an emoji.
    const std::wstring wide = L"http://127.0.0.1:" + port + L"/zh/\x7b80\x4f53\xd83d\xde00.txt";
    const std::string kept = "http://127.0.0.1:" + Port() + "/zh/%E7%AE%80%E4%BD%93%F0%9F%98%80.txt";
    PutTextOnClipboard(wide);
    Command(ID_EDIT_PASTE);
    REQUIRE(ListedUrls() == std::vector<std::string>{kept});
    CHECK_EQ(StatusText(), Report(1, 0, 0));

    CHECK(RunBatch());
    const std::string file = "zh\\%E7%AE%80" + Ansi("体") + "%F0%9F%98%80.txt";
    CHECK_EQ(Doc()->GetItem(0)->m_strFileName, file);
    std::string got;
    CHECK(ReadFileBytes(session.dir.File(file), got));
    CHECK_EQ(got, "GET /zh/%E7%AE%80%E4%BD%93%F0%9F%98%80.txt HTTP/1.1\nHost: 127.0.0.1:" + Port() + "\n");

    // Saved, emptied, opened again: the same row, and it downloads again.
    const std::string list = session.dir.File("zh.kst");
    REQUIRE(Doc()->OnSaveDocument(list.c_str()));
    Doc()->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    CHECK(ListedUrls().empty());
    REQUIRE(theApp.OpenDocumentFile(list.c_str()) != nullptr);
    CHECK(ListedUrls() == std::vector<std::string>{kept});
    REQUIRE(::DeleteFileA(session.dir.File(file).c_str()));
    CHECK(RunBatch());
    CHECK(ReadFileBytes(session.dir.File(file), got));
    CHECK_EQ(got, "GET /zh/%E7%AE%80%E4%BD%93%F0%9F%98%80.txt HTTP/1.1\nHost: 127.0.0.1:" + Port() + "\n");
}

TEST_CASE("a list file given on the command line opens every row, in UTF-8 or in the code page")
{
    REQUIRE(ServerPort("raw") > 0);
    TempDir dir;
    const std::string utf8 = "http://127.0.0.1:" + Port() + "/\xE8\xB3\x87\xE6\x96\x99.txt\r\n"
                             "http://\xE4\xBE\x8B\xE3\x81\x88.\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88:" + Port() +
                             "/\xF0\x9F\x98\x80\r\n";
    const std::vector<std::string> rows = {
        "http://127.0.0.1:" + Port() + Ansi("/資料.txt"),
        "http://xn--r8jz45g.xn--zckzah:" + Port() + "/%F0%9F%98%80",
    };
    for (const std::string& data : {utf8, "\xEF\xBB\xBF" + utf8, rows[0] + "\r\n" + rows[1] + "\r\n"}) {
        ResetRegistry();
        const std::string path = dir.File(Ansi("日本語の一覧.kst"));
        REQUIRE(WriteFileBytes(path, data));
        REQUIRE(StartApp({path}));
        CHECK(ListedUrls() == rows);
        CloseApp();
    }
}

TEST_CASE("after a paste or a drop the status bar says what came of it")
{
    Session session;
    REQUIRE(session.ok);
    Doc()->AddURL("http://h/listed");
    // Seven lines and an empty one: five new URLs, one listed already, one
    // with a blank inside (text, not a URL); the empty line is nothing.
    PutTextOnClipboard(std::wstring(L"http://h/1\r\nhttp://h/\x8cc7\x6599.txt\r\nhttp://h/listed\r\n"
                                    L"http://h/\x30ec\x30dd\x30fc\x30c8 2024.pdf\r\n\r\n"
                                    L"https://h/3\r\nftp://h/4\r\nhttp://h/\xd83d\xde00\r\n"));
    Command(ID_EDIT_PASTE);
    CHECK_EQ(Doc()->GetItemCount(), 6);
    CHECK_EQ(StatusText(), Report(5, 1, 1));
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    CHECK_EQ(frame->GetRestText(), Report(5, 1, 1));

    // The same again: everything listed already.
    Command(ID_EDIT_PASTE);
    CHECK_EQ(StatusText(), Report(0, 6, 1));

    // A drop of a bare link, and of one that has control characters.
    DropOnList(ClipFormats::UniformResourceLocator, std::string("http://h/dropped") + '\0');
    CHECK_EQ(StatusText(), Report(1, 0, 0));
    DropOnList(ClipFormats::UniformResourceLocator, std::string("http://h/a\r\nHost: x") + '\0');
    CHECK_EQ(StatusText(), Report(0, 0, 1));

    // A browser's URL format with the link's title on its second line:
    // the title is no line of text that failed.
    const std::wstring mozUrl = L"http://h/moz\n\x8cc7\x6599";
    DropOnList(ClipFormats::MozUrl, std::string(reinterpret_cast<const char*>(mozUrl.c_str()),
                                             (mozUrl.size() + 1) * sizeof(wchar_t)));
    CHECK_EQ(StatusText(), Report(1, 0, 0));

    // Nothing in the data that could be a URL.
    PutTextOnClipboard(std::wstring());
    Command(ID_EDIT_PASTE);
    CHECK_EQ(StatusText(), Ansi("追加できる URL はありませんでした"));

    // A newer message takes its place: why the focused row failed.
    frame->ShowFocusedFailure(Ansi("接続を拒否されました"));
    CHECK_EQ(StatusText(), Ansi("接続を拒否されました"));
}

TEST_CASE("the wide URL format wins over the ANSI one that lost characters")
{
    Session session;
    REQUIRE(session.ok);
    const std::wstring wide = L"http://h/\x7b80\xd83d\xde00";
    std::string wideBytes(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t));
    auto* source = new COleDataSource;
    auto put = [&](CLIPFORMAT cf, const std::string& bytes) {
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
        ::GlobalUnlock(block);
        FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        source->CacheGlobalData(cf, block, &format);
    };
    put(ClipFormats::UniformResourceLocator, std::string("http://h/??") + '\0');
    put(ClipFormats::UniformResourceLocatorW, wideBytes);
    COleDataObject data;
    data.Attach(source);
    Doc()->GetListView()->ImportURLs(&data);
    data.Release();
    source->Release();
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/%E7%AE%80%F0%9F%98%80"});
}
