#include "TransferRate.h"

TransferRate::TransferRate(DWORD windowMs, DWORD leastMs)
    : m_windowMs(windowMs), m_leastMs(leastMs)
{
}

void TransferRate::Reset()
{
    m_samples.clear();
}

void TransferRate::Add(DWORD tick, long long bytes)
{
    if (!m_samples.empty() && bytes < m_samples.back().bytes)
        m_samples.clear();
    m_samples.push_back({tick, bytes});
    // Keep one sample at or before the window's start, so that the
    // average always spans the whole window once it has been running.
    while (m_samples.size() > 2 && tick - m_samples[1].tick >= m_windowMs)
        m_samples.pop_front();
}

double TransferRate::BytesPerSecond() const
{
    if (m_samples.size() < 2)
        return -1;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const DWORD span = last.tick - first.tick;
    if (span < m_leastMs)
        return -1;
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 / span;
}

long long TransferRate::MsLeft(long long remaining) const
{
    const double rate = BytesPerSecond();
    if (rate <= 0 || remaining < 0)
        return -1;
    return static_cast<long long>(static_cast<double>(remaining) * 1000.0 / rate + 0.5);
}
