#include "DocUtil.h"
#include <cstring>
#include "framework/OleDataSource.h"
#include "view/KestrinView.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"

namespace test {

std::vector<std::string> Urls(const CKestrinDoc& doc)
{
    std::vector<std::string> urls;
    for (int i = 0; i < doc.GetItemCount(); ++i)
        urls.push_back(doc.GetItem(i)->m_strURL);
    return urls;
}

void DropOnList(CLIPFORMAT cf, const std::string& bytes)
{
    auto* source = new COleDataSource;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    FORMATETC format = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    source->CacheGlobalData(cf, block, &format);
    CKestrinView* view = CKestrinDoc::GetDoc()->GetListView();
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(source, MK_LBUTTON, where, &effect);
    effect = DROPEFFECT_COPY;
    target->DragOver(MK_LBUTTON | MK_CONTROL, where, &effect);
    effect = DROPEFFECT_COPY;
    target->Drop(source, 0, where, &effect);
    source->Release();
}

} // namespace test
