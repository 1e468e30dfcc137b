#include "CurlClient.h"
#include <cstring>
#include "CurlFailure.h"
#include "RootBundle.h"

namespace {

// libcurl's largest read: one read, one write into the file.
constexpr long kBufferSize = 512 * 1024;
// The socket's own receive buffer, so a fast sender never waits on us.
constexpr int kSocketBuffer = 2 * 1024 * 1024;
// The body of a redirect or an error page is read past up to this much
// (so its connection can go on); a longer one ends the request.
constexpr long long kDiscardCap = 64 * 1024;
// How long one wait for the network lasts at most, so the no-byte limit
// is checked in time.
constexpr long kPollMs = 250;

bool StartsWithNoCase(const char* text, size_t n, const char* prefix)
{
    const size_t len = std::strlen(prefix);
    return n >= len && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text, static_cast<int>(len),
                                        prefix, static_cast<int>(len)) == CSTR_EQUAL;
}

std::string Trimmed(const char* text, size_t n)
{
    size_t begin = 0, end = n;
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ' ||
                           text[end - 1] == '\t'))
        --end;
    return std::string(text + begin, end - begin);
}

// A whole decimal count of at most 18 digits; -1 otherwise.
long long ParseLength(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return -1;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string SchemeOf(const std::string& url)
{
    const size_t colon = url.find(':');
    std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
    for (char& c : scheme)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return scheme;
}

} // namespace

void CCurlClient::GlobalInit()
{
    static bool done = false;
    if (!done) {
        curl_global_init(CURL_GLOBAL_ALL);
        done = true;
    }
}

CCurlClient::CCurlClient(const std::string& agent) : m_agent(agent)
{
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
    m_proxy.Load();
    if (!m_easy)
        return;
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, m_agent.c_str());
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(m_easy, CURLOPT_PATH_AS_IS, 1L);
    // A proxy's answer to CONNECT is no head of the response.
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // Cookies live in memory for the worker's life.
    curl_easy_setopt(m_easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(m_easy, CURLOPT_FTP_USE_EPSV, 1L);
    // A lookup still under way when a transfer ends is not waited for.
    curl_easy_setopt(m_easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
    curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
    curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETDATA, this);
    // libcurl tells of bytes past a body's end only in its own messages.
    curl_easy_setopt(m_easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_easy, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(m_easy, CURLOPT_DEBUGDATA, this);
    // Revocation is checked where it can be: an offline machine still works.
    curl_easy_setopt(m_easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
}

CCurlClient::~CCurlClient()
{
    if (m_easy)
        curl_easy_cleanup(m_easy);
    CLock lock(m_lock);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    m_multi = nullptr;
    curl_slist_free_all(m_headers);
}

void CCurlClient::Abort()
{
    CLock lock(m_lock);
    ::InterlockedExchange(&m_nAborted, 1);
    for (SOCKET s : m_sockets)
        ::shutdown(s, SD_BOTH);
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void CCurlClient::Rearm()
{
    ::InterlockedExchange(&m_nAborted, 0);
}

void CCurlClient::RenewConnections()
{
    CLock lock(m_lock);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    m_multi = curl_multi_init();
    m_lastSocket = INVALID_SOCKET;
    m_bDirty = false;
}

bool CCurlClient::KeptConnectionHasBytes() const
{
    if (m_lastSocket == INVALID_SOCKET)
        return false;
    // One question to the socket layer, the cheapest it answers (a select
    // costs about three times as much under Wine, and this is asked twice
    // a file). A connection the server has closed holds no bytes: libcurl
    // finds it dead by itself.
    u_long waiting = 0;
    return ::ioctlsocket(m_lastSocket, FIONREAD, &waiting) == 0 && waiting > 0;
}

void CCurlClient::Prepare(const NetRequest& r)
{
    const std::string scheme = SchemeOf(r.url);
    m_bHttp = scheme != "ftp";
    curl_easy_setopt(m_easy, CURLOPT_URL, r.url.c_str());
    curl_slist_free_all(m_headers);
    m_headers = nullptr;
    if (!r.range.empty())
        m_headers = curl_slist_append(m_headers, ("Range: " + r.range).c_str());
    if (!r.ifRange.empty())
        m_headers = curl_slist_append(m_headers, ("If-Range: " + r.ifRange).c_str());
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_easy, CURLOPT_NOBODY, r.infoOnly ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_FILETIME, r.infoOnly ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(m_bHttp ? 0 : r.resumeFrom));
    // From the start, an FTP file is read until the server ends it (it
    // may have grown since it was listed); its size was asked before.
    curl_easy_setopt(m_easy, CURLOPT_IGNORE_CONTENT_LENGTH,
                     !m_bHttp && !r.infoOnly && r.resumeFrom == 0 ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.connectMs));
    curl_easy_setopt(m_easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>((r.idleMs + 999) / 1000));

    std::string noProxy;
    const std::string proxy = m_bHttp ? m_proxy.For(scheme, noProxy) : std::string();
    curl_easy_setopt(m_easy, CURLOPT_PROXY, proxy.empty() ? nullptr : proxy.c_str());
    curl_easy_setopt(m_easy, CURLOPT_NOPROXY, proxy.empty() || noProxy.empty() ? nullptr : noProxy.c_str());

    // HTTPS is checked against the system's trusted roots by libcurl
    // itself: the TLS layer left alone accepts any certificate under Wine.
    if (scheme == "https" && !m_bBundleSet && CRootBundle::Usable()) {
        // The bundle lives as long as the process. With no root at all,
        // a bundle that holds nothing trusts nobody (an empty one would
        // leave the check to the TLS layer).
        static const std::string kNobody = "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n";
        const std::string& pem = CRootBundle::Pem().empty() ? kNobody : CRootBundle::Pem();
        curl_blob blob = {const_cast<char*>(pem.data()), pem.size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(m_easy, CURLOPT_CAINFO_BLOB, &blob);
        m_bBundleSet = true;
    }
}

NetResult CCurlClient::Fetch(const NetRequest& request, INetSink& sink)
{
    NetResult result;
    if (IsAborted()) {
        result.aborted = true;
        return result;
    }
    if (!m_easy || !m_multi) {
        result.failure.kind = TransferFailure::NETWORK;
        return result;
    }
    if (m_bDirty || KeptConnectionHasBytes())
        RenewConnections();
    if (!m_multi) {
        result.failure.kind = TransferFailure::NETWORK;
        return result;
    }

    m_pRequest = &request;
    m_pSink = &sink;
    m_head = NetHead();
    m_bHeadDone = false;
    m_use = BodyUse::TAKE;
    m_nBody = m_nDiscarded = 0;
    m_bSinkRefused = m_bExcess = m_bDataClosed = m_bWholeEarly = m_bTimedOut = m_bConnected = false;
    Touch();
    Prepare(request);

    CURLcode code = CURLE_OK;
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
    } else {
        for (;;) {
            int running = 0;
            if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
            if (!running) {
                int left = 0;
                while (CURLMsg* msg = curl_multi_info_read(m_multi, &left))
                    if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy)
                        code = msg->data.result;
                break;
            }
            if (IsAborted() || IdleTooLong()) {
                code = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            curl_multi_poll(m_multi, nullptr, 0, kPollMs, nullptr);
        }
        // The connection kept for the next request; libcurl names it only
        // while the handle is in the multi handle.
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (code == CURLE_OK)
            curl_easy_getinfo(m_easy, CURLINFO_ACTIVESOCKET, &socket);
        m_lastSocket = socket == CURL_SOCKET_BAD ? INVALID_SOCKET : socket;
        curl_multi_remove_handle(m_multi, m_easy);
    }

    result.headSeen = m_bHeadDone;
    result.bodyBytes = m_nBody;
    if (request.infoOnly && code == CURLE_OK) {
        curl_off_t size = -1, time = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        curl_easy_getinfo(m_easy, CURLINFO_FILETIME_T, &time);
        result.fileSize = size;
        result.fileTime = time;
    }
    if (code == CURLE_OK && !m_bHeadDone && !request.infoOnly)
        HeadDone();   // an empty FTP file, or a body that never began
    if (m_bWholeEarly)
        code = CURLE_OK;

    // Bytes already waiting behind a whole response: the server sent more
    // than it announced.
    if (code == CURLE_OK && !m_bExcess && !m_bWholeEarly && m_bHttp && KeptConnectionHasBytes())
        m_bExcess = true;
    if (code != CURLE_OK || m_bExcess || m_bWholeEarly)
        m_bDirty = true;   // nothing of this request's connection is kept

    if (code == CURLE_OK && m_bExcess && m_use == BodyUse::TAKE) {
        result.failure.kind = TransferFailure::BAD_BODY;
    } else if (code == CURLE_OK) {
        result.ok = true;
    } else if (m_bTimedOut) {
        result.failure.kind = TransferFailure::TIMED_OUT;
    } else if (IsAborted()) {
        result.aborted = true;
    } else if (m_bSinkRefused) {
        result.failure.kind = TransferFailure::WRITE_FAILED;
        result.failure.error = ::GetLastError();
    } else if (m_use == BodyUse::STOP || (code == CURLE_WRITE_ERROR && m_use == BodyUse::DISCARD)) {
        result.ok = false;   // the sink ended it; it knows why
    } else {
        long osError = 0;
        curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError);
        CurlOutcome outcome;
        outcome.code = code;
        outcome.osError = osError;
        outcome.headSeen = m_bHeadDone;
        outcome.bodyBytes = m_nBody;
        outcome.expected = m_bHttp ? m_head.length : -1;
        result.failure = FailureFromCurl(outcome);
    }
    m_pRequest = nullptr;
    m_pSink = nullptr;
    return result;
}

bool CCurlClient::IdleTooLong()
{
    if (!m_bConnected) {
        curl_off_t connected = 0;
        curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected <= 0)
            return false;   // libcurl's own connect limit holds until then
        m_bConnected = true;
        Touch();
        return false;
    }
    if (::GetTickCount() - m_nLastActivity < m_pRequest->idleMs)
        return false;
    m_bTimedOut = true;
    return true;
}

void CCurlClient::HeaderLine(const char* line, size_t n)
{
    if (!m_bHttp || m_bHeadDone)
        return;   // FTP replies; trailers after a chunked body
    if (n >= 5 && std::memcmp(line, "HTTP/", 5) == 0) {
        m_head = NetHead();
        m_bChunked = false;
        const char* p = line + 5;
        const char* const end = line + n;
        while (p < end && *p != ' ')
            ++p;
        while (p < end && *p == ' ')
            ++p;
        long status = 0;
        int digits = 0;
        for (; p < end && *p >= '0' && *p <= '9' && digits < 3; ++p, ++digits)
            status = status * 10 + (*p - '0');
        m_head.status = digits == 3 ? status : 0;
        m_head.reason = Trimmed(p, static_cast<size_t>(end - p));
        return;
    }
    if (n <= 2 && (line[0] == '\r' || line[0] == '\n')) {
        if (m_head.status >= 200)
            HeadDone();   // 1xx heads are followed by the real one
        return;
    }
    const char* colon = static_cast<const char*>(std::memchr(line, ':', n));
    if (!colon)
        return;
    const std::string value = Trimmed(colon + 1, n - static_cast<size_t>(colon + 1 - line));
    if (StartsWithNoCase(line, n, "Content-Length:")) {
        if (!m_bChunked)
            m_head.length = ParseLength(value);
    }
    else if (StartsWithNoCase(line, n, "Content-Range:"))
        m_head.contentRange = value;
    else if (StartsWithNoCase(line, n, "ETag:"))
        m_head.etag = value;
    else if (StartsWithNoCase(line, n, "Last-Modified:"))
        m_head.lastModified = value;
    else if (StartsWithNoCase(line, n, "Location:"))
        m_head.location = value;
    else if (StartsWithNoCase(line, n, "Retry-After:"))
        m_head.retryAfter = value;
    else if (StartsWithNoCase(line, n, "Transfer-Encoding:")) {
        m_bChunked = true;    // a chunked body has no length of its own
        m_head.length = -1;
    }
}

void CCurlClient::HeadDone()
{
    m_bHeadDone = true;
    if (!m_bHttp) {
        curl_off_t size = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        m_head.length = size;
    }
    m_use = m_pSink->OnHead(m_head);
}

size_t CCurlClient::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto* client = static_cast<CCurlClient*>(self);
    const size_t n = size * count;
    client->Touch();
    client->HeaderLine(data, n);
    return client->m_use == BodyUse::STOP ? 0 : n;
}

size_t CCurlClient::OnWrite(char* data, size_t size, size_t count, void* self)
{
    auto* client = static_cast<CCurlClient*>(self);
    const size_t n = size * count;
    client->Touch();
    if (client->m_pRequest->infoOnly)
        return n;   // libcurl's made-up headers of an FTP file, not a body
    if (!client->m_bHeadDone)
        client->HeadDone();
    switch (client->m_use) {
    case BodyUse::TAKE:
        if (!client->m_pSink->OnBody(data, n)) {
            client->m_bSinkRefused = true;
            return 0;
        }
        client->m_nBody += static_cast<long long>(n);
        return n;
    case BodyUse::DISCARD:
        client->m_nDiscarded += static_cast<long long>(n);
        return client->m_nDiscarded > kDiscardCap ? 0 : n;
    case BodyUse::STOP:
        break;
    }
    return 0;
}

int CCurlClient::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self)
{
    auto* client = static_cast<CCurlClient*>(self);
    switch (type) {
    case CURLINFO_TEXT:
        if (StartsWithNoCase(data, size, "Excess found") || StartsWithNoCase(data, size, "Leftovers after chunking"))
            client->m_bExcess = true;
        break;
    case CURLINFO_HEADER_OUT:
    case CURLINFO_SSL_DATA_OUT:
        // Something went out on a connection that stands, a reused one
        // included (whose connect time reads 0): from here the limit
        // without a byte holds.
        if (!client->m_bConnected) {
            client->m_bConnected = true;
            client->Touch();
        }
        break;
    case CURLINFO_HEADER_IN:
    case CURLINFO_DATA_IN:
    case CURLINFO_SSL_DATA_IN:
        client->m_bConnected = true;
        client->Touch();
        break;
    default:
        break;
    }
    return 0;
}

int CCurlClient::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* client = static_cast<CCurlClient*>(self);
    if (client->IsAborted())
        return 1;
    const NetRequest* r = client->m_pRequest;
    // An FTP body of exactly the listed size whose data connection has
    // closed is whole; the server's late reply is not waited for.
    if (r && !client->m_bHttp && client->m_bDataClosed && r->listedSize > 0 &&
        client->m_nBody == r->listedSize - r->resumeFrom) {
        client->m_bWholeEarly = true;
        return 1;
    }
    return client->IdleTooLong() ? 1 : 0;
}

curl_socket_t CCurlClient::OnOpenSocket(void* self, curlsocktype, struct curl_sockaddr* address)
{
    auto* client = static_cast<CCurlClient*>(self);
    CLock lock(client->m_lock);
    if (client->IsAborted())
        return CURL_SOCKET_BAD;
    const SOCKET s = ::socket(address->family, address->socktype, address->protocol);
    if (s == INVALID_SOCKET)
        return CURL_SOCKET_BAD;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&kSocketBuffer), sizeof kSocketBuffer);
    client->m_sockets.push_back(s);
    return s;
}

int CCurlClient::OnCloseSocket(void* self, curl_socket_t socket)
{
    auto* client = static_cast<CCurlClient*>(self);
    CLock lock(client->m_lock);
    for (size_t i = 0; i < client->m_sockets.size(); ++i) {
        if (client->m_sockets[i] == socket) {
            client->m_sockets.erase(client->m_sockets.begin() + static_cast<long>(i));
            break;
        }
    }
    if (client->m_pRequest && !client->m_bHttp && client->m_nBody > 0)
        client->m_bDataClosed = true;
    if (socket == client->m_lastSocket)
        client->m_lastSocket = INVALID_SOCKET;
    return ::closesocket(socket);
}
