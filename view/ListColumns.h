#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include "../framework/ListCtrl.h"

class URLItem;

// The columns of the download list: what each shows of an item, their
// titles and widths from the settings, and the URL column, which takes
// the width the window gives it: the others keep the widths the user
// gave them.
class ListColumns {
public:
    enum Column { URL = 0, STATE, FILE, REASON, COUNT };
    // The URL column never gets narrower than this, however small the
    // window: the list scrolls sideways instead.
    static constexpr int kMinUrlWidth = 80;

    // The text `column` shows of `item`: its URL, state label, file, and
    // why it failed or that it was cancelled (nothing otherwise). Null for
    // no such column.
    static const std::string* CellText(const URLItem& item, int column);
    // The URL column's width in a list `clientWidth` pixels wide whose
    // other columns take `others` pixels: the rest, at least kMinUrlWidth.
    static int UrlWidth(int clientWidth, int others);

    // The width that shows the state column's title and every state label
    // whole in the list's font.
    static int StateWidth(CListCtrl list);
    // Inserts the columns with the settings' titles and widths; the state
    // column at least StateWidth wide.
    static void Insert(CListCtrl list);
    // Keeps the widths in the settings, which go to the registry at exit.
    static void Store(CListCtrl list);
    // Gives the URL column the room the others leave; true when it changed.
    static bool FitUrlColumn(CListCtrl list);

    // Copies a cell's text into the control's buffer, cut to whole
    // characters when it is too long (never half a double-byte one).
    static void CopyText(const std::string* text, LVITEMA& item);
    static void CopyText(const std::string* text, LVITEMW& item);

    // Keeps the URL column of the list `list` fitted: `fitMessage` is
    // posted to the list when a drag of an edge ends, and the list is to
    // call Fit for it.
    void Attach(HWND list, UINT fitMessage);
    void Fit();
    // A note of the list's header: the URL column's edge is the window's
    // (its drag and double-click are refused), and a change of the others
    // gives it the room they leave, once a drag is over (so that the edge
    // under the pointer does not move away from it). `byDefault` runs the
    // list's own handling. True when handled, with the answer in `result`.
    bool OnHeaderNotify(NMHDR* hdr, LRESULT& result, const std::function<LRESULT()>& byDefault);

private:
    HWND m_hList = nullptr;
    UINT m_nFitMessage = 0;
    bool m_bFitting = false;
    bool m_bTracking = false;
};
