// The checks of dropped-file lists (CF_HDROP) and file group descriptors
// over any block: nothing is read outside the block (the sanitizer sees a
// copy of exactly its size), and what is taken fits in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include "view/ForeignBlocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<uint8_t[]> block(new uint8_t[size ? size : 1]);
    std::memcpy(block.get(), data, size);

    ForeignBlocks::DropList list;
    if (ForeignBlocks::ReadDropList(block.get(), size, list)) {
        size_t total = 0;
        for (const auto& n : list.names)
            total += n.size() + 1;
        for (const auto& n : list.wideNames)
            total += 2 * (n.size() + 1);
        if (total > size)
            std::abort();
    } else if (!list.names.empty() || !list.wideNames.empty()) {
        std::abort();
    }
    for (size_t record : {size_t(332), size_t(592), size_t(1)}) {
        const DWORD count = ForeignBlocks::FileGroupCount(block.get(), size, record);
        if (count && 4 + count * record > size)
            std::abort();
    }
    return 0;
}
