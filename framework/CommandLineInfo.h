#pragma once
#include <string>
#include <vector>

// What the command line asks for: a new empty document, or a file to open.
struct CCommandLineInfo {
    enum Command { FileNew, FileOpen };

    // Takes the arguments after the program name. The first one that is
    // not a switch (/x or -x) is the file to open.
    void Parse(const std::vector<std::string>& args);

    Command m_nShellCommand = FileNew;
    std::string m_strFileName;
};
