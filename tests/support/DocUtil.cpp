#include "DocUtil.h"
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

} // namespace test
