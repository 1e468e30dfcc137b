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

// The ANSI text of `wide`; false when a character has no place in it.
bool Narrow(const std::wstring& wide, std::string& out)
{
    BOOL lost = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, &lost);
    if (n <= 0 || lost)
        return false;
    out.assign(n, '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          &out[0], n, nullptr, &lost);
    return !lost;
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

std::vector<std::string> UrlImporter::UrlLinesOf(const std::wstring& text)
{
    std::vector<std::string> urls;
    std::unordered_set<std::string> seen;
    for (const std::wstring& line : TextLines::Candidates(text)) {
        std::string url;
        if (!Narrow(line, url) || !IsWebUrl(url))
            continue;
        if (seen.insert(url).second)
            urls.push_back(std::move(url));
    }
    return urls;
}

void UrlImporter::Import(const COleDataObject& data, const AddFn& add)
{
    if (data.IsDataAvailable(ClipFormats::FileGroupDescriptor)) {
        ImportFileGroup(data, add);
    } else if (data.IsDataAvailable(ClipFormats::UniformResourceLocator)) {
        ImportUrl(data, add);
    } else if (!data.IsDataAvailable(CF_HDROP) || !ImportDroppedFiles(data, add)) {
        ImportText(data, add);
    }
}

void UrlImporter::ImportFileGroup(const COleDataObject& data, const AddFn& add)
{
    HGLOBAL group = data.GetGlobalData(ClipFormats::FileGroupDescriptor);
    if (!group)
        return;
    DWORD count = 0;
    if (const void* p = ::GlobalLock(group)) {
        // The count comes from another program: never more than the block holds.
        count = ForeignBlocks::FileGroupCount(p, ::GlobalSize(group), kDescriptorSize);
        ::GlobalUnlock(group);
    }
    ::GlobalFree(group);

    for (DWORD i = 0; i < count; ++i) {
        FORMATETC format = {ClipFormats::FileContents, nullptr, DVASPECT_CONTENT, static_cast<LONG>(i),
                            TYMED_HGLOBAL | TYMED_FILE | TYMED_ISTREAM};
        std::unique_ptr<CDataFile> file = data.GetFileData(ClipFormats::FileContents, &format);
        if (!file || file->GetLength() > kMaxContents)
            continue;
        char buffer[kMaxContents];
        const DWORD n = file->Read(buffer, static_cast<DWORD>(file->GetLength()));
        std::istringstream in(std::string(buffer, n));
        std::string url;
        ReadShortcutURL(in, url);
        if (!url.empty())
            add(url.c_str());
    }
}

void UrlImporter::ImportUrl(const COleDataObject& data, const AddFn& add)
{
    HGLOBAL block = data.GetGlobalData(ClipFormats::UniformResourceLocator);
    if (!block)
        return;
    const std::string url = TextOf<char>(block);
    ::GlobalFree(block);
    if (!url.empty())
        add(url.c_str());
}

bool UrlImporter::ImportDroppedFiles(const COleDataObject& data, const AddFn& add)
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

    std::vector<std::string> paths = list.names;
    for (const std::u16string& wide : list.wideNames) {
        std::string path;
        if (Narrow(std::wstring(wide.begin(), wide.end()), path))
            paths.push_back(path);
    }
    for (const std::string& path : paths) {
        if (path.size() >= MAX_PATH || path.find('\0') != std::string::npos)
            continue;
        if (::lstrcmpiA(::PathFindExtensionA(path.c_str()), ".url") != 0)
            continue;
        std::string bytes;
        if (!ReadLocalFile(path, kMaxShortcutFile, bytes))
            continue;
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
    }
    // A list that names no file is as good as none.
    return !paths.empty();
}

bool UrlImporter::ReadLocalFile(const std::string& path, DWORD limit, std::string& bytes)
{
    // Only "X:\..." on a local drive: no network shares, which can keep
    // the window waiting, and no device or pipe namespaces.
    const bool drivePath = path.size() >= 3 && ::IsCharAlphaA(path[0]) && path[1] == ':' &&
                           path[2] == '\\';
    if (!drivePath)
        return false;
    const char root[] = {path[0], ':', '\\', '\0'};
    const UINT drive = ::GetDriveTypeA(root);
    if (drive == DRIVE_REMOTE || drive == DRIVE_UNKNOWN || drive == DRIVE_NO_ROOT_DIR)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return false;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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

void UrlImporter::ImportText(const COleDataObject& data, const AddFn& add)
{
    struct Source {
        CLIPFORMAT cf;
        enum { Wide, Utf8, Ansi } kind;
    };
    const Source sources[] = {
        {ClipFormats::UniformResourceLocatorW, Source::Wide},
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
            return;
        std::wstring text;
        if (s.kind == Source::Wide)
            text = TextOf<wchar_t>(block);
        else
            text = Widen(TextOf<char>(block), s.kind == Source::Utf8 ? CP_UTF8 : CP_ACP);
        ::GlobalFree(block);
        for (const std::string& url : UrlLinesOf(text))
            add(url.c_str());
        return;
    }
}
