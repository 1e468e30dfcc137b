#include "BenchUtil.h"
#include <psapi.h>
#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

// The handles the system lists for this process (SystemHandleInformation):
// what is counted where the process's own handle count is not kept.
DWORD CountOwnHandles()
{
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<char> buf(1 << 16);
    for (int tries = 0; tries < 12; ++tries) {
        ULONG needed = 0;
        const LONG status = query(16, buf.data(), static_cast<ULONG>(buf.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const Table*>(buf.data());
            const ULONG pid = ::GetCurrentProcessId();
            DWORD n = 0;
            for (ULONG i = 0; i < table->count; ++i)
                n += table->entries[i].ownerPid == pid;
            return n;
        }
        if (status != static_cast<LONG>(0xC0000004))   // the buffer is too small
            return 0;
        buf.resize(std::max<size_t>(buf.size() * 2, needed + 4096));
    }
    return 0;
}

} // namespace

double Stopwatch::Seconds() const
{
    LARGE_INTEGER now, freq;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&freq);
    return static_cast<double>(now.QuadPart - m_start.QuadPart) / freq.QuadPart;
}

Tenths::Tenths(int total)
    : m_nTotal(total)
{
}

void Tenths::Passed(int done)
{
    while (m_nNext <= 10 && done >= static_cast<long long>(m_nTotal) * m_nNext / 10) {
        m_times.push_back(m_watch.Seconds());
        ++m_nNext;
    }
}

void Tenths::Print(const char* who) const
{
    std::printf("tenths %s (files/s):", who);
    double before = 0;
    for (size_t i = 0; i < m_times.size(); ++i) {
        const double span = m_times[i] - before;
        std::printf(" %.0f", span > 0 ? (m_nTotal / 10.0) / span : 0.0);
        before = m_times[i];
    }
    std::printf("\n");
}

ProcessSample ProcessSample::Now()
{
    ProcessSample s;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) {
        s.residentMiB = pmc.WorkingSetSize / (1024.0 * 1024.0);
        s.privateMiB = pmc.PagefileUsage / (1024.0 * 1024.0);
    }
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &s.handles) || s.handles == 0)
        s.handles = CountOwnHandles();
    return s;
}

void ProcessSample::Print(const char* who, const ProcessSample& start, const ProcessSample& middle,
                          const ProcessSample& end)
{
    const ProcessSample* samples[] = {&start, &middle, &end};
    const char* names[] = {"start", "middle", "end"};
    std::printf("process %s:", who);
    for (int i = 0; i < 3; ++i)
        std::printf(" %s %.1f MiB resident, %.1f MiB private, %lu handles%s", names[i],
                    samples[i]->residentMiB, samples[i]->privateMiB,
                    static_cast<unsigned long>(samples[i]->handles), i < 2 ? ";" : "\n");
}

} // namespace bench
