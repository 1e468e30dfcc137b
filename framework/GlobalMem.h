#pragma once
#include <windows.h>
#include <cstring>

// A copy of a global memory block, the whole of it, allocated with `flags`;
// null when it cannot be had.
inline HGLOBAL GlobalCopy(HGLOBAL source, UINT flags = GMEM_MOVEABLE)
{
    const SIZE_T size = ::GlobalSize(source);
    HGLOBAL copy = ::GlobalAlloc(flags, size ? size : 1);
    if (!copy)
        return nullptr;
    const void* from = ::GlobalLock(source);
    void* to = ::GlobalLock(copy);
    if (from && to)
        std::memcpy(to, from, size);
    ::GlobalUnlock(copy);
    ::GlobalUnlock(source);
    return copy;
}
