#include "RetryQueue.h"
#include "FailureText.h"
#include "../app/resource.h"
#include "../model/URLItem.h"

void RetryQueue::Begin(int maxRetries, long long deadline)
{
    m_rule = RetryRule(maxRetries, deadline);
    m_nSpent = 0;
}

bool RetryQueue::Offer(URLItem& item, const TransferFailure& failure, long long now)
{
    const int wait = m_rule.WaitBefore(failure, item.m_nRetries, now);
    if (wait < 0)
        return false;
    item.m_llRetryAt = now + wait;
    item.m_strLastFailure = FailureText(failure);
    item.SetState(ITEM_RETRY_WAIT, WaitText(item.m_nRetries + 1, m_rule.GetMaxRetries(), wait));
    return true;
}

int RetryQueue::Release(const std::vector<URLItem*>& waiting, long long now)
{
    // The list changes as items go back: the caller's copy is walked.
    int released = 0;
    for (URLItem* item : waiting) {
        if (!(item->m_state & ITEM_RETRY_WAIT))
            continue;
        if (now >= item->m_llRetryAt) {
            ++item->m_nRetries;
            ++m_nSpent;
            ++released;
            item->SetState(ITEM_UNREAD);
        } else {
            item->SetState(ITEM_RETRY_WAIT,
                           WaitText(item->m_nRetries + 1, m_rule.GetMaxRetries(), item->m_llRetryAt - now));
        }
    }
    return released;
}

int RetryQueue::Abandon(const std::vector<URLItem*>& waiting)
{
    int ended = 0;
    for (URLItem* item : waiting) {
        if (!(item->m_state & ITEM_RETRY_WAIT))
            continue;
        ++ended;
        item->SetFailed(item->m_state & ~ITEM_RETRY_WAIT, FinalText(*item, item->m_strLastFailure));
    }
    return ended;
}

std::string RetryQueue::FinalText(const URLItem& item, const std::string& reason)
{
    if (item.m_nRetries == 0)
        return reason;
    return FormatStringId(IDS_FAILED_AFTER_RETRIES, {reason, std::to_string(item.m_nRetries)});
}

std::string RetryQueue::WaitText(int retry, int most, long long seconds)
{
    return FormatStringId(IDS_RETRY_WAIT, {std::to_string(retry), std::to_string(most),
                                           std::to_string(seconds < 0 ? 0 : seconds)});
}
