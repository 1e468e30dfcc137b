#include "TextLines.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

} // namespace

std::vector<std::wstring> TextLines::Candidates(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    const size_t n = text.size();
    size_t start = 0;
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != L'\n' && text[end] != L'\r')
            ++end;
        size_t b = start, e = end;
        while (b < e && IsBlank(text[b]))
            ++b;
        while (e > b && IsBlank(text[e - 1]))
            --e;
        bool prose = false;
        for (size_t i = b; i < e && !prose; ++i)
            prose = IsBlank(text[i]);
        if (b < e && !prose)
            lines.push_back(text.substr(b, e - b));
        // CR LF is one line end; a lone CR or LF is one too.
        if (end < n && text[end] == L'\r' && end + 1 < n && text[end + 1] == L'\n')
            ++end;
        start = end + 1;
    }
    return lines;
}
