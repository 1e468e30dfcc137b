#include "DdeClient.h"
#include <ddeml.h>

namespace {

HDDEDATA CALLBACK IgnoreCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

} // namespace

bool CDdeClient::Execute(const char* service, const std::string& command, DWORD timeoutMs)
{
    DWORD inst = 0;
    if (::DdeInitializeA(&inst, IgnoreCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    bool done = false;
    HSZ hszService = ::DdeCreateStringHandleA(inst, service, CP_WINANSI);
    HSZ hszTopic = ::DdeCreateStringHandleA(inst, "System", CP_WINANSI);
    if (hszService && hszTopic) {
        if (HCONV conv = ::DdeConnect(inst, hszService, hszTopic, nullptr)) {
            DWORD result = 0;
            std::string bytes = command;
            HDDEDATA answer = ::DdeClientTransaction(
                reinterpret_cast<BYTE*>(&bytes[0]), static_cast<DWORD>(bytes.size() + 1),
                conv, nullptr, 0, XTYP_EXECUTE, timeoutMs, &result);
            done = answer != nullptr;
            ::DdeDisconnect(conv);
        }
    }
    if (hszService)
        ::DdeFreeStringHandle(inst, hszService);
    if (hszTopic)
        ::DdeFreeStringHandle(inst, hszTopic);
    ::DdeUninitialize(inst);
    return done;
}
