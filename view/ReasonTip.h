#pragma once
#include <windows.h>
#include <functional>
#include <string>

// The tip that tells why a row failed when the pointer rests on it: the
// full URL first when the row cuts it short, then the reason. The list
// shows it itself (a tooltip it places and times), so that it looks and
// behaves the same on every system, whatever the list control offers.
class CReasonTip {
public:
    CReasonTip() = default;
    ~CReasonTip();
    CReasonTip(const CReasonTip&) = delete;
    CReasonTip& operator=(const CReasonTip&) = delete;

    // The tip's text: `cutURL` (empty when the row shows its URL whole),
    // then `reason` on a line of its own.
    static std::string Text(const std::string& cutURL, const std::string& reason);

    // Makes the tooltip window for `list`, whose rows' tips `textOf` gives
    // (empty for a row without one); Destroy takes it away with it.
    bool Create(HWND list, std::function<std::string(int row)> textOf);
    void Destroy();
    // A message of the list: the pointer moves, rests or leaves, the list
    // scrolls or loses the focus. Never takes the message from the list.
    void OnListMessage(UINT msg, LPARAM lp);
    // The row under `point` (client coordinates of the list), or -1.
    int RowAt(POINT point) const;
    // The pointer is over `row` (-1: no row); `hasTip` when that row has a
    // reason. The tip goes when the pointer leaves the row it was shown for;
    // the list is asked to say when the pointer rests.
    void OnMouseMove(int row, bool hasTip);
    // The pointer rests at `screen` over the row last given: shows `text`.
    void Show(const std::string& text, POINT screen);
    void Hide();
    bool IsShown() const { return m_bShown; }
    // The row the tip is about, or -1.
    int Row() const { return m_nRow; }
    // The text shown now (empty while hidden).
    const std::string& ShownText() const { return m_strShown; }
    HWND GetSafeHwnd() const { return m_hTip; }

private:
    HWND m_hList = nullptr;
    std::function<std::string(int row)> m_textOf;
    HWND m_hTip = nullptr;
    int m_nRow = -1;
    bool m_bShown = false;
    std::string m_strShown;
};
