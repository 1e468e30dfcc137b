// The list-file reader over any bytes: either refused as not text, or
// lines without line ends or control bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "model/ListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    const bool ok = ListFile::Lines(text, lines);
    if (!ok && !lines.empty())
        std::abort();
    size_t total = 0;
    for (const std::string& line : lines) {
        if (line.empty() || line.find('\n') != std::string::npos)
            std::abort();
        total += line.size();
    }
    if (total > size)
        std::abort();
    return 0;
}
