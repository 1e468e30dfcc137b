#include "DirectoryDialog.h"
#include "../app/SharedSettings.h"

CDirectoryDialog::CDirectoryDialog(HWND parent)
    : CFileDialog(true, nullptr, "Directory",
                  OFN_EXPLORER | OFN_NOVALIDATE | OFN_HIDEREADONLY, nullptr, parent)
{
    m_strTitle = g_settings.m_strFolderDialogTitle;
}

std::string CDirectoryDialog::GetFolder() const
{
    // Worked out from the returned path rather than from the current
    // directory, which not every version of the dialog moves.
    const std::string path = GetPathName();
    const DWORD attr = ::GetFileAttributesA(path.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
        return path;
    const size_t nameOffset = m_ofn.nFileOffset;
    if (nameOffset == 0 || nameOffset > path.size())
        return path;
    std::string folder = path.substr(0, nameOffset);
    // Keep "C:\" whole; drop the separator of any deeper folder.
    if (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}
