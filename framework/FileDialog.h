#pragma once
#include <windows.h>
#include <commdlg.h>
#include <string>

// The system's open-file or save-file dialog. The filter is given as
// "name|pattern|name|pattern||". Running it leaves the process's current
// directory where it was.
class CFileDialog {
public:
    CFileDialog(bool openFileDialog, const char* defaultExt, const char* fileName,
                DWORD flags, const char* filter, HWND parent);
    virtual ~CFileDialog() = default;

    INT_PTR DoModal();
    // The full path the user confirmed.
    std::string GetPathName() const { return m_szFile; }

    OPENFILENAMEA m_ofn{};

protected:
    bool m_bOpenFileDialog;
    std::string m_strTitle;

private:
    char m_szFile[MAX_PATH] = "";
    std::string m_strFilter;
    std::string m_strDefExt;
};
