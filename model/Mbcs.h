#pragma once
#include <cstddef>
#include "../framework/Portable.h"

// Length in bytes of the character at `p` in the ANSI code page: 2 for a
// lead byte followed by a possible second byte, 1 otherwise (also for a
// lead byte cut off at the end, or followed by a byte below 0x40, which no
// double-byte code page uses as a second byte).
inline size_t MbcsCharLength(const char* p, const char* end)
{
    const BYTE c = static_cast<BYTE>(*p);
    if (p + 1 < end && ::IsDBCSLeadByte(c) && static_cast<BYTE>(p[1]) >= 0x40)
        return 2;
    return 1;
}
