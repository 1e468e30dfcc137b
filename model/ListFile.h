#pragma once
#include <string>
#include <vector>

// The text of a list file: one URL per line.
class ListFile {
public:
    // The non-blank lines of `data`, in order, each without its line end
    // (LF or CR LF). False, with no lines, when `data` is not text: it holds
    // control bytes other than tab, CR and LF.
    static bool Lines(const std::string& data, std::vector<std::string>& lines);
};
