#include "WinInetClient.h"
#include <vector>

namespace {

constexpr DWORD kBlock = 64 * 1024;

TransferFailure FailureOf(DWORD error)
{
    TransferFailure f;
    f.error = error;
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        f.kind = TransferFailure::HOST_NOT_FOUND;
        break;
    case ERROR_INTERNET_CANNOT_CONNECT:
        f.kind = TransferFailure::REFUSED;
        break;
    case ERROR_INTERNET_TIMEOUT:
        f.kind = TransferFailure::TIMED_OUT;
        break;
    default:
        f.kind = TransferFailure::NETWORK;
        break;
    }
    return f;
}

} // namespace

void CWinInetClient::Abort()
{
    CLock lock(m_lock);
    m_bAborted = true;
    CloseRoot();
}

void CWinInetClient::Rearm()
{
    CLock lock(m_lock);
    m_bAborted = false;
}

void CWinInetClient::CloseRoot()
{
    if (m_root)
        ::InternetCloseHandle(m_root);   // closes every handle opened under it
    m_root = nullptr;
}

NetResult CWinInetClient::Fetch(const NetRequest& request, INetSink& sink)
{
    NetResult result;
    HINTERNET root = ::InternetOpenA(m_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!root) {
        result.failure = FailureOf(::GetLastError());
        return result;
    }
    DWORD connectMs = request.connectMs, idleMs = request.idleMs;
    ::InternetSetOptionA(root, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    ::InternetSetOptionA(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &idleMs, sizeof idleMs);
    {
        CLock lock(m_lock);
        if (m_bAborted) {
            ::InternetCloseHandle(root);
            result.aborted = true;
            return result;
        }
        m_root = root;
    }
    // The calls below take the root's children only; once Abort has
    // closed the root they fail.
    HINTERNET data = ::InternetOpenUrlA(root, request.url.c_str(), nullptr, 0,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                            INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_AUTO_REDIRECT,
                                        0);
    const DWORD openError = data ? 0 : ::GetLastError();
    bool ok = data != nullptr;
    if (ok) {
        NetHead head;
        DWORD available = 0;
        head.length = ::InternetQueryDataAvailable(data, &available, 0, 0) ? available : 0;
        result.headSeen = true;
        ok = sink.OnHead(head) == BodyUse::TAKE;
        std::vector<char> buf(kBlock);
        for (DWORD n = 0; ok;) {
            if (!::InternetReadFile(data, buf.data(), kBlock, &n)) {
                result.failure = FailureOf(::GetLastError());
                ok = false;
            } else if (n == 0) {
                break;
            } else if (!sink.OnBody(buf.data(), n)) {
                result.failure.kind = TransferFailure::WRITE_FAILED;
                result.failure.error = ::GetLastError();
                ok = false;
            } else {
                result.bodyBytes += n;
            }
        }
    } else {
        result.failure = FailureOf(openError);
    }
    CLock lock(m_lock);
    result.aborted = m_bAborted;
    result.ok = ok && !m_bAborted;
    CloseRoot();
    return result;
}
