#include "SentUrl.h"
#include <cstring>

namespace {

const char kHex[] = "0123456789ABCDEF";

enum Part { AUTHORITY, PATH, QUERY, FRAGMENT };

// What browsers escape in each part, besides blanks, control bytes and
// everything outside ASCII.
bool MustEscape(unsigned char c, Part part, bool special)
{
    if (c <= 0x20 || c >= 0x7F)
        return true;
    switch (part) {
    case AUTHORITY:
    case PATH:
        return c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}';
    case QUERY:
        return c == '"' || c == '<' || c == '>' || (special && c == '\'');
    case FRAGMENT:
        return c == '"' || c == '<' || c == '>' || c == '`';
    }
    return false;
}

void AppendPart(std::string& out, const std::string& text, size_t from, size_t to, Part part,
                bool special)
{
    for (size_t i = from; i < to; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (MustEscape(c, part, special)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

// Path, query and fragment of `text` from `from` on.
void AppendRest(std::string& out, const std::string& text, size_t from, bool special)
{
    const size_t hash = text.find('#', from);
    const size_t pathQueryEnd = hash == std::string::npos ? text.size() : hash;
    size_t question = text.find('?', from);
    if (question > pathQueryEnd)
        question = pathQueryEnd;
    AppendPart(out, text, from, question, PATH, special);
    AppendPart(out, text, question, pathQueryEnd, QUERY, special);
    AppendPart(out, text, pathQueryEnd, text.size(), FRAGMENT, special);
}

// Letters, digits, "-", "." and "_": what a host name in ASCII holds.
bool IsHostNameCharsOnly(const std::string& host)
{
    for (char c : host) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '.' || c == '_'))
            return false;
    }
    return true;
}

// The scheme's length (before its ":"), or 0 when `url` starts with none.
size_t SchemeLength(const std::string& url)
{
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (url.empty() || !alpha(url[0]))
        return 0;
    size_t i = 1;
    while (i < url.size() && (alpha(url[i]) || (url[i] >= '0' && url[i] <= '9') ||
                              url[i] == '+' || url[i] == '-' || url[i] == '.'))
        ++i;
    return i < url.size() && url[i] == ':' ? i : 0;
}

bool IsSpecialScheme(const std::string& url, size_t length)
{
    static const char* const kSpecial[] = {"http", "https", "ftp", "ws", "wss", "file"};
    for (const char* s : kSpecial) {
        if (std::strlen(s) != length)
            continue;
        size_t i = 0;
        while (i < length && (url[i] | 0x20) == s[i])
            ++i;
        if (i == length)
            return true;
    }
    return false;
}

} // namespace

bool SentUrl::IsAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool SentUrl::FindHost(const std::string& url, size_t& at, size_t& length)
{
    const size_t scheme = SchemeLength(url);
    if (scheme == 0 || url.compare(scheme, 3, "://") != 0)
        return false;
    const size_t authority = scheme + 3;
    size_t end = url.find_first_of("/?#", authority);
    if (end == std::string::npos)
        end = url.size();
    const size_t atSign = url.rfind('@', end == 0 ? 0 : end - 1);
    size_t host = authority;
    if (atSign != std::string::npos && atSign >= authority)
        host = atSign + 1;
    size_t hostEnd = end;
    if (host < end && url[host] == '[') {
        const size_t close = url.find(']', host);
        if (close != std::string::npos && close < end)
            hostEnd = close + 1;
    } else {
        const size_t colon = url.find(':', host);
        if (colon < end)
            hostEnd = colon;
    }
    at = host;
    length = hostEnd - host;
    return true;
}

std::string SentUrl::FromUtf8(const std::string& given, HostToAscii hostToAscii)
{
    // Most URLs have nothing to change: no byte any part escapes.
    bool plain = true;
    for (size_t i = 0; i < given.size() && plain; ++i)
        plain = !MustEscape(static_cast<unsigned char>(given[i]), AUTHORITY, true) &&
                given[i] != '\'';
    if (plain)
        return given;

    // What browsers drop around a URL: blanks and control bytes.
    size_t first = 0, last = given.size();
    while (first < last && static_cast<unsigned char>(given[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(given[last - 1]) <= 0x20)
        --last;
    const std::string url = given.substr(first, last - first);

    std::string out;
    out.reserve(url.size() + url.size() / 2);
    const size_t scheme = SchemeLength(url);
    const bool special = scheme > 0 && IsSpecialScheme(url, scheme);
    size_t host = 0, hostLength = 0;
    if (!FindHost(url, host, hostLength)) {
        // No authority ("mailto:...", or no scheme at all): the rest is a path.
        AppendPart(out, url, 0, scheme, PATH, special);
        AppendRest(out, url, scheme, special);
        return out;
    }
    AppendPart(out, url, 0, host, AUTHORITY, special);
    const std::string name = url.substr(host, hostLength);
    std::string ascii;
    if (IsAscii(name)) {
        AppendPart(out, url, host, host + hostLength, AUTHORITY, special);
    } else if (name[0] != '[' && hostToAscii && hostToAscii(name, ascii) && !ascii.empty() &&
               ascii.size() < 256 && IsHostNameCharsOnly(ascii)) {
        out += ascii;
    } else {
        AppendPart(out, url, host, host + hostLength, AUTHORITY, special);
    }
    size_t rest = url.find_first_of("/?#", host + hostLength);
    if (rest == std::string::npos)
        rest = url.size();
    AppendPart(out, url, host + hostLength, rest, AUTHORITY, special);
    AppendRest(out, url, rest, special);
    return out;
}
