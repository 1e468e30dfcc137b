#pragma once
#include <string>
#include <vector>
#include "RetryRule.h"

class URLItem;

// The retries of one batch: which failed items wait for another try, what
// their rows say meanwhile ("再試行 2/3 (60 秒後)"), when they go back to
// the pending items, and how many retries the batch spent. Times are on
// Clock::Seconds' scale; the caller says what time it is.
class RetryQueue {
public:
    // A new batch: no retry spent, at most `maxRetries` per item, none to
    // begin after `deadline` (RetryRule::kNoDeadline for none).
    void Begin(int maxRetries, long long deadline);

    // `item` failed for `failure` at `now`: true when it now waits for its
    // next try (state ITEM_RETRY_WAIT), false when the failure is final.
    bool Offer(URLItem& item, const TransferFailure& failure, long long now);
    // Items of `waiting` whose pause is over go back to unread, so the
    // batch takes them again; the others show the seconds left. Returns
    // how many went back.
    int Release(const std::vector<URLItem*>& waiting, long long now);
    // The waits of `waiting` end: each item in error with the reason of
    // its last failure. Returns how many ended.
    int Abandon(const std::vector<URLItem*>& waiting);

    // What a row says of an item that failed for good: the reason, and the
    // retries spent on it when there were any.
    static std::string FinalText(const URLItem& item, const std::string& reason);
    // "再試行 2/3 (60 秒後)": retry `retry` of `most`, `seconds` from now.
    static std::string WaitText(int retry, int most, long long seconds);

    int GetSpent() const { return m_nSpent; }

private:
    RetryRule m_rule;
    int m_nSpent = 0;
};
