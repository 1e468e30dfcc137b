// The URL splitter and the sent form over any text: no read outside the
// text, the splitter's parts are made of the text, and the sent form is
// ASCII without blanks or control bytes and names what the given form
// names: its escapes decode to what the given form's decode to, and its
// host is the IDNA form of the given host (here a stand-in).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include "model/SentUrl.h"
#include "model/UrlSplitter.h"

namespace {

// Stands in for the system's IdnToAscii: "xn--" and the host's bytes in
// hex. A host with "!" has no IDNA form; one with "^" gets an answer that
// is no host name, which the rule must not take.
bool FakeIdna(const std::string& host, std::string& ascii)
{
    if (host.find('!') != std::string::npos)
        return false;
    if (host.find('^') != std::string::npos) {
        ascii = "evil.example/path?";
        return true;
    }
    static const char hex[] = "0123456789abcdef";
    ascii = "xn--";
    for (unsigned char c : host) {
        ascii += hex[c >> 4];
        ascii += hex[c & 15];
    }
    return true;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Every "%XX" replaced by its byte.
std::string Decode(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
            out += static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

void CheckSplitter(const std::string& url)
{
    DWORD service = 0;
    std::string server, object;
    WORD port = 0;
    const BOOL ok = AfxParseURL(url.c_str(), service, server, object, port);
    if (ok && (object.empty() || object[0] != '/'))
        std::abort();   // an object part always begins with "/"
    if (!ok && (!server.empty() || !object.empty()))
        std::abort();
    if (server.size() > url.size() || object.size() > url.size() + 1)
        std::abort();
}

void CheckSentForm(const std::string& given)
{
    const std::string sent = SentUrl::FromUtf8(given, &FakeIdna);
    for (char c : sent) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F)
            std::abort();   // ASCII, and nothing that ends a request line
    }
    size_t first = 0, last = given.size();
    while (first < last && static_cast<unsigned char>(given[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(given[last - 1]) <= 0x20)
        --last;
    const std::string url = given.substr(first, last - first);

    size_t at = 0, length = 0, sentAt = 0, sentLength = 0;
    const bool hasHost = SentUrl::FindHost(url, at, length);
    if (hasHost != SentUrl::FindHost(sent, sentAt, sentLength))
        std::abort();   // the same structure
    if (!hasHost) {
        if (Decode(sent) != Decode(url))
            std::abort();
        return;
    }
    if (Decode(sent.substr(0, sentAt)) != Decode(url.substr(0, at)) ||
        Decode(sent.substr(sentAt + sentLength)) != Decode(url.substr(at + length)))
        std::abort();   // everything but the host decodes the same
    const std::string host = url.substr(at, length);
    const std::string sentHost = sent.substr(sentAt, sentLength);
    std::string idna;
    const bool named = !SentUrl::IsAscii(host) && host[0] != '[' && FakeIdna(host, idna) &&
                       idna.size() < 256 && idna.find_first_of("/?") == std::string::npos;
    if (named ? sentHost != idna : Decode(sentHost) != Decode(host))
        std::abort();
    // Without escapes in it, the given form comes back whole.
    if (SentUrl::IsAscii(host) && url.find('%') == std::string::npos && Decode(sent) != url)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    CheckSplitter(url);
    CheckSentForm(url);
    return 0;
}
