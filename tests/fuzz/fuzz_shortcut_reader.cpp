// The Internet-shortcut reader over any bytes: it reads no further than the
// stream and never gives more than 259 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include "view/ShortcutReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string url = "\x01untouched";
    ShortcutReader::Read(in, url);
    if (url != "\x01untouched" && url.size() > ShortcutReader::kMaxUrl)
        std::abort();
    if (url != "\x01untouched" && url.find('\n') != std::string::npos)
        std::abort();
    return 0;
}
