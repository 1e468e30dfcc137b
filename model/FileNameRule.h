#pragma once
#include <string>

// The file name a URL is saved to, relative to the download folder: the
// last two segments of the URL's path joined by a backslash, its percent
// escapes decoded into readable characters, with characters that file
// names cannot hold turned into "_".
class FileNameRule {
public:
    // Text of characters outside ASCII, given in UTF-8, in the ANSI code
    // page; false when the code page lacks any of them.
    using CharToAnsi = bool (*)(const std::string& utf8, std::string& ansi);

    // The name for `url` (ANSI). Escapes that form UTF-8 characters are
    // decoded where `toAnsi` gives the character (ASCII ones without it),
    // "%20" into a blank included; never an escape of "/", "\", ":" or a
    // control character, and never so that a segment becomes "." or ".."
    // (or only dots and blanks): a decoded name names no other folder than
    // the undecoded one. Escapes of characters the code page lacks stay.
    static std::string FromURL(const char* url, CharToAnsi toAnsi);

    // `segment` (ANSI, no separator in it) with its escapes decoded as
    // FromURL decodes them.
    static std::string DecodeSegment(const std::string& segment, CharToAnsi toAnsi);
};
