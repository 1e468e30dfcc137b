// Resuming downloads over HTTP and FTP from their partial files: a cut-off,
// cancelled or stopped download goes on where it was or starts over, and
// partial files of items that leave the list are removed.
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

// The announced size of the current transfer, as the panel rebuilds it.
long long AnnouncedSize(const std::vector<Received>& messages)
{
    for (const Received& m : messages)
        if (m.type == DLM_SIZE)
            return m.p2 ? (static_cast<long long>(m.p2) << 32) | static_cast<unsigned>(m.p1) : m.p1;
    return -2;
}

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
