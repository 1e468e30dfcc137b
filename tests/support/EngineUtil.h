#pragma once
// Helpers for tests of worker threads and downloads: a main window that
// delivers thread messages, a receiver that records them, the test
// servers and the body pattern they serve.
#include <windows.h>
#include <string>
#include <vector>
#include "engine/BaseThread.h"
#include "framework/Wnd.h"

namespace test {

// Stands in for the main window: delivers WM_THREADMESSAGE. While it lives
// it is the program's main window, so workers made meanwhile report to it.
class ThreadSink : public CWnd {
public:
    ThreadSink();
    ~ThreadSink() override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    CWnd* m_pOldMain;
};

struct Received {
    int type;
    int p1;
    int p2;
};

// Records what a worker reports.
class Recorder : public ThreadMessageReceiver {
public:
    void OnThreadMessage(int type, int p1, int p2, int, CBaseThread*) override
        { messages.push_back({type, p1, p2}); }
    void OnThreadEnded(CBaseThread*) override { ended = true; endedAfter = messages.size(); }
    void OnReleased() override { ++released; }

    // The transfer messages (COMPLETE, ERROR, CANCELLED) received.
    int Outcomes() const;
    int LastOutcome() const;

    std::vector<Received> messages;
    bool ended = false;
    size_t endedAfter = 0;
    int released = 0;
};

// The port of a test server ("http" or "ftp").
int ServerPort(const char* name);
std::string HttpUrl(const std::string& path);
std::string FtpUrl(const std::string& path);
// How many requests the HTTP server has had for `pathAndQuery`.
int HttpRequestCount(const std::string& pathAndQuery);
// The Range header of the last request for `pathAndQuery` ("-" for none).
std::string HttpLastRange(const std::string& pathAndQuery);
// How many body bytes the HTTP server's resume routes sent for `pathAndQuery`.
long long HttpBytesSent(const std::string& pathAndQuery);
// The FTP server's log of RETR commands, one "RETR name offset" a line.
std::string FtpLog();
// "%xx" for everything but letters, digits and "/.-_".
std::string UrlEscape(const std::string& text);
// A unique query string, so that each test's URLs can be counted apart.
std::string Unique();
// The bytes the servers send for a body of `n` bytes.
std::string Pattern(size_t n);
// A port on 127.0.0.1 where nothing listens.
int ClosedPort();
// How many threads this process has.
int ThreadCount();

} // namespace test
