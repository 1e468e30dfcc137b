#pragma once
#include <windows.h>
#include <commctrl.h>

class CKestrinDoc;

// The list's searches, answered from the document (the rows keep no data
// of their own): by item (LVM_FINDITEM with LVFI_PARAM) and by the start
// of a URL, as typing in the list does.
class RowFinder {
public:
    // The row an LVN_ODFINDITEM notification asks for, or -1.
    static int Answer(const CKestrinDoc& doc, const NMHDR* hdr);
    // The row at or after `start` whose URL begins with `text` (any case),
    // going round to the top when `wrap`; -1 when none.
    static int FindByPrefix(const CKestrinDoc& doc, const char* text, int start, bool wrap);
};
