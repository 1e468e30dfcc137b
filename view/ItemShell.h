#pragma once
#include <windows.h>
#include <string>

class URLItem;

// What the shell does for an item of the list: open its downloaded file
// with the program the system has for it, or open the folder it is in
// with the file selected.
class ItemShell {
public:
    // The full path of `item`'s file: a relative name lies in `folder`.
    static std::string FilePath(const URLItem& item, const std::string& folder);
    // The folder `path` is in, or the nearest one above it that exists;
    // empty when none does.
    static std::string ExistingFolder(const std::string& path);
    // Whether opening `path` would run it as a program (or a script, an
    // installer, a shortcut to one): the system is asked where it knows,
    // and a list of such extensions is kept for where it does not.
    static bool IsRisky(const std::string& path);
    // explorer.exe's parameters that show `path` selected in its folder.
    static std::string SelectParameters(const std::string& path);

    // Opens `path` with the shell. A file that would run as a program is
    // opened only when the user says yes; a file that is missing or has
    // no program is refused with a message. False when nothing was opened.
    static bool Open(HWND owner, const std::string& path);
    // Opens the folder of `path`, with the file selected when it exists.
    static bool ShowInFolder(HWND owner, const std::string& path);
};
