#pragma once
#include "TransferFailure.h"

// How a libcurl request ended, as far as the reason for a failure goes.
struct CurlOutcome {
    int code = 0;               // the CURLcode
    long osError = 0;           // the socket error behind it, 0 when none
    bool headSeen = false;      // the response head had arrived
    long long bodyBytes = 0;    // bytes of the body that arrived
    long long expected = -1;    // the announced length, -1 unknown
};

// The reason the status bar shows for a failed libcurl request.
TransferFailure FailureFromCurl(const CurlOutcome& outcome);
