#pragma once
#include <string>

// The encodings a list file comes in. Kestrin writes Shift-JIS (the ANSI
// code page), each URL as its row shows it; it reads that, and UTF-8 with
// a byte-order mark, or without one when every byte outside ASCII is part
// of a UTF-8 character (Shift-JIS text almost never is: its lead bytes
// 81-9F cannot begin one).
class ListEncoding {
public:
    // The list's text in the code page: UTF-8 line by line, a line the code
    // page holds in the code page and any other in its sent form (ASCII),
    // so no URL loses a character; anything else as it is. False when the
    // file is marked as UTF-8 and is not.
    static bool Decode(const std::string& data, std::string& text);
};
