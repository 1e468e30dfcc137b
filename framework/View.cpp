#include "View.h"
#include "Document.h"

namespace {
const char kViewClass[] = "KestrinView";
}

bool CView::Create(HWND parent, UINT id)
{
    CREATESTRUCTA cs{};
    cs.style = WS_CHILD | WS_VISIBLE | WS_BORDER;
    cs.lpszClass = kViewClass;
    PreCreateWindow(cs);
    if (cs.lpszClass == kViewClass)
        RegisterClass(kViewClass, CS_DBLCLKS, nullptr, nullptr,
                      reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    return CreateEx(cs.dwExStyle, cs.lpszClass, "", cs.style, 0, 0, 0, 0, parent,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

void CView::PreCreateWindow(CREATESTRUCTA&)
{
}

void CView::PostNcDestroy()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
    delete this;
}
