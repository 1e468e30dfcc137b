// The URL splitter over any text: no read outside the text, and what it
// gives back is made of the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include "model/UrlSplitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    DWORD service = 0;
    std::string server, object;
    WORD port = 0;
    const BOOL ok = AfxParseURL(url.c_str(), service, server, object, port);
    if (ok && (object.empty() || object[0] != '/'))
        std::abort();   // an object part always begins with "/"
    if (!ok && (!server.empty() || !object.empty()))
        std::abort();
    if (server.size() > url.size() || object.size() > url.size() + 1)
        std::abort();
    return 0;
}
