#include "BatchPlace.h"
#include "FailureText.h"
#include "../app/resource.h"

BatchPlace::BatchPlace(int ended, int running, int pending)
{
    if (ended < 0)
        ended = 0;
    if (running < 0)
        running = 0;
    if (pending < 0)
        pending = 0;
    m_nEnded = ended;
    m_nTotal = ended + running + pending;
    m_nPlace = m_nTotal == 0 ? 0 : (ended + 1 < m_nTotal ? ended + 1 : m_nTotal);
}

std::string BatchPlace::Caption() const
{
    if (IsEmpty())
        return std::string();
    return FormatStringId(IDS_BATCH_PLACE, {GroupedNumber(m_nPlace), GroupedNumber(m_nTotal)});
}
