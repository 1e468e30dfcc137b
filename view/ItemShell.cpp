#include "ItemShell.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <vector>
#include "../app/resource.h"
#include "../engine/FailureText.h"
#include "../framework/MessageBox.h"
#include "../model/Mbcs.h"
#include "../model/URLItem.h"

namespace {

// Extensions the shell runs or installs rather than shows.
const char* const kRiskyExtensions[] = {
    ".exe", ".com", ".bat", ".cmd", ".scr", ".pif", ".cpl", ".msi", ".msp", ".msc",
    ".vbs", ".vbe", ".js", ".jse", ".wsf", ".wsh", ".hta", ".jar", ".ps1", ".reg",
    ".inf", ".lnk", ".url", ".scf", ".application", ".gadget",
};

using AssocIsDangerousFn = BOOL(WINAPI*)(LPCWSTR);

} // namespace

std::string ItemShell::FilePath(const URLItem& item, const std::string& folder)
{
    std::string path = item.m_strFileName;
    if (::PathIsRelativeA(path.c_str()) && !folder.empty())
        path = folder + "\\" + path;
    char full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : path;
}

std::string ItemShell::ExistingFolder(const std::string& path)
{
    // The separators of the path, whole characters only: a double-byte
    // character's second byte may be a backslash.
    std::vector<size_t> cuts;
    const char* const begin = path.c_str();
    const char* const end = begin + path.size();
    for (const char* p = begin; p < end; p += MbcsCharLength(p, end))
        if (*p == '\\' || *p == '/')
            cuts.push_back(static_cast<size_t>(p - begin));
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
        std::string folder = path.substr(0, *it);
        if (folder.size() == 2 && folder[1] == ':')
            folder += '\\';   // "C:" alone is the drive's current folder
        if (folder.empty())
            continue;
        const DWORD attrs = ::GetFileAttributesA(folder.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
            return folder;
    }
    return std::string();
}

bool ItemShell::IsRisky(const std::string& path)
{
    const char* ext = ::PathFindExtensionA(path.c_str());
    if (!*ext)
        return false;
    for (const char* risky : kRiskyExtensions)
        if (::lstrcmpiA(ext, risky) == 0)
            return true;
    // The system's own list (Windows XP SP2 and later) knows more.
    if (HMODULE shlwapi = ::GetModuleHandleA("shlwapi.dll")) {
        auto isDangerous = reinterpret_cast<AssocIsDangerousFn>(
            reinterpret_cast<void*>(::GetProcAddress(shlwapi, "AssocIsDangerous")));
        if (isDangerous) {
            wchar_t wide[64] = L"";
            if (::MultiByteToWideChar(CP_ACP, 0, ext, -1, wide, 64) > 0 && isDangerous(wide))
                return true;
        }
    }
    return false;
}

std::string ItemShell::SelectParameters(const std::string& path)
{
    return "/select,\"" + path + "\"";
}

bool ItemShell::Open(HWND owner, const std::string& path)
{
    const DWORD attrs = ::GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        AfxMessageBox(FormatStringId(IDS_OPEN_FAILED, {path}).c_str(), MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    // A downloaded program runs only when the user means it; No is the
    // default answer.
    if (IsRisky(path) &&
        AfxMessageBox(FormatStringId(IDS_OPEN_RISKY, {path}).c_str(),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return false;
    const std::string folder = ExistingFolder(path);
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(owner, nullptr, path.c_str(), nullptr, folder.empty() ? nullptr : folder.c_str(),
                        SW_SHOWNORMAL));
    if (result <= 32) {
        AfxMessageBox(FormatStringId(IDS_OPEN_FAILED, {path}).c_str(), MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    return true;
}

bool ItemShell::ShowInFolder(HWND owner, const std::string& path)
{
    const DWORD attrs = ::GetFileAttributesA(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::string params = SelectParameters(path);
        return reinterpret_cast<INT_PTR>(::ShellExecuteA(owner, "open", "explorer.exe", params.c_str(),
                                                         nullptr, SW_SHOWNORMAL)) > 32;
    }
    // Not downloaded (yet): the folder it goes to, or the nearest above.
    const std::string folder = ExistingFolder(path);
    if (folder.empty())
        return false;
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(owner, "explore", folder.c_str(), nullptr, folder.c_str(),
                                                     SW_SHOWNORMAL)) > 32;
}
