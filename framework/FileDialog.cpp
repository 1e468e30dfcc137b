#include "FileDialog.h"
#include <cstring>

CFileDialog::CFileDialog(bool openFileDialog, const char* defaultExt, const char* fileName,
                         DWORD flags, const char* filter, HWND parent)
    : m_bOpenFileDialog(openFileDialog)
{
    if (fileName)
        std::strncpy(m_szFile, fileName, sizeof m_szFile - 1);
    if (filter && *filter) {
        m_strFilter = filter;
        for (char& c : m_strFilter)
            if (c == '|')
                c = '\0';
    }
    if (defaultExt)
        m_strDefExt = defaultExt;

    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent;
    m_ofn.lpstrFile = m_szFile;
    m_ofn.nMaxFile = sizeof m_szFile;
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal()
{
    m_ofn.lpstrFilter = m_strFilter.empty() ? nullptr : m_strFilter.c_str();
    m_ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
    m_ofn.lpstrTitle = m_strTitle.empty() ? nullptr : m_strTitle.c_str();
    // Browsing in the dialog must not move the process's current directory,
    // whether the user confirms or cancels: downloads and relative names
    // elsewhere depend on it. The flag asks the dialog; putting the folder
    // back here holds for dialogs that ignore it.
    m_ofn.Flags |= OFN_NOCHANGEDIR;
    char before[MAX_PATH] = "";
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, before);
    const BOOL ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    if (n > 0 && n < MAX_PATH)
        ::SetCurrentDirectoryA(before);
    return ok ? IDOK : IDCANCEL;
}
