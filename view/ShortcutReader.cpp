#include "ShortcutReader.h"
#include <limits>

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

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void ShortcutReader::Read(std::istream& in, std::string& url)
{
    // The first line (normally "[InternetShortcut]") is not looked at.
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (!in)
        return;
    SkipBlanks(in);
    std::string key;
    while (key.size() < 3 && in.peek() != '\n' && in.peek() != std::char_traits<char>::eof())
        key.push_back(static_cast<char>(in.get()));
    if (key.size() != 3 || LowerAscii(key[0]) != 'u' || LowerAscii(key[1]) != 'r' ||
        LowerAscii(key[2]) != 'l')
        return;
    SkipBlanks(in);
    if (in.get() != '=')
        return;
    SkipBlanks(in);
    std::string value;
    while (value.size() < kMaxUrl) {
        const int c = in.peek();
        // A NUL ends the text as well: global memory is often longer than it.
        if (c == std::char_traits<char>::eof() || c == '\n' || c == '\0')
            break;
        value.push_back(static_cast<char>(in.get()));
    }
    // Contents read as bytes end their lines in CR LF: the CR is not the URL's.
    while (!value.empty() && value.back() == '\r')
        value.pop_back();
    url = value;
}
