#include "UrlSplitter.h"
#include <cstring>
#include "Mbcs.h"

namespace {

struct Scheme {
    const char* name;
    DWORD service;
    WORD port;
};

const Scheme kSchemes[] = {
    {"http", AFX_INET_SERVICE_HTTP, 80},
    {"https", AFX_INET_SERVICE_HTTPS, 443},
    {"ftp", AFX_INET_SERVICE_FTP, 21},
    {"gopher", AFX_INET_SERVICE_GOPHER, 70},
    {"file", AFX_INET_SERVICE_FILE, 0},
};

bool IsSchemeChar(char c, bool first)
{
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

} // namespace

BOOL AfxParseURL(const char* url, DWORD& serviceType, std::string& server,
                 std::string& object, WORD& port)
{
    serviceType = AFX_INET_SERVICE_UNK;
    server.clear();
    object.clear();
    port = 0;
    if (!url)
        return FALSE;

    // Surrounding blanks are not part of a URL.
    const char* begin = url;
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r' || end[-1] == '\n'))
        --end;

    const char* p = begin;
    if (p == end || !IsSchemeChar(*p, true))
        return FALSE;
    while (p < end && IsSchemeChar(*p, false))
        ++p;
    if (end - p < 3 || std::strncmp(p, "://", 3) != 0)
        return FALSE;
    const std::string scheme(begin, p);
    const char* authority = p + 3;

    DWORD service = AFX_INET_SERVICE_UNK;
    WORD defaultPort = 0;
    for (const Scheme& s : kSchemes) {
        if (::lstrcmpiA(scheme.c_str(), s.name) == 0) {
            service = s.service;
            defaultPort = s.port;
        }
    }

    // The authority ends at the first "/", "?" or "#" (none of them can be
    // the second byte of a double-byte character).
    const char* authEnd = authority;
    while (authEnd < end && *authEnd != '/' && *authEnd != '?' && *authEnd != '#')
        authEnd += MbcsCharLength(authEnd, end);
    if (authEnd > end)
        authEnd = end;

    // Skip "user:password@", stepping over whole characters since "@" can
    // be the second byte of one.
    const char* host = authority;
    for (const char* q = authority; q < authEnd; q += MbcsCharLength(q, authEnd))
        if (*q == '@')
            host = q + 1;

    const char* hostEnd = authEnd;
    const char* portText = nullptr;
    if (host < authEnd && *host == '[') {
        const char* close = static_cast<const char*>(std::memchr(host, ']', authEnd - host));
        if (!close)
            return FALSE;
        hostEnd = close + 1;
        if (hostEnd < authEnd) {
            if (*hostEnd != ':')
                return FALSE;
            portText = hostEnd + 1;
        }
    } else {
        for (const char* q = host; q < authEnd; q += MbcsCharLength(q, authEnd)) {
            if (*q == ':') {
                hostEnd = q;
                portText = q + 1;
                break;
            }
        }
    }

    WORD thePort = defaultPort;
    if (portText && portText < authEnd) {
        unsigned long n = 0;
        for (const char* q = portText; q < authEnd; ++q) {
            if (*q < '0' || *q > '9' || n > 65535)
                return FALSE;
            n = n * 10 + (*q - '0');
        }
        if (n == 0 || n > 65535)
            return FALSE;
        thePort = static_cast<WORD>(n);
    }
    if (hostEnd == host && service != AFX_INET_SERVICE_FILE)
        return FALSE;

    // The object part: path and query, without the fragment.
    const char* objEnd = authEnd;
    while (objEnd < end && *objEnd != '#')
        ++objEnd;
    std::string obj(authEnd, objEnd);
    if (obj.empty() || obj[0] != '/')
        obj.insert(obj.begin(), '/');

    serviceType = service;
    if (hostEnd - host >= 2 && *host == '[')
        server.assign(host + 1, hostEnd - 1);   // an IPv6 address without its brackets
    else
        server.assign(host, hostEnd);
    object = obj;
    port = thePort;
    return TRUE;
}
