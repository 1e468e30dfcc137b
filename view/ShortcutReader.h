#pragma once
#include <istream>
#include <string>

// Reads Internet-shortcut text: a first line (the header, not looked at),
// blank lines, then "URL" in any case, "=" with blanks allowed around it,
// and the URL up to the end of its line (at most 259 characters). Assigns
// `url` only when such a line is found.
class ShortcutReader {
public:
    static void Read(std::istream& in, std::string& url);

    static constexpr size_t kMaxUrl = 259;
};
