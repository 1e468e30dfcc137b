// Downloads with the real download worker, without the program around it.
// Usage: bench_download URL
//          one file; prints its size, time and rate
//        bench_download --list LISTFILE FOLDER
//          every URL of the list (one a line), one after the other on one
//          worker, into FOLDER under its last path segment; prints the time
#include <windows.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include "engine/DownloadThread.h"
#include "engine/ThreadGroup.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

namespace {

// The main window stand-in: delivers the worker's messages.
class Sink : public CWnd {
protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_THREADMESSAGE) {
            reinterpret_cast<CBaseThread*>(lp)->DeliverNext();
            return 0;
        }
        return CWnd::WindowProc(msg, wp, lp);
    }
};

class Receiver : public ThreadMessageReceiver {
public:
    void OnThreadMessage(int type, int p1, int, int, CBaseThread*) override
    {
        if (type == DLM_COMPLETE || type == DLM_ERROR || type == DLM_CANCELLED) {
            outcome = type;
            bytes = p1;
        }
    }
    void OnReleased() override { released = true; }
    int outcome = 0;
    int bytes = 0;
    bool released = false;
};

// Runs the worker's messages until `done`.
template <typename Done>
void PumpUntil(Done done)
{
    MSG msg;
    while (!done() && ::GetMessageA(&msg, nullptr, 0, 0))
        ::DispatchMessageA(&msg);
}

int RunList(CDownloadThread* thread, Receiver& receiver, const char* list, const char* folder)
{
    std::vector<std::string> urls;
    std::ifstream in(list);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            urls.push_back(line);
    }
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    int done = 0;
    for (const std::string& url : urls) {
        receiver.outcome = 0;
        thread->StartDownload(url.c_str(), url.substr(url.rfind('/') + 1).c_str(), folder);
        PumpUntil([&] { return receiver.outcome != 0; });
        done += receiver.outcome == DLM_COMPLETE;
    }
    ::QueryPerformanceCounter(&t1);
    const double seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    std::printf("engine: %d of %zu files in %.3f s\n", done, urls.size(), seconds);
    return done == static_cast<int>(urls.size()) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: bench_download URL\n");
        return 2;
    }
    CWinApp app;
    Sink sink;
    CWnd::RegisterClass("KestrinBenchSink", 0, nullptr, nullptr, nullptr);
    sink.CreateEx(0, "KestrinBenchSink", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    app.m_pMainWnd = &sink;

    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    ::SetCurrentDirectoryA(temp);

    Receiver receiver;
    auto* thread = new CDownloadThread(&receiver);
    StartThread(thread);
    if (std::string(argv[1]) == "--list" && argc >= 4) {
        const int result = RunList(thread, receiver, argv[2], argv[3]);
        thread->Quit();
        PumpUntil([&] { return receiver.released; });
        return result;
    }
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    thread->StartDownload(argv[1], "kestrin-bench.bin", temp);
    MSG msg;
    while (!receiver.outcome && ::GetMessageA(&msg, nullptr, 0, 0))
        ::DispatchMessageA(&msg);
    ::QueryPerformanceCounter(&t1);
    thread->Quit();
    while (!receiver.released && ::GetMessageA(&msg, nullptr, 0, 0))
        ::DispatchMessageA(&msg);
    ::DeleteFileA("kestrin-bench.bin");

    const double seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    const double mib = receiver.bytes / (1024.0 * 1024.0);
    std::printf("engine: %s, %.1f MiB in %.3f s: %.1f MiB/s\n",
                receiver.outcome == DLM_COMPLETE ? "complete" : "FAILED", mib, seconds, mib / seconds);
    return receiver.outcome == DLM_COMPLETE ? 0 : 1;
}
