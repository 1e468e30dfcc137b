#include "RetryRule.h"

RetryRule::RetryRule(int maxRetries, long long deadline)
    : m_nMaxRetries(maxRetries < 0 ? 0 : maxRetries > kMostRetries ? kMostRetries : maxRetries),
      m_llDeadline(deadline)
{
}

bool RetryRule::MayPass(const TransferFailure& failure)
{
    switch (failure.kind) {
    case TransferFailure::REFUSED:
    case TransferFailure::HOST_NOT_FOUND:
    case TransferFailure::TIMED_OUT:
    case TransferFailure::CUT_OFF:
    case TransferFailure::NETWORK:      // a reset or another drop of the connection
        return true;
    case TransferFailure::HTTP_STATUS:
        switch (failure.httpStatus) {
        case 408: case 429: case 500: case 502: case 503: case 504:
            return true;
        default:
            return false;
        }
    default:
        // The name, the disk, the certificate, the server's answer or the
        // batch itself: trying again changes nothing.
        return false;
    }
}

int RetryRule::Pause(int retry)
{
    if (retry <= 1)
        return 10;
    if (retry == 2)
        return 60;
    return 300;
}

int RetryRule::WaitBefore(const TransferFailure& failure, int retriesSpent, long long now) const
{
    if (retriesSpent >= m_nMaxRetries || !MayPass(failure))
        return -1;
    int wait = Pause(retriesSpent + 1);
    if (failure.kind == TransferFailure::HTTP_STATUS && failure.retryAfter >= 0) {
        // The server said when to come back: never sooner, and not at all
        // when that is further off than a run should wait for one file.
        if (failure.retryAfter > kLongestRetryAfter)
            return -1;
        if (failure.retryAfter > wait)
            wait = static_cast<int>(failure.retryAfter);
    }
    if (m_llDeadline != kNoDeadline && now + wait > m_llDeadline)
        return -1;
    return wait;
}
