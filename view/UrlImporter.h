#pragma once
#include <windows.h>
#include <functional>
#include <istream>
#include <string>
#include <vector>

class COleDataObject;

// Takes URLs out of dropped or pasted data. The formats are tried in this
// order and only the first one offered is used: a file group of Internet
// shortcuts ("FileGroupDescriptor" with "FileContents"), a single URL
// ("UniformResourceLocatorW" before "UniformResourceLocator", so that no
// character is lost), shell files (".url" files by path). Only when
// none of them is offered (an empty file list, or one that does not fit its
// block, counts as not offered) are
// URLs taken from plain text and the browsers' URL formats, wide ones
// first: there, only lines that are absolute http, https or ftp URLs count.
// A URL with characters the ANSI code page lacks comes in its sent form
// (UrlText::FromWide).
class UrlImporter {
public:
    using AddFn = std::function<void(const char* url)>;

    // Returns how many pieces of the data gave no URL: lines of text that
    // are no web URL, shortcuts without a URL line, dropped files that are
    // no shortcut.
    static size_t Import(const COleDataObject& data, const AddFn& add);

    // Reads Internet-shortcut text: a first line (the header), blank lines,
    // then "URL=" and the URL. Assigns `url` only when such a line is found.
    static void ReadShortcutURL(std::istream& in, std::string& url);

    // The lines of `text` (ended by LF, CR LF or a lone CR) that are
    // absolute http, https or ftp URLs, each once, in order, in the ANSI
    // code page (or their sent form where it lacks a character). Linear in
    // the text. `others`, when given, receives the number of lines that
    // are text but no such URL.
    static std::vector<std::string> UrlLinesOf(const std::wstring& text, size_t* others = nullptr);

    // Reads a local, regular file of at most `limit` bytes; false for
    // anything else (network paths, devices, pipes, folders, larger files).
    static bool ReadLocalFile(const std::wstring& path, DWORD limit, std::string& bytes);

    static constexpr DWORD kMaxContents = 4096;   // larger shortcut contents are skipped
    static constexpr DWORD kMaxShortcutFile = 64 * 1024;   // larger .url files are not read
    static constexpr size_t kMaxUrl = 259;
    static constexpr size_t kDescriptorSize = 332;

private:
    // Each returns the number of pieces that gave no URL.
    static size_t ImportFileGroup(const COleDataObject& data, const AddFn& add);
    static size_t ImportUrl(const COleDataObject& data, CLIPFORMAT format, const AddFn& add);
    // False when the file list counts as not offered.
    static bool ImportDroppedFiles(const COleDataObject& data, const AddFn& add, size_t& others);
    static size_t ImportText(const COleDataObject& data, const AddFn& add);
};
