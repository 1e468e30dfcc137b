#pragma once
#include <winsock2.h>
#include <windows.h>
#include <curl/curl.h>
#include <string>
#include <vector>
#include "NetClient.h"
#include "SystemProxy.h"
#include "../framework/CriticalSection.h"

// HTTP, HTTPS and FTP through libcurl, for one worker: one easy handle
// kept for the worker's life (its connection, cookies and DNS answers go
// on from one download to the next), driven through a multi handle whose
// wait an Abort from another thread wakes at once. Every socket is made
// here, so an Abort also shuts them down: a wait inside libcurl itself
// (an FTP server's transfer-complete reply) ends at once too.
class CCurlClient : public INetClient {
public:
    explicit CCurlClient(const std::string& agent);
    ~CCurlClient() override;
    CCurlClient(const CCurlClient&) = delete;
    CCurlClient& operator=(const CCurlClient&) = delete;

    // libcurl's process-wide start; called on the user-interface thread
    // before the first worker runs.
    static void GlobalInit();

    NetResult Fetch(const NetRequest& request, INetSink& sink) override;
    void Abort() override;
    void Rearm() override;

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, struct curl_sockaddr* address);
    static int OnCloseSocket(void* self, curl_socket_t socket);

    void HeaderLine(const char* line, size_t n);
    // The head is complete: the sink decides what the body is for.
    void HeadDone();
    void Touch() { m_nLastActivity = ::GetTickCount(); }
    bool IsAborted() const { return ::InterlockedCompareExchange(&m_nAborted, 0, 0) != 0; }
    bool IdleTooLong();
    // Applies the options of one request to the easy handle.
    void Prepare(const NetRequest& request);
    // Drops every kept connection (a new multi handle).
    void RenewConnections();
    // Bytes wait unread on the kept connection: the server sent more
    // than its response.
    bool KeptConnectionHasBytes() const;

    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    curl_slist* m_headers = nullptr;
    CSystemProxy m_proxy;
    std::string m_agent;

    // Guards m_multi (for the wake-up) and m_sockets against Abort.
    CCriticalSection m_lock;
    std::vector<SOCKET> m_sockets;
    mutable volatile LONG m_nAborted = 0;

    // The connection kept from the last whole request, and whether the
    // kept connections must go before the next one.
    SOCKET m_lastSocket = INVALID_SOCKET;
    bool m_bDirty = false;
    bool m_bBundleSet = false;

    // The request under way (worker thread only).
    const NetRequest* m_pRequest = nullptr;
    INetSink* m_pSink = nullptr;
    bool m_bHttp = false;
    NetHead m_head;
    bool m_bChunked = false;
    bool m_bHeadDone = false;
    BodyUse m_use = BodyUse::TAKE;
    long long m_nBody = 0;
    long long m_nDiscarded = 0;
    bool m_bSinkRefused = false;
    bool m_bExcess = false;            // more bytes came than the framing allowed
    bool m_bDataClosed = false;        // FTP: the data connection closed after the body
    bool m_bWholeEarly = false;        // FTP: whole without the late reply
    bool m_bTimedOut = false;
    bool m_bConnected = false;
    DWORD m_nLastActivity = 0;
};
