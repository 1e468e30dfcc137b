// The list-file reader over any bytes: either refused, or URLs that every
// road into the list accepts, each found in the text, no more bytes in all
// than the text holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "model/ListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> urls;
    const bool ok = ListFile::Read(text, urls);
    if (!ok && !urls.empty())
        std::abort();
    size_t total = 0;
    for (const std::string& url : urls) {
        if (!ListFile::IsListableURL(url.c_str()) || text.find(url) == std::string::npos)
            std::abort();
        total += url.size();
    }
    if (total > size)
        std::abort();
    return 0;
}
