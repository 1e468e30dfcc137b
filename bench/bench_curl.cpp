// The plain libcurl loop Kestrin's transfers are measured against: the
// same library as the program's, one handle kept for every URL (so one
// kept connection), each body written to a partial file that is renamed
// when whole, as Kestrin writes its files; no worker thread, no checks.
// Usage: bench_curl LISTFILE FOLDER
//          every URL of the list (one a line) into FOLDER under its last
//          path segment; prints the time
#include <winsock2.h>
#include <windows.h>
#include <curl/curl.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

size_t OnWrite(char* data, size_t size, size_t count, void* file)
{
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(size * count);
    return ::WriteFile(static_cast<HANDLE>(file), data, n, &written, nullptr) && written == n ? n : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("usage: bench_curl LISTFILE FOLDER\n");
        return 2;
    }
    std::vector<std::string> urls;
    std::ifstream in(argv[1]);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            urls.push_back(line);
    }
    curl_global_init(CURL_GLOBAL_ALL);
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);

    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    int done = 0;
    for (const std::string& url : urls) {
        const std::string target = std::string(argv[2]) + "\\" + url.substr(url.rfind('/') + 1);
        const std::string partial = target + ".part";
        HANDLE file = ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        const CURLcode code = curl_easy_perform(easy);
        ::CloseHandle(file);
        if (code == CURLE_OK && ::MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            ++done;
        else
            ::DeleteFileA(partial.c_str());
    }
    ::QueryPerformanceCounter(&t1);
    curl_easy_cleanup(easy);
    curl_global_cleanup();
    const double seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    std::printf("libcurl loop: %d of %zu files in %.3f s\n", done, urls.size(), seconds);
    return done == static_cast<int>(urls.size()) ? 0 : 1;
}
