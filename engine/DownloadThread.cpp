// libcurl brings the sockets header, which must come before <windows.h>.
#include "CurlClient.h"
#include "DownloadThread.h"
#include <climits>
#include "TargetFile.h"
#include "Transfer.h"
#include "WinInetClient.h"
#include "../framework/FrameworkIds.h"
#include "../framework/MessageBox.h"

DWORD CDownloadThread::s_connectLimitMs = 60000;
DWORD CDownloadThread::s_idleLimitMs = 120000;

namespace {

// Progress goes to the panel when the panel has taken the last report,
// and no sooner than this after it: the panel shows it ten times a
// second, and each report wakes the user-interface thread.
constexpr DWORD kProgressGapMs = 25;

} // namespace

// What a download command carries. It belongs to the worker once it is
// posted; the user-interface side keeps nothing of it.
struct CDownloadThread::Request {
    std::string url;
    std::string path;
    std::string folder;
    bool absoluteAllowed;
};

// A transfer's reports, as messages to the receiver.
class CDownloadThread::Report : public ITransferReport {
public:
    explicit Report(CDownloadThread& thread) : m_thread(thread) {}

    void OnSize(long long size) override { m_thread.PostBytes(DLM_SIZE, size, false); }
    void OnProgress(long long total) override
    {
        const DWORD now = ::GetTickCount();
        if (now - m_nLastReport >= kProgressGapMs && m_thread.PostBytes(DLM_PROGRESS, total, true))
            m_nLastReport = now;
    }

private:
    CDownloadThread& m_thread;
    // The first report no sooner than a gap after the start: a small file
    // that is whole by then needs none.
    DWORD m_nLastReport = ::GetTickCount();
};

CDownloadThread::CDownloadThread(ThreadMessageReceiver* receiver)
    : CWorkThread(receiver), m_bCancelled(0), m_bActive(0), m_bCancelPending(0),
      m_strAgent(AfxLoadString(AFX_IDS_APP_TITLE))
{
    // Workers are made on the user-interface thread, before they run.
    CCurlClient::GlobalInit();
}

CDownloadThread::~CDownloadThread()
{
    // A download command that was never taken still owns its request.
    if (IsCommandPending() && m_command.type == CMD_DOWNLOAD)
        delete reinterpret_cast<Request*>(m_command.p3);
}

void CDownloadThread::SetTimeLimits(DWORD connectMs, DWORD idleMs)
{
    s_connectLimitMs = connectMs;
    s_idleLimitMs = idleMs;
}

BOOL CDownloadThread::StartDownload(const char* url, const char* path, const char* folder,
                                    bool absoluteAllowed)
{
    auto request = std::make_unique<Request>();
    request->url = url;
    request->path = path;
    request->folder = folder ? folder : "";
    request->absoluteAllowed = absoluteAllowed;
    {
        CLock lock(m_lock);
        m_bCancelPending = 0;
    }
    if (!PostCommand(CMD_DOWNLOAD, 0, 0, reinterpret_cast<INT_PTR>(request.get())))
        return FALSE;
    request.release();   // the worker's now
    return TRUE;
}

void CDownloadThread::AbortTransfer()
{
    if (m_pWeb)
        m_pWeb->Abort();
    if (m_pOther)
        m_pOther->Abort();
}

void CDownloadThread::Cancel()
{
    CLock lock(m_lock);
    if (m_bActive) {
        m_bCancelled = 1;
        AbortTransfer();
    } else {
        // Handed over, not yet taken. A cancel with nothing handed over
        // is forgotten by the next StartDownload.
        m_bCancelPending = 1;
    }
}

void CDownloadThread::Stop()
{
    RequestStop();
    CLock lock(m_lock);
    AbortTransfer();
}

TransferFailure CDownloadThread::GetLastFailure() const
{
    CLock lock(m_lock);
    return m_failure;
}

void CDownloadThread::Execute(int code, int, int, INT_PTR p3)
{
    if (code == CMD_DOWNLOAD)
        Download(*reinterpret_cast<Request*>(p3));
}

BOOL CDownloadThread::InitInstance()
{
    // The clients are ready before the first command comes and last as
    // long as the worker, with their connections.
    std::unique_ptr<CCurlClient> web(new CCurlClient(m_strAgent));
    std::unique_ptr<CWinInetClient> other(new CWinInetClient(m_strAgent));
    {
        CLock lock(m_lock);
        m_pWeb.swap(web);
        m_pOther.swap(other);
        if (IsStopping())
            AbortTransfer();
    }
    const BOOL result = CWorkThread::InitInstance();
    {
        CLock lock(m_lock);
        web.swap(m_pWeb);
        other.swap(m_pOther);
    }
    return result;   // the clients close their connections here, unlocked
}

std::string CDownloadThread::PartialPath(const std::string& target)
{
    return CTargetFile::PartialPath(target);
}

void CDownloadThread::RemovePartial(const char* folder, const char* name)
{
    std::string full;
    size_t namePos = 0;
    const std::string path = name ? name : "";
    if (CTargetFile::Resolve(path, folder ? folder : "", CTargetFile::IsAbsolutePath(path), full,
                             namePos) != TransferFailure::NONE)
        return;
    // The record before the bytes it names; then a new record that a
    // crash may have kept from taking its place.
    ::DeleteFileA(CTargetFile::RecordPath(full).c_str());
    ::DeleteFileA(CTargetFile::PartialPath(full).c_str());
    ::DeleteFileA(CTargetFile::RecordTempPath(full).c_str());
}

bool CDownloadThread::IsSafeRelativeName(const std::string& name)
{
    return CTargetFile::IsSafeRelativeName(name);
}

bool CDownloadThread::PostBytes(int type, long long bytes, bool tryOnly)
{
    int low = static_cast<int>(bytes), high = 0;
    if (bytes > INT_MAX) {
        low = static_cast<int>(static_cast<unsigned>(bytes & 0xFFFFFFFFu));
        high = static_cast<int>(bytes >> 32);
    }
    if (tryOnly)
        return TryPostToReceiver(type, low, high, 0) != FALSE;
    PostToReceiver(type, low, high, 0);
    return true;
}

void CDownloadThread::Download(Request& request)
{
    // The request is ours: take it over, and with it the strings.
    const std::unique_ptr<Request> owned(&request);
    {
        CLock lock(m_lock);
        m_bCancelled = m_bCancelPending;
        m_bCancelPending = 0;
        m_bActive = 1;
        m_failure = TransferFailure();
        if (m_bCancelled || IsStopping()) {
            AbortTransfer();
        } else {
            m_pWeb->Rearm();
            m_pOther->Rearm();
        }
    }

    CTransfer::Outcome outcome;
    TransferFailure failure;
    long long total = 0;
    bool kept = false;
    {
        // The file is closed (kept, moved or deleted) before the receiver
        // hears of the outcome.
        Report report(*this);
        CTransfer transfer(*m_pWeb, *m_pOther, report, s_connectLimitMs, s_idleLimitMs);
        outcome = transfer.Run(owned->url, owned->path, owned->folder, owned->absoluteAllowed);
        failure = transfer.Failure();
        total = transfer.Total();
        kept = transfer.CloseFile();
    }

    bool cancelled;
    {
        CLock lock(m_lock);
        m_bActive = 0;
        cancelled = m_bCancelled != 0;
        if (outcome == CTransfer::FAILED)
            m_failure = failure;
    }
    if (IsStopping())
        throw ThreadException{1};
    if (outcome == CTransfer::COMPLETE)
        PostBytes(DLM_COMPLETE, total, false);
    else
        PostToReceiver(cancelled ? DLM_CANCELLED : DLM_ERROR, kept ? 1 : 0, 0, 0);
}
