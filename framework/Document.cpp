#include "Document.h"
#include <algorithm>
#include "CmdUI.h"
#include "DocTemplate.h"
#include "FileDialog.h"
#include "FrameWnd.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include "View.h"
#include "WinApp.h"

void CDocument::SetModifiedFlag(bool modified)
{
    if (modified == m_bModified)
        return;
    m_bModified = modified;
    UpdateFrameTitles();
}

void CDocument::SetPathName(const std::string& path)
{
    if (path == m_strPathName)
        return;
    m_strPathName = path;
    UpdateFrameTitles();
}

void CDocument::UpdateFrameTitles() const
{
    for (CView* view : m_views) {
        HWND root = view->m_hWnd ? ::GetAncestor(view->m_hWnd, GA_ROOT) : nullptr;
        if (auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(root)))
            frame->OnUpdateFrameTitle();
    }
}

void CDocument::AddView(CView* view)
{
    m_views.push_back(view);
}

void CDocument::RemoveView(CView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

BOOL CDocument::OnNewDocument()
{
    DeleteContents();
    SetPathName(std::string());
    SetModifiedFlag(false);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(const char* path)
{
    std::string data;
    bool tooLarge = false;
    if (!ReadWholeFile(path, kMaxFileSize, data, tooLarge)) {
        AfxMessageBox(tooLarge ? AFX_IDP_FILE_TOO_LARGE : AFX_IDP_FAILED_TO_OPEN_DOC,
                      MB_ICONEXCLAMATION | MB_OK);
        return FALSE;
    }
    if (!LoadContents(data))
        return FALSE;
    SetModifiedFlag(false);
    return TRUE;
}

BOOL CDocument::OnSaveDocument(const char* path)
{
    if (!WriteWholeFile(path, SaveContents())) {
        AfxMessageBox(AFX_IDP_FAILED_TO_SAVE_DOC, MB_ICONEXCLAMATION | MB_OK);
        return FALSE;
    }
    SetModifiedFlag(false);
    return TRUE;
}

void CDocument::OnCloseDocument()
{
    // Destroying the frames destroys the views, which leave this document.
    while (!m_views.empty()) {
        CView* view = m_views.back();
        HWND frame = ::GetAncestor(view->m_hWnd, GA_ROOT);
        if (frame)
            ::DestroyWindow(frame);
        RemoveView(view);
    }
    DeleteContents();
    if (m_pDocTemplate)
        m_pDocTemplate->RemoveDocument(this);
    delete this;
}

BOOL CDocument::CanCloseFrame(CFrameWnd*)
{
    return SaveModified();
}

BOOL CDocument::SaveModified()
{
    if (!IsModified())
        return TRUE;
    switch (AfxMessageBox(AFX_IDP_ASK_TO_SAVE, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return FALSE;
    case IDYES:
        return DoSave(m_strPathName);
    default:
        return TRUE;
    }
}

bool CDocument::DoSave(const std::string& path)
{
    std::string target = path;
    if (target.empty()) {
        std::string filter, ext;
        if (m_pDocTemplate) {
            filter = m_pDocTemplate->GetFileFilter();
            ext = m_pDocTemplate->GetDocString(CSingleDocTemplate::filterExt);
        }
        if (!ext.empty() && ext[0] == '.')
            ext.erase(0, 1);
        CFileDialog dlg(false, ext.c_str(), nullptr,
                        OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                        filter.c_str(), AfxGetMainWndHandle());
        if (dlg.DoModal() != IDOK)
            return false;
        target = dlg.GetPathName();
    }
    if (!OnSaveDocument(target.c_str()))
        return false;
    SetPathName(target);
    AfxGetApp()->AddToRecentFileList(target);
    return true;
}

bool CDocument::SaveQuietly(const std::string& path)
{
    if (!WriteWholeFile(path.c_str(), SaveContents()))
        return false;
    SetModifiedFlag(false);
    SetPathName(path);
    AfxGetApp()->AddToRecentFileList(path);
    return true;
}

const CCommandEntry<CDocument> CDocument::s_commands[] = {
    {ID_FILE_SAVE, &CDocument::OnFileSave, nullptr, nullptr},
    {ID_FILE_SAVE_AS, &CDocument::OnFileSaveAs, nullptr, nullptr},
};

void CDocument::OnFileSave()
{
    DoSave(m_strPathName);
}

void CDocument::OnFileSaveAs()
{
    DoSave(std::string());
}

bool CDocument::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id);
}

bool CDocument::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui);
}

bool ReadWholeFile(const char* path, DWORD limit, std::string& data, bool& tooLarge)
{
    tooLarge = false;
    HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    const DWORD size = ::GetFileSize(file, &high);
    bool ok = false;
    if (size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
        ok = false;
    } else if (high != 0 || size > limit) {
        tooLarge = true;
    } else {
        data.assign(size, '\0');
        DWORD got = 0;
        ok = size == 0 || (::ReadFile(file, &data[0], size, &got, nullptr) && got == size);
    }
    ::CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const char* path, const std::string& data)
{
    const std::string temp = std::string(path) + ".tmp~";
    HANDLE file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = data.empty() ||
        (::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr)
         && written == data.size());
    ok = ::CloseHandle(file) && ok;
    if (ok)
        ok = ::MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok)
        ::DeleteFileA(temp.c_str());
    return ok;
}
