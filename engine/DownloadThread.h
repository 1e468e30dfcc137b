#pragma once
#include <windows.h>
#include <wininet.h>
#include <string>
#include "WorkThread.h"

// Messages of a download to its receiver (p1 as given, p2 and p3 zero).
enum {
    DLM_COMPLETE = 101,     // total bytes written
    DLM_PROGRESS = 102,     // bytes written so far
    DLM_SIZE = 103,         // announced size; 0 or -1 when unknown
    CMD_DOWNLOAD = 104,     // the command: p3 points to a request
    DLM_ERROR = 105,
    DLM_CANCELLED = 106,
};

// The worker that moves bytes: for each download command it fetches one
// URL over HTTP, FTP or any scheme WinINet opens by URL into one file.
// The user-interface thread can abort a transfer at any moment by closing
// its root internet handle.
class CDownloadThread : public CWorkThread {
public:
    explicit CDownloadThread(ThreadMessageReceiver* receiver);
    ~CDownloadThread() override;

    // Hands a download to the worker and waits up to 5 s until it has
    // taken its own copies of the strings. A relative `path` must stay
    // inside the current download folder; an absolute one (chosen by the
    // user) is taken as it is when `absoluteAllowed`.
    BOOL StartDownload(const char* url, const char* path, bool absoluteAllowed = false);
    // Ends the running transfer with DLM_CANCELLED; the worker goes on.
    void Cancel();
    // Ends the running transfer and the worker, with no transfer message.
    void Stop() override;

    void Execute(int code, int p1, int p2, INT_PTR p3) override;

    // Thrown by a failing transfer step.
    struct ExceptionI {
        int m_nStep;
    };

    // Whether a name derived from a URL may be written below the download
    // folder: no drive, colon, leading separator, "..", or device name.
    static bool IsSafeRelativeName(const std::string& name);

private:
    struct Request;
    class TargetFile;
    class Handle;
    class NetCaller;

    void Download(Request& request);
    // The worker's view of a transfer handle: fails once the root is closed.
    HINTERNET UseHandle(HINTERNET handle);
    void CloseTransferHandle(HINTERNET& handle);
    void CloseRoot();

    CRITICAL_SECTION m_lock;
    HINTERNET m_hInternet = nullptr;
    // Set with the root's close by Cancel and Stop: a worker waiting for a
    // network call gives up at once, whether or not the call returns.
    HANDLE m_hAbortEvent;
    unsigned m_bCancelled : 1;
    std::string m_strAgent;
};
