#include "HttpRules.h"
#include <curl/curl.h>
#include <cstdio>

namespace {

// A whole decimal number of at most 18 digits, so it fits in 64 bits.
bool ParseCount(const std::string& text, size_t begin, size_t end, long long& value)
{
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    if (begin == end || end - begin > 18)
        return false;
    value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// A part of a parsed URL, empty when it has none.
std::string Part(CURLU* url, CURLUPart what)
{
    char* text = nullptr;
    if (curl_url_get(url, what, &text, 0) != CURLUE_OK || !text)
        return std::string();
    std::string out = text;
    curl_free(text);
    return out;
}

// A parsed URL freed with its object.
class CParsedUrl {
public:
    CParsedUrl() : m_url(curl_url()) {}
    ~CParsedUrl() { curl_url_cleanup(m_url); }
    CParsedUrl(const CParsedUrl&) = delete;
    CParsedUrl& operator=(const CParsedUrl&) = delete;
    CURLU* Get() const { return m_url; }

private:
    CURLU* m_url;
};

} // namespace

bool HttpRules::IsRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool HttpRules::NextUrl(const std::string& base, const std::string& location, std::string& next)
{
    if (location.empty())
        return false;
    CParsedUrl url;
    if (!url.Get() || curl_url_set(url.Get(), CURLUPART_URL, base.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK)
        return false;
    const std::string from = Part(url.Get(), CURLUPART_SCHEME);
    // Relative locations are resolved against the URL they came from.
    if (curl_url_set(url.Get(), CURLUPART_URL, Escaped(location).c_str(), 0) != CURLUE_OK)
        return false;
    const std::string to = Part(url.Get(), CURLUPART_SCHEME);
    if ((to != "http" && to != "https") || (from == "https" && to != "https") ||
        Part(url.Get(), CURLUPART_HOST).empty())
        return false;
    next = Part(url.Get(), CURLUPART_URL);
    return !next.empty();
}

long HttpRules::RetryAfterSeconds(const std::string& value, time_t now)
{
    size_t begin = value.find_first_not_of(' '), end = value.find_last_not_of(' ');
    if (begin == std::string::npos)
        return -1;
    const std::string text = value.substr(begin, end - begin + 1);
    long long seconds = 0;
    if (ParseCount(text, 0, text.size(), seconds))
        return seconds > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(seconds);
    if (text.find_first_of("0123456789") == std::string::npos)
        return -1;
    const time_t at = curl_getdate(text.c_str(), nullptr);
    if (at == static_cast<time_t>(-1))
        return -1;
    if (at <= now)
        return 0;
    const long long delta = static_cast<long long>(at) - static_cast<long long>(now);
    return delta > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(delta);
}

bool HttpRules::ParseContentRange(const std::string& text, long long& first, long long& last,
                                  long long& total)
{
    if (text.compare(0, 6, "bytes ") != 0)
        return false;
    const size_t dash = text.find('-', 6), slash = text.find('/', 6);
    return dash != std::string::npos && slash != std::string::npos && dash < slash &&
           ParseCount(text, 6, dash, first) && ParseCount(text, dash + 1, slash, last) &&
           ParseCount(text, slash + 1, text.size(), total);
}

std::string HttpRules::Validator(const std::string& etag, const std::string& lastModified)
{
    if (!etag.empty() && etag.compare(0, 2, "W/") != 0)
        return etag;
    return lastModified;
}
