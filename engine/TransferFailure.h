#pragma once
#include <windows.h>
#include <string>

// <windows.h> brings the sockets header's HOST_NOT_FOUND (a name for
// WSAHOST_NOT_FOUND) along; the kind below takes that name.
#ifdef HOST_NOT_FOUND
#undef HOST_NOT_FOUND
#endif

// Why a transfer ended in DLM_ERROR. The worker fills it before it queues
// DLM_ERROR; the receiver reads it (CDownloadThread::GetLastFailure) while
// it handles that message, before it hands the worker its next download.
struct TransferFailure {
    enum Kind {
        NONE = 0,
        HTTP_STATUS,        // the server answered with an error status
        REFUSED,            // the connection was refused
        HOST_NOT_FOUND,     // the server's name could not be resolved
        TIMED_OUT,          // no connection, or no byte, within the limit
        CUT_OFF,            // the body ended before its announced length
        UNSAFE_NAME,        // the file name would leave the download folder
        WRITE_FAILED,       // the file could not be created or written
        SAME_FILE,          // another item of the batch already wrote that file
        BAD_REDIRECT,       // too many redirects, or one to a refused place
        BAD_RESPONSE,       // not a usable reply (no status line, 1xx, 204, 3xx)
        NETWORK,            // any other failure of the connection
        CERT_UNTRUSTED,     // the server's certificate is not trusted for its name
        BAD_BODY,           // the body broke its own framing (a malformed chunk)
    };

    Kind kind = NONE;
    DWORD httpStatus = 0;       // HTTP_STATUS, BAD_RESPONSE: the status code
    std::string statusText;     // HTTP_STATUS: the server's reason phrase
    long long received = 0;     // CUT_OFF: bytes that arrived
    long long expected = -1;    // CUT_OFF: bytes announced
    DWORD error = 0;            // the system's error code, when there is one
    long retryAfter = -1;       // HTTP_STATUS: the server's Retry-After in seconds; -1 none
};
