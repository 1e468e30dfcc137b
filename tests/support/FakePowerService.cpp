#include "FakePowerService.h"

FakePowerService::FakePowerService()
{
    PowerService::Set(this);
}

FakePowerService::~FakePowerService()
{
    PowerService::Set(nullptr);
}

DWORD FakePowerService::Sleep()
{
    m_calls.push_back("sleep");
    return m_sleepResult;
}

DWORD FakePowerService::Shutdown()
{
    m_calls.push_back("shutdown");
    return m_shutdownResult;
}

bool FakePowerService::SetWakeTime(long long localSeconds)
{
    m_wakeAt = localSeconds;
    return true;
}

void FakePowerService::CancelWake()
{
    m_wakeAt = 0;
}

void FakePowerService::KeepAwake(bool on)
{
    m_bAwake = on;
    if (on)
        ++m_nAwakeRequests;
}
