// The plain WinINet loop Kestrin's transfers are measured against: one
// session; for each URL one request, the body read in 64 KiB blocks and
// written straight to its file.
// Usage: bench_wininet URL FILE
//          one file; prints its size, time and rate
//        bench_wininet --list LISTFILE FOLDER
//          every URL of the list (one a line) into FOLDER under the name
//          Kestrin gives it; prints the files per second of each tenth
#include <windows.h>
#include <wininet.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include "BenchUtil.h"
#include "model/URLItem.h"

namespace {

const DWORD kBlock = 64 * 1024;

// Downloads one URL into `path`; the number of bytes, or -1.
long long Fetch(HINTERNET session, const std::string& url, const std::string& path,
                std::vector<char>& buf)
{
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_EXISTING_CONNECT;
    HINTERNET h = ::InternetOpenUrlA(session, url.c_str(), nullptr, 0, flags, 0);
    if (!h)
        return -1;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    long long total = -1;
    if (file != INVALID_HANDLE_VALUE) {
        total = 0;
        DWORD n = 0;
        while (::InternetReadFile(h, buf.data(), kBlock, &n) && n > 0) {
            DWORD written = 0;
            if (!::WriteFile(file, buf.data(), n, &written, nullptr) || written != n) {
                total = -1;
                break;
            }
            total += n;
        }
        ::CloseHandle(file);
    }
    ::InternetCloseHandle(h);
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::string(argv[1]) == "--list" && argc < 4)) {
        std::printf("usage: bench_wininet URL FILE | bench_wininet --list LISTFILE FOLDER\n");
        return 2;
    }
    HINTERNET session = ::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return 1;
    std::vector<char> buf(kBlock);

    if (std::string(argv[1]) != "--list") {
        bench::Stopwatch watch;
        const long long bytes = Fetch(session, argv[1], argv[2], buf);
        const double seconds = watch.Seconds();
        ::DeleteFileA(argv[2]);
        ::InternetCloseHandle(session);
        const double mib = bytes / (1024.0 * 1024.0);
        std::printf("wininet 64 KiB loop: %s, %.1f MiB in %.3f s: %.1f MiB/s\n",
                    bytes > 0 ? "complete" : "FAILED", mib, seconds, mib / seconds);
        return bytes > 0 ? 0 : 1;
    }

    std::vector<std::string> urls;
    std::ifstream in(argv[2]);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            urls.push_back(line);
    }
    const std::string folder = argv[3];
    // The folder level the names bring is made once, before the clock runs.
    for (const std::string& url : urls) {
        const std::string name = URLItem::FileNameFromURL(url.c_str());
        const size_t slash = name.find('\\');
        if (slash != std::string::npos)
            ::CreateDirectoryA((folder + "\\" + name.substr(0, slash)).c_str(), nullptr);
    }

    bench::Tenths tenths(static_cast<int>(urls.size()));
    bench::ProcessSample start = bench::ProcessSample::Now(), middle = start;
    int done = 0;
    for (const std::string& url : urls) {
        const std::string path = folder + "\\" + URLItem::FileNameFromURL(url.c_str());
        done += Fetch(session, url, path, buf) >= 0;
        tenths.Passed(done);
        if (done == static_cast<int>(urls.size()) / 2)
            middle = bench::ProcessSample::Now();
    }
    const bench::ProcessSample end = bench::ProcessSample::Now();
    ::InternetCloseHandle(session);
    std::printf("wininet loop: %d of %d files in %.2f s\n", done, static_cast<int>(urls.size()),
                tenths.Seconds());
    tenths.Print("wininet loop");
    bench::ProcessSample::Print("wininet loop", start, middle, end);
    return done == static_cast<int>(urls.size()) ? 0 : 1;
}
