#include "UrlImporter.h"
#include <shlwapi.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <unordered_set>
#include "ClipFormats.h"
#include "../framework/OleDataObject.h"
#include "../model/UrlSplitter.h"

namespace {

bool IsBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void SkipBlanks(std::istream& in)
{
    while (IsBlank(in.peek()))
        in.get();
}

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

std::wstring Widen(const std::string& text, UINT codePage)
{
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
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
    // The first line (normally "[InternetShortcut]") is not looked at.
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (!in)
        return;
    SkipBlanks(in);
    std::string key;
    while (key.size() < 3 && in.peek() != '\n' && in.peek() != EOF)
        key.push_back(static_cast<char>(in.get()));
    if (key.size() != 3 || ::lstrcmpiA(key.c_str(), "url") != 0 ||
        std::any_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return;
    SkipBlanks(in);
    if (in.get() != '=')
        return;
    SkipBlanks(in);
    std::string value;
    while (value.size() < kMaxUrl) {
        const int c = in.peek();
        // A NUL ends the text as well: global memory is often longer than it.
        if (c == EOF || c == '\n' || c == '\0')
            break;
        value.push_back(static_cast<char>(in.get()));
    }
    // Contents read as bytes end their lines in CR LF: the CR is not the URL's.
    while (!value.empty() && value.back() == '\r')
        value.pop_back();
    url = value;
}

std::vector<std::string> UrlImporter::UrlLinesOf(const std::wstring& text)
{
    std::vector<std::string> urls;
    std::unordered_set<std::string> seen;   // a long paste stays linear
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        const size_t b = line.find_first_not_of(L" \t\r");
        const size_t e = line.find_last_not_of(L" \t\r");
        if (b == std::wstring::npos)
            continue;
        line = line.substr(b, e - b + 1);
        if (line.find_first_of(L" \t") != std::wstring::npos)
            continue;   // prose, not a URL
        std::string url;
        if (!Narrow(line, url) || !IsWebUrl(url))
            continue;
        if (seen.insert(url).second)
            urls.push_back(url);
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
    const SIZE_T size = ::GlobalSize(group);
    DWORD count = 0;
    if (size >= 4) {
        if (const auto* p = static_cast<const DWORD*>(::GlobalLock(group))) {
            count = *p;
            ::GlobalUnlock(group);
        }
        // The count comes from another program: never more than the block holds.
        count = static_cast<DWORD>(std::min<SIZE_T>(count, (size - 4) / kDescriptorSize));
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
    auto drop = static_cast<HDROP>(data.GetGlobalData(CF_HDROP));
    if (!drop)
        return false;
    const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    bool anyFile = false;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileA(drop, i, nullptr, 0);
        anyFile = anyFile || length > 0;
        char path[MAX_PATH];
        if (length == 0 || length >= MAX_PATH || !::DragQueryFileA(drop, i, path, MAX_PATH))
            continue;
        if (::lstrcmpiA(::PathFindExtensionA(path), ".url") != 0)
            continue;
        std::ifstream in(path);   // text mode: CR LF reads as one line end
        if (!in)
            continue;
        std::string url;
        ReadShortcutURL(in, url);
        if (!url.empty())
            add(url.c_str());
    }
    ::DragFinish(drop);
    // A list that names no file is as good as none.
    return anyFile;
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
