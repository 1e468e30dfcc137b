#pragma once
// What the benchmark programs share: a clock, files per second by tenths
// of a batch, and samples of the process's memory and handles.
#include <windows.h>
#include <vector>

namespace bench {

class Stopwatch {
public:
    Stopwatch() { Restart(); }
    void Restart() { ::QueryPerformanceCounter(&m_start); }
    double Seconds() const;

private:
    LARGE_INTEGER m_start;
};

// Notes when each tenth of `total` items is done; prints the items per
// second of each tenth.
class Tenths {
public:
    explicit Tenths(int total);
    // `done` items are finished now.
    void Passed(int done);
    // Seconds from the start to the moment the last item was done (to
    // now while some are not).
    double Seconds() const { return m_times.size() == 10 ? m_times.back() : m_watch.Seconds(); }
    void Print(const char* who) const;

private:
    int m_nTotal;
    int m_nNext = 1;
    Stopwatch m_watch;
    std::vector<double> m_times;   // when tenth 1, 2, ... was done
};

// Resident memory and handles of this process at one moment.
struct ProcessSample {
    static ProcessSample Now();
    static void Print(const char* who, const ProcessSample& start, const ProcessSample& middle,
                      const ProcessSample& end);
    double residentMiB = 0;
    double privateMiB = 0;
    DWORD handles = 0;
};

} // namespace bench
