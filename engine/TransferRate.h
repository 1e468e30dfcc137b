#pragma once
#include <windows.h>
#include <deque>

// How fast one transfer goes: the bytes received over the last few
// seconds, as a moving average, and what that makes of the time left.
// Samples come with the tick they were taken at, so a test drives it
// with any clock.
class TransferRate {
public:
    explicit TransferRate(DWORD windowMs = 4000, DWORD leastMs = 1000);

    // Forgets every sample: a new transfer begins.
    void Reset();
    // `bytes` had arrived in all by `tick`. A count lower than the last
    // one (the transfer started over) begins the average again.
    void Add(DWORD tick, long long bytes);
    // Bytes a second over the samples of the window; -1 while they span
    // less than the least time.
    double BytesPerSecond() const;
    // Milliseconds for `remaining` more bytes at that speed; -1 when no
    // speed is known or nothing moves.
    long long MsLeft(long long remaining) const;

private:
    struct Sample {
        DWORD tick;
        long long bytes;
    };
    std::deque<Sample> m_samples;
    DWORD m_windowMs;
    DWORD m_leastMs;
};
