// Downloads over HTTP and FTP from the test servers on 127.0.0.1, into
// real files, with the real worker threads: bodies of every size, error
// pages and refused connections, cancel and stop, the earlier file kept,
// the target folder and name, and progress as the body arrives.
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
