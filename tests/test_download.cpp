// Downloads over HTTP and FTP from the test servers on 127.0.0.1, into
// real files, with the real worker threads.
#include <algorithm>
#include <cstdio>
#include <functional>
#include "Test.h"
#include "EngineUtil.h"
#include "TestWorker.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "engine/DownloadThread.h"
#include "engine/ThreadGroup.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"

using namespace test;

namespace {

// Checks the messages of one completed transfer of `size` bytes.
void CheckCompleteTransfer(const Recorder& rec, int announced, int size)
{
    int sizes = 0, outcomes = 0, last = -1;
    bool sizeFirst = !rec.messages.empty() && rec.messages[0].type == DLM_SIZE;
    for (const Received& m : rec.messages) {
        if (m.type == DLM_SIZE) {
            ++sizes;
            CHECK_EQ(m.p1, announced);
        } else if (m.type == DLM_PROGRESS) {
            CHECK(m.p1 > last);
            CHECK(m.p1 <= size);
            last = m.p1;
        } else if (m.type == DLM_COMPLETE) {
            ++outcomes;
            CHECK_EQ(m.p1, size);
        } else {
            ++outcomes;
        }
    }
    CHECK(sizeFirst);
    CHECK_EQ(sizes, 1);
    CHECK_EQ(outcomes, 1);
    CHECK(rec.ended);
    CHECK_EQ(rec.endedAfter, rec.messages.size());   // MSG_THREAD_ENDED last
    CHECK_EQ(rec.released, 1);
}

} // namespace

TEST_CASE("http: bodies of every size arrive byte-identical, with one request each")
{
    ThreadSink sink;
    TempDir dir;
    for (int size : {0, 1, 4095, 4096, 4097, 5000, 8192, 10 * 1024 * 1024}) {
        const std::string path = "/bytes/" + std::to_string(size) + Unique();
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl(path), "got\\body-" + std::to_string(size)));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        worker.Finish();
        CheckCompleteTransfer(worker.rec, size, size);
        std::string bytes;
        CHECK(ReadFileBytes(dir.File("got\\body-" + std::to_string(size)), bytes));
        CHECK(bytes == Pattern(size));
        CHECK_EQ(HttpRequestCount(path), 1);
    }
    CHECK_EQ(FilesIn(dir.File("got")).size(), 8u);   // no temporary left behind
}

TEST_CASE("http: a body without a length announces -1 and completes")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(HttpUrl("/chunked/20000" + Unique()), "chunked.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    CheckCompleteTransfer(worker.rec, -1, 20000);
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("chunked.bin"), bytes));
    CHECK(bytes == Pattern(20000));
}

TEST_CASE("http: error pages, cut-off bodies and refused connections end in error and leave no file")
{
    ThreadSink sink;
    TempDir dir;
    const std::string urls[] = {
        HttpUrl("/status/404" + Unique()),
        HttpUrl("/status/500" + Unique()),
        HttpUrl("/short/10000/4000" + Unique()),
        HttpUrl("/short/8192/4096" + Unique()),
        "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.bin",
        "https://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.bin",
    };
    Worker worker(dir.Path());
    for (const std::string& url : urls) {
        REQUIRE(worker.Start(url, "result.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    }
    // The same worker still works afterwards.
    REQUIRE(worker.Start(HttpUrl("/bytes/100" + Unique()), "result.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"result.bin"});
}

TEST_CASE("ftp: an existing file announces its size and arrives; a missing one fails")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(FtpUrl("/pub/file-100000.bin"), "pub\\file-100000.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    REQUIRE(worker.Start(FtpUrl("/pub/file-0.bin"), "pub\\file-0.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    REQUIRE(worker.Start(FtpUrl("/pub/missing.bin"), "pub\\missing.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    worker.Finish();
    CHECK_EQ(worker.rec.messages[0].type, static_cast<int>(DLM_SIZE));
    CHECK_EQ(worker.rec.messages[0].p1, 100000);
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("pub\\file-100000.bin"), bytes));
    CHECK(bytes == Pattern(100000));
    CHECK(ReadFileBytes(dir.File("pub\\file-0.bin"), bytes));
    CHECK(bytes.empty());
    CHECK(!FileExists(dir.File("pub\\missing.bin")));
}

TEST_CASE("cancel and stop end a transfer from a server that sends nothing more")
{
    ThreadSink sink;
    TempDir dir;
    for (const char* route : {"/stall", "/silent"}) {
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl(route + Unique()), "stalled.bin"));
        if (std::string(route) == "/stall")
            CHECK(worker.WaitFor(DLM_SIZE));
        else
            Pump(500);   // blocked waiting for the response
        worker.Thread()->Cancel();
        CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
        // A cancel between transfers changes nothing for the next one.
        worker.Thread()->Cancel();
        REQUIRE(worker.Start(HttpUrl("/bytes/3000" + Unique()), "next.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));

        REQUIRE(worker.Start(HttpUrl(route + Unique()), "stopped.bin"));
        Pump(500);
        const size_t before = worker.rec.messages.size();
        worker.Thread()->Stop();
        CHECK(PumpUntil([&] { return worker.rec.released > 0; }, 3000));
        // The stopped transfer sends no outcome of its own.
        for (size_t i = before; i < worker.rec.messages.size(); ++i)
            CHECK(worker.rec.messages[i].type == DLM_SIZE);
        CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"next.bin"});
        ::DeleteFileA(dir.File("next.bin").c_str());
    }
}

TEST_CASE("an earlier file survives a failed, cancelled or stopped download; a completed one replaces it")
{
    ThreadSink sink;
    TempDir dir;
    const std::string earlier(10000, 'z');
    const std::string target = dir.File("keep.bin");
    REQUIRE(WriteFileBytes(target, earlier));
    std::string bytes;

    Worker worker(dir.Path());
    REQUIRE(worker.Start(HttpUrl("/status/404" + Unique()), "keep.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK(ReadFileBytes(target, bytes) && bytes == earlier);

    REQUIRE(worker.Start(HttpUrl("/short/9000/100" + Unique()), "keep.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK(ReadFileBytes(target, bytes) && bytes == earlier);

    REQUIRE(worker.Start(HttpUrl("/stall" + Unique()), "keep.bin"));
    CHECK(worker.WaitFor(DLM_SIZE));
    worker.Thread()->Cancel();
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
    CHECK(ReadFileBytes(target, bytes) && bytes == earlier);

    REQUIRE(worker.Start(HttpUrl("/bytes/5000" + Unique()), "keep.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    CHECK(ReadFileBytes(target, bytes) && bytes == Pattern(5000));

    REQUIRE(worker.Start(HttpUrl("/stall" + Unique()), "keep.bin"));
    Pump(500);
    worker.Thread()->Stop();
    CHECK(PumpUntil([&] { return worker.rec.released > 0; }, 3000));
    CHECK(ReadFileBytes(target, bytes) && bytes == Pattern(5000));
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"keep.bin"});
}

TEST_CASE("target folders: one missing level is made; names that cannot be written fail before any request, a folder in the way after it")
{
    ThreadSink sink;
    TempDir outside;
    TempDir dir;
    Worker worker(dir.Path());
    const std::string okPath = "/bytes/10" + Unique();
    REQUIRE(worker.Start(HttpUrl(okPath), "newdir\\file.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    CHECK(FileExists(dir.File("newdir\\file.bin")));

    const std::string bad[] = {
        "missing\\deeper\\file.bin",      // the upper folder is missing
        "dir\\",                          // a folder-like name from a URL ending in "/"
        "",
        "..\\escape.bin",
        "a\\..\\..\\escape.bin",
        ".. \\escape.bin",
        "\\rooted.bin",
        "C:\\absolute.bin",
        "x\\name:stream",
        "x\\nul",
        "x\\CON.txt",
    };
    for (const std::string& name : bad) {
        const std::string path = "/bytes/10" + Unique();
        REQUIRE(worker.Start(HttpUrl(path), name));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        CHECK_EQ(HttpRequestCount(path), 0);
    }
    // A folder in the file's place fails the download and stays as it was.
    REQUIRE(WriteFileBytes(dir.File("newdir\\inside.txt"), "kept"));
    REQUIRE(worker.Start(HttpUrl("/bytes/10" + Unique()), "newdir"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK_EQ(static_cast<int>(worker.Thread()->GetLastFailure().kind),
             static_cast<int>(TransferFailure::WRITE_FAILED));
    std::string kept;
    CHECK((ReadFileBytes(dir.File("newdir\\inside.txt"), kept) && kept == "kept"));
    ::DeleteFileA(dir.File("newdir\\inside.txt").c_str());
    // An absolute path the user chose is written where it says.
    const std::string chosen = outside.File("chosen.bin");
    REQUIRE(worker.Start(HttpUrl("/bytes/10" + Unique()), chosen, true));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    CHECK(FileExists(chosen));
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"newdir"});
    CHECK(FilesIn(dir.File("newdir")) == std::vector<std::string>{"file.bin"});
    CHECK(!FileExists(outside.File("escape.bin")));
    CHECK(!FileExists("C:\\absolute.bin"));
}

TEST_CASE("safe relative names, Shift-JIS included")
{
    CHECK(CDownloadThread::IsSafeRelativeName("dir\\file.zip"));
    CHECK(CDownloadThread::IsSafeRelativeName("file.zip"));
    CHECK(CDownloadThread::IsSafeRelativeName("a\\.hidden"));
    CHECK(CDownloadThread::IsSafeRelativeName("console.log"));
    CHECK(CDownloadThread::IsSafeRelativeName(Ansi("表\\能.zip")));   // second bytes 0x5C
    CHECK(CDownloadThread::IsSafeRelativeName(Ansi("ソ..\\x")));       // 83 5C then dots
    CHECK(!CDownloadThread::IsSafeRelativeName(".."));
    CHECK(!CDownloadThread::IsSafeRelativeName("a\\..."));
    CHECK(!CDownloadThread::IsSafeRelativeName("prn"));
    CHECK(!CDownloadThread::IsSafeRelativeName("/etc/passwd"));
    CHECK(!CDownloadThread::IsSafeRelativeName("d:x"));
}

TEST_CASE("stopping all workers ends two stalled transfers without outcomes")
{
    ThreadSink sink;
    TempDir dir;
    Worker first(dir.Path()), second(dir.Path());
    REQUIRE(first.Start(HttpUrl("/stall" + Unique()), "one.bin"));
    REQUIRE(second.Start(HttpUrl("/silent" + Unique()), "two.bin"));
    CHECK(first.WaitFor(DLM_SIZE));
    Pump(300);
    MessageBoxWatcher boxes;
    g_threadGroup.StopAll();
    CHECK(boxes.Texts().empty());     // both ended within the group's wait
    CHECK(PumpUntil([&] { return first.rec.released && second.rec.released; }, 5000));
    CHECK(g_threadGroup.IsEmpty());
    CHECK_EQ(first.rec.Outcomes() + second.rec.Outcomes(), 0);
    CHECK(FilesIn(dir.Path()).empty());
}

namespace {

// Checks that `dir` holds exactly the file "keep.bin" with `content`.
void CheckOnlyEarlierFile(const TempDir& dir, const std::string& content)
{
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == content);
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"keep.bin"});
}

// "&t=..." for a URL that has a query already.
std::string UniqueParam()
{
    return "&" + Unique().substr(1);
}

// The announced size of the current transfer, as the panel rebuilds it.
long long AnnouncedSize(const std::vector<Received>& messages)
{
    for (const Received& m : messages)
        if (m.type == DLM_SIZE)
            return m.p2 ? (static_cast<long long>(m.p2) << 32) | static_cast<unsigned>(m.p1) : m.p1;
    return -2;
}

} // namespace

TEST_CASE("hostile servers end in error after at most 11 requests, with no file and the earlier file kept")
{
    ThreadSink sink;
    TempDir dir;
    const std::string earlier(3000, 'z');
    REQUIRE(WriteFileBytes(dir.File("keep.bin"), earlier));
    const std::string ftpTarget = FtpUrl("/pub/file-5000.bin");
    struct Case {
        std::string path;
        TransferFailure::Kind kind;
        int requests;      // requests the server sees for `path`
    } cases[] = {
        {"/loop/302" + Unique(), TransferFailure::BAD_REDIRECT, 11},
        {"/loop/301" + Unique(), TransferFailure::BAD_REDIRECT, 11},
        {"/loop/308" + Unique(), TransferFailure::BAD_REDIRECT, 11},
        {"/hops/11/307/100" + Unique(), TransferFailure::BAD_REDIRECT, 1},
        {"/go/302?to=" + UrlEscape("file:///etc/hostname") + UniqueParam(), TransferFailure::BAD_REDIRECT, 1},
        {"/go/301?to=" + UrlEscape("file:///C:/windows/win.ini") + UniqueParam(), TransferFailure::BAD_REDIRECT, 1},
        {"/go/302?to=" + UrlEscape(ftpTarget) + UniqueParam(), TransferFailure::BAD_REDIRECT, 1},
        {"/go/303?to=" + UrlEscape("mailto:someone@example.com") + UniqueParam(), TransferFailure::BAD_REDIRECT, 1},
        {"/status/300" + Unique(), TransferFailure::BAD_RESPONSE, 1},
        {"/nocontent" + Unique(), TransferFailure::BAD_RESPONSE, 1},
        {"/garbage" + Unique(), TransferFailure::BAD_RESPONSE, 1},
        {"/short/4294967396/100" + Unique(), TransferFailure::CUT_OFF, 1},
        {"/short/6442450944/5000" + Unique(), TransferFailure::CUT_OFF, 1},
    };
    Worker worker(dir.Path());
    for (const Case& c : cases) {
        REQUIRE(worker.Start(HttpUrl(c.path), "keep.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        const TransferFailure failure = worker.Thread()->GetLastFailure();
        if (!CHECK_EQ(static_cast<int>(failure.kind), static_cast<int>(c.kind)))
            std::printf("      for %s\n", c.path.c_str());
        CHECK_EQ(HttpRequestCount(c.path), c.requests);
        CheckOnlyEarlierFile(dir, earlier);
    }
    worker.Finish();
    // The 4 GiB announcements arrived whole, not wrapped to small sizes.
    std::vector<long long> announced;
    for (const Received& m : worker.rec.messages)
        if (m.type == DLM_SIZE)
            announced.push_back(m.p2 ? (static_cast<long long>(m.p2) << 32) | static_cast<unsigned>(m.p1) : m.p1);
    CHECK(std::find(announced.begin(), announced.end(), 4294967396LL) != announced.end());
    CHECK(std::find(announced.begin(), announced.end(), 6442450944LL) != announced.end());
}

TEST_CASE("redirects 301, 302, 303, 307 and 308 to another path or another host complete")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    const std::string otherHost = "http://localhost:" + std::to_string(ServerPort("http"));
    int n = 0;
    for (int code : {301, 302, 303, 307, 308}) {
        const std::string paths[] = {
            "/hops/3/" + std::to_string(code) + "/7000" + Unique(),
            "/go/" + std::to_string(code) + "?to=" + UrlEscape("/bytes/7000" + Unique()) + UniqueParam(),
            "/go/" + std::to_string(code) + "?to=" + UrlEscape(otherHost + "/bytes/7000" + Unique()) + UniqueParam(),
        };
        for (const std::string& path : paths) {
            const std::string name = "r" + std::to_string(++n) + ".bin";
            REQUIRE(worker.Start(HttpUrl(path), name));
            if (!CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE)))
                std::printf("      for %s\n", path.c_str());
            std::string bytes;
            CHECK(ReadFileBytes(dir.File(name), bytes) && bytes == Pattern(7000));
            CHECK_EQ(HttpRequestCount(path), 1);
        }
    }
    // Ten redirects in a row are still followed.
    const std::string ten = "/hops/10/302/100" + Unique();
    REQUIRE(worker.Start(HttpUrl(ten), "ten.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    CHECK(FileExists(dir.File("ten.bin")));
    worker.Finish();
}

TEST_CASE("each failure gives its reason")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    struct Case {
        std::string url;
        std::string name;
        TransferFailure::Kind kind;
        DWORD status;
        const char* text;
        long long received, expected;
    } cases[] = {
        {HttpUrl("/status/404" + Unique()), "a.bin", TransferFailure::HTTP_STATUS, 404, "Not Found", 0, -1},
        {HttpUrl("/status/503" + Unique()), "a.bin", TransferFailure::HTTP_STATUS, 503, "Service Unavailable", 0, -1},
        {"http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.bin", "a.bin", TransferFailure::REFUSED, 0, "", 0, -1},
        {"ftp://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.bin", "a.bin", TransferFailure::REFUSED, 0, "", 0, -1},
        {"http://no-such-host.invalid/x.bin", "a.bin", TransferFailure::HOST_NOT_FOUND, 0, "", 0, -1},
        {HttpUrl("/short/10000/4000" + Unique()), "a.bin", TransferFailure::CUT_OFF, 0, "", 4000, 10000},
        {HttpUrl("/bytes/10" + Unique()), "..\\a.bin", TransferFailure::UNSAFE_NAME, 0, "", 0, -1},
        {HttpUrl("/bytes/10" + Unique()), "x\\nul", TransferFailure::UNSAFE_NAME, 0, "", 0, -1},
        {HttpUrl("/bytes/10" + Unique()), "missing\\deeper\\a.bin", TransferFailure::WRITE_FAILED, 0, "", 0, -1},
    };
    for (const Case& c : cases) {
        REQUIRE(worker.Start(c.url, c.name));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        const TransferFailure f = worker.Thread()->GetLastFailure();
        if (!CHECK_EQ(static_cast<int>(f.kind), static_cast<int>(c.kind)))
            std::printf("      for %s (error %lu)\n", c.url.c_str(), f.error);
        CHECK_EQ(f.httpStatus, c.status);
        CHECK_EQ(f.statusText, std::string(c.text));
        if (c.kind == TransferFailure::CUT_OFF) {
            CHECK_EQ(f.received, c.received);
            CHECK_EQ(f.expected, c.expected);
        }
    }
    // A success afterwards leaves no stale reason behind for the next error.
    REQUIRE(worker.Start(HttpUrl("/bytes/10" + Unique()), "ok.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    REQUIRE(worker.Start(HttpUrl("/status/410" + Unique()), "gone.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK_EQ(worker.Thread()->GetLastFailure().httpStatus, 410UL);
    worker.Finish();
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"ok.bin"});
}

TEST_CASE("a stalled server times out; a slow but moving one does not")
{
    ThreadSink sink;
    TempDir dir;
    // 2 s to connect, 3 s without a byte.
    CDownloadThread::SetTimeLimits(2000, 3000);
    Worker worker(dir.Path());
    const std::string blackhole = "127.0.0.1:" + std::to_string(ServerPort("blackhole"));
    struct Case {
        std::string url;
        int outcome;
        DWORD atLeastMs, atMostMs;
    } cases[] = {
        {HttpUrl("/stall" + Unique()), DLM_ERROR, 2500, 9000},     // headers, 10 bytes, then nothing
        {HttpUrl("/silent" + Unique()), DLM_ERROR, 2500, 9000},    // no answer at all
        {"http://" + blackhole + "/x.bin", DLM_ERROR, 1500, 2900}, // no connection is ever made
        {"ftp://" + blackhole + "/x.bin", DLM_ERROR, 1500, 2900},
        {HttpUrl("/trickle/8/600" + Unique()), DLM_COMPLETE, 4000, 15000},  // a byte every 0.6 s
    };
    for (const Case& c : cases) {
        const DWORD start = ::GetTickCount();
        REQUIRE(worker.Start(c.url, "t.bin"));
        CHECK_EQ(worker.Outcome(30000), c.outcome);
        const DWORD took = ::GetTickCount() - start;
        CHECK(took >= c.atLeastMs);
        CHECK(took <= c.atMostMs);
        if (c.outcome == DLM_ERROR)
            CHECK_EQ(static_cast<int>(worker.Thread()->GetLastFailure().kind),
                     static_cast<int>(TransferFailure::TIMED_OUT));
    }
    // The worker still works after giving up on two calls.
    REQUIRE(worker.Start(HttpUrl("/bytes/5000" + Unique()), "after.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    CDownloadThread::SetTimeLimits(60000, 120000);
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("t.bin"), bytes) && bytes == Pattern(8));
}

TEST_CASE("an FTP server's late transfer-complete reply holds up neither the caller nor the next download")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    DWORD longest = 0;
    auto timed = [&](const std::function<bool()>& call) {
        const DWORD start = ::GetTickCount();
        const bool result = call();
        longest = std::max(longest, ::GetTickCount() - start);
        return result;
    };
    const DWORD start = ::GetTickCount();
    REQUIRE(timed([&] { return worker.Start(FtpUrl("/pub/delay226-5000.bin"), "first.bin"); }));
    CHECK_EQ(worker.Outcome(8000), static_cast<int>(DLM_COMPLETE));
    // The reply is 10 s late; the next two HTTP items go on at once.
    REQUIRE(timed([&] { return worker.Start(HttpUrl("/bytes/5000" + Unique()), "second.bin"); }));
    CHECK_EQ(worker.Outcome(8000), static_cast<int>(DLM_COMPLETE));
    REQUIRE(timed([&] { return worker.Start(HttpUrl("/bytes/6000" + Unique()), "third.bin"); }));
    CHECK_EQ(worker.Outcome(8000), static_cast<int>(DLM_COMPLETE));
    CHECK(::GetTickCount() - start < 8000);

    // Cancel right after the FTP transfer, while its reply is still due,
    // ends the next item at once.
    REQUIRE(timed([&] { return worker.Start(FtpUrl("/pub/delay226-5000.bin"), "fourth.bin"); }));
    CHECK_EQ(worker.Outcome(8000), static_cast<int>(DLM_COMPLETE));
    REQUIRE(timed([&] { return worker.Start(HttpUrl("/stall" + Unique()), "fifth.bin"); }));
    timed([&] { worker.Thread()->Cancel(); return true; });
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));

    // And Stop while the reply is due ends the worker at once.
    REQUIRE(timed([&] { return worker.Start(FtpUrl("/pub/delay226-5000.bin"), "sixth.bin"); }));
    CHECK_EQ(worker.Outcome(8000), static_cast<int>(DLM_COMPLETE));
    const DWORD stopAt = ::GetTickCount();
    timed([&] { worker.Thread()->Stop(); return true; });
    CHECK(PumpUntil([&] { return worker.rec.released > 0; }, 3000));
    CHECK(::GetTickCount() - stopAt < 3000);
    CHECK(longest < 200);
    std::string bytes;
    for (const char* name : {"first.bin", "fourth.bin", "sixth.bin"})
        CHECK(ReadFileBytes(dir.File(name), bytes) && bytes == Pattern(5000));
    CHECK(ReadFileBytes(dir.File("second.bin"), bytes) && bytes == Pattern(5000));
    CHECK(ReadFileBytes(dir.File("third.bin"), bytes) && bytes == Pattern(6000));
    CHECK(!FileExists(dir.File("fifth.bin")));
}

TEST_CASE("files go to the folder given with each download, wherever the current directory is")
{
    ThreadSink sink;
    TempDir cwd, first, second;
    ::SetCurrentDirectoryA(cwd.Path().c_str());
    Worker worker(first.Path());
    REQUIRE(worker.Start(HttpUrl("/bytes/100" + Unique()), "a.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.folder = second.Path() + "\\";   // a trailing separator changes nothing
    REQUIRE(worker.Start(HttpUrl("/bytes/200" + Unique()), "sub\\b.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    // The confinement is the given folder's: a sibling of it is refused.
    worker.folder = first.Path();
    REQUIRE(worker.Start(HttpUrl("/bytes/300" + Unique()), "..\\escape.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    worker.folder = "";
    REQUIRE(worker.Start(HttpUrl("/bytes/300" + Unique()), "nofolder.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    worker.Finish();
    ::SetCurrentDirectoryA("C:\\");
    std::string bytes;
    CHECK(ReadFileBytes(first.File("a.bin"), bytes) && bytes == Pattern(100));
    CHECK(ReadFileBytes(second.File("sub\\b.bin"), bytes) && bytes == Pattern(200));
    CHECK(FilesIn(cwd.Path()).empty());
    CHECK(FilesIn(first.Path()) == std::vector<std::string>{"a.bin"});
}

TEST_CASE("a fast body is reported as it arrives, and the worker keeps one helper thread")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(HttpUrl("/bytes/20000000" + Unique()), "big.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    int progress = 0;
    for (const Received& m : worker.Current())
        progress += m.type == DLM_PROGRESS;
    CHECK(progress >= 2);
    const int threads = ThreadCount();
    for (int i = 0; i < 30; ++i) {
        REQUIRE(worker.Start(HttpUrl("/bytes/2000" + Unique()), "small.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    }
    CHECK(ThreadCount() <= threads);
    // HTTP and FTP in turn, with a failure between: each transfer after a
    // whole one goes on in its session, any other starts a new one.
    struct Step {
        std::string url;
        int outcome;
    } steps[] = {
        {FtpUrl("/pub/file-100000.bin"), DLM_COMPLETE},
        {HttpUrl("/bytes/3000" + Unique()), DLM_COMPLETE},
        {HttpUrl("/status/404" + Unique()), DLM_ERROR},
        {HttpUrl("/bytes/3000" + Unique()), DLM_COMPLETE},
        {HttpUrl("/short/10000/4000" + Unique()), DLM_ERROR},
        {FtpUrl("/pub/file-100000.bin"), DLM_COMPLETE},
        {HttpUrl("/bytes/3000" + Unique()), DLM_COMPLETE},
    };
    int n = 0;
    for (const Step& step : steps) {
        const std::string name = "turn" + std::to_string(++n) + ".bin";
        REQUIRE(worker.Start(step.url, name));
        if (!CHECK_EQ(worker.Outcome(), step.outcome))
            std::printf("      for %s\n", step.url.c_str());
        CHECK(FileExists(dir.File(name)) == (step.outcome == DLM_COMPLETE));
    }
    worker.Finish();
}

namespace {

// The files a partial download leaves beside its target.
std::vector<std::string> PartialFiles(const std::string& name)
{
    return {name + ".kstinfo", name + ".kstpart"};
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_CASE("resume: a cut-off download asks for the rest, or starts over when the server will not give it")
{
    ThreadSink sink;
    const int size = 300000, cut = 120000;
    struct Case {
        const char* route;
        bool kept;              // the partial file is kept after the cut
        const char* range;      // what the second attempt asks for
        int requests;           // requests of the second attempt
    } cases[] = {
        {"cut", true, "bytes=120000-", 1},          // ETag: 206 with the rest
        {"cutlm", true, "bytes=120000-", 1},        // Last-Modified: the same
        {"norange", true, "bytes=120000-", 1},      // asked, got 200: from 0
        {"changing", true, "bytes=120000-", 1},     // validator changed: 200, from 0
        {"badrange", true, "-", 2},                 // a wrong 206, then from 0 afresh
        {"cutnoval", false, "-", 1},                // nothing to resume with
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string earlier(1000, 'e');
        REQUIRE(WriteFileBytes(dir.File("keep.bin"), earlier));
        Worker worker(dir.Path());
        const std::string path = "/" + std::string(c.route) + "/" + std::to_string(size) + "/" +
                                 std::to_string(cut) + Unique();
        REQUIRE(worker.Start(HttpUrl(path), "keep.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        CHECK_EQ(static_cast<int>(worker.Thread()->GetLastFailure().kind),
                 static_cast<int>(TransferFailure::CUT_OFF));
        std::string bytes;
        CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == earlier);
        std::vector<std::string> expected = {"keep.bin"};
        if (c.kept)
            for (const std::string& name : PartialFiles("keep.bin"))
                expected.push_back(name);
        if (!CHECK(Sorted(FilesIn(dir.Path())) == Sorted(expected)))
            std::printf("      for %s\n", c.route);

        REQUIRE(worker.Start(HttpUrl(path), "keep.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        CHECK_EQ(HttpRequestCount(path), 1 + c.requests);
        if (!CHECK_EQ(HttpLastRange(path), std::string(c.requests == 2 ? "-" : c.range)))
            std::printf("      for %s\n", c.route);
        CHECK_EQ(AnnouncedSize(worker.Current()), static_cast<long long>(size));
        const std::vector<Received> current = worker.Current();
        CHECK_EQ(current.back().type, static_cast<int>(DLM_COMPLETE));
        CHECK_EQ(current.back().p1, size);
        CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == Pattern(size));
        CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"keep.bin"});
        worker.Finish();
    }
}

TEST_CASE("resume: a cancelled or stopped download goes on from its partial file; removing it starts over")
{
    ThreadSink sink;
    TempDir dir;
    const int size = 2000000;
    const std::string path = "/slow/" + std::to_string(size) + "/20000" + Unique();
    {
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl(path), "slow.bin"));
        CHECK(worker.WaitFor(DLM_PROGRESS));
        worker.Thread()->Cancel();
        CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
        CHECK(Sorted(FilesIn(dir.Path())) == Sorted(PartialFiles("slow.bin")));
        std::string partial;
        CHECK(ReadFileBytes(dir.File("slow.bin.kstpart"), partial));
        CHECK(!partial.empty() && partial.size() < static_cast<size_t>(size));
        CHECK(partial == Pattern(partial.size()));

        REQUIRE(worker.Start(HttpUrl(path), "slow.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        CHECK_EQ(HttpLastRange(path), "bytes=" + std::to_string(partial.size()) + "-");
        std::string bytes;
        CHECK(ReadFileBytes(dir.File("slow.bin"), bytes) && bytes == Pattern(size));
        CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"slow.bin"});
    }
    const std::string other = "/slow/" + std::to_string(size) + "/20000" + Unique();
    {
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl(other), "other.bin"));
        CHECK(worker.WaitFor(DLM_PROGRESS));
        worker.Thread()->Stop();
        CHECK(PumpUntil([&] { return worker.rec.released > 0; }, 3000));
    }
    CHECK(FileExists(dir.File("other.bin.kstpart")));
    CDownloadThread::RemovePartial(dir.Path().c_str(), "other.bin");
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"slow.bin"});
    {
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl("/bytes/" + std::to_string(size) + Unique()), "other.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    }
    // A different URL for the same file does not go on from another's bytes.
    {
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl("/cut/100000/50000" + Unique()), "mixed.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        const std::string second = "/bytes/90000" + Unique();
        REQUIRE(worker.Start(HttpUrl(second), "mixed.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        CHECK_EQ(HttpLastRange(second), std::string("-"));
        std::string bytes;
        CHECK(ReadFileBytes(dir.File("mixed.bin"), bytes) && bytes == Pattern(90000));
    }
}

TEST_CASE("resume over FTP with a restart marker")
{
    ThreadSink sink;
    TempDir dir;
    const size_t size = 400000;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(FtpUrl("/pub/slow-400000.bin"), "slow.bin"));
    CHECK(PumpUntil([&] {
        for (const Received& m : worker.Current())
            if (m.type == DLM_PROGRESS && m.p1 >= 60000)
                return true;
        return false;
    }, 10000));
    worker.Thread()->Cancel();
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
    std::string partial;
    CHECK(ReadFileBytes(dir.File("slow.bin.kstpart"), partial));
    CHECK(partial.size() >= 60000 && partial.size() < size);
    REQUIRE(worker.Start(FtpUrl("/pub/slow-400000.bin"), "slow.bin"));
    CHECK_EQ(worker.Outcome(20000), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("slow.bin"), bytes) && bytes == Pattern(size));
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"slow.bin"});
    const std::string log = FtpLog();
    CHECK(log.find("RETR slow-400000.bin " + std::to_string(partial.size()) + "\n") != std::string::npos);
}

TEST_CASE("partial files of items that leave the list are removed; other files stay")
{
    ThreadSink sink;
    TempDir dir;
    const std::string saved = theApp.m_strCurrentDirectory;
    theApp.m_strCurrentDirectory = dir.Path();
    {
        CKestrinDoc doc;
        // Three items, each cut off half way, so each leaves a partial
        // file; their names are "<folder>\<file>" by the item's rule.
        const std::string folder = "d" + std::to_string(::GetTickCount());
        const std::string base = "/cut/100000/50000/" + folder + "/";
        Worker worker(dir.Path());
        for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
            const std::string url = HttpUrl(base + name);
            URLItem* item = doc.AddURL(url.c_str());
            REQUIRE(item != nullptr);
            CHECK_EQ(item->m_strFileName, folder + "\\" + name);
            REQUIRE(worker.Start(url, item->m_strFileName));
            CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
            // The worker says it kept the bytes; a progress panel marks the item so.
            CHECK_EQ(worker.rec.messages.back().p1, 1);
            item->m_bPartialKept = worker.rec.messages.back().p1 != 0;
        }
        worker.Finish();
        const std::string sub = dir.File(folder);
        REQUIRE(WriteFileBytes(sub + "\\one.bin", "an earlier whole file"));
        CHECK(Sorted(FilesIn(sub)) == Sorted({"one.bin", "one.bin.kstinfo", "one.bin.kstpart",
            "two.bin.kstinfo", "two.bin.kstpart", "three.bin.kstinfo", "three.bin.kstpart"}));

        CHECK(doc.RemoveItem(1));   // two.bin
        CHECK(Sorted(FilesIn(sub)) == Sorted({"one.bin", "one.bin.kstinfo", "one.bin.kstpart",
                                              "three.bin.kstinfo", "three.bin.kstpart"}));
        doc.DeleteContents();       // clearing the list, and the program's end
        CHECK(FilesIn(sub) == std::vector<std::string>{"one.bin"});
    }
    theApp.m_strCurrentDirectory = saved;
}
