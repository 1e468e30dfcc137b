#include "ShortcutExport.h"
#include <shlobj.h>
#include <cstring>
#include "ClipFormats.h"
#include "../framework/OleDataSource.h"
#include "../model/Mbcs.h"
#include "../model/UrlSplitter.h"

static_assert(sizeof(FILEDESCRIPTORA) == 332, "the shell's FILEDESCRIPTORA");

namespace {

const UINT kShared = GMEM_MOVEABLE | GMEM_DDESHARE;

HGLOBAL TextBlock(const std::string& text, ShortcutExport::Allocator alloc)
{
    HGLOBAL block = alloc(kShared, text.size() + 1);
    if (!block)
        return nullptr;
    if (void* p = ::GlobalLock(block)) {
        std::memcpy(p, text.c_str(), text.size() + 1);
        ::GlobalUnlock(block);
    }
    return block;
}

} // namespace

HGLOBAL ShortcutExport::MakeShortcutContents(const std::string& url, const std::string& header,
                                             Allocator alloc)
{
    return TextBlock(header + url, alloc);
}

std::string ShortcutExport::ShortcutFileName(const std::string& url)
{
    DWORD service;
    std::string server, object;
    WORD port;
    if (!AfxParseURL(url.c_str(), service, server, object, port))
        object = url;   // named after the whole URL rather than after nothing
    // At most 255 bytes, without splitting a double-byte character.
    const char* const begin = object.data();
    const char* const end = begin + object.size();
    const char* p = begin;
    while (p < end) {
        const size_t n = MbcsCharLength(p, end);
        if (static_cast<size_t>(p - begin) + n > 255)
            break;
        p += n;
    }
    std::string name(begin, p);
    for (char& c : name)
        if (c == '.' || c == '/')
            c = ' ';
    return name + ".url";
}

COleDataSource* ShortcutExport::MakeLasting(const std::vector<std::string>& urls)
{
    auto* lasting = new COleDataSource;
    std::string text;
    for (const std::string& url : urls) {
        if (!text.empty())
            text += "\r\n";
        text += url;
    }
    if (HGLOBAL block = TextBlock(text, ::GlobalAlloc))
        lasting->CacheGlobalData(CF_TEXT, block);
    if (urls.size() == 1) {
        if (HGLOBAL link = TextBlock(urls.front(), ::GlobalAlloc))
            lasting->CacheGlobalData(ClipFormats::UniformResourceLocator, link);
    }
    return lasting;
}

void ShortcutExport::Fill(COleDataSource& source, const std::vector<std::string>& urls,
                          const std::string& header, Allocator alloc)
{
    source.SetLastingData(MakeLasting(urls));
    // The first URL as text and as a URL; a block that cannot be had is
    // simply not offered.
    if (HGLOBAL text = TextBlock(urls.front(), alloc))
        source.CacheGlobalData(CF_TEXT, text);
    if (HGLOBAL link = TextBlock(urls.front(), alloc))
        source.CacheGlobalData(ClipFormats::UniformResourceLocator, link);

    // The file group goes out whole or not at all.
    std::vector<HGLOBAL> contents;
    for (const std::string& url : urls) {
        HGLOBAL block = MakeShortcutContents(url, header, alloc);
        if (!block)
            break;
        contents.push_back(block);
    }
    const SIZE_T descriptorSize = 4 + sizeof(FILEDESCRIPTORA) * urls.size();
    HGLOBAL descriptor = contents.size() == urls.size()
        ? alloc(kShared | GMEM_ZEROINIT, descriptorSize) : nullptr;
    auto* group = descriptor ? static_cast<FILEGROUPDESCRIPTORA*>(::GlobalLock(descriptor)) : nullptr;
    if (!group) {
        for (HGLOBAL block : contents)
            ::GlobalFree(block);
        if (descriptor)
            ::GlobalFree(descriptor);
        return;
    }
    // Zero-filled: only the flags, the size and the name are set.
    std::memset(group, 0, descriptorSize);
    group->cItems = static_cast<UINT>(urls.size());
    for (size_t k = 0; k < urls.size(); ++k) {
        FILEDESCRIPTORA& record = group->fgd[k];
        record.dwFlags = FD_FILESIZE;
        record.nFileSizeLow = static_cast<DWORD>(header.size() + urls[k].size() + 1);
        const std::string name = ShortcutFileName(urls[k]);
        std::memcpy(record.cFileName, name.c_str(), name.size() + 1);

        FORMATETC format = {ClipFormats::FileContents, nullptr, DVASPECT_CONTENT,
                            static_cast<LONG>(k), TYMED_HGLOBAL};
        source.CacheGlobalData(ClipFormats::FileContents, contents[k], &format);
    }
    ::GlobalUnlock(descriptor);
    source.CacheGlobalData(ClipFormats::FileGroupDescriptor, descriptor);
}
