#include "OleDropTarget.h"
#include "CallGuarded.h"
#include "View.h"

bool COleDropTarget::Register(CView* view)
{
    m_pView = view;
    if (FAILED(::RegisterDragDrop(view->m_hWnd, this)))
        return false;   // nothing of ours to revoke later
    m_hWnd = view->m_hWnd;
    return true;
}

void COleDropTarget::Revoke()
{
    if (m_hWnd) {
        ::RevokeDragDrop(m_hWnd);
        m_hWnd = nullptr;
    }
    m_data.Release();
}

DWORD COleDropTarget::LimitEffect(DWORD wanted, DWORD allowed, DWORD keys)
{
    if (wanted == DROPEFFECT_NONE || (wanted & allowed))
        return wanted & (allowed | DROPEFFECT_SCROLL);
    if (keys & (MK_CONTROL | MK_SHIFT | MK_ALT))
        return DROPEFFECT_NONE;
    for (DWORD e : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK})
        if (allowed & e)
            return e;
    return DROPEFFECT_NONE;
}

POINT COleDropTarget::ClientPoint(POINTL pt) const
{
    POINT p = {pt.x, pt.y};
    ::ScreenToClient(m_hWnd, &p);
    return p;
}

STDMETHODIMP COleDropTarget::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP COleDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect)
{
    m_data.Attach(data);
    DWORD wanted = DROPEFFECT_NONE;
    CallGuarded([&] { wanted = m_pView->OnDragEnter(&m_data, keys, ClientPoint(pt)); });
    *effect = LimitEffect(wanted, *effect, keys);
    return S_OK;
}

STDMETHODIMP COleDropTarget::DragOver(DWORD keys, POINTL pt, DWORD* effect)
{
    DWORD wanted = DROPEFFECT_NONE;
    CallGuarded([&] { wanted = m_pView->OnDragOver(&m_data, keys, ClientPoint(pt)); });
    *effect = LimitEffect(wanted, *effect, keys);
    return S_OK;
}

STDMETHODIMP COleDropTarget::DragLeave()
{
    CallGuarded([&] { m_pView->OnDragLeave(); });
    m_data.Release();
    return S_OK;
}

STDMETHODIMP COleDropTarget::Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect)
{
    m_data.Attach(data);
    DWORD result = DROPEFFECT_NONE;
    CallGuarded([&] {
        const POINT point = ClientPoint(pt);
        const DWORD wanted = LimitEffect(m_pView->OnDragOver(&m_data, keys, point), *effect, keys);
        if (wanted != DROPEFFECT_NONE && m_pView->OnDrop(&m_data, wanted, point))
            result = wanted;
        else
            m_pView->OnDragLeave();
    });
    *effect = result;
    m_data.Release();
    return S_OK;
}
