#pragma once
#include <string>

// URLs in the user's characters: the ANSI code page the list keeps them
// in, UTF-16 as other programs hand them over, and the ASCII form sent to
// servers (SentUrl's rule over UTF-8, with the system's IDNA for hosts).
class UrlText {
public:
    // The form of `url` (ANSI) that is sent to servers. Bytes that are no
    // text of the code page are escaped as they are.
    static std::string SentForm(const std::string& url);
    // How a URL handed over in UTF-16 is kept: in the ANSI code page when
    // it holds every character, otherwise in its sent form (ASCII), so that
    // no character is ever replaced by "?". Text with control characters
    // or blanks around it keeps them (only its characters outside ASCII
    // are escaped), so that it stays no URL, as on every other road.
    static std::string FromWide(const std::wstring& url);

    // The IDNA form of `host` (UTF-8) through the system's IdnToAscii,
    // looked up when first needed (Windows Vista and later, XP with the
    // IDN update); false without it or when the name has none.
    static bool HostToAscii(const std::string& host, std::string& ascii);
    // Text given in UTF-8 in the ANSI code page; false when the code page
    // lacks any of its characters (no look-alike is taken instead).
    static bool CharToAnsi(const std::string& utf8, std::string& ansi);

    // `wide` in the ANSI code page; false when a character has no place in
    // it.
    static bool ToAnsi(const std::wstring& wide, std::string& ansi);
    static std::string ToUtf8(const std::wstring& wide);
    // `text` in UTF-16 from `codePage`; false when it is not valid there.
    static bool ToWide(const std::string& text, unsigned codePage, std::wstring& wide);
};
