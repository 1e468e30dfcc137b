#pragma once
#include <windows.h>
#include <cstring>

// A copy of a global memory block, the whole of it, allocated with `flags`;
// null when it cannot be had or the block cannot be read.
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
    if (to)
        ::GlobalUnlock(copy);
    if (from)
        ::GlobalUnlock(source);
    if (!from || !to) {
        // A block that cannot be read (a null or stale handle from another
        // program) gives no copy rather than one of uninitialised bytes.
        ::GlobalFree(copy);
        return nullptr;
    }
    return copy;
}
