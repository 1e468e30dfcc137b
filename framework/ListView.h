#pragma once
#include "ListCtrl.h"
#include "View.h"

// A view that is itself a list-view control.
class CListView : public CView {
public:
    CListCtrl GetListCtrl() const { return CListCtrl(m_hWnd); }

protected:
    void PreCreateWindow(CREATESTRUCTA& cs) override;
};
