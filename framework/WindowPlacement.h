#pragma once
#include <windows.h>

// Where a window opens relative to another: centred on it (message boxes
// and modal dialogs on the main window), or beside it (the windows that
// follow a schedule), always inside the work area of the other's screen.
class WindowPlacement {
public:
    // The top-left corner that centres a window of `size` on `over`,
    // moved inside `work` as far as it fits.
    static POINT CenteredOn(const RECT& over, SIZE size, const RECT& work);
    // The top-left corner of a window of `size` beside `owner`: to its
    // right, else to its left, else below, else above, top edges (or left
    // edges) aligned; when none fits, over the owner at its lower right
    // inside the work area, never over the owner's caption, menu and top
    // bars (`ownerTopBand` pixels from its top).
    // With `belowFirst`, below is tried first, then right, left, above.
    static POINT Beside(const RECT& owner, SIZE size, const RECT& work, int ownerTopBand,
                        bool belowFirst = false);
    // Moves `inside` into `work` as far as it fits.
    static POINT Clamp(POINT corner, SIZE size, const RECT& work);

    // The work area of the screen `wnd` is on (the primary one without it).
    static RECT WorkAreaOf(HWND wnd);
    // Centres `wnd` on `over`, unless `over` is hidden or minimised.
    static void CenterWindow(HWND wnd, HWND over);
    // Puts `wnd` beside `owner` (see Beside), unless `owner` is hidden or
    // minimised.
    static void PlaceBeside(HWND wnd, HWND owner, bool belowFirst = false);
    // How far down from the top of `frame` its caption, menu and top bars
    // reach: what a window placed beside it must leave in sight.
    static int TopBandOf(HWND frame);
};
