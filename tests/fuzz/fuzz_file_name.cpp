// The file-name rule over any URL text, with its escapes decoded through a
// stand-in code page: a name without the characters no file name may
// hold, never longer than what it came from, and never naming a folder
// the undecoded URL does not: no "/", no separator or colon that the URL
// did not hold as it is, no segment of dots that it did not hold after a
// "/" or "\".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "model/FileNameRule.h"
#include "model/Mbcs.h"

namespace {

// A code page of the fuzzer's own: characters up to U+07FF become a
// Shift-JIS lead byte and a second byte; a few answer as a careless
// conversion would (U+00A5 as "\", U+FF0F as "/", U+0100 as a lone lead
// byte, U+0101 as "."), U+0102 as "ソ" does (its second byte is "\");
// the rest it does not hold.
bool FakeCodePage(const std::string& utf8, std::string& ansi)
{
    ansi.clear();
    const unsigned char* u = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        unsigned long code;
        if (u[i] >= 0xC0 && u[i] < 0xE0 && i + 1 < utf8.size()) {
            code = (u[i] & 0x1Fu) << 6 | (u[i + 1] & 0x3Fu);
            i += 2;
        } else if (u[i] >= 0xE0 && u[i] < 0xF0 && i + 2 < utf8.size()) {
            code = (u[i] & 0x0Fu) << 12 | (u[i + 1] & 0x3Fu) << 6 | (u[i + 2] & 0x3Fu);
            i += 3;
        } else {
            return false;
        }
        switch (code) {
        case 0xA5: ansi += "\\"; continue;
        case 0xFF0F: ansi += "/"; continue;
        case 0x100: ansi += "\x81"; continue;
        case 0x101: ansi += "."; continue;
        case 0x102: ansi += "\x83\x5C"; continue;   // its second byte is a backslash, as in "ソ"
        }
        if (code > 0x7FF)
            return false;
        ansi += static_cast<char>(0x88 + (code >> 8));
        ansi += static_cast<char>(0x80 + (code & 0x3F));
    }
    return true;
}

// The characters of `text` in the code page, each whole.
std::vector<std::string> Characters(const std::string& text)
{
    std::vector<std::string> chars;
    const char* const end = text.data() + text.size();
    for (const char* p = text.data(); p < end;) {
        const size_t n = MbcsCharLength(p, end);
        chars.emplace_back(p, n);
        p += n;
    }
    return chars;
}

size_t CountBytes(const std::string& text, char c)
{
    size_t n = 0;
    for (char x : text)
        n += x == c;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    const std::string name = FileNameRule::FromURL(url.c_str(), &FakeCodePage);
    if (name.size() > 2048)
        std::abort();
    size_t separators = 0, colons = 0;
    std::string segment;
    std::vector<std::string> segments;
    for (const std::string& ch : Characters(name)) {
        const unsigned char u = static_cast<unsigned char>(ch[0]);
        if (u < 0x20 && u != 0)
            std::abort();
        if (ch == "/")
            std::abort();
        colons += ch == ":";
        if (ch == "\\") {
            ++separators;
            segments.push_back(segment);
            segment.clear();
        } else {
            segment += ch;
        }
    }
    segments.push_back(segment);
    // The one joining backslash, and what the URL held itself.
    if (separators > 1 + CountBytes(url, '\\') || colons > CountBytes(url, ':'))
        std::abort();
    for (const std::string& s : segments) {
        if (!s.empty() && s.find_first_not_of(". ") == std::string::npos &&
            url.find("/" + s) == std::string::npos && url.find("\\" + s) == std::string::npos)
            std::abort();   // ".." from escapes
    }
    return 0;
}
