// Servers that lie, loop, stall or answer late, over HTTP and FTP: each
// ends in error with its reason, no file and the earlier file kept, or
// completes where it should (redirects, a slow but moving body), with the
// real worker threads.
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
        // No answer on the connection kept from the whole response before.
        {HttpUrl("/silent" + Unique()), DLM_ERROR, 2500, 9000},
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
