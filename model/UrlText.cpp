#include "UrlText.h"
#include <windows.h>
#include "SentUrl.h"

namespace {

using IdnToAsciiFn = int(WINAPI*)(DWORD flags, const WCHAR* unicode, int unicodeLength,
                                  WCHAR* ascii, int asciiLength);

// IdnToAscii lives in kernel32 from Vista on; XP has it in normaliz.dll
// once the IDN update is installed. That one is loaded from the system
// folder by its full path: the current directory is the download folder,
// where a downloaded file of that name must never be loaded.
IdnToAsciiFn FindIdnToAscii()
{
    FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IdnToAscii");
    char system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(system, MAX_PATH);
    if (!proc && n > 0 && n < MAX_PATH - 16) {
        if (HMODULE normaliz = ::LoadLibraryA((std::string(system) + "\\normaliz.dll").c_str()))
            proc = ::GetProcAddress(normaliz, "IdnToAscii");
    }
    return reinterpret_cast<IdnToAsciiFn>(reinterpret_cast<void*>(proc));
}

} // namespace

bool UrlText::ToWide(const std::string& text, unsigned codePage, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    wide.assign(n, L'\0');
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], n) == n;
}

bool UrlText::ToAnsi(const std::wstring& wide, std::string& ansi)
{
    ansi.clear();
    bool ascii = true;
    for (size_t i = 0; i < wide.size() && ascii; ++i)
        ascii = wide[i] < 0x80;
    if (ascii) {
        ansi.assign(wide.begin(), wide.end());   // the same in every ANSI code page
        return true;
    }
    const int size = static_cast<int>(wide.size());
    BOOL lost = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                        nullptr, 0, nullptr, &lost);
    if (n <= 0 || lost)
        return false;
    ansi.assign(n, '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &ansi[0], n,
                          nullptr, &lost);
    // Only what reads back as the same characters counts as held.
    std::wstring back;
    return !lost && ToWide(ansi, CP_ACP, back) && back == wide;
}

std::string UrlText::ToUtf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

bool UrlText::HostToAscii(const std::string& host, std::string& ascii)
{
    static const IdnToAsciiFn idnToAscii = FindIdnToAscii();
    std::wstring wide;
    if (!idnToAscii || !ToWide(host, CP_UTF8, wide) || wide.empty())
        return false;
    WCHAR out[256];
    const int n = idnToAscii(0, wide.data(), static_cast<int>(wide.size()), out, 256);
    if (n <= 0)
        return false;
    ascii.clear();
    for (int i = 0; i < n && out[i]; ++i) {
        if (out[i] >= 0x80)
            return false;
        ascii.push_back(static_cast<char>(out[i]));
    }
    return !ascii.empty();
}

bool UrlText::CharToAnsi(const std::string& utf8, std::string& ansi)
{
    std::wstring wide;
    return ToWide(utf8, CP_UTF8, wide) && ToAnsi(wide, ansi);
}

std::string UrlText::SentForm(const std::string& url)
{
    if (SentUrl::IsAscii(url))
        return SentUrl::FromUtf8(url, &HostToAscii);
    std::wstring wide;
    if (!ToWide(url, CP_ACP, wide))
        return SentUrl::FromUtf8(url, nullptr);
    return SentUrl::FromUtf8(ToUtf8(wide), &HostToAscii);
}

std::string UrlText::FromWide(const std::wstring& url)
{
    std::string ansi;
    if (ToAnsi(url, ansi))
        return ansi;
    const std::string utf8 = ToUtf8(url);
    // Text with control characters, or blanks around it, is no URL on any
    // road: it is kept as it is, its other characters escaped, and stays
    // refused.
    bool refused = !url.empty() && (url.front() == L' ' || url.back() == L' ');
    for (wchar_t c : url)
        refused = refused || c < 0x20 || c == 0x7F;
    if (!refused)
        return SentUrl::FromUtf8(utf8, &HostToAscii);
    static const char kHex[] = "0123456789ABCDEF";
    std::string kept;
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            kept += ch;
        } else {
            kept += '%';
            kept += kHex[c >> 4];
            kept += kHex[c & 15];
        }
    }
    return kept;
}
