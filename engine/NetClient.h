#pragma once
#include <windows.h>
#include <string>
#include "TransferFailure.h"

// One request as a transfer asks for it.
struct NetRequest {
    std::string url;            // sent exactly as given
    std::string range;          // HTTP: "bytes=N-", or empty
    std::string ifRange;        // HTTP: the validator the range depends on
    long long resumeFrom = 0;   // FTP: where the server is to start (REST)
    bool infoOnly = false;      // FTP: the file's size and date, no body
    // FTP: the size the server listed; a body of exactly that many bytes
    // whose data connection has closed is whole even while the server's
    // transfer-complete reply is late.
    long long listedSize = -1;
    DWORD connectMs = 60000;    // limit to stand a connection
    DWORD idleMs = 120000;      // limit without a byte from the server
};

// The head of a response: its status and the headers a transfer reads.
struct NetHead {
    long status = 0;            // HTTP status; 0 for FTP
    std::string reason;         // HTTP reason phrase
    long long length = -1;      // Content-Length, or the FTP size; -1 unknown
    std::string contentRange;
    std::string etag;
    std::string lastModified;
    std::string location;       // as sent, bytes and all
    std::string retryAfter;
};

// What the transfer does with a response once its head has come.
enum class BodyUse {
    TAKE,       // the body is the file: OnBody gets it
    DISCARD,    // a short answer to read past (a redirect, an error page)
    STOP,       // end the request now
};

// Receives one response on the thread that runs Fetch.
class INetSink {
public:
    virtual ~INetSink() = default;
    virtual BodyUse OnHead(const NetHead& head) = 0;
    // Bytes of a taken body, straight from the client's buffer; false
    // stops the request (the file could not be written).
    virtual bool OnBody(const char* data, size_t n) = 0;
};

// How a request ended.
struct NetResult {
    bool ok = false;            // the body (or the info) arrived whole
    bool aborted = false;       // Abort ended it
    bool headSeen = false;      // OnHead was called
    long long bodyBytes = 0;    // bytes of the body that arrived
    TransferFailure failure;    // why, when not ok and not aborted
    // FTP info: size and modification time (seconds since 1970), -1 unknown.
    long long fileSize = -1;
    long long fileTime = -1;
};

// The network as a transfer uses it: open a request, learn the size from
// its head, read its body into the file, and an abort that any thread may
// call to end a blocked connect, handshake or read at once.
class INetClient {
public:
    virtual ~INetClient() = default;
    // Runs one request to its end on the calling thread.
    virtual NetResult Fetch(const NetRequest& request, INetSink& sink) = 0;
    // Any thread: ends the running Fetch, and every Fetch until Rearm.
    virtual void Abort() = 0;
    // The worker, at the start of a transfer that is not aborted.
    virtual void Rearm() = 0;
};
