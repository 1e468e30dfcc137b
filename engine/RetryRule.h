#pragma once
#include "TransferFailure.h"

// When a failed download is tried again. A failure that may pass (no
// connection, a reset, a time-out, a cut-off body, HTTP 408, 429, 500, 502,
// 503, 504) is retried after a pause of 10 s, then 60 s, then 5 min (and
// 5 min for any further one), or after the server's Retry-After when that
// is longer, up to 10 min; a longer Retry-After, any other failure, a
// retry beyond the allowed number, and a retry that would begin after the
// deadline (the disconnect time of a scheduled run) are final.
class RetryRule {
public:
    static constexpr int kDefaultRetries = 3;
    static constexpr int kMostRetries = 10;
    static constexpr long kLongestRetryAfter = 600;
    static constexpr long long kNoDeadline = 0;

    // `maxRetries` is taken into 0..10 (0: never retry); `deadline` is a
    // time on Clock::Seconds' scale, or kNoDeadline.
    explicit RetryRule(int maxRetries = kDefaultRetries, long long deadline = kNoDeadline);

    // A failure that may pass if the same download is tried again later.
    static bool MayPass(const TransferFailure& failure);
    // The pause before retry number `retry` (1 for the first), in seconds.
    static int Pause(int retry);

    // Seconds to wait before the next retry of an item that failed for
    // `failure` at `now` after `retriesSpent` retries; -1 when it is final.
    int WaitBefore(const TransferFailure& failure, int retriesSpent, long long now) const;

    int GetMaxRetries() const { return m_nMaxRetries; }

private:
    int m_nMaxRetries;
    long long m_llDeadline;
};
