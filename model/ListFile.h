#pragma once
#include <string>
#include <vector>

// The text of a list file: one URL per line.
class ListFile {
public:
    // An absolute URL (a scheme of two or more characters, a colon, then
    // something that does not start with a blank) with no control bytes and
    // no blanks at either end: what every road into the list accepts, and
    // what a line of a list file gives back.
    static bool IsListableURL(const char* url);

    // The URLs of a list file's text, in order: lines end in CR LF, LF or a
    // lone CR, blanks around a URL do not count, lines that are no URL are
    // passed over. False, with no URLs, when `text` is not a list: it holds
    // control bytes other than tab, CR and LF, or text without any URL. An
    // empty or blank text is an empty list.
    static bool Read(const std::string& text, std::vector<std::string>& urls);
};
