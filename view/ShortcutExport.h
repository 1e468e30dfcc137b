#pragma once
#include <windows.h>
#include <string>
#include <vector>

class COleDataSource;

// What copy, cut and drag give out for a set of rows: the first URL as
// text and as "UniformResourceLocator", then one virtual Internet-shortcut
// file per URL ("FileContents", lindex 0, 1, ...) described by a
// "FileGroupDescriptor".
class ShortcutExport {
public:
    using Allocator = HGLOBAL (WINAPI*)(UINT flags, SIZE_T bytes);

    // Fills `source` for `urls` (at least one). When a shortcut or the
    // descriptor cannot be allocated, no file group is offered at all.
    // The source's lasting data (MakeLasting) is set as well.
    static void Fill(COleDataSource& source, const std::vector<std::string>& urls,
                     const std::string& header, Allocator alloc = ::GlobalAlloc);

    // What stays on the clipboard after the program has ended: the URLs as
    // text, one per line, and for a single URL also as
    // "UniformResourceLocator"; no file group, whose contents could no
    // longer be fetched.
    static COleDataSource* MakeLasting(const std::vector<std::string>& urls);

    // The shortcut text (header, then the URL and a NUL) in global
    // memory; null when it cannot be allocated.
    static HGLOBAL MakeShortcutContents(const std::string& url, const std::string& header,
                                        Allocator alloc = ::GlobalAlloc);

    // The name of a URL's shortcut file: its object part (or, for a URL
    // that cannot be split, the whole URL), at most 255 bytes cut at a
    // character, with "." and "/" as blanks, then ".url".
    static std::string ShortcutFileName(const std::string& url);
};
