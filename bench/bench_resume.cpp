// Cuts a 50 MB download off at 40 MB, downloads it again and prints how
// many bytes the second download fetched, against the test HTTP server.
// Usage: bench_resume (with KESTRIN_SERVER_DIR set, as for the tests)
#include <windows.h>
#include <cstdio>
#include "EngineUtil.h"
#include "TestUtil.h"
#include "engine/DownloadThread.h"
#include "engine/ThreadGroup.h"
#include "framework/WinApp.h"

namespace {

// Downloads `url` into `name` in `folder` and gives the outcome's type.
int Download(const std::string& url, const std::string& folder, const std::string& name)
{
    test::Recorder rec;
    auto* thread = new CDownloadThread(&rec);
    if (!StartThread(thread))
        return 0;
    int outcome = 0;
    if (thread->StartDownload(url.c_str(), name.c_str(), folder.c_str())) {
        test::PumpUntil([&] { return rec.Outcomes() > 0; }, 600000);
        outcome = rec.LastOutcome();
    }
    thread->Quit();
    test::PumpUntil([&] { return rec.released > 0; }, 10000);
    return outcome;
}

} // namespace

int main()
{
    CWinApp app;
    test::ThreadSink sink;
    const long long size = 50LL * 1000 * 1000, cut = 40LL * 1000 * 1000;
    const std::string path = "/cut/" + std::to_string(size) + "/" + std::to_string(cut) + test::Unique();
    test::TempDir dir;

    const int first = Download(test::HttpUrl(path), dir.Path(), "resume.bin");
    const long long firstSent = test::HttpBytesSent(path);
    std::string partial;
    test::ReadFileBytes(dir.File("resume.bin.kstpart"), partial);

    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    const int second = Download(test::HttpUrl(path), dir.Path(), "resume.bin");
    ::QueryPerformanceCounter(&t1);
    const long long secondSent = test::HttpBytesSent(path) - firstSent;

    std::string whole;
    const bool identical = test::ReadFileBytes(dir.File("resume.bin"), whole) &&
                           whole == test::Pattern(static_cast<size_t>(size));
    std::printf("resume: first download %s after %lld bytes (%zu kept)\n",
                first == DLM_ERROR ? "cut off" : "did not end in error", firstSent, partial.size());
    std::printf("resume: second download %s, fetched %lld of %lld bytes (%.1f %%) in %.3f s; file %s\n",
                second == DLM_COMPLETE ? "complete" : "FAILED", secondSent, size,
                100.0 * static_cast<double>(secondSent) / static_cast<double>(size),
                static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart),
                identical ? "byte-identical" : "DIFFERENT");
    return second == DLM_COMPLETE && identical ? 0 : 1;
}
