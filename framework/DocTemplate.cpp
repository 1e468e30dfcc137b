#include "DocTemplate.h"
#include "Document.h"
#include "FrameWnd.h"
#include "FrameworkIds.h"
#include "MessageBox.h"
#include "View.h"
#include "WinApp.h"

CSingleDocTemplate::CSingleDocTemplate(UINT resourceId, NewDocument newDoc,
                                       NewFrame newFrame, NewView newView)
    : m_nIDResource(resourceId), m_newDoc(newDoc), m_newFrame(newFrame), m_newView(newView)
{
    m_strDocStrings = AfxLoadString(resourceId);
}

std::string CSingleDocTemplate::GetDocString(DocStringIndex index) const
{
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = m_strDocStrings.find('\n', start);
        if (start == std::string::npos)
            return std::string();
        ++start;
    }
    size_t end = m_strDocStrings.find('\n', start);
    return m_strDocStrings.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string CSingleDocTemplate::GetFileFilter() const
{
    std::string ext = GetDocString(filterExt);
    std::string filter;
    if (!ext.empty())
        filter = GetDocString(filterName) + "|*" + ext + "|";
    return filter + AfxLoadString(AFX_IDS_ALLFILTER) + "|*.*||";
}

void CSingleDocTemplate::RemoveDocument(CDocument* doc)
{
    if (m_pOnlyDoc == doc)
        m_pOnlyDoc = nullptr;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* path)
{
    CDocument* doc = m_pOnlyDoc;
    bool created = false;
    if (!doc) {
        doc = m_newDoc();
        doc->m_pDocTemplate = this;
        m_pOnlyDoc = doc;
        CFrameWnd* frame = m_newFrame();
        if (!frame->LoadFrame(m_nIDResource, doc, m_newView)) {
            delete frame;   // a frame whose creation failed is still ours
            m_pOnlyDoc = nullptr;
            delete doc;
            return nullptr;
        }
        created = true;
    } else if (!doc->SaveModified()) {
        return nullptr;
    }

    // The full path: the current directory moves (it is the download
    // folder), and a later save must go where the list came from.
    std::string full;
    if (path) {
        char buf[MAX_PATH * 2];
        const DWORD n = ::GetFullPathNameA(path, sizeof buf, buf, nullptr);
        full = n > 0 && n < sizeof buf ? std::string(buf) : std::string(path);
    }
    const BOOL ok = path ? doc->OnOpenDocument(full.c_str()) : doc->OnNewDocument();
    if (!ok) {
        if (created)
            doc->OnCloseDocument();
        return nullptr;
    }
    doc->SetPathName(full);
    if (path)
        AfxGetApp()->AddToRecentFileList(full);

    if (created) {
        auto* frame = static_cast<CFrameWnd*>(CWnd::FromHandle(AfxGetMainWndHandle()));
        if (frame)
            frame->InitialUpdateFrame(AfxGetApp()->m_nCmdShow);
    }
    return doc;
}
