#include "UrlImporter.h"
#include <shlwapi.h>
#include <algorithm>
#include <cstring>
#include <sstream>
#include <unordered_set>
#include "ClipFormats.h"
#include "ForeignBlocks.h"
#include "ShortcutReader.h"
#include "TextLines.h"
#include "../framework/OleDataObject.h"
#include "../framework/Widen.h"
#include "../model/UrlSplitter.h"
#include "../model/UrlText.h"

namespace {

// A copy of global memory's text, up to its first NUL or its end.
template <typename Char>
std::basic_string<Char> TextOf(HGLOBAL block)
{
    std::basic_string<Char> text;
    const SIZE_T count = ::GlobalSize(block) / sizeof(Char);
    if (const auto* p = static_cast<const Char*>(::GlobalLock(block))) {
        SIZE_T n = 0;
        while (n < count && p[n])
            ++n;
        text.assign(p, n);
        ::GlobalUnlock(block);
    }
    return text;
}

bool IsWebUrl(const std::string& url)
{
    DWORD service;
    std::string server, object;
    WORD port;
    if (!AfxParseURL(url.c_str(), service, server, object, port))
        return false;
    return service == AFX_INET_SERVICE_HTTP || service == AFX_INET_SERVICE_HTTPS ||
           service == AFX_INET_SERVICE_FTP;
}

} // namespace

void UrlImporter::ReadShortcutURL(std::istream& in, std::string& url)
{
    ShortcutReader::Read(in, url);
}

std::vector<std::string> UrlImporter::UrlLinesOf(const std::wstring& text, size_t* others)
{
    std::vector<std::string> urls;
    std::unordered_set<std::string> seen;
    size_t notUrls = 0;
    for (const std::wstring& line : TextLines::Candidates(text, &notUrls)) {
        std::string url = UrlText::FromWide(line);
        if (!IsWebUrl(url)) {
            ++notUrls;
            continue;
        }
        if (seen.insert(url).second)
            urls.push_back(std::move(url));
    }
    if (others)
        *others = notUrls;
    return urls;
}

size_t UrlImporter::Import(const COleDataObject& data, const AddFn& add)
{
    size_t others = 0;
    if (data.IsDataAvailable(ClipFormats::FileGroupDescriptor))
        return ImportFileGroup(data, add);
    if (ClipFormats::UniformResourceLocatorW && data.IsDataAvailable(ClipFormats::UniformResourceLocatorW))
        return ImportUrl(data, ClipFormats::UniformResourceLocatorW, add);
    if (data.IsDataAvailable(ClipFormats::UniformResourceLocator))
        return ImportUrl(data, ClipFormats::UniformResourceLocator, add);
    if (data.IsDataAvailable(CF_HDROP) && ImportDroppedFiles(data, add, others))
        return others;
    return ImportText(data, add);
}

size_t UrlImporter::ImportFileGroup(const COleDataObject& data, const AddFn& add)
{
    HGLOBAL group = data.GetGlobalData(ClipFormats::FileGroupDescriptor);
    if (!group)
        return 0;
    DWORD count = 0;
    if (const void* p = ::GlobalLock(group)) {
        // The count comes from another program: never more than the block holds.
        count = ForeignBlocks::FileGroupCount(p, ::GlobalSize(group), kDescriptorSize);
        ::GlobalUnlock(group);
    }
    ::GlobalFree(group);

    size_t others = 0;
    for (DWORD i = 0; i < count; ++i) {
        FORMATETC format = {ClipFormats::FileContents, nullptr, DVASPECT_CONTENT, static_cast<LONG>(i),
                            TYMED_HGLOBAL | TYMED_FILE | TYMED_ISTREAM};
        std::unique_ptr<CDataFile> file = data.GetFileData(ClipFormats::FileContents, &format);
        if (!file || file->GetLength() > kMaxContents) {
            ++others;
            continue;
        }
        char buffer[kMaxContents];
        const DWORD n = file->Read(buffer, static_cast<DWORD>(file->GetLength()));
        std::istringstream in(std::string(buffer, n));
        std::string url;
        ReadShortcutURL(in, url);
        if (!url.empty())
            add(url.c_str());
        else
            ++others;
    }
    return others;
}

size_t UrlImporter::ImportUrl(const COleDataObject& data, CLIPFORMAT format, const AddFn& add)
{
    HGLOBAL block = data.GetGlobalData(format);
    if (!block)
        return 0;
    const std::string url = format == ClipFormats::UniformResourceLocatorW
                                ? UrlText::FromWide(TextOf<wchar_t>(block))
                                : TextOf<char>(block);
    ::GlobalFree(block);
    if (url.empty())
        return 1;
    add(url.c_str());
    return 0;
}

bool UrlImporter::ImportDroppedFiles(const COleDataObject& data, const AddFn& add, size_t& others)
{
    HGLOBAL drop = data.GetGlobalData(CF_HDROP);
    if (!drop)
        return false;
    // The list is checked against its block before a name is read from it;
    // a list that does not fit counts as not offered.
    ForeignBlocks::DropList list;
    bool fits = false;
    if (const void* p = ::GlobalLock(drop)) {
        fits = ForeignBlocks::ReadDropList(p, ::GlobalSize(drop), list);
        ::GlobalUnlock(drop);
    }
    ::GlobalFree(drop);   // what DragFinish does with a drop handle
    if (!fits)
        return false;

    // Wide names are read as they are, so that a shortcut whose name the
    // code page cannot hold is read too.
    std::vector<std::wstring> paths;
    for (const std::string& name : list.names)
        paths.push_back(Widen(name));
    for (const std::u16string& name : list.wideNames)
        paths.emplace_back(name.begin(), name.end());
    for (const std::wstring& path : paths) {
        std::string bytes;
        if (path.size() >= MAX_PATH || path.find(L'\0') != std::wstring::npos ||
            ::lstrcmpiW(::PathFindExtensionW(path.c_str()), L".url") != 0 ||
            !ReadLocalFile(path, kMaxShortcutFile, bytes)) {
            ++others;
            continue;
        }
        // Read as text: CR LF is one line end.
        std::string text;
        text.reserve(bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
                text.push_back(bytes[i]);
        std::istringstream in(text);
        std::string url;
        ReadShortcutURL(in, url);
        if (!url.empty())
            add(url.c_str());
        else
            ++others;
    }
    // A list that names no file is as good as none.
    return !paths.empty();
}

bool UrlImporter::ReadLocalFile(const std::wstring& path, DWORD limit, std::string& bytes)
{
    // Only "X:\..." on a local drive: no network shares, which can keep
    // the window waiting, and no device or pipe namespaces.
    const bool drivePath = path.size() >= 3 && ::IsCharAlphaW(path[0]) && path[1] == L':' &&
                           path[2] == L'\\';
    if (!drivePath)
        return false;
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    const UINT drive = ::GetDriveTypeW(root);
    if (drive == DRIVE_REMOTE || drive == DRIVE_UNKNOWN || drive == DRIVE_NO_ROOT_DIR)
        return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return false;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = false;
    LARGE_INTEGER size{};
    // A regular file of sensible size; a device or pipe under a file's
    // name is not read.
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) &&
        size.QuadPart >= 0 && size.QuadPart <= limit) {
        bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ok = bytes.empty() ||
             (::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) != 0);
        bytes.resize(ok ? got : 0);
    }
    ::CloseHandle(file);
    return ok;
}

size_t UrlImporter::ImportText(const COleDataObject& data, const AddFn& add)
{
    struct Source {
        CLIPFORMAT cf;
        enum { Wide, Utf8, Ansi } kind;
    };
    const Source sources[] = {
        {ClipFormats::MozUrl, Source::Wide},
        {ClipFormats::NetscapeUrl, Source::Utf8},
        {CF_UNICODETEXT, Source::Wide},
        {CF_TEXT, Source::Ansi},
    };
    for (const Source& s : sources) {
        if (!s.cf || !data.IsDataAvailable(s.cf))
            continue;
        HGLOBAL block = data.GetGlobalData(s.cf);
        if (!block)
            return 0;
        std::wstring text;
        if (s.kind == Source::Wide)
            text = TextOf<wchar_t>(block);
        else
            text = Widen(TextOf<char>(block), s.kind == Source::Utf8 ? CP_UTF8 : CP_ACP);
        ::GlobalFree(block);
        size_t others = 0;
        for (const std::string& url : UrlLinesOf(text, &others))
            add(url.c_str());
        // The browsers' URL formats give each URL's title on the next line.
        const bool titled = s.cf == ClipFormats::MozUrl || s.cf == ClipFormats::NetscapeUrl;
        return titled ? 0 : others;
    }
    return 0;
}
