#pragma once
// The few Windows types and calls that the parsers of outside bytes use,
// so that those parsers also build for the development host, where the
// fuzzers run them. On Windows this is simply <windows.h>.
#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>
#include <strings.h>

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t UINT;
typedef std::int32_t LONG;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Shift-JIS (code page 932), the code page of the target systems.
inline BOOL IsDBCSLeadByte(BYTE c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

inline int lstrcmpiA(const char* a, const char* b)
{
    return ::strcasecmp(a, b);
}
#endif
