#pragma once
#include <windows.h>
#include <string>

class CDocument;
class CFrameWnd;
class CView;

// Creates the one document of a single-document program with its frame
// and view, all from resource id m_nIDResource (menu, accelerators, icon
// and the document string).
class CSingleDocTemplate {
public:
    using NewDocument = CDocument* (*)();
    using NewFrame = CFrameWnd* (*)();
    using NewView = CView* (*)();

    // Parts of the document string, in order, separated by line feeds.
    enum DocStringIndex { windowTitle, docName, fileNewName, filterName,
                          filterExt, regFileTypeId, regFileTypeName };

    CSingleDocTemplate(UINT resourceId, NewDocument newDoc, NewFrame newFrame, NewView newView);

    std::string GetDocString(DocStringIndex index) const;
    // The file-dialog filter: this type, then all files.
    std::string GetFileFilter() const;

    // Opens `path`, or makes a new empty document when it is null; the
    // first call creates the document, frame and view. Null on failure.
    CDocument* OpenDocumentFile(const char* path);

    CDocument* GetDocument() const { return m_pOnlyDoc; }
    void RemoveDocument(CDocument* doc);

    UINT m_nIDResource;

private:
    NewDocument m_newDoc;
    NewFrame m_newFrame;
    NewView m_newView;
    CDocument* m_pOnlyDoc = nullptr;
    std::string m_strDocStrings;
};
