#include "ListEncoding.h"
#include <windows.h>
#include "SentUrl.h"
#include "UrlText.h"

namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";

// Text in UTF-8 turned line by line into the list's own text: a line the
// code page holds in the code page, any other in its sent form (ASCII), so
// no URL loses a character. False when the bytes are not UTF-8 at all.
bool Utf8ToListLines(const std::string& utf8, std::string& out)
{
    out.clear();
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = utf8.size();
        std::wstring wide;
        if (!UrlText::ToWide(utf8.substr(start, end - start), CP_UTF8, wide))
            return false;
        out += UrlText::FromWide(wide);
        if (end < utf8.size())
            out += utf8[end];
        start = end + 1;
    }
    return true;
}

// A list without a byte-order mark is UTF-8 when it has bytes outside
// ASCII and all of them are UTF-8 (Shift-JIS text almost never is: its
// lead bytes 81-9F cannot begin a UTF-8 character).
bool LooksLikeUtf8(const std::string& data)
{
    if (SentUrl::IsAscii(data))
        return false;
    std::wstring wide;
    return UrlText::ToWide(data, CP_UTF8, wide);
}

} // namespace

bool ListEncoding::Decode(const std::string& data, std::string& text)
{
    const bool marked = data.compare(0, 3, kUtf8Mark) == 0;
    if (!marked && !LooksLikeUtf8(data)) {
        text = data;
        return true;
    }
    return Utf8ToListLines(data.substr(marked ? 3 : 0), text);
}
