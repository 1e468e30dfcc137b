#pragma once
#include <windows.h>
#include <string>

// The asking end of dynamic data exchange: sends one execute string to a
// program that serves `service` with the topic "System".
class CDdeClient {
public:
    // True when a server of `service` took the command within `timeoutMs`;
    // false when none runs or it refused or did not answer.
    static bool Execute(const char* service, const std::string& command, DWORD timeoutMs);
};
