#include "ListFile.h"

namespace {

// Text lines of a list file may hold tabs but no other control bytes.
bool IsListText(const std::string& data)
{
    for (char ch : data) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)
            return false;
    }
    return true;
}

bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

bool ListFile::Lines(const std::string& data, std::vector<std::string>& lines)
{
    lines.clear();
    if (!IsListText(data))
        return false;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!IsBlank(line))
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}
