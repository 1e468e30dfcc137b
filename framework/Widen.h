#pragma once
#include <windows.h>
#include <string>

// `text` in UTF-16, read in `codePage`.
inline std::wstring Widen(const std::string& text, UINT codePage = CP_ACP)
{
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}
