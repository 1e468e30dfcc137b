#pragma once
#include <string>

// The form of a URL that goes to a server, made from the form the user
// gave, the way browsers make it: in the path, query and fragment every
// byte outside ASCII becomes a UTF-8 percent escape, and so do blanks,
// control bytes and the few ASCII characters browsers escape there
// ('"', '<', '>', '`', '{', '}' in the path, '\'' in the query of a web
// URL); escapes already present stay as they are, so nothing is escaped
// twice. A host holding non-ASCII characters becomes its IDNA form. The
// result is ASCII, and decoding its escapes gives what decoding the given
// form's escapes gives.
//
// Pure: the IDNA step is a function passed in (on Windows it calls the
// system's IdnToAscii; the fuzz target passes a stand-in).
class SentUrl {
public:
    // Turns a host name holding non-ASCII characters (UTF-8) into its ASCII
    // form; false when it cannot.
    using HostToAscii = bool (*)(const std::string& host, std::string& ascii);

    // The sent form of `given`, a URL in UTF-8 (bytes that are not UTF-8
    // are escaped as they are). Blanks and control bytes around it are
    // dropped. A non-ASCII host whose IDNA form cannot be had (no
    // `hostToAscii`, or it fails, or gives anything but a host name) is
    // escaped like the path, so the request fails as a host not found
    // instead of going elsewhere.
    static std::string FromUtf8(const std::string& given, HostToAscii hostToAscii);

    static bool IsAscii(const std::string& text);
    // The position of the host in `url` and its length: after "scheme://"
    // and any "user@", up to ":", "/", "?", "#" or the end; a bracketed
    // IPv6 address whole. False when `url` has no "scheme://".
    static bool FindHost(const std::string& url, size_t& at, size_t& length);
};
