#include "ListView.h"

namespace {
const char kListViewClass[] = "KestrinListView";
}

void CListView::PreCreateWindow(CREATESTRUCTA& cs)
{
    RegisterSuperclass(kListViewClass, WC_LISTVIEWA);
    cs.lpszClass = kListViewClass;
}
