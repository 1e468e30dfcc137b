#pragma once
#include "Wnd.h"

class CDocument;

// A child window of a frame that shows a document. Views delete
// themselves when their window is gone.
class CView : public CWnd {
public:
    CDocument* GetDocument() const { return m_pDocument; }

    // Creates the window as the frame's client.
    bool Create(HWND parent, UINT id);
    virtual void OnInitialUpdate() {}

    CDocument* m_pDocument = nullptr;

protected:
    // Sets class and styles before the window is created.
    virtual void PreCreateWindow(CREATESTRUCTA& cs);
    void PostNcDestroy() override;
};
