#include "DownloadThread.h"
#include <climits>
#include <functional>
#include <memory>
#include "../framework/CallGuarded.h"
#include "../framework/FrameworkIds.h"
#include "../framework/MessageBox.h"
#include "../model/Mbcs.h"
#include "../model/UrlSplitter.h"

// What a download command carries. It belongs to the worker once the
// command is taken; the user-interface side keeps nothing of it.
struct CDownloadThread::Request {
    HANDLE hAck;        // the worker's own handle to the acknowledge event
    std::string url;
    std::string path;
    bool absoluteAllowed;
};

namespace {

enum Step {
    STEP_PATH = 1, STEP_TEMP, STEP_ROOT, STEP_CONNECT, STEP_FIND, STEP_OPEN,
    STEP_REQUEST, STEP_SEND, STEP_STATUS, STEP_READ, STEP_WRITE, STEP_SHORT,
    STEP_COMMIT, STEP_ABORTED,
};

[[noreturn]] void Fail(int step)
{
    throw CDownloadThread::ExceptionI{step};
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// "%41" and the like, as FTP servers want the plain name.
std::string PercentDecoded(const std::string& text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Status and length of an HTTP response; false when `h` is not one.
bool QueryHttpResponse(HINTERNET h, DWORD& status, int& length, bool& lengthKnown)
{
    DWORD size = sizeof status, index = 0;
    if (!::HttpQueryInfoA(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
        return false;
    DWORD contentLength = 0;
    size = sizeof contentLength;
    index = 0;
    lengthKnown = ::HttpQueryInfoA(h, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                   &contentLength, &size, &index) && contentLength <= INT_MAX;
    length = lengthKnown ? static_cast<int>(contentLength) : -1;
    return true;
}

} // namespace

// The file being downloaded: a temporary file beside the target, put in the
// target's place only when the transfer has completed, and deleted on any
// failure, so that an earlier file of that name survives a failed attempt.
class CDownloadThread::TargetFile {
public:
    ~TargetFile() { Discard(); }

    void Open(const std::string& path, bool absoluteAllowed);
    void Write(const char* data, DWORD n);
    void Commit();

private:
    void Discard();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::string m_strTemp;
    std::string m_strTarget;
};

void CDownloadThread::TargetFile::Open(const std::string& path, bool absoluteAllowed)
{
    if (!absoluteAllowed && !IsSafeRelativeName(path))
        Fail(STEP_PATH);
    char full[MAX_PATH];
    char* filePart = nullptr;
    const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, &filePart);
    if (n == 0 || n >= MAX_PATH || !filePart || !*filePart)
        Fail(STEP_PATH);
    if (!absoluteAllowed) {
        // A name from a URL lands below the download folder, nowhere else.
        char cwd[MAX_PATH];
        DWORD c = ::GetCurrentDirectoryA(MAX_PATH, cwd);
        if (c == 0 || c >= MAX_PATH)
            Fail(STEP_PATH);
        std::string base(cwd);
        if (!IsSeparator(base.back()))
            base.push_back('\\');
        if (n <= base.size() || ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, full,
                static_cast<int>(base.size()), base.c_str(), static_cast<int>(base.size())) != CSTR_EQUAL)
            Fail(STEP_PATH);
    }
    m_strTarget = full;
    const std::string folder(full, filePart);

    // Only the last folder level is made; a missing one further up fails.
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD attr = ::GetFileAttributesA(full);
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
        Fail(STEP_PATH);

    char temp[MAX_PATH];
    if (!::GetTempFileNameA(folder.c_str(), "kst", 0, temp))
        Fail(STEP_TEMP);
    m_strTemp = temp;
    m_hFile = ::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        Fail(STEP_TEMP);
}

void CDownloadThread::TargetFile::Write(const char* data, DWORD n)
{
    DWORD written = 0;
    if (!::WriteFile(m_hFile, data, n, &written, nullptr) || written != n)
        Fail(STEP_WRITE);
}

void CDownloadThread::TargetFile::Commit()
{
    const bool closed = ::CloseHandle(m_hFile) != FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!closed || !::MoveFileExA(m_strTemp.c_str(), m_strTarget.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        Fail(STEP_COMMIT);
    m_strTemp.clear();
}

void CDownloadThread::TargetFile::Discard()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
    if (!m_strTemp.empty()) {
        ::DeleteFileA(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

// A handle opened under the transfer's root, closed by the closing rule
// when the guard goes.
class CDownloadThread::Handle {
public:
    explicit Handle(CDownloadThread& thread) : m_thread(thread) {}
    ~Handle() { m_thread.CloseTransferHandle(h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HINTERNET h = nullptr;

private:
    CDownloadThread& m_thread;
};

// Runs the network calls of one transfer on a helper thread while the
// worker waits for them together with the abort and stop signals. Closing
// the root handle makes a blocked call fail on Windows; where it does not
// (a read from a stalled server under Wine), the worker gives up waiting
// all the same and the helper finishes alone. A call's results live in the
// job, which the helper and the worker share and the last one frees, so a
// call that returns late writes into nothing the worker still uses.
class CDownloadThread::NetCaller {
public:
    struct Job {
        LONG refs = 2;
        HANDLE hGo = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE hDone = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        volatile bool pending = false;
        volatile bool quit = false;
        std::function<void(Job&)> call;
        // What the call gives back.
        HINTERNET handle = nullptr;
        BOOL ok = FALSE;
        DWORD count = 0;
        bool end = false;            // the body has been read to its end
        volatile LONG received = 0;  // bytes read so far into buf
        WIN32_FIND_DATAA found{};
        // Blocks read and not yet written: up to kChunk bytes at a time.
        static constexpr DWORD kBlock = 4096;
        static constexpr DWORD kChunk = 16 * kBlock;
        char buf[kChunk];
    };

    NetCaller(HANDLE abortEvent, HANDLE stopEvent)
        : m_pJob(new Job), m_hAbort(abortEvent), m_hStop(stopEvent)
    {
        m_hThread = ::CreateThread(nullptr, 0, Main, m_pJob, 0, nullptr);
        if (!m_hThread)
            --m_pJob->refs;
    }

    ~NetCaller()
    {
        if (m_hThread) {
            m_pJob->quit = true;
            ::SetEvent(m_pJob->hGo);
            if (!m_bAbandoned)
                ::WaitForSingleObject(m_hThread, 5000);
            ::CloseHandle(m_hThread);
        }
        Release(m_pJob);
    }

    NetCaller(const NetCaller&) = delete;
    NetCaller& operator=(const NetCaller&) = delete;

    // Runs `call` on the helper and returns its results; fails the step
    // when the transfer is aborted first. While the call runs, `tick` is
    // called every `tickMs` with the job as it stands.
    const Job& Run(std::function<void(Job&)> call,
                   const std::function<void(const Job&)>& tick = nullptr, DWORD tickMs = 100)
    {
        if (!m_hThread || m_bAbandoned)
            Fail(STEP_ABORTED);
        m_pJob->call = std::move(call);
        m_pJob->pending = true;
        ::SetEvent(m_pJob->hGo);
        const HANDLE waits[3] = {m_pJob->hDone, m_hAbort, m_hStop};
        for (;;) {
            const DWORD w = ::WaitForMultipleObjects(3, waits, FALSE, tick ? tickMs : INFINITE);
            if (w == WAIT_OBJECT_0)
                return *m_pJob;
            if (w != WAIT_TIMEOUT) {
                m_bAbandoned = true;
                Fail(STEP_ABORTED);
            }
            tick(*m_pJob);
        }
    }

private:
    static void Release(Job* job)
    {
        if (::InterlockedDecrement(&job->refs) == 0) {
            ::CloseHandle(job->hGo);
            ::CloseHandle(job->hDone);
            delete job;
        }
    }

    static DWORD WINAPI Main(void* param)
    {
        auto* job = static_cast<Job*>(param);
        for (;;) {
            ::WaitForSingleObject(job->hGo, INFINITE);
            // A call handed over just before the worker gave up still runs,
            // so that it can release what it was given.
            if (job->pending) {
                job->pending = false;
                CallGuarded([&] { job->call(*job); });
                ::SetEvent(job->hDone);
            }
            if (job->quit)
                break;
        }
        Release(job);
        return 0;
    }

    Job* m_pJob;
    HANDLE m_hThread;
    HANDLE m_hAbort;
    HANDLE m_hStop;
    bool m_bAbandoned = false;
};

CDownloadThread::CDownloadThread(ThreadMessageReceiver* receiver)
    : CWorkThread(receiver), m_hAbortEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_bCancelled(0), m_strAgent(AfxLoadString(AFX_IDS_APP_TITLE))
{
    ::InitializeCriticalSection(&m_lock);
}

CDownloadThread::~CDownloadThread()
{
    // A download command that was never taken still owns its request.
    if (IsCommandPending() && m_command.type == CMD_DOWNLOAD) {
        auto* request = reinterpret_cast<Request*>(m_command.p3);
        ::CloseHandle(request->hAck);
        delete request;
    }
    ::CloseHandle(m_hAbortEvent);
    ::DeleteCriticalSection(&m_lock);
}

BOOL CDownloadThread::StartDownload(const char* url, const char* path, bool absoluteAllowed)
{
    HANDLE ack = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ack)
        return FALSE;
    auto request = std::make_unique<Request>();
    if (!::DuplicateHandle(::GetCurrentProcess(), ack, ::GetCurrentProcess(), &request->hAck,
                           0, FALSE, DUPLICATE_SAME_ACCESS)) {
        ::CloseHandle(ack);
        return FALSE;
    }
    request->url = url;
    request->path = path;
    request->absoluteAllowed = absoluteAllowed;
    Request* raw = request.get();
    if (!PostCommand(CMD_DOWNLOAD, 0, 0, reinterpret_cast<INT_PTR>(raw))) {
        ::CloseHandle(request->hAck);
        ::CloseHandle(ack);
        return FALSE;
    }
    request.release();   // the worker's now
    const bool taken = ::WaitForSingleObject(ack, 5000) == WAIT_OBJECT_0;
    ::CloseHandle(ack);
    return taken;
}

void CDownloadThread::Cancel()
{
    ::EnterCriticalSection(&m_lock);
    if (m_hInternet) {
        m_bCancelled = 1;
        ::SetEvent(m_hAbortEvent);
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
    ::LeaveCriticalSection(&m_lock);
}

void CDownloadThread::Stop()
{
    ::SetEvent(m_hStopEvent);
    CloseRoot();
}

void CDownloadThread::Execute(int code, int, int, INT_PTR p3)
{
    if (code == CMD_DOWNLOAD)
        Download(*reinterpret_cast<Request*>(p3));
}

HINTERNET CDownloadThread::UseHandle(HINTERNET handle)
{
    ::EnterCriticalSection(&m_lock);
    const bool open = m_hInternet != nullptr;
    ::LeaveCriticalSection(&m_lock);
    if (!open)
        Fail(STEP_ABORTED);
    return handle;
}

void CDownloadThread::CloseTransferHandle(HINTERNET& handle)
{
    ::EnterCriticalSection(&m_lock);
    // After Cancel or Stop closed the root, its children are closed already.
    if (m_hInternet && handle)
        ::InternetCloseHandle(handle);
    handle = nullptr;
    ::LeaveCriticalSection(&m_lock);
}

void CDownloadThread::CloseRoot()
{
    ::EnterCriticalSection(&m_lock);
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
    ::LeaveCriticalSection(&m_lock);
}

bool CDownloadThread::IsSafeRelativeName(const std::string& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    static const char* const kDevices[] = {
        "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
        "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    };
    const char* const end = name.data() + name.size();
    const char* segment = name.data();
    for (const char* p = segment;; p += MbcsCharLength(p, end)) {
        const bool last = p >= end;
        if (!last && *p == ':')
            return false;   // a drive or an alternate data stream
        if (last || IsSeparator(*p)) {
            const std::string part(segment, last ? end : p);
            // ".." and the like (Windows drops trailing dots and blanks).
            if (part.size() > 1 && part.find_first_not_of(". ") == std::string::npos)
                return false;
            const std::string base = part.substr(0, part.find('.'));
            for (const char* device : kDevices)
                if (::lstrcmpiA(base.c_str(), device) == 0)
                    return false;
            if (last)
                break;
            segment = p + 1;
        }
    }
    return true;
}

void CDownloadThread::Download(Request& request)
{
    // Take our own copies; from here on the request is not read again.
    const std::string url = request.url;
    const std::string path = request.path;
    const bool absoluteAllowed = request.absoluteAllowed;
    ::SetEvent(request.hAck);
    ::CloseHandle(request.hAck);
    delete &request;

    ::EnterCriticalSection(&m_lock);
    m_bCancelled = 0;
    ::ResetEvent(m_hAbortEvent);
    ::LeaveCriticalSection(&m_lock);

    try {
        TargetFile file;
        file.Open(path, absoluteAllowed);

        DWORD service;
        std::string server, object;
        WORD port;
        AfxParseURL(url.c_str(), service, server, object, port);

        // Guards close the data handle, the connection and the root, in
        // that order, on every way out.
        struct Root {
            CDownloadThread& thread;
            ~Root() { thread.CloseRoot(); }
        } root{*this};
        HINTERNET hRoot = ::InternetOpenA(m_strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                          nullptr, nullptr, 0);
        if (!hRoot)
            Fail(STEP_ROOT);
        ::EnterCriticalSection(&m_lock);
        m_hInternet = hRoot;
        ::LeaveCriticalSection(&m_lock);
        NetCaller net(m_hAbortEvent, m_hStopEvent);
        Handle conn(*this), data(*this);

        if (IsStopping())
            throw ThreadException{1};

        const DWORD reload = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
        const DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                                   INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE;
        int announced = 0;
        bool lengthKnown = false;
        DWORD status = 0;
        switch (service) {
        case AFX_INET_SERVICE_FTP: {
            HINTERNET root = UseHandle(hRoot);
            conn.h = net.Run([=](NetCaller::Job& j) {
                j.handle = ::InternetConnectA(root, server.c_str(), port, nullptr, nullptr,
                                              INTERNET_SERVICE_FTP, 0, 1);
            }).handle;
            if (!conn.h)
                Fail(STEP_CONNECT);
            const std::string ftpPath = PercentDecoded(object);
            {
                Handle find(*this);
                HINTERNET c = UseHandle(conn.h);
                const NetCaller::Job& j = net.Run([=](NetCaller::Job& j) {
                    j.handle = ::FtpFindFirstFileA(c, ftpPath.c_str(), &j.found, reload, 1);
                });
                find.h = j.handle;
                if (!find.h)
                    Fail(STEP_FIND);
                lengthKnown = j.found.nFileSizeHigh == 0 && j.found.nFileSizeLow <= INT_MAX;
                announced = lengthKnown ? static_cast<int>(j.found.nFileSizeLow) : -1;
            }
            HINTERNET c = UseHandle(conn.h);
            data.h = net.Run([=](NetCaller::Job& j) {
                j.handle = ::FtpOpenFileA(c, ftpPath.c_str(), GENERIC_READ,
                                          FTP_TRANSFER_TYPE_BINARY, 1);
            }).handle;
            if (!data.h)
                Fail(STEP_OPEN);
            break;
        }
        case AFX_INET_SERVICE_HTTP: {
            conn.h = ::InternetConnectA(UseHandle(hRoot), server.c_str(), port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 1);
            if (!conn.h)
                Fail(STEP_CONNECT);
            const char* accept[] = {"*/*", nullptr};
            // One GET: its headers tell the size.
            data.h = ::HttpOpenRequestA(UseHandle(conn.h), nullptr, object.c_str(), nullptr,
                                        nullptr, accept, requestFlags, 1);
            if (!data.h)
                Fail(STEP_REQUEST);
            HINTERNET request = UseHandle(data.h);
            if (!net.Run([=](NetCaller::Job& j) {
                    j.ok = ::HttpSendRequestA(request, nullptr, 0, nullptr, 0);
                }).ok)
                Fail(STEP_SEND);
            if (!QueryHttpResponse(UseHandle(data.h), status, announced, lengthKnown))
                Fail(STEP_STATUS);
            break;
        }
        default:
        {
            HINTERNET root = UseHandle(hRoot);
            data.h = net.Run([=](NetCaller::Job& j) {
                j.handle = ::InternetOpenUrlA(root, url.c_str(), nullptr, 0, requestFlags, 0);
            }).handle;
            if (!data.h)
                Fail(STEP_OPEN);
            if (!QueryHttpResponse(UseHandle(data.h), status, announced, lengthKnown)) {
                HINTERNET h = UseHandle(data.h);
                const NetCaller::Job& j = net.Run([=](NetCaller::Job& j) {
                    j.ok = ::InternetQueryDataAvailable(h, &j.count, 0, 0);
                });
                announced = j.ok ? static_cast<int>(j.count) : 0;
            }
            break;
        }
        }
        // An error page is not the file that was asked for.
        if (status >= 400)
            Fail(STEP_STATUS);

        if (IsStopping())
            throw ThreadException{1};

        PostToReceiver(DLM_SIZE, announced, 0, 0);

        // The body is read in 4096-byte blocks on the helper, up to sixteen
        // at a time, and written here; the running total is reported as the
        // blocks arrive.
        HINTERNET h = UseHandle(data.h);
        int total = 0, reported = 0;
        auto report = [&](const NetCaller::Job& j) {
            const int received = total + static_cast<int>(j.received);
            if (received != reported && TryPostToReceiver(DLM_PROGRESS, received, 0, 0))
                reported = received;
        };
        for (bool end = false; !end;) {
            const NetCaller::Job& j = net.Run([=](NetCaller::Job& j) {
                j.ok = TRUE;
                j.count = 0;
                ::InterlockedExchange(&j.received, 0);
                while (j.count < NetCaller::Job::kChunk) {
                    DWORD n = 0;
                    if (!::InternetReadFile(h, j.buf + j.count, NetCaller::Job::kBlock, &n)) {
                        j.ok = FALSE;
                        return;
                    }
                    j.end = n == 0;
                    if (j.end)
                        return;
                    j.count += n;             // a short read is not the end
                    ::InterlockedExchange(&j.received, static_cast<LONG>(j.count));
                }
            }, report);
            if (!j.ok)
                Fail(STEP_READ);
            end = j.end;
            if (j.count > 0) {
                file.Write(j.buf, j.count);
                total += static_cast<int>(j.count);
            }
            UseHandle(data.h);
        }
        if (total != reported)
            TryPostToReceiver(DLM_PROGRESS, total, 0, 0);

        // The connection ended before the announced length arrived.
        if (lengthKnown && total < announced)
            Fail(STEP_SHORT);

        file.Commit();
        PostToReceiver(DLM_COMPLETE, total, 0, 0);
    } catch (const ExceptionI&) {
        if (IsStopping())
            throw ThreadException{1};
        ::EnterCriticalSection(&m_lock);
        const bool cancelled = m_bCancelled != 0;
        ::LeaveCriticalSection(&m_lock);
        PostToReceiver(cancelled ? DLM_CANCELLED : DLM_ERROR, 0, 0, 0);
    }
}
