#include "RowFinder.h"
#include <cstring>
#include <string>
#include "../model/KestrinDoc.h"
#include "../model/URLItem.h"

int RowFinder::FindByPrefix(const CKestrinDoc& doc, const char* text, int start, bool wrap)
{
    const int count = doc.GetItemCount();
    const int length = static_cast<int>(std::strlen(text));
    if (count == 0)
        return -1;
    if (start < 0)
        start = 0;
    if (start >= count) {
        if (!wrap)
            return -1;
        start = 0;
    }
    const int steps = wrap ? count : count - start;
    for (int i = 0; i < steps; ++i) {
        const int row = (start + i) % count;
        const std::string& url = doc.GetItem(row)->m_strURL;
        if (static_cast<int>(url.size()) >= length &&
            ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, url.data(), length, text,
                             length) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

int RowFinder::Answer(const CKestrinDoc& doc, const NMHDR* hdr)
{
    const auto* find = reinterpret_cast<const NMLVFINDITEMA*>(hdr);
    if (find->lvfi.flags & LVFI_PARAM) {
        // Any value may be asked for: compared, never followed.
        for (int row = 0; row < doc.GetItemCount(); ++row)
            if (reinterpret_cast<LPARAM>(doc.GetItem(row)) == find->lvfi.lParam)
                return row;
        return -1;
    }
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)))
        return -1;
    std::string text;
    if (hdr->code == LVN_ODFINDITEMA) {
        if (find->lvfi.psz)
            text = find->lvfi.psz;
    } else {
        const wchar_t* wide = reinterpret_cast<const NMLVFINDITEMW*>(hdr)->lvfi.psz;
        const int n = wide ? ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr) : 0;
        if (n > 1) {
            text.assign(n, '\0');
            ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], n, nullptr, nullptr);
            text.resize(n - 1);
        }
    }
    if (text.empty())
        return -1;
    return FindByPrefix(doc, text.c_str(), find->iStart, (find->lvfi.flags & LVFI_WRAP) != 0);
}
