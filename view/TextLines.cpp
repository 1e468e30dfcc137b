#include "TextLines.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

} // namespace

std::vector<std::wstring> TextLines::Candidates(const std::wstring& text, size_t* prose)
{
    std::vector<std::wstring> lines;
    size_t proseLines = 0;
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
        bool blankInside = false;
        for (size_t i = b; i < e && !blankInside; ++i)
            blankInside = IsBlank(text[i]);
        if (b < e && !blankInside)
            lines.push_back(text.substr(b, e - b));
        else if (b < e)
            ++proseLines;
        // CR LF is one line end; a lone CR or LF is one too.
        if (end < n && text[end] == L'\r' && end + 1 < n && text[end + 1] == L'\n')
            ++end;
        start = end + 1;
    }
    if (prose)
        *prose = proseLines;
    return lines;
}
