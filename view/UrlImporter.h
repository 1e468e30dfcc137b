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
// ("UniformResourceLocator"), shell files (".url" files by path). Only when
// none of them is offered (an empty file list, or one that does not fit its
// block, counts as not offered) are
// URLs taken from plain text and the browsers' URL formats: there, only
// lines that are absolute http, https or ftp URLs count.
class UrlImporter {
public:
    using AddFn = std::function<void(const char* url)>;

    static void Import(const COleDataObject& data, const AddFn& add);

    // Reads Internet-shortcut text: a first line (the header), blank lines,
    // then "URL=" and the URL. Assigns `url` only when such a line is found.
    static void ReadShortcutURL(std::istream& in, std::string& url);

    // The lines of `text` (ended by LF, CR LF or a lone CR) that are
    // absolute http, https or ftp URLs, each once, in order, in the ANSI
    // code page (lines it cannot hold are left out). Linear in the text.
    static std::vector<std::string> UrlLinesOf(const std::wstring& text);

    // Reads a local, regular file of at most `limit` bytes; false for
    // anything else (network paths, devices, pipes, folders, larger files).
    static bool ReadLocalFile(const std::string& path, DWORD limit, std::string& bytes);

    static constexpr DWORD kMaxContents = 4096;   // larger shortcut contents are skipped
    static constexpr DWORD kMaxShortcutFile = 64 * 1024;   // larger .url files are not read
    static constexpr size_t kMaxUrl = 259;
    static constexpr size_t kDescriptorSize = 332;

private:
    static void ImportFileGroup(const COleDataObject& data, const AddFn& add);
    static void ImportUrl(const COleDataObject& data, const AddFn& add);
    static bool ImportDroppedFiles(const COleDataObject& data, const AddFn& add);
    static void ImportText(const COleDataObject& data, const AddFn& add);
};
