#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include "TransferFailure.h"
#include "WorkThread.h"
#include "../framework/CriticalSection.h"

class CCurlClient;
class CWinInetClient;

// Messages of a download to its receiver. Byte counts below 2^31 travel in
// p1 with p2 zero; larger ones carry their low 32 bits in p1 and their high
// 32 bits in p2. An unknown size is p1 -1 (or 0), p2 0. DLM_ERROR and
// DLM_CANCELLED carry in p1 whether the transfer left a partial file (with
// its record) for a later one to go on from: 1 when it did, else 0.
enum {
    DLM_COMPLETE = 101,     // total bytes written
    DLM_PROGRESS = 102,     // bytes written so far
    DLM_SIZE = 103,         // announced size; 0 or -1 when unknown
    CMD_DOWNLOAD = 104,     // the command: p3 points to a request
    DLM_ERROR = 105,        // GetLastFailure tells why; p1: partial file kept
    DLM_CANCELLED = 106,    // p1: partial file kept
};

// The worker that moves bytes: for each download command it fetches one
// URL over HTTP, HTTPS or FTP (through libcurl), or any other scheme the
// platform opens by URL, into one file. Cancel and Stop end a blocked
// connect, handshake or read at once and never block the caller.
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

    // Whether a name derived from a URL may be written below the download
    // folder: no drive, colon, leading separator, "..", or device name.
    static bool IsSafeRelativeName(const std::string& name);

    // How long a transfer may wait to connect, and for its next byte,
    // before it ends as timed out (60 s and 120 s unless changed).
    static void SetTimeLimits(DWORD connectMs, DWORD idleMs);

    // The unfinished download of `name` in `folder` that a later download
    // of the same item goes on from; these remove it (with its record).
    // Only a transfer that ended in DLM_ERROR or DLM_CANCELLED with p1 1
    // (or was stopped) leaves one: removing it is a look at the disk.
    static std::string PartialPath(const std::string& target);
    static void RemovePartial(const char* folder, const char* name);

private:
    struct Request;
    class Report;

    void Download(Request& request);
    // Ends the running transfer's network calls (Cancel and Stop).
    void AbortTransfer();
    // Reports a byte count; with `tryOnly`, only when the queue is empty
    // (false when it was not sent).
    bool PostBytes(int type, long long bytes, bool tryOnly);

    // Guards the flags, m_failure and the clients' lifetime; never held
    // across a call that can block.
    mutable CCriticalSection m_lock;
    unsigned m_bCancelled : 1;
    unsigned m_bActive : 1;
    // Cancel came after StartDownload, before the worker took the command.
    unsigned m_bCancelPending : 1;
    TransferFailure m_failure;
    std::string m_strAgent;
    // Made by the worker for its life.
    std::unique_ptr<CCurlClient> m_pWeb;
    std::unique_ptr<CWinInetClient> m_pOther;

    static DWORD s_connectLimitMs;
    static DWORD s_idleLimitMs;
};
