#include "FileNameRule.h"
#include <cstring>
#include "Mbcs.h"
#include "UrlSplitter.h"

std::string FileNameRule::FromURL(const char* url)
{
    DWORD service;
    std::string server, object;
    WORD port;
    AfxParseURL(url, service, server, object, port);

    std::string buf = object.substr(0, 2048);

    // Find the last two "/" that start a character: a backward scan in a
    // double-byte code page has to know where characters begin, so walk
    // forwards and remember them.
    size_t last = std::string::npos, before = std::string::npos;
    const char* const begin = buf.data();
    const char* const end = begin + buf.size();
    for (const char* p = begin; p < end; p += MbcsCharLength(p, end)) {
        if (*p == '/') {
            before = last;
            last = p - begin;
        }
    }

    std::string name;
    if (last == std::string::npos) {
        name = buf;
    } else if (before == std::string::npos) {
        name = buf.substr(last + 1);
    } else {
        buf[last] = '\\';
        name = buf.substr(before + 1);
    }
    if (name.size() >= 3 && name[0] == '%' && name[1] == '7' && (name[2] == 'e' || name[2] == 'E'))
        name.erase(0, 3);

    // Characters no Windows file name may hold (a query's "?" above all)
    // become "_", so that such a URL can be saved at all. A colon is left
    // for the download to refuse.
    char* const nameEnd = &name[0] + name.size();
    for (char* p = &name[0]; p < nameEnd; p += MbcsCharLength(p, nameEnd)) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("?*\"<>|", c))
            *p = '_';
    }
    return name;
}
