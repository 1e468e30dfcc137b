#include "ForeignBlocks.h"
#include <cstring>

namespace {

DWORD ReadDWord(const unsigned char* p)
{
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

} // namespace

bool ForeignBlocks::ReadDropList(const void* block, size_t size, DropList& list)
{
    list = DropList();
    if (!block || size < kDropHeaderSize)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(block);
    // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide.
    const DWORD offset = ReadDWord(bytes);
    const bool wide = ReadDWord(bytes + 16) != 0;
    if (offset < kDropHeaderSize || offset >= size)
        return false;

    DropList found;
    found.wide = wide;
    size_t at = offset;
    if (wide) {
        for (;;) {
            std::u16string name;
            for (;;) {
                if (size - at < 2)
                    return false;   // runs past the block
                const char16_t c = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
                at += 2;
                if (c == 0)
                    break;
                name.push_back(c);
            }
            if (name.empty())
                break;
            found.wideNames.push_back(std::move(name));
        }
    } else {
        for (;;) {
            const void* nul = std::memchr(bytes + at, 0, size - at);
            if (!nul)
                return false;   // runs past the block
            const size_t length = static_cast<const unsigned char*>(nul) - (bytes + at);
            if (length == 0)
                break;
            found.names.emplace_back(reinterpret_cast<const char*>(bytes + at), length);
            at += length + 1;
        }
    }
    list = std::move(found);
    return true;
}

DWORD ForeignBlocks::FileGroupCount(const void* block, size_t size, size_t recordSize)
{
    if (!block || size < 4 || recordSize == 0)
        return 0;
    const DWORD count = ReadDWord(static_cast<const unsigned char*>(block));
    const size_t fit = (size - 4) / recordSize;
    return count < fit ? count : static_cast<DWORD>(fit);
}
