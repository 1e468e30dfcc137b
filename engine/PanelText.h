#pragma once
#include <string>

// The texts a progress panel shows beside its sizes, from the string
// table: the speed ("1.5 MB/秒"), the time left ("残り 1:05") and the
// percentage ("45%").
class PanelText {
public:
    // A byte count in the unit that suits it: "512 B", "12.3 KB",
    // "250 KB", "1.50 MB", "2.00 GB". Three figures at most after the
    // first, so the text keeps its width as the number changes.
    static std::string Bytes(double bytes);
    // Empty while the speed is not known (negative).
    static std::string Speed(double bytesPerSecond);
    // Whole seconds, rounded up: "残り 0:07", "残り 12:30", "残り 1:02:03".
    // Empty when not known (negative).
    static std::string TimeLeft(long long ms);
    // Of a known size only: empty when `total` is not above 0 or more
    // came than it announced; never 100 before the last byte.
    static std::string Percent(long long done, long long total);
    // The whole percentage of `done` in `total`, as above; -1 for none.
    static int PercentOf(long long done, long long total);
};
