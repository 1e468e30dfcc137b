#pragma once

// Runs `fn` and swallows any exception: nothing may unwind through the
// system's callbacks. Returns false when an exception was caught.
template <typename Fn>
bool CallGuarded(Fn&& fn)
{
    try {
        fn();
        return true;
    } catch (...) {
        return false;
    }
}
