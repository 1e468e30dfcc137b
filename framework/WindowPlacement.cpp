#include "WindowPlacement.h"

namespace {

SIZE SizeOf(const RECT& rc)
{
    return {rc.right - rc.left, rc.bottom - rc.top};
}

bool Fits(POINT corner, SIZE size, const RECT& work)
{
    return corner.x >= work.left && corner.y >= work.top && corner.x + size.cx <= work.right &&
           corner.y + size.cy <= work.bottom;
}

bool Usable(HWND wnd)
{
    return wnd && ::IsWindowVisible(wnd) && !::IsIconic(wnd);
}

} // namespace

POINT WindowPlacement::Clamp(POINT corner, SIZE size, const RECT& work)
{
    if (corner.x + size.cx > work.right)
        corner.x = work.right - size.cx;
    if (corner.y + size.cy > work.bottom)
        corner.y = work.bottom - size.cy;
    if (corner.x < work.left)
        corner.x = work.left;
    if (corner.y < work.top)
        corner.y = work.top;
    return corner;
}

POINT WindowPlacement::CenteredOn(const RECT& over, SIZE size, const RECT& work)
{
    const POINT corner = {over.left + ((over.right - over.left) - size.cx) / 2,
                          over.top + ((over.bottom - over.top) - size.cy) / 2};
    return Clamp(corner, size, work);
}

POINT WindowPlacement::Beside(const RECT& owner, SIZE size, const RECT& work, int ownerTopBand,
                              bool belowFirst)
{
    // Aligned with the owner's top (or left) edge, moved into the work
    // area along that edge when the owner reaches past it.
    auto alongY = [&](LONG x) {
        POINT p = {x, owner.top};
        if (p.y + size.cy > work.bottom)
            p.y = work.bottom - size.cy;
        if (p.y < work.top)
            p.y = work.top;
        return p;
    };
    auto alongX = [&](LONG y) {
        POINT p = {owner.left, y};
        if (p.x + size.cx > work.right)
            p.x = work.right - size.cx;
        if (p.x < work.left)
            p.x = work.left;
        return p;
    };
    const POINT below = alongX(owner.bottom);
    const POINT tries[] = {
        belowFirst ? below : alongY(owner.right),
        belowFirst ? alongY(owner.right) : alongY(owner.left - size.cx),
        belowFirst ? alongY(owner.left - size.cx) : below,
        alongX(owner.top - size.cy),
    };
    for (const POINT& p : tries)
        if (Fits(p, size, work))
            return p;
    // Over the owner at its lower right, where the list's last rows are
    // (the first ones stay in sight), never over its menu and bars.
    POINT p = Clamp({owner.right - size.cx, owner.bottom - size.cy}, size, work);
    if (p.y < owner.top + ownerTopBand)
        p.y = owner.top + ownerTopBand;
    return p;
}

RECT WindowPlacement::WorkAreaOf(HWND wnd)
{
    RECT work{};
    HMONITOR monitor = ::MonitorFromWindow(wnd, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && ::GetMonitorInfoA(monitor, &info))
        return info.rcWork;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

void WindowPlacement::CenterWindow(HWND wnd, HWND over)
{
    if (!wnd || !Usable(over))
        return;
    RECT self, target;
    ::GetWindowRect(wnd, &self);
    ::GetWindowRect(over, &target);
    const POINT p = CenteredOn(target, SizeOf(self), WorkAreaOf(over));
    ::SetWindowPos(wnd, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int WindowPlacement::TopBandOf(HWND frame)
{
    // The client area's first child rows (bars) start at the client top;
    // the band reaches to the top of the lowest of the frame's children
    // that touch the client top, or just the caption and menu.
    RECT outer;
    ::GetWindowRect(frame, &outer);
    POINT clientTop = {0, 0};
    ::ClientToScreen(frame, &clientTop);
    LONG bottom = clientTop.y;
    // Rows of bars follow one another down from the client's top, in any
    // order among the children: go round until no bar adds to the band.
    for (bool grew = true; grew;) {
        grew = false;
        for (HWND child = ::GetWindow(frame, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (!::IsWindowVisible(child))
                continue;
            RECT rc;
            ::GetWindowRect(child, &rc);
            // A bar: starts where the band ends, no taller than a few rows
            // of text (the list below it is taller).
            if (rc.top <= bottom && rc.bottom > bottom && rc.bottom - rc.top < 80) {
                bottom = rc.bottom;
                grew = true;
            }
        }
    }
    return bottom - outer.top;
}

void WindowPlacement::PlaceBeside(HWND wnd, HWND owner, bool belowFirst)
{
    if (!wnd || !Usable(owner))
        return;
    RECT self, target;
    ::GetWindowRect(wnd, &self);
    ::GetWindowRect(owner, &target);
    const POINT p = Beside(target, SizeOf(self), WorkAreaOf(owner), TopBandOf(owner), belowFirst);
    ::SetWindowPos(wnd, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
