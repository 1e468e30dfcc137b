#pragma once
#include <windows.h>
#include <ole2.h>
#include "OleDataObject.h"

class CView;

// Makes a view a drop target: the system's drag calls go to the view's
// OnDragEnter, OnDragOver, OnDragLeave and OnDrop. The effect the view
// asks for is kept within what the source allows.
class COleDropTarget : public IDropTarget {
public:
    COleDropTarget() = default;
    virtual ~COleDropTarget() { Revoke(); }
    COleDropTarget(const COleDropTarget&) = delete;
    COleDropTarget& operator=(const COleDropTarget&) = delete;

    bool Register(CView* view);
    void Revoke();

    // The effect to report: `wanted` if the source allows it. Otherwise,
    // for a plain drop (no key held), the first the source allows of copy,
    // move and link; with a key held, none: the user asked for that effect
    // and gets no other.
    static DWORD LimitEffect(DWORD wanted, DWORD allowed, DWORD keys = 0);

    // IUnknown: the object lives as long as its view.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

private:
    POINT ClientPoint(POINTL pt) const;

    CView* m_pView = nullptr;
    HWND m_hWnd = nullptr;
    COleDataObject m_data;
};
