// A crash in the middle of a batch: the real program, in a process of its
// own, is killed (TerminateProcess, no close) at random moments while it
// downloads; the next batch goes on from the bytes its records vouch for,
// asking the server only for the rest, or starts from 0, and every file
// comes out byte-identical to what the server has.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include "Test.h"
#include "EngineUtil.h"
#include "KestrinProcess.h"
#include "TestUtil.h"
#include "TestWorker.h"
#include "app/resource.h"
#include "engine/TargetFile.h"

using namespace test;

namespace {

// What a crash left beside `target`: the length its record vouches for
// (0 when there is no usable record), and the partial file's size.
long long RecordedLength(const std::string& target, const std::string& url)
{
    std::string text, validator;
    long long length = 0;
    if (!ReadFileBytes(CTargetFile::RecordPath(target), text) ||
        !CTargetFile::ParseRecord(text, url, validator, length))
        return 0;
    return length;
}

} // namespace

TEST_CASE("killed at random moments of a batch, the next batch resumes from trusted bytes and every file is whole")
{
    ResetRegistry();
    TempDir dir;
    WriteRegString("Settings", "CurrentDirectory", dir.Path());
    // A failure ends its item at once: the second batch runs its own course.
    WriteRegDWord("Settings", "RetryCount", 0);
    const unsigned seed = ::GetTickCount();
    std::printf("  seed %u\n", seed);
    std::mt19937 rng(seed);
    const size_t size = 3000000;
    const std::string whole = Pattern(size);
    const char* names[] = {"a.bin", "b.bin", "c.bin"};
    // From before the first byte to late in the first two transfers (4 s
    // each, a record about every second; the third starts only after one
    // of them).
    const DWORD moments[] = {300, 1300, 2200, 2900};
    int resumed = 0, fromStart = 0;
    for (DWORD moment : moments) {
        const DWORD killAt = moment + rng() % 900;
        Context context("killed after " + std::to_string(killAt) + " ms");
        const std::string folder = "k" + std::to_string(::GetTickCount()) + "-" + std::to_string(moment);
        std::vector<std::string> paths, urls;
        std::string list;
        for (const char* name : names) {
            paths.push_back("/slow/" + std::to_string(size) + "/4000/" + folder + "/" + name);
            urls.push_back(HttpUrl(paths.back()));
            list += urls.back() + "\r\n";
        }
        const std::string listFile = dir.File(folder + ".kst");
        REQUIRE(WriteFileBytes(listFile, list));

        KestrinProcess crashed;
        REQUIRE(crashed.Start({listFile}, dir.Path()));
        crashed.Command(ID_BATCH_DOWNLOAD);
        Pump(killAt);
        crashed.Kill();

        // What a later download must go on from: the record's length, as
        // long as the partial file holds that much.
        std::vector<long long> from;
        for (size_t i = 0; i < 3; ++i) {
            const std::string target = dir.File(folder + "\\" + names[i]);
            const long long recorded = RecordedLength(target, urls[i]);
            const long long partial = FileSize(CTargetFile::PartialPath(target));
            // A record never vouches for more than its file holds.
            if (recorded > 0)
                CHECK(recorded <= partial);
            from.push_back(recorded > 0 && recorded <= partial ? recorded : 0);
        }

        KestrinProcess again;
        REQUIRE(again.Start({listFile}, dir.Path()));
        again.Command(ID_BATCH_DOWNLOAD);
        const std::string sub = dir.File(folder);
        CHECK(PumpUntil([&] {
            std::vector<std::string> files = FilesIn(sub);
            std::sort(files.begin(), files.end());
            return files == std::vector<std::string>{"a.bin", "b.bin", "c.bin"};
        }, 60000));
        again.Close();
        CHECK(again.WaitForExit(10000));

        for (size_t i = 0; i < 3; ++i) {
            Context item(names[i]);
            std::string got;
            CHECK(ReadFileBytes(dir.File(folder + "\\" + names[i]), got) && got == whole);
            CHECK_EQ(HttpLastRange(paths[i]), from[i] > 0 ? "bytes=" + std::to_string(from[i]) + "-" : std::string("-"));
            if (from[i] > 0)
                ++resumed;
            else if (HttpRequestCount(paths[i]) > 1)
                ++fromStart;
        }
    }
    std::printf("  %d downloads went on from their kept bytes, %d with bytes but no record started over\n", resumed,
                fromStart);
    // Killed more than a second into a transfer, the bytes are used.
    CHECK(resumed >= 3);
}
