#pragma once
#include <ole2.h>
#include "Wnd.h"

class CDocument;
class COleDataObject;

// A child window of a frame that shows a document. Views delete
// themselves when their window is gone.
class CView : public CWnd {
public:
    CDocument* GetDocument() const { return m_pDocument; }

    // Creates the window as the frame's client.
    bool Create(HWND parent, UINT id);
    virtual void OnInitialUpdate() {}

    // Drops on a view registered with a COleDropTarget. The effects are
    // DROPEFFECT values; the point is in client coordinates.
    virtual DWORD OnDragEnter(COleDataObject* data, DWORD keys, POINT point)
        { (void)data; (void)keys; (void)point; return DROPEFFECT_NONE; }
    virtual DWORD OnDragOver(COleDataObject* data, DWORD keys, POINT point)
        { (void)data; (void)keys; (void)point; return DROPEFFECT_NONE; }
    virtual void OnDragLeave() {}
    virtual BOOL OnDrop(COleDataObject* data, DWORD effect, POINT point)
        { (void)data; (void)effect; (void)point; return FALSE; }

    CDocument* m_pDocument = nullptr;

protected:
    // Sets class and styles before the window is created.
    virtual void PreCreateWindow(CREATESTRUCTA& cs);
    void PostNcDestroy() override;
};
