#include "DialService.h"
#include "RasDialService.h"

namespace {
DialService* g_service = nullptr;
}

DialService& DialService::Get()
{
    static RasDialService ras;
    return g_service ? *g_service : ras;
}

void DialService::Set(DialService* service)
{
    g_service = service;
}
