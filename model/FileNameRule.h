#pragma once
#include <string>

// The file name a URL is saved to, relative to the download folder: the
// last two segments of the URL's path joined by a backslash, with
// characters that file names cannot hold turned into "_".
class FileNameRule {
public:
    static std::string FromURL(const char* url);
};
