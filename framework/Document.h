#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CmdTarget.h"

class CView;
class CFrameWnd;
class CSingleDocTemplate;

// The data a program works on, shown by one or more views. A document
// file is read whole and handed to LoadContents; SaveContents gives the
// bytes to write.
class CDocument : public CCmdTarget {
public:
    CDocument() = default;
    ~CDocument() override = default;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    // The name and the changes mark show in the frames' captions: each
    // change is passed on to them at once.
    void SetModifiedFlag(bool modified = true);
    bool IsModified() const { return m_bModified; }
    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& path);

    void AddView(CView* view);
    void RemoveView(CView* view);
    CView* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }

    virtual BOOL OnNewDocument();
    virtual BOOL OnOpenDocument(const char* path);
    virtual BOOL OnSaveDocument(const char* path);
    // Destroys the views' frames, empties the document and deletes it.
    virtual void OnCloseDocument();
    virtual void DeleteContents() {}
    // Whether the frame may close; by default asks to save changes.
    virtual BOOL CanCloseFrame(CFrameWnd* frame);
    // Offers to save a modified document; false when the user cancelled.
    virtual BOOL SaveModified();

    // Files larger than this are refused before they are read.
    static constexpr DWORD kMaxFileSize = 64u * 1024 * 1024;

    bool OnCmdMsg(UINT id) override;
    bool OnUpdateCmdUI(CCmdUI& ui) override;

    CSingleDocTemplate* m_pDocTemplate = nullptr;

protected:
    // Takes the bytes of a document file. Returns false, changing nothing,
    // when they are not acceptable (the document has told the user why).
    virtual bool LoadContents(const std::string& data) { (void)data; return true; }
    virtual std::string SaveContents() const { return std::string(); }

    // Saves to `path`, or asks for a name first when it is empty.
    bool DoSave(const std::string& path);
    // Saves to `path` without a word to the user, whatever happens; the
    // document takes the name.
    bool SaveQuietly(const std::string& path);
    // Tells the frames of the views that the name or the mark changed.
    void UpdateFrameTitles() const;

private:
    void OnFileSave();
    void OnFileSaveAs();

    static const CCommandEntry<CDocument> s_commands[];

    std::vector<CView*> m_views;
    std::string m_strPathName;
    bool m_bModified = false;
};

// Reads a whole file of at most `limit` bytes. `tooLarge` tells a refusal
// for size apart from a file that could not be read.
bool ReadWholeFile(const char* path, DWORD limit, std::string& data, bool& tooLarge);
// Writes a file through a temporary beside it, so that a failed write
// leaves the earlier file as it was.
bool WriteWholeFile(const char* path, const std::string& data);
