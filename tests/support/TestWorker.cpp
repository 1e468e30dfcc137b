#include "TestWorker.h"
#include "TestUtil.h"
#include "engine/DownloadThread.h"

namespace test {

Worker::Worker(const std::string& folder) : folder(folder), m_pThread(new CDownloadThread(&rec))
{
    StartThread(m_pThread);
}

bool Worker::Start(const std::string& url, const std::string& path, bool absolute)
{
    m_nOutcomes = rec.Outcomes();
    m_nFirst = rec.messages.size();
    return m_pThread->StartDownload(url.c_str(), path.c_str(), folder.c_str(), absolute);
}

int Worker::Outcome(DWORD ms)
{
    PumpUntil([&] { return rec.Outcomes() > m_nOutcomes || rec.ended; }, ms);
    return rec.Outcomes() > m_nOutcomes ? rec.LastOutcome() : 0;
}

bool Worker::WaitFor(int type, DWORD ms)
{
    return PumpUntil([&] {
        for (size_t i = m_nFirst; i < rec.messages.size(); ++i)
            if (rec.messages[i].type == type)
                return true;
        return false;
    }, ms);
}

void Worker::Finish()
{
    if (m_pThread && !rec.released) {
        if (!rec.ended)
            m_pThread->Quit();
        PumpUntil([&] { return rec.released > 0; }, 10000);
    }
    m_pThread = nullptr;
}

std::vector<Received> Worker::Current() const
{
    std::vector<Received> current;
    for (size_t i = m_nFirst; i < rec.messages.size(); ++i)
        current.push_back(rec.messages[i]);
    return current;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..")
            names.push_back(fd.cFileName);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return names;
}

} // namespace test
