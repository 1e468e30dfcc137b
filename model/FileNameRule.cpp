#include "FileNameRule.h"
#include <cstring>
#include <vector>
#include "Mbcs.h"
#include "UrlSplitter.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte of the escape at `p` ("%" and two hex digits), or -1.
int EscapedByte(const char* p, const char* end)
{
    if (end - p < 3 || p[0] != '%')
        return -1;
    const int hi = HexValue(p[1]), lo = HexValue(p[2]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// The length of the UTF-8 character whose escapes start at `p` (1 to 4
// escapes), 0 when they form none: overlong forms, surrogates and values
// past U+10FFFF form none. `code` receives the character.
int EscapedCharLength(const char* p, const char* end, unsigned long& code)
{
    const int b0 = EscapedByte(p, end);
    int length;
    unsigned long min;
    if (b0 < 0)
        return 0;
    if (b0 < 0x80) {
        code = static_cast<unsigned long>(b0);
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, min = 0x80, code = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, min = 0x800, code = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, min = 0x10000, code = b0 & 0x07;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const int b = EscapedByte(p + 3 * k, end);
        if (b < 0x80 || b > 0xBF)
            return 0;
        code = code << 6 | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// ASCII that may come out of an escape: not a separator, not a drive or
// stream colon, no control character.
bool IsDecodableAscii(unsigned long c)
{
    return c >= 0x20 && c != 0x7F && c != '/' && c != '\\' && c != ':';
}

// Whether `ansi`, the code page's bytes for one non-ASCII character, is
// whole text of its own: no ASCII byte in it (a look-alike "\" or "/"), and
// no lead byte left without its second byte to swallow what follows.
bool IsWholeNonAscii(const std::string& ansi)
{
    if (ansi.empty())
        return false;
    const char* const end = ansi.data() + ansi.size();
    for (const char* p = ansi.data(); p < end;) {
        if (static_cast<unsigned char>(*p) < 0x80)
            return false;
        const size_t n = MbcsCharLength(p, end);
        if (n == 1 && ::IsDBCSLeadByte(static_cast<BYTE>(*p)))
            return false;
        p += n;
    }
    return true;
}

bool IsDotsAndBlanks(const std::string& text)
{
    return !text.empty() && text.find_first_not_of(". ") == std::string::npos;
}

// The parts of `text` between backslashes, stepping over whole characters
// as Windows reads them.
std::vector<std::string> PartsOf(const std::string& text)
{
    std::vector<std::string> parts(1);
    const char* const end = text.data() + text.size();
    for (const char* p = text.data(); p < end;) {
        const size_t n = MbcsCharLength(p, end);
        if (n == 1 && *p == '\\')
            parts.emplace_back();
        else
            parts.back().append(p, n);
        p += n;
    }
    return parts;
}

// Whether `decoded` names nothing that `given` did not: the same
// backslashes (a decoded character never joins a lone lead byte of the
// URL into one whose second byte is a backslash), and no part that
// decoding made "." or ".." (or only dots and blanks, which Windows reads
// the same way).
bool NamesNoOtherFolder(const std::string& given, const std::string& decoded)
{
    const std::vector<std::string> before = PartsOf(given), after = PartsOf(decoded);
    if (before.size() != after.size())
        return false;
    for (size_t i = 0; i < after.size(); ++i)
        if (IsDotsAndBlanks(after[i]) && after[i] != before[i])
            return false;
    return true;
}

} // namespace

std::string FileNameRule::DecodeSegment(const std::string& segment, CharToAnsi toAnsi)
{
    std::string out;
    out.reserve(segment.size());
    const char* const end = segment.data() + segment.size();
    for (const char* p = segment.data(); p < end;) {
        unsigned long code = 0;
        const int length = *p == '%' ? EscapedCharLength(p, end, code) : 0;
        if (length == 1 && IsDecodableAscii(code)) {
            out += static_cast<char>(code);
            p += 3;
            continue;
        }
        // C1 controls (U+0080 to U+009F) are no more wanted than C0 ones.
        if (length > 1 && code >= 0xA0 && toAnsi) {
            // The run of such characters goes to the code page at once when
            // it holds them all (a name is mostly one run), else one by one.
            std::string run, ansi;
            const char* q = p;
            for (int n = length; n > 1 && code >= 0xA0; n = EscapedCharLength(q, end, code)) {
                for (int k = 0; k < n; ++k)
                    run += static_cast<char>(EscapedByte(q + 3 * k, end));
                q += 3 * n;
            }
            if (toAnsi(run, ansi) && IsWholeNonAscii(ansi)) {
                out += ansi;
                p = q;
                continue;
            }
            if (toAnsi(run.substr(0, length), ansi) && IsWholeNonAscii(ansi)) {
                out += ansi;
                p += 3 * length;
                continue;
            }
        }
        // Anything else is copied as it is, a double-byte character whole.
        const size_t n = *p == '%' ? 1 : MbcsCharLength(p, end);
        out.append(p, n);
        p += n;
    }
    // "%2E%2E" and the like would name the folder above, or this one.
    return NamesNoOtherFolder(segment, out) ? out : segment;
}

std::string FileNameRule::FromURL(const char* url, CharToAnsi toAnsi)
{
    DWORD service;
    std::string server, object;
    WORD port;
    AfxParseURL(url, service, server, object, port);

    const std::string buf = object.substr(0, 2048);

    // Find the last two "/" that start a character: a backward scan in a
    // double-byte code page has to know where characters begin, so walk
    // forwards and remember them.
    size_t last = std::string::npos, before = std::string::npos;
    const char* const begin = buf.data();
    const char* const end = begin + buf.size();
    for (const char* p = begin; p < end; p += MbcsCharLength(p, end)) {
        if (*p == '/') {
            before = last;
            last = p - begin;
        }
    }

    // The folder segment (none when the path has one segment) and the file.
    std::string folder, file;
    bool hasFolder = false;
    if (last == std::string::npos) {
        file = buf;
    } else if (before == std::string::npos) {
        file = buf.substr(last + 1);
    } else {
        hasFolder = true;
        folder = buf.substr(before + 1, last - before - 1);
        file = buf.substr(last + 1);
    }
    // A leading "%7e" goes, unless that leaves "." or ".." behind.
    std::string& first = hasFolder ? folder : file;
    if (first.size() >= 3 && first[0] == '%' && first[1] == '7' && (first[2] == 'e' || first[2] == 'E') &&
        !IsDotsAndBlanks(first.substr(3)))
        first.erase(0, 3);

    std::string name = hasFolder ? DecodeSegment(folder, toAnsi) + '\\' : std::string();
    name += DecodeSegment(file, toAnsi);

    // Characters no Windows file name may hold (a query's "?" above all)
    // become "_", so that such a URL can be saved at all. A colon is left
    // for the download to refuse.
    char* const nameEnd = &name[0] + name.size();
    for (char* p = &name[0]; p < nameEnd; p += MbcsCharLength(p, nameEnd)) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("?*\"<>|", c))
            *p = '_';
    }
    return name;
}
