// libcurl brings the sockets header, which must come before <windows.h>.
#include <curl/curl.h>
#include "CurlFailure.h"

namespace {

constexpr long kConnRefused = 10061;   // WSAECONNREFUSED
constexpr long kConnTimedOut = 10060;  // WSAETIMEDOUT

TransferFailure Make(TransferFailure::Kind kind, long error = 0)
{
    TransferFailure f;
    f.kind = kind;
    f.error = static_cast<DWORD>(error);
    return f;
}

TransferFailure CutOff(const CurlOutcome& o)
{
    TransferFailure f = Make(TransferFailure::CUT_OFF, o.osError);
    f.received = o.bodyBytes;
    f.expected = o.expected;
    return f;
}

} // namespace

TransferFailure FailureFromCurl(const CurlOutcome& o)
{
    switch (static_cast<CURLcode>(o.code)) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Make(TransferFailure::HOST_NOT_FOUND, o.osError);
    case CURLE_COULDNT_CONNECT:
        if (o.osError == kConnTimedOut)
            return Make(TransferFailure::TIMED_OUT, o.osError);
        if (o.osError == 0 || o.osError == kConnRefused)
            return Make(TransferFailure::REFUSED, o.osError);
        return Make(TransferFailure::NETWORK, o.osError);
    case CURLE_OPERATION_TIMEDOUT:
        return Make(TransferFailure::TIMED_OUT, o.osError);
    case CURLE_PARTIAL_FILE:
        return CutOff(o);
    case CURLE_RECV_ERROR:
        // The socket failed (a reset): a body under way was cut off. With
        // no socket error, the bytes themselves were wrong: a chunk that
        // is no chunk, or a head over libcurl's cap.
        if (o.osError != 0)
            return o.headSeen ? CutOff(o) : Make(TransferFailure::NETWORK, o.osError);
        return Make(o.headSeen ? TransferFailure::BAD_BODY : TransferFailure::BAD_RESPONSE);
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return Make(TransferFailure::NETWORK, o.osError);
    case CURLE_OUT_OF_MEMORY:
        // libcurl refuses a header line over its cap this way.
        return Make(o.headSeen ? TransferFailure::BAD_BODY : TransferFailure::BAD_RESPONSE);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return Make(TransferFailure::CERT_UNTRUSTED);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:   // bytes that are no HTTP at all
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_LOGIN_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_QUOTE_ERROR:
        return Make(TransferFailure::BAD_RESPONSE);
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
        return Make(TransferFailure::NETWORK, o.osError);
    case CURLE_TOO_MANY_REDIRECTS:
        return Make(TransferFailure::BAD_REDIRECT);
    case CURLE_WRITE_ERROR:
        return Make(TransferFailure::WRITE_FAILED);
    default:
        return Make(TransferFailure::NETWORK, o.osError);
    }
}
