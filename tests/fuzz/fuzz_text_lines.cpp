// Text splitting over any UTF-16 text: every candidate is a non-empty piece
// of one line, with no line end and no blank inside.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include "view/TextLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    size_t total = 0;
    for (const std::wstring& line : TextLines::Candidates(text)) {
        if (line.empty())
            std::abort();
        for (wchar_t c : line)
            if (c == L'\r' || c == L'\n' || c == L' ' || c == L'\t')
                std::abort();
        total += line.size();
    }
    if (total > text.size())
        std::abort();
    return 0;
}
