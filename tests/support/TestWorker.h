#pragma once
// One download worker for the engine tests: a real CDownloadThread that
// reports to a recorder and downloads into a folder.
#include <windows.h>
#include <string>
#include <vector>
#include "EngineUtil.h"

class CDownloadThread;

namespace test {

class Worker {
public:
    explicit Worker(const std::string& folder);
    ~Worker() { Finish(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool Start(const std::string& url, const std::string& path, bool absolute = false);
    // Waits for the transfer's outcome; 0 when none came in time.
    int Outcome(DWORD ms = 30000);
    // Waits for a message of the current transfer.
    bool WaitFor(int type, DWORD ms = 10000);
    void Finish();
    CDownloadThread* Thread() { return rec.released ? nullptr : m_pThread; }
    // The messages of the current transfer.
    std::vector<Received> Current() const;

    std::string folder;
    Recorder rec;

private:
    CDownloadThread* m_pThread;
    int m_nOutcomes = 0;
    size_t m_nFirst = 0;
};

// The names in a folder, "." and ".." left out.
std::vector<std::string> FilesIn(const std::string& dir);

} // namespace test
