// Servers whose bodies lie about their end, a connection left with bytes
// of another answer, a resume whose server splices two versions, a file
// that grew since its FTP listing, and Cancel at every stage of a request.
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "TestWorker.h"
#include "engine/DownloadThread.h"

using namespace test;

namespace {

SIZE_T PeakMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

std::string Changed(size_t n)
{
    std::string bytes = Pattern(n);
    for (char& c : bytes)
        c = static_cast<char>(c ^ 0x5A);
    return bytes;
}

} // namespace

TEST_CASE("lying bodies end in error within seconds, memory bounded, the earlier file byte-identical")
{
    ThreadSink sink;
    TempDir dir;
    const std::string earlier(7000, 'e');
    REQUIRE(WriteFileBytes(dir.File("keep.bin"), earlier));
    struct Case {
        const char* path;
        TransferFailure::Kind kind;
    } cases[] = {
        {"/chunkcut/8000", TransferFailure::CUT_OFF},       // a chunk of 4096 announced, 2000 sent
        {"/chunkbad/8000", TransferFailure::BAD_BODY},      // a chunk size that is no number
        {"/chunknoend/8000", TransferFailure::CUT_OFF},     // closed before the last chunk
        {"/short/10000/5000", TransferFailure::CUT_OFF},    // Content-Length 10000, 5000 sent
        {"/longer/5000", TransferFailure::BAD_BODY},        // more than Content-Length
        {"/endless/line", TransferFailure::BAD_RESPONSE},   // a header line that never ends
        {"/endless/lines", TransferFailure::BAD_RESPONSE},  // header lines that never end
    };
    Worker worker(dir.Path());
    const SIZE_T before = PeakMemory();
    for (const Case& c : cases) {
        const std::string path = c.path + Unique();
        const DWORD start = ::GetTickCount();
        REQUIRE(worker.Start(HttpUrl(path), "keep.bin"));
        const int outcome = worker.Outcome(20000);
        const DWORD took = ::GetTickCount() - start;
        const TransferFailure f = worker.Thread()->GetLastFailure();
        std::string bytes;
        const bool ok = CHECK_EQ(outcome, static_cast<int>(DLM_ERROR)) &&
                        CHECK_EQ(static_cast<int>(f.kind), static_cast<int>(c.kind)) &&
                        CHECK(took < 10000) &&
                        CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == earlier) &&
                        CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"keep.bin"});
        if (!ok)
            std::printf("      for %s (%lu ms)\n", c.path, took);
    }
    // Two mebibytes of header were refused, not kept.
    CHECK(PeakMemory() - before < 32u * 1024 * 1024);
    // The worker still works.
    REQUIRE(worker.Start(HttpUrl("/bytes/3000" + Unique()), "keep.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == Pattern(3000));
}

TEST_CASE("a connection with unread bytes of another answer is never asked again: each item gets its own bytes")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    // The extra answer comes with the body: that item fails, the next
    // item is asked on a new connection.
    REQUIRE(worker.Start(HttpUrl("/longer/5000" + Unique()), "one.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    const std::string second = "/bytes/3000" + Unique();
    REQUIRE(worker.Start(HttpUrl(second), "two.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("two.bin"), bytes) && bytes == Pattern(3000));
    CHECK_EQ(HttpRequestCount(second), 1);

    // The extra answer comes after the body, before the next item: the
    // first item is whole as far as anyone can tell; the next is not
    // fooled by the bytes waiting on the connection.
    REQUIRE(worker.Start(HttpUrl("/longerlate/4000" + Unique()), "three.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    Pump(600);
    const std::string fourth = "/bytes/2500" + Unique();
    REQUIRE(worker.Start(HttpUrl(fourth), "four.bin"));
    if (!CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE)))
        std::printf("      failed as %d\n", static_cast<int>(worker.Thread()->GetLastFailure().kind));
    CHECK(ReadFileBytes(dir.File("three.bin"), bytes) && bytes == Pattern(4000));
    CHECK(ReadFileBytes(dir.File("four.bin"), bytes) && bytes == Pattern(2500));
    CHECK_EQ(HttpRequestCount(fourth), 1);
}

TEST_CASE("resume: a 206 from a changed file is not spliced onto the old bytes; the file starts again")
{
    ThreadSink sink;
    TempDir dir;
    const int size = 200000, cut = 80000;
    const std::string path = "/splice/" + std::to_string(size) + "/" + std::to_string(cut) + Unique();
    Worker worker(dir.Path());
    REQUIRE(worker.Start(HttpUrl(path), "splice.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK(FileExists(dir.File("splice.bin.kstpart")));
    REQUIRE(worker.Start(HttpUrl(path), "splice.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    // Asked for the rest, got a 206 with another tag, asked again from 0.
    CHECK_EQ(HttpRequestCount(path), 3);
    CHECK_EQ(HttpLastRange(path), std::string("-"));
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("splice.bin"), bytes) && bytes == Changed(size));
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"splice.bin"});
}

TEST_CASE("ftp: a file that grew since its listing completes with its real size")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(FtpUrl("/pub/grown-30000.bin"), "grown.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    const std::vector<Received> messages = worker.Current();
    REQUIRE(!messages.empty());
    CHECK_EQ(messages.front().type, static_cast<int>(DLM_SIZE));
    CHECK_EQ(messages.front().p1, 20000);   // as listed
    CHECK_EQ(messages.back().p1, 30000);    // as sent
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("grown.bin"), bytes) && bytes == Pattern(30000));
}

TEST_CASE("ftp: a server that refuses the restart marker sends the whole file again")
{
    ThreadSink sink;
    TempDir dir;
    const size_t size = 300000;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(FtpUrl("/pub/slow-norest-300000.bin"), "norest.bin"));
    CHECK(PumpUntil([&] {
        for (const Received& m : worker.Current())
            if (m.type == DLM_PROGRESS && m.p1 >= 50000)
                return true;
        return false;
    }, 10000));
    worker.Thread()->Cancel();
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
    CHECK(FileExists(dir.File("norest.bin.kstpart")));
    REQUIRE(worker.Start(FtpUrl("/pub/slow-norest-300000.bin"), "norest.bin"));
    CHECK_EQ(worker.Outcome(20000), static_cast<int>(DLM_COMPLETE));
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("norest.bin"), bytes) && bytes == Pattern(size));
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"norest.bin"});
    const std::string log = FtpLog();
    size_t retrFromZero = 0;
    for (size_t at = 0; (at = log.find("RETR slow-norest-300000.bin 0\n", at)) != std::string::npos; ++at)
        ++retrFromZero;
    CHECK_EQ(retrFromZero, 2u);
}

TEST_CASE("an error answer's Retry-After is kept with its status, in seconds")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    struct Case {
        std::string path;
        DWORD status;
        long at_least, at_most;
    } cases[] = {
        {"/retry/503/120", 503, 120, 120},
        {"/retry/429/0", 429, 0, 0},
        {"/retry/503/" + UrlEscape("Thu, 01 Jan 2099 00:00:00 GMT"), 503, 60L * 60 * 24 * 365, 0x7FFFFFFF},
        {"/retry/503/later", 503, -1, -1},
        {"/status/503", 503, -1, -1},
    };
    for (const Case& c : cases) {
        REQUIRE(worker.Start(HttpUrl(c.path + Unique()), "r.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        const TransferFailure f = worker.Thread()->GetLastFailure();
        const bool ok = CHECK_EQ(static_cast<int>(f.kind), static_cast<int>(TransferFailure::HTTP_STATUS)) &&
                        CHECK_EQ(f.httpStatus, c.status) &&
                        CHECK(f.retryAfter >= c.at_least && f.retryAfter <= c.at_most);
        if (!ok)
            std::printf("      for %s (got %ld)\n", c.path.c_str(), f.retryAfter);
    }
}

TEST_CASE("a redirect whose Location holds raw bytes is asked for with them escaped")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    REQUIRE(worker.Start(HttpUrl("/rawloc/1234" + Unique()), "raw.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    CHECK_EQ(HttpRequestCount("/bytes/1234/%E3%81%82%20%E3%81%84.bin"), 1);
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("raw.bin"), bytes) && bytes == Pattern(1234));
}

TEST_CASE("cancel ends a transfer within 200 ms while it connects, waits for an answer, or reads")
{
    ThreadSink sink;
    TempDir dir;
    const std::string blackhole = "127.0.0.1:" + std::to_string(ServerPort("blackhole"));
    struct Case {
        const char* stage;
        std::string url;
        int waitFor;   // a message that says the stage is reached, or 0
    } cases[] = {
        {"connect", "http://" + blackhole + "/x.bin", 0},
        {"ftp connect", "ftp://" + blackhole + "/x.bin", 0},
        {"answer", HttpUrl("/silent" + Unique()), 0},
        {"read", HttpUrl("/stall" + Unique()), DLM_SIZE},
        {"ftp read", FtpUrl("/pub/slow-400000.bin"), DLM_PROGRESS},
    };
    Worker worker(dir.Path());
    for (const Case& c : cases) {
        REQUIRE(worker.Start(c.url, "c.bin"));
        if (c.waitFor)
            CHECK(worker.WaitFor(c.waitFor));
        else
            Pump(700);
        const DWORD start = ::GetTickCount();
        worker.Thread()->Cancel();
        const DWORD returned = ::GetTickCount() - start;
        const int outcome = worker.Outcome(3000);
        const DWORD took = ::GetTickCount() - start;
        const bool ok = CHECK_EQ(outcome, static_cast<int>(DLM_CANCELLED)) && CHECK(returned < 50) &&
                        CHECK(took < 200);
        if (!ok)
            std::printf("      while it %s: %lu ms\n", c.stage, took);
    }
    // Only the FTP item, whose bytes have a validator, leaves a partial file.
    std::vector<std::string> left = FilesIn(dir.Path());
    std::sort(left.begin(), left.end());
    CHECK(left == (std::vector<std::string>{"c.bin.kstinfo", "c.bin.kstpart"}));
}
