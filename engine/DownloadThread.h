#pragma once
#include <windows.h>
#include <wininet.h>
#include <functional>
#include <memory>
#include <string>
#include "TransferFailure.h"
#include "WorkThread.h"

// Messages of a download to its receiver. Byte counts below 2^31 travel in
// p1 with p2 zero; larger ones carry their low 32 bits in p1 and their high
// 32 bits in p2. An unknown size is p1 -1 (or 0), p2 0.
enum {
    DLM_COMPLETE = 101,     // total bytes written
    DLM_PROGRESS = 102,     // bytes written so far
    DLM_SIZE = 103,         // announced size; 0 or -1 when unknown
    CMD_DOWNLOAD = 104,     // the command: p3 points to a request
    DLM_ERROR = 105,        // GetLastFailure tells why
    DLM_CANCELLED = 106,
};

// The worker that moves bytes: for each download command it fetches one
// URL over HTTP, FTP or any scheme WinINet opens by URL into one file.
// Network calls run on a helper thread that lives as long as the worker;
// the worker waits for them together with the cancel and stop signals, so
// Cancel and Stop end a transfer at once and never block the caller.
class CDownloadThread : public CWorkThread {
public:
    explicit CDownloadThread(ThreadMessageReceiver* receiver);
    ~CDownloadThread() override;

    // Hands a download to the worker; the worker owns its copy of the
    // strings from here on, so this returns at once. A relative `path` is
    // resolved against `folder` and must stay inside it; an absolute one
    // (chosen by the user) is taken as it is when `absoluteAllowed`.
    BOOL StartDownload(const char* url, const char* path, const char* folder,
                       bool absoluteAllowed = false);
    // Ends the running transfer (or the one handed over and not yet
    // begun) with DLM_CANCELLED; the worker goes on.
    void Cancel();
    // Ends the running transfer and the worker, with no transfer message.
    void Stop() override;
    // Why the last transfer ended in DLM_ERROR; valid while its receiver
    // handles that message, until the next StartDownload.
    TransferFailure GetLastFailure() const;

    void Execute(int code, int p1, int p2, INT_PTR p3) override;
    BOOL InitInstance() override;

    // Thrown by a failing transfer step.
    struct ExceptionI {
        int m_nStep;
    };

    // Whether a name derived from a URL may be written below the download
    // folder: no drive, colon, leading separator, "..", or device name.
    static bool IsSafeRelativeName(const std::string& name);

    // How long a transfer may wait to connect, and for its next byte,
    // before it ends as timed out (60 s and 120 s unless changed).
    static void SetTimeLimits(DWORD connectMs, DWORD idleMs);

    // The unfinished download of `name` in `folder` that a later download
    // of the same item goes on from; these remove it (with its record).
    static std::string PartialPath(const std::string& target);
    static void RemovePartial(const char* folder, const char* name);

private:
    struct Request;
    class TargetFile;
    class NetCaller;
    struct Job;
    struct Transfer;

    void Download(Request& request);
    void Run(Transfer& t);
    void RunHttp(Transfer& t);
    void RunFtp(Transfer& t);
    void RunOther(Transfer& t);
    void ReadBody(Transfer& t, HINTERNET data, bool ftp);
    // Closes the transfer's handles on the helper, waiting a moment; a
    // close that takes longer (an FTP server's late reply) goes on alone.
    void CloseHandles(Transfer& t);
    // Opens the session a transfer takes; it stays null on failure.
    void OpenSession();
    // Closes a whole HTTP transfer's request and keeps its session for the
    // next transfer.
    void KeepSession(Transfer& t);
    // Runs `call` on the helper and waits for it, for the cancel and stop
    // signals, and at most `limitMs` (since the last `activity`, if given;
    // `connectMs` until the library reports a connection);
    // a call given up on is left to the helper, which closes the
    // transfer's handles once it returns.
    Job& Call(Transfer& t, const std::function<void(Job&)>& call, DWORD limitMs,
              const volatile LONG* activity = nullptr, DWORD connectMs = 0);
    // The limits of the next call count from now, unconnected.
    void StartWatch(Transfer& t);
    static void CALLBACK OnStatus(HINTERNET h, DWORD_PTR context, DWORD status, void* info,
                                  DWORD length);
    // The helper, made anew when the last one was left behind.
    NetCaller& Net();
    void LeaveHelper(Transfer& t);
    // Records why the transfer failed and leaves it.
    [[noreturn]] void Fail(TransferFailure::Kind kind, DWORD error = 0);
    [[noreturn]] void FailNetwork(DWORD error, bool connecting);
    void CheckAbort();
    bool IsAborted() const { return ::InterlockedCompareExchange(&m_nAborted, 0, 0) != 0; }
    // Reports a byte count; with `tryOnly`, only when the queue is empty
    // (false when it was not sent).
    bool PostBytes(int type, long long bytes, bool tryOnly);

    // Guards the three flags and m_failure; never held across a call
    // that can block.
    mutable CRITICAL_SECTION m_lock;
    // Set by Cancel and Stop: a worker waiting for a network call gives up
    // at once, whether or not the call returns.
    HANDLE m_hAbortEvent;
    mutable volatile LONG m_nAborted = 0;   // set and cleared with the event
    unsigned m_bCancelled : 1;
    unsigned m_bActive : 1;
    // Cancel came after StartDownload, before the worker took the command.
    unsigned m_bCancelPending : 1;
    TransferFailure m_failure;
    std::string m_strAgent;
    std::unique_ptr<NetCaller> m_pNet;
    HINTERNET m_hSession = nullptr;   // kept from the last whole HTTP transfer
    DWORD m_nLastCallMs = 0;    // how long the last network call took

    static DWORD s_connectLimitMs;
    static DWORD s_idleLimitMs;
};
