#include "ListFile.h"
#include <cstring>

namespace {

bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t';
}

bool IsControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// A list file is text: line ends and tabs, but no other control bytes.
// (Shift-JIS second bytes are never below 0x40, so a byte-wise look is
// enough.)
bool IsListText(const std::string& data)
{
    for (char ch : data) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsControlByte(c) && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

bool IsSchemeChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '-' || c == '.';
}

} // namespace

bool ListFile::IsListableURL(const char* url)
{
    if (!url || !*url)
        return false;
    // Nothing that would end a line of a list file or of a request.
    for (const char* p = url; *p; ++p)
        if (IsControlByte(static_cast<unsigned char>(*p)))
            return false;
    // One letter before the colon would be a drive, not a scheme.
    const char* p = url;
    if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')))
        return false;
    for (++p; *p && *p != ':'; ++p)
        if (!IsSchemeChar(*p))
            return false;
    if (*p != ':' || p - url < 2 || p[1] == '\0' || IsBlankChar(p[1]))
        return false;
    // Blanks around it would not come back from a list file.
    return !IsBlankChar(url[std::strlen(url) - 1]);
}

bool ListFile::Read(const std::string& text, std::vector<std::string>& urls)
{
    urls.clear();
    if (!IsListText(text))
        return false;
    bool anyText = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        size_t first = start, last = end;
        while (first < last && IsBlankChar(text[first]))
            ++first;
        while (last > first && IsBlankChar(text[last - 1]))
            --last;
        if (first < last) {
            anyText = true;
            std::string line = text.substr(first, last - first);
            if (IsListableURL(line.c_str()))
                urls.push_back(std::move(line));
        }
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    // Text without any URL is something else.
    if (anyText && urls.empty())
        return false;
    return true;
}
