#pragma once
#include "Wnd.h"

// Where a control bar sits in its frame.
#define CBRS_ALIGN_TOP      0x1000u
#define CBRS_ALIGN_BOTTOM   0x4000u

// A bar along an edge of a frame (toolbar, status bar, dialog bar).
class CControlBar : public CWnd {
public:
    // The size the bar wants when `width` pixels are free.
    virtual SIZE CalcFixedLayout(int width) = 0;

    DWORD m_dwStyle = CBRS_ALIGN_TOP;
    bool m_bSameRow = false;   // shares the row of the top bar before it
    bool m_bStretch = false;   // takes the rest of its row
};
