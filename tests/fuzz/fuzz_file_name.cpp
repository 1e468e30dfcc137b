// The file-name rule over any URL text: a name without the characters no
// file name may hold, never longer than what it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "model/FileNameRule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    const std::string name = FileNameRule::FromURL(url.c_str());
    if (name.size() > 2048)
        std::abort();
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != 0)
            std::abort();
    }
    return 0;
}
