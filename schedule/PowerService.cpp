#include "PowerService.h"
#include "SystemPowerService.h"

namespace {
PowerService* g_service = nullptr;
}

PowerService& PowerService::Get()
{
    static SystemPowerService system;
    return g_service ? *g_service : system;
}

void PowerService::Set(PowerService* service)
{
    g_service = service;
}
