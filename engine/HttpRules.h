#pragma once
#include <ctime>
#include <string>

// The rules a transfer applies to what an HTTP server says, free of any
// connection so that tests can drive them.
namespace HttpRules {

bool IsRedirect(long status);

// The URL a redirect from `base` to `location` (as the server sent it)
// leads to, false when it may not be followed: not http or https, from
// https down to http, no host, or not a URL. Bytes of the location outside
// printable ASCII are sent percent-escaped, never raw.
bool NextUrl(const std::string& base, const std::string& location, std::string& next);

// A Retry-After value in seconds from `now`: delta-seconds or an HTTP
// date (one in the past is 0); -1 when absent or unreadable.
long RetryAfterSeconds(const std::string& value, time_t now);

// "bytes FIRST-LAST/TOTAL".
bool ParseContentRange(const std::string& text, long long& first, long long& last, long long& total);

// What identifies the bytes of a response for a later resume: a strong
// entity tag, else the modification date; empty when there is neither.
std::string Validator(const std::string& etag, const std::string& lastModified);

} // namespace HttpRules
