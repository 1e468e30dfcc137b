#include "CommandLineInfo.h"

void CCommandLineInfo::Parse(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg.empty() || arg[0] == '/' || arg[0] == '-')
            continue;   // switches of the shell (/dde and such) need nothing
        if (m_nShellCommand == FileNew) {
            m_nShellCommand = FileOpen;
            m_strFileName = arg;
        }
    }
}
