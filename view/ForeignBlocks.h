#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "../framework/Portable.h"

// Checks of blocks that another program put on the clipboard or into a
// drop, made before anything in them is read: a block is taken only as far
// as its own size goes.
class ForeignBlocks {
public:
    // The shell's dropped-file list (CF_HDROP): a 20-byte header whose first
    // field is the offset of the list and whose last says whether the names
    // are wide, then NUL-terminated names ended by an empty one.
    struct DropList {
        bool wide = false;
        std::vector<std::string> names;        // narrow names, as bytes
        std::vector<std::u16string> wideNames; // wide names
    };
    static constexpr size_t kDropHeaderSize = 20;

    // Reads the names of a dropped-file list of `size` bytes. False, with
    // nothing read, when the header does not fit, the list does not start
    // inside the block, or it does not end (an empty name, in the width
    // the header says) inside it.
    static bool ReadDropList(const void* block, size_t size, DropList& list);

    // The number of records a file group descriptor of `size` bytes really
    // holds: its stated count, but never more than fit after the count.
    static DWORD FileGroupCount(const void* block, size_t size, size_t recordSize);
};
