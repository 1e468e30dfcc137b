#pragma once
#include <windows.h>
#include <wininet.h>
#include <string>
#include "NetClient.h"
#include "../framework/CriticalSection.h"

// Schemes other than http, https and ftp, opened by URL through the
// platform's internet library. Abort closes the request's root handle,
// which makes a blocked call of the library fail.
class CWinInetClient : public INetClient {
public:
    explicit CWinInetClient(const std::string& agent) : m_agent(agent) {}
    ~CWinInetClient() override = default;

    NetResult Fetch(const NetRequest& request, INetSink& sink) override;
    void Abort() override;
    void Rearm() override;

private:
    // Closes the root handle if it is still open.
    void CloseRoot();

    std::string m_agent;
    CCriticalSection m_lock;    // guards m_root and m_bAborted against Abort
    HINTERNET m_root = nullptr;
    bool m_bAborted = false;
};
