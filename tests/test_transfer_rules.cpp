// The rules a transfer applies to what servers and libcurl say, without a
// connection: where a redirect leads, how long a server asks to wait, which
// partial answer is the rest of the bytes kept, what a failure is called,
// and which proxy the system's settings name.
#include <curl/curl.h>
#include <cstdio>
#include "Test.h"
#include "engine/CurlFailure.h"
#include "engine/HttpRules.h"
#include "engine/SystemProxy.h"

TEST_CASE("redirects: relative and absolute targets, raw bytes escaped, refused places refused")
{
    struct Case {
        const char* base;
        const char* location;
        const char* next;   // nullptr: refused
    } cases[] = {
        {"http://a.test/dir/file?q=1", "/other", "http://a.test/other"},
        {"http://a.test/dir/file", "sibling.bin", "http://a.test/dir/sibling.bin"},
        {"http://a.test/dir/file", "../up.bin", "http://a.test/up.bin"},
        {"http://a.test:8080/x", "//b.test/y", "http://b.test/y"},
        {"http://a.test/x", "https://b.test/y", "https://b.test/y"},
        {"https://a.test/x", "https://b.test/y", "https://b.test/y"},
        {"https://a.test/x", "/same-scheme", "https://a.test/same-scheme"},
        // Raw UTF-8 and blanks go out as %XX per byte; escapes stay as sent.
        {"http://a.test/x", "/\xE3\x81\x82 b.bin", "http://a.test/%E3%81%82%20b.bin"},
        {"http://a.test/x", "/%E3%81%82.bin", "http://a.test/%E3%81%82.bin"},
        {"http://a.test/x", "/a\tb", "http://a.test/a%09b"},
        // Down from https, other schemes, no host, nothing.
        {"https://a.test/x", "http://b.test/y", nullptr},
        {"http://a.test/x", "ftp://b.test/y", nullptr},
        {"http://a.test/x", "file:///etc/hostname", nullptr},
        {"http://a.test/x", "mailto:someone@example.com", nullptr},
        {"http://a.test/x", "javascript:alert(1)", nullptr},
        {"http://a.test/x", "http://", nullptr},
        {"http://a.test/x", "", nullptr},
    };
    for (const Case& c : cases) {
        std::string next;
        const bool followed = HttpRules::NextUrl(c.base, c.location, next);
        if (!CHECK_EQ(followed, c.next != nullptr) || (c.next && !CHECK_EQ(next, std::string(c.next))))
            std::printf("      for %s -> %s\n", c.base, c.location);
    }
}

TEST_CASE("Retry-After: seconds, HTTP dates from now, -1 for what cannot be read")
{
    // A minute before Sun, 06 Nov 1994 08:49:37 GMT (784111777).
    const time_t now = 784111717;
    struct Case {
        const char* value;
        long seconds;
    } cases[] = {
        {"120", 120},
        {" 0 ", 0},
        {"99999999999", 0x7FFFFFFF},
        {"", -1},
        {"soon", -1},
        {"-5", -1},
        {"1.5", -1},
        // The three date forms HTTP allows.
        {"Sun, 06 Nov 1994 08:49:37 GMT", 60},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 60},
        {"Sun Nov  6 08:49:37 1994", 60},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},   // in the past
    };
    for (const Case& c : cases)
        if (!CHECK_EQ(HttpRules::RetryAfterSeconds(c.value, now), c.seconds))
            std::printf("      for \"%s\"\n", c.value);
}

TEST_CASE("partial answers: Content-Range is read exactly; the validator is a strong tag, else the date")
{
    long long first = -1, last = -1, total = -1;
    CHECK(HttpRules::ParseContentRange("bytes 100-199/200", first, last, total));
    CHECK_EQ(first, 100LL);
    CHECK_EQ(last, 199LL);
    CHECK_EQ(total, 200LL);
    CHECK(HttpRules::ParseContentRange("bytes 4294967296-6442450943/6442450944", first, last, total));
    CHECK_EQ(total, 6442450944LL);
    for (const char* bad : {"bytes 100-199/*", "bytes */200", "items 1-2/3", "bytes 1-x/3", "bytes 5/6",
                            "bytes 1-2-3", "bytes 1234567890123456789-1/2"})
        if (!CHECK(!HttpRules::ParseContentRange(bad, first, last, total)))
            std::printf("      for \"%s\"\n", bad);

    CHECK_EQ(HttpRules::Validator("\"abc\"", "Mon, 07 Dec 2026 01:02:03 GMT"), std::string("\"abc\""));
    CHECK_EQ(HttpRules::Validator("W/\"abc\"", "Mon, 07 Dec 2026 01:02:03 GMT"),
             std::string("Mon, 07 Dec 2026 01:02:03 GMT"));
    CHECK_EQ(HttpRules::Validator("", ""), std::string());
}

TEST_CASE("libcurl's results become the reasons the status bar shows")
{
    struct Case {
        CURLcode code;
        long osError;
        bool headSeen;
        TransferFailure::Kind kind;
    } cases[] = {
        {CURLE_COULDNT_RESOLVE_HOST, 0, false, TransferFailure::HOST_NOT_FOUND},
        {CURLE_COULDNT_CONNECT, 10061, false, TransferFailure::REFUSED},
        {CURLE_COULDNT_CONNECT, 0, false, TransferFailure::REFUSED},
        {CURLE_COULDNT_CONNECT, 10060, false, TransferFailure::TIMED_OUT},
        {CURLE_COULDNT_CONNECT, 10065, false, TransferFailure::NETWORK},
        {CURLE_OPERATION_TIMEDOUT, 0, true, TransferFailure::TIMED_OUT},
        {CURLE_PARTIAL_FILE, 0, true, TransferFailure::CUT_OFF},
        // A reset: before the head a network failure, during the body a cut-off.
        {CURLE_RECV_ERROR, 10054, false, TransferFailure::NETWORK},
        {CURLE_RECV_ERROR, 10054, true, TransferFailure::CUT_OFF},
        // No socket error: the bytes broke their framing.
        {CURLE_RECV_ERROR, 0, true, TransferFailure::BAD_BODY},
        {CURLE_RECV_ERROR, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_OUT_OF_MEMORY, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_SEND_ERROR, 10053, false, TransferFailure::NETWORK},
        {CURLE_GOT_NOTHING, 0, false, TransferFailure::NETWORK},
        {CURLE_PEER_FAILED_VERIFICATION, 0, false, TransferFailure::CERT_UNTRUSTED},
        {CURLE_SSL_CACERT_BADFILE, 0, false, TransferFailure::CERT_UNTRUSTED},
        {CURLE_SSL_CONNECT_ERROR, 0, false, TransferFailure::NETWORK},
        {CURLE_UNSUPPORTED_PROTOCOL, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_WEIRD_SERVER_REPLY, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_REMOTE_FILE_NOT_FOUND, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_LOGIN_DENIED, 0, false, TransferFailure::BAD_RESPONSE},
        {CURLE_WRITE_ERROR, 0, true, TransferFailure::WRITE_FAILED},
        {CURLE_TOO_MANY_REDIRECTS, 0, true, TransferFailure::BAD_REDIRECT},
    };
    for (const Case& c : cases) {
        CurlOutcome o;
        o.code = c.code;
        o.osError = c.osError;
        o.headSeen = c.headSeen;
        o.bodyBytes = 4000;
        o.expected = 10000;
        const TransferFailure f = FailureFromCurl(o);
        if (!CHECK_EQ(static_cast<int>(f.kind), static_cast<int>(c.kind)))
            std::printf("      for code %d, socket error %ld\n", static_cast<int>(c.code), c.osError);
        if (f.kind == TransferFailure::CUT_OFF) {
            CHECK_EQ(f.received, 4000LL);
            CHECK_EQ(f.expected, 10000LL);
        }
    }
}

TEST_CASE("the system's proxy text: one server for all, per scheme, and the hosts that go direct")
{
    struct Case {
        const char* proxy;
        const char* bypass;
        const char* http;
        const char* https;
        const char* noProxy;
    } cases[] = {
        {"", "", "", "", ""},
        {"proxy.test:8080", "", "proxy.test:8080", "proxy.test:8080", ""},
        {"http=p1.test:80;https=p2.test:443", "", "p1.test:80", "p2.test:443", ""},
        {"http=p1.test:80 ftp=p3.test:21", "", "p1.test:80", "", ""},
        {"HTTPS=p2.test:443", "<local>;*.corp.test;10.1.2.3", "", "p2.test:443",
         "localhost,127.0.0.1,.corp.test,10.1.2.3"},
    };
    for (const Case& c : cases) {
        CSystemProxy proxy;
        proxy.Parse(c.proxy, c.bypass);
        std::string noProxy;
        const bool ok = CHECK_EQ(proxy.For("http", noProxy), std::string(c.http)) &&
                        CHECK_EQ(proxy.For("https", noProxy), std::string(c.https)) &&
                        CHECK_EQ(noProxy, std::string(c.noProxy));
        if (!ok)
            std::printf("      for \"%s\" / \"%s\"\n", c.proxy, c.bypass);
    }
}
