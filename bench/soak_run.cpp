// The soak's driver (scripts/soak.sh): starts the real program (a process
// of its own) with a list, runs `batches` batches over it one after
// another, and, with `closeLast`, closes the window at a random moment of
// the last one. Meanwhile it asks the main window every 10 ms whether it
// answers and keeps the longest wait, and samples the program's memory.
// After each whole batch it writes every row (URL, state, reason) to
// OUTDIR\batchN.tsv; its figures go to OUTDIR\driver.txt (key=value) and
// to the console. The server marks in its log where each batch begins and
// ends (/mark?name=...).
// Usage: soak_run LISTFILE FOLDER OUTDIR BASEURL RETRIES BATCHES CLOSELAST SEED
#include <windows.h>
#include <psapi.h>
#include <wininet.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
#include "BenchUtil.h"
#include "KestrinProcess.h"
#include "TestUtil.h"
#include "app/resource.h"

namespace {

double UnixNow()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<double>(t.QuadPart - 116444736000000000ULL) / 1e7;
}

// One GET of the soak server's own routes; its body.
std::string Get(const std::string& url)
{
    HINTERNET root = ::InternetOpenA("soak", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET h = ::InternetOpenUrlA(root, url.c_str(), nullptr, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    std::string body;
    char buf[256];
    DWORD n = 0;
    while (h && ::InternetReadFile(h, buf, sizeof buf, &n) && n > 0)
        body.append(buf, n);
    if (h)
        ::InternetCloseHandle(h);
    ::InternetCloseHandle(root);
    return body;
}

double ResidentMiB(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!::GetProcessMemoryInfo(process, &pmc, sizeof pmc))
        return -1;
    return static_cast<double>(pmc.WorkingSetSize) / (1024.0 * 1024.0);
}

// Asks the main window every 10 ms whether it answers; keeps the longest
// wait for an answer, per phase (a batch's number).
class Pinger {
public:
    explicit Pinger(HWND frame) : m_hFrame(frame)
    {
        ::InitializeCriticalSection(&m_lock);
        m_hStop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_hThread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Pinger()
    {
        Stop();
        ::CloseHandle(m_hStop);
        ::DeleteCriticalSection(&m_lock);
    }
    void Stop()
    {
        if (!m_hThread)
            return;
        ::SetEvent(m_hStop);
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    // Phase 0: the driver reads the list itself; its waits are not counted.
    void SetPhase(int phase, const char* what)
    {
        ::EnterCriticalSection(&m_lock);
        m_nPhase = phase;
        m_strWhat = what;
        m_phaseWatch = bench::Stopwatch();
        ::LeaveCriticalSection(&m_lock);
    }
    // The waits of 100 ms or more: when (phase, seconds into it) and how long.
    std::vector<std::string> LongWaits()
    {
        ::EnterCriticalSection(&m_lock);
        const std::vector<std::string> waits = m_waits;
        ::LeaveCriticalSection(&m_lock);
        return waits;
    }
    double Longest(int* phase = nullptr, long* over100 = nullptr, long* pings = nullptr)
    {
        ::EnterCriticalSection(&m_lock);
        const double longest = m_longest;
        if (phase)
            *phase = m_nLongestPhase;
        if (over100)
            *over100 = m_nOver100;
        if (pings)
            *pings = m_nPings;
        ::LeaveCriticalSection(&m_lock);
        return longest;
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        static_cast<Pinger*>(self)->Loop();
        return 0;
    }
    void Loop()
    {
        while (::WaitForSingleObject(m_hStop, 10) == WAIT_TIMEOUT) {
            bench::Stopwatch watch;
            DWORD_PTR result = 0;
            if (!::SendMessageTimeoutA(m_hFrame, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) &&
                !::IsWindow(m_hFrame))
                return;
            const double ms = watch.Seconds() * 1000.0;
            ::EnterCriticalSection(&m_lock);
            if (m_nPhase == 0) {
                ::LeaveCriticalSection(&m_lock);
                continue;
            }
            ++m_nPings;
            if (ms >= 100.0) {
                ++m_nOver100;
                char line[160];
                std::snprintf(line, sizeof line, "%.0f ms, batch %d, %s, %.1f s in", ms, m_nPhase,
                              m_strWhat.c_str(), m_phaseWatch.Seconds() - ms / 1000.0);
                if (m_waits.size() < 20)
                    m_waits.push_back(line);
            }
            if (ms > m_longest) {
                m_longest = ms;
                m_nLongestPhase = m_nPhase;
            }
            ::LeaveCriticalSection(&m_lock);
        }
    }

    HWND m_hFrame;
    HANDLE m_hThread = nullptr;
    HANDLE m_hStop = nullptr;
    CRITICAL_SECTION m_lock;
    int m_nPhase = 0;
    std::string m_strWhat;
    bench::Stopwatch m_phaseWatch;
    std::vector<std::string> m_waits;
    int m_nLongestPhase = 0;
    double m_longest = 0;
    long m_nOver100 = 0;
    long m_nPings = 0;
};

// Every row: URL, state and reason, tab-separated, in the code page.
bool WriteRows(const test::KestrinProcess& kestrin, const std::string& path)
{
    const std::vector<std::string> urls = kestrin.Column(0);
    const std::vector<std::string> states = kestrin.Column(1);
    const std::vector<std::string> reasons = kestrin.Column(3);
    std::string out;
    for (size_t i = 0; i < urls.size(); ++i) {
        out += urls[i] + "\t" + (i < states.size() ? states[i] : "") + "\t" +
               (i < reasons.size() ? reasons[i] : "") + "\n";
    }
    return test::WriteFileBytes(path, out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 9) {
        std::printf("usage: soak_run LISTFILE FOLDER OUTDIR BASEURL RETRIES BATCHES CLOSELAST SEED\n");
        return 2;
    }
    const std::string list = argv[1], folder = argv[2], outdir = argv[3], base = argv[4];
    const int retries = std::atoi(argv[5]);
    const int batches = std::atoi(argv[6]);
    const bool closeLast = std::atoi(argv[7]) != 0;
    std::mt19937 rng(static_cast<unsigned>(std::strtoul(argv[8], nullptr, 10)));
    std::string figures;
    auto figure = [&](const std::string& key, const std::string& value) {
        figures += key + "=" + value + "\n";
    };

    test::ResetRegistry();
    test::WriteRegString("Settings", "CurrentDirectory", folder);
    test::WriteRegDWord("Settings", "RetryCount", static_cast<DWORD>(retries));
    test::KestrinProcess kestrin;
    if (!kestrin.Start({list}, folder)) {
        std::printf("soak: Kestrin did not start\n");
        return 1;
    }
    const int rows = kestrin.RowCount();
    const std::string idle = kestrin.Caption();
    std::printf("soak: %d items, retries %d, %d batch(es)%s\n", rows, retries, batches,
                closeLast ? ", the window closed during the last" : "");
    figure("items", std::to_string(rows));
    Pinger pinger(kestrin.Frame());
    const double startMiB = ResidentMiB(kestrin.Handle());
    double middleMiB = startMiB, endMiB = startMiB;
    double firstBatchSeconds = 0;
    int status = 0;

    for (int b = 1; b <= batches; ++b) {
        const bool closing = closeLast && b == batches;
        pinger.SetPhase(b, "starting");
        Get(base + "/mark?name=batch" + std::to_string(b) + "-start");
        bench::Stopwatch watch;
        kestrin.Command(ID_BATCH_DOWNLOAD);
        if (!test::PumpUntil([&] { return kestrin.Caption() != idle; }, 30000)) {
            std::printf("soak: batch %d did not begin\n", b);
            status = 1;
            break;
        }
        pinger.SetPhase(b, "running");
        if (closing) {
            // A random moment of a batch as long as the first one was.
            const double longest = firstBatchSeconds > 2 ? firstBatchSeconds * 0.8 : 10;
            const DWORD wait = 500 + static_cast<DWORD>(rng() % static_cast<unsigned>(longest * 1000));
            test::PumpUntil([] { return false; }, wait);
            pinger.Stop();
            const bool stillRunning = kestrin.Caption() != idle;
            Get(base + "/mark?name=close");
            bench::Stopwatch closeWatch;
            kestrin.Close();
            const HWND frame = kestrin.Frame();
            test::PumpUntil([&] { return !::IsWindow(frame); }, 60000);
            const double gone = UnixNow();
            const double goneSeconds = closeWatch.Seconds();
            const bool ended = kestrin.WaitForExit(60000);
            const double exitSeconds = closeWatch.Seconds();
            const double into = watch.Seconds() - closeWatch.Seconds();
            std::printf("soak: closed %.1f s into batch %d (%s): window gone in %.3f s, process ended in %.3f s\n",
                        into, b, stillRunning ? "running" : "already ended", goneSeconds,
                        ended ? exitSeconds : -1.0);
            figure("close_into_batch_s", std::to_string(into));
            figure("close_batch_running", stillRunning ? "1" : "0");
            figure("window_gone_unix", std::to_string(gone));
            figure("window_gone_s", std::to_string(goneSeconds));
            figure("exit_s", ended ? std::to_string(exitSeconds) : "-1");
            if (!ended)
                status = 1;
            break;
        }
        const bool ended = test::PumpUntil([&] { return kestrin.Caption() == idle; }, 4 * 3600 * 1000);
        const double seconds = watch.Seconds();
        // What the window does once a batch has ended counts too; the
        // driver's own reading of every row after it does not.
        pinger.SetPhase(b, "ended");
        test::PumpUntil([] { return false; }, 2000);
        pinger.SetPhase(0, "");
        if (b == 1)
            firstBatchSeconds = seconds;
        Get(base + "/mark?name=batch" + std::to_string(b) + "-end");
        std::printf("soak: batch %d %s in %.1f s\n", b, ended ? "ended" : "DID NOT END", seconds);
        figure("batch" + std::to_string(b) + "_s", std::to_string(seconds));
        if (!ended) {
            status = 1;
            break;
        }
        WriteRows(kestrin, outdir + "\\batch" + std::to_string(b) + ".tsv");
        if (b == (batches + 1) / 2)
            middleMiB = ResidentMiB(kestrin.Handle());
        endMiB = ResidentMiB(kestrin.Handle());
    }
    pinger.Stop();
    int phase = 0;
    long over100 = 0, pings = 0;
    const double longest = pinger.Longest(&phase, &over100, &pings);
    std::printf("soak: resident memory %.1f MiB at the start, %.1f MiB in the middle, %.1f MiB at the end\n",
                startMiB, middleMiB, endMiB);
    std::printf("soak: the window answered %ld pings; the longest wait %.0f ms (batch %d), %ld of 100 ms or more\n",
                pings, longest, phase, over100);
    for (const std::string& wait : pinger.LongWaits())
        std::printf("soak:   a wait of %s\n", wait.c_str());
    figure("rss_start_mib", std::to_string(startMiB));
    figure("rss_middle_mib", std::to_string(middleMiB));
    figure("rss_end_mib", std::to_string(endMiB));
    figure("longest_gap_ms", std::to_string(longest));
    figure("longest_gap_batch", std::to_string(phase));
    figure("gaps_over_100ms", std::to_string(over100));
    figure("pings", std::to_string(pings));
    if (kestrin.IsRunning()) {
        // No close was asked for: the program is closed now, untimed.
        kestrin.Close();
        kestrin.WaitForExit(60000);
    }
    test::WriteFileBytes(outdir + "\\driver.txt", figures);
    return status;
}
