// The floor of a batch of small files under Wine: no network at all, only
// creating and writing COUNT files of SIZE bytes in FOLDER, one after the
// other, as a download writes them.
// Usage: bench_files FOLDER COUNT SIZE
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "BenchUtil.h"

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_files FOLDER COUNT SIZE\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const DWORD size = static_cast<DWORD>(std::atoi(argv[3]));
    std::vector<char> body(size, 'k');
    ::CreateDirectoryA(folder.c_str(), nullptr);
    bench::Stopwatch watch;
    int written = 0;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\f%05d.bin", i);
        HANDLE file = ::CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DWORD n = 0;
        written += ::WriteFile(file, body.data(), size, &n, nullptr) && n == size;
        ::CloseHandle(file);
    }
    std::printf("files: %d of %d written in %.3f s\n", written, count, watch.Seconds());
    return written == count ? 0 : 1;
}
