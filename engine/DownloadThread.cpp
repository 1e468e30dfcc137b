#include "DownloadThread.h"
#include <cctype>
#include <climits>
#include <cstdlib>
#include <vector>
#include "../framework/CallGuarded.h"
#include "../framework/FrameworkIds.h"
#include "../framework/MessageBox.h"
#include "../model/Mbcs.h"
#include "../model/UrlSplitter.h"

DWORD CDownloadThread::s_connectLimitMs = 60000;
DWORD CDownloadThread::s_idleLimitMs = 120000;

// What a download command carries. It belongs to the worker once it is
// posted; the user-interface side keeps nothing of it.
struct CDownloadThread::Request {
    std::string url;
    std::string path;
    std::string folder;
    bool absoluteAllowed;
};

namespace {

// One read, one write: the block size of the body.
constexpr DWORD kBlock = 64 * 1024;
// Redirects followed in a row before the download is given up.
constexpr int kMaxRedirects = 10;
// How long the worker waits for the handles of a finished transfer to
// close before it leaves that to the helper.
constexpr DWORD kCloseGraceMs = 1000;
// How early the library's own timers may fire.
constexpr DWORD kTimerSlackMs = 250;
// A body whose reads of what has arrived give at least kQuickBytes in
// under kQuickMs, kQuickRounds times in a row, is read in whole blocks
// until a block takes kSlowReadMs.
constexpr DWORD kQuickBytes = 4096;
constexpr DWORD kQuickMs = 250;
constexpr int kQuickRounds = 16;
constexpr DWORD kSlowReadMs = 1000;
// Progress goes to the panel after a block when the panel has taken the
// last report, and no sooner than this after it: the panel shows it ten
// times a second, and each report wakes the user-interface thread.
constexpr DWORD kProgressGapMs = 25;

const char kPartialSuffix[] = ".kstpart";
const char kRecordSuffix[] = ".kstinfo";
const char kRecordMagic[] = "Kestrin partial 1";

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsAbsolutePath(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && IsSeparator(path[0]) &&
                                                    IsSeparator(path[1]));
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

// A header of the response as text; false when it is not there.
bool QueryHeader(HINTERNET h, DWORD info, std::string& value)
{
    std::vector<char> buf(1024);
    for (;;) {
        DWORD size = static_cast<DWORD>(buf.size()) - 1, index = 0;
        if (::HttpQueryInfoA(h, info, buf.data(), &size, &index)) {
            value.assign(buf.data(), size);
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buf.size() > (1u << 20))
            return false;
        buf.resize(static_cast<size_t>(size) + 2 > buf.size() * 2 ? static_cast<size_t>(size) + 2
                                                                  : buf.size() * 2);
    }
}

// A whole decimal number of at most 18 digits, so it fits in 64 bits.
bool ParseCount(const std::string& text, size_t begin, size_t end, long long& value)
{
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    if (begin == end || end - begin > 18)
        return false;
    value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The response began with a status line "HTTP/x.y nnn" and has headers.
// Bytes that are no HTTP at all reach us as a status line the library
// made up ("HTTP/1.0 200 OK") with not a single header after it; every
// server sends at least one.
bool IsHttpReply(HINTERNET h)
{
    std::string raw;
    if (!QueryHeader(h, HTTP_QUERY_RAW_HEADERS_CRLF, raw))
        return false;
    const size_t lineEnd = raw.find("\r\n");
    const bool statusLine = raw.size() >= 12 && raw.compare(0, 5, "HTTP/") == 0 &&
        isdigit(static_cast<unsigned char>(raw[5])) && raw[6] == '.' &&
        isdigit(static_cast<unsigned char>(raw[7])) && raw[8] == ' ' &&
        isdigit(static_cast<unsigned char>(raw[9])) && isdigit(static_cast<unsigned char>(raw[10])) &&
        isdigit(static_cast<unsigned char>(raw[11]));
    return statusLine && lineEnd != std::string::npos && raw.size() > lineEnd + 2 &&
           raw.find(':', lineEnd) != std::string::npos;
}

// "bytes FIRST-LAST/TOTAL".
bool ParseContentRange(const std::string& text, long long& first, long long& last, long long& total)
{
    if (text.compare(0, 6, "bytes ") != 0)
        return false;
    const size_t dash = text.find('-', 6), slash = text.find('/', 6);
    return dash != std::string::npos && slash != std::string::npos && dash < slash &&
           ParseCount(text, 6, dash, first) && ParseCount(text, dash + 1, slash, last) &&
           ParseCount(text, slash + 1, text.size(), total);
}

bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void SetTimeouts(HINTERNET h, DWORD connectMs, DWORD idleMs)
{
    ::InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT})
        ::InternetSetOptionA(h, option, &idleMs, sizeof idleMs);
}

// Resolves an item's file name as a transfer does: a relative one below
// `folder`, which it must not leave; an absolute one (when allowed) as it
// is. Gives the full path and where its file-name part begins.
TransferFailure::Kind ResolveTarget(const std::string& path, const std::string& folder,
                                    bool absoluteAllowed, std::string& full, size_t& namePos)
{
    const bool absolute = absoluteAllowed && IsAbsolutePath(path);
    if (!absoluteAllowed && !CDownloadThread::IsSafeRelativeName(path))
        return TransferFailure::UNSAFE_NAME;
    char base[MAX_PATH];
    std::string root;
    if (!absolute) {
        if (folder.empty())
            return TransferFailure::WRITE_FAILED;
        const DWORD b = ::GetFullPathNameA(folder.c_str(), MAX_PATH, base, nullptr);
        if (b == 0 || b >= MAX_PATH)
            return TransferFailure::WRITE_FAILED;
        root = base;
        if (!IsSeparator(root.back()))
            root.push_back('\\');
    }
    const std::string combined = absolute ? path : root + path;
    char buf[MAX_PATH];
    char* filePart = nullptr;
    const DWORD n = ::GetFullPathNameA(combined.c_str(), MAX_PATH, buf, &filePart);
    // Room for the partial file's longer name too.
    if (n == 0 || n + sizeof kPartialSuffix >= MAX_PATH || !filePart || !*filePart)
        return TransferFailure::UNSAFE_NAME;
    if (!absoluteAllowed) {
        // A name from a URL lands below the download folder, nowhere else.
        if (n <= root.size() || ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, buf,
                static_cast<int>(root.size()), root.c_str(), static_cast<int>(root.size())) != CSTR_EQUAL)
            return TransferFailure::UNSAFE_NAME;
    }
    full = buf;
    namePos = static_cast<size_t>(filePart - buf);
    return TransferFailure::NONE;
}

} // namespace

// The file being downloaded. Bytes go into a partial file beside the
// target, which takes the target's place only when the transfer is whole,
// so an earlier file of that name survives a failed attempt. A partial
// file that holds bytes and has a record of where they came from (the URL
// and the server's validator) is kept when the transfer fails, so that a
// later download of the same URL asks only for the rest.
class CDownloadThread::TargetFile {
public:
    ~TargetFile() { Close(); }

    TransferFailure::Kind Open(const std::string& path, const std::string& folder,
                               bool absoluteAllowed, const std::string& url);
    // Bytes an earlier attempt left, with the validator they came with.
    long long ResumeFrom() const { return m_nResume; }
    const std::string& Validator() const { return m_strValidator; }
    // Goes on after the earlier bytes, or empties the file.
    bool Append();
    bool Restart();
    // Records the validator of the bytes now coming; without one the file
    // is not kept on failure.
    bool Record(const std::string& validator);
    void DropRecord();
    // The handle the body is written through.
    HANDLE Writer()
    {
        m_bEmpty = false;
        return m_hFile;
    }
    // Puts the whole file in the target's place.
    bool Commit();
    // Closes the file; deletes it unless a later download can go on from it.
    void Close();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::string m_strTarget;
    std::string m_strPartial;
    std::string m_strRecord;
    std::string m_strUrl;
    std::string m_strValidator;
    long long m_nResume = 0;
    bool m_bKeep = false;           // a validator is known: keep the bytes on failure
    bool m_bRecordOnDisk = false;   // the record file lies beside the partial file
    bool m_bRecordStale = false;    // ... but names another validator
    bool m_bEmpty = false;          // made by this transfer, nothing written yet

    // Writes the record of the bytes kept; false when it cannot.
    bool WriteRecord();
};

TransferFailure::Kind CDownloadThread::TargetFile::Open(const std::string& path,
    const std::string& folder, bool absoluteAllowed, const std::string& url)
{
    std::string full;
    size_t namePos = 0;
    if (const TransferFailure::Kind kind = ResolveTarget(path, folder, absoluteAllowed, full, namePos))
        return kind;
    // The target itself is not looked at here: a folder in its place
    // fails the move in Commit. (Looking up a name that is not there can
    // cost a pass over the whole folder, and a batch fills the folder.)
    const std::string partial = full + kPartialSuffix;
    auto create = [&] {
        return ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    };
    m_hFile = create();
    if (m_hFile == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        // Only the last folder level is made; a missing one further up fails.
        ::CreateDirectoryA(full.substr(0, namePos).c_str(), nullptr);
        m_hFile = create();
    }
    if (m_hFile == INVALID_HANDLE_VALUE)
        return TransferFailure::WRITE_FAILED;
    const bool earlier = ::GetLastError() == ERROR_ALREADY_EXISTS;
    m_bEmpty = !earlier;
    m_strTarget = full;
    m_strPartial = partial;
    m_strRecord = full + kRecordSuffix;
    m_strUrl = url;

    LARGE_INTEGER size;
    if (!earlier || !::GetFileSizeEx(m_hFile, &size))
        size.QuadPart = 0;
    // The record: a first line of its own, the URL, the validator. It is
    // only ever written beside a partial file, so a new one has none.
    std::string record;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (earlier)
        h = ::CreateFileA(m_strRecord.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        char buf[4096];
        DWORD n = 0;
        if (::ReadFile(h, buf, sizeof buf, &n, nullptr))
            record.assign(buf, n);
        ::CloseHandle(h);
    }
    const std::string expected = std::string(kRecordMagic) + "\n" + url + "\n";
    if (size.QuadPart > 0 && record.size() > expected.size() + 1 && record.compare(0, expected.size(), expected) == 0 &&
        record.back() == '\n') {
        m_strValidator = record.substr(expected.size(), record.size() - expected.size() - 1);
        m_nResume = size.QuadPart;
        m_bKeep = true;
    }
    m_bRecordOnDisk = h != INVALID_HANDLE_VALUE;
    return TransferFailure::NONE;
}

bool CDownloadThread::TargetFile::Append()
{
    LARGE_INTEGER at;
    at.QuadPart = m_nResume;
    return ::SetFilePointerEx(m_hFile, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_hFile);
}

bool CDownloadThread::TargetFile::Restart()
{
    DropRecord();
    m_nResume = 0;
    if (m_bEmpty)
        return true;   // made by this transfer and not yet written
    LARGE_INTEGER at;
    at.QuadPart = 0;
    return ::SetFilePointerEx(m_hFile, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_hFile);
}

bool CDownloadThread::TargetFile::Record(const std::string& validator)
{
    if (validator.empty() || HasControlCharacter(validator) || HasControlCharacter(m_strUrl)) {
        DropRecord();
        return true;
    }
    // Written only if the bytes are kept: a download that completes, the
    // usual case, costs no record file.
    if (!m_bKeep || validator != m_strValidator)
        m_bRecordStale = true;
    m_strValidator = validator;
    m_bKeep = true;
    return true;
}

bool CDownloadThread::TargetFile::WriteRecord()
{
    const std::string text = std::string(kRecordMagic) + "\n" + m_strUrl + "\n" + m_strValidator + "\n";
    HANDLE h = ::CreateFileA(m_strRecord.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_bRecordOnDisk = true;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    ::CloseHandle(h);
    return ok;
}

void CDownloadThread::TargetFile::DropRecord()
{
    if (m_bRecordOnDisk)
        ::DeleteFileA(m_strRecord.c_str());
    m_bRecordOnDisk = false;
    m_bRecordStale = false;
    m_bKeep = false;
}

bool CDownloadThread::TargetFile::Commit()
{
    const bool closed = ::CloseHandle(m_hFile) != FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!closed || !::MoveFileExA(m_strPartial.c_str(), m_strTarget.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return false;
    m_strPartial.clear();
    DropRecord();
    return true;
}

void CDownloadThread::TargetFile::Close()
{
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (m_hFile != INVALID_HANDLE_VALUE) {
        if (!::GetFileSizeEx(m_hFile, &size))
            size.QuadPart = 0;
        ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
    if (!m_strPartial.empty()) {
        const bool keep = m_bKeep && size.QuadPart > 0 &&
                          ((m_bRecordOnDisk && !m_bRecordStale) || WriteRecord());
        if (!keep) {
            ::DeleteFileA(m_strPartial.c_str());
            DropRecord();
        }
        m_strPartial.clear();
    }
}

// The results of one network call on the helper. The helper and the
// worker share it and the last one frees it, so a call that returns after
// the worker gave up writes into nothing the worker still uses.
struct CDownloadThread::Job {
    Job() { ::InitializeCriticalSection(&writeLock); }
    ~Job() { ::DeleteCriticalSection(&writeLock); }

    LONG refs = 2;
    HANDLE hGo = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hDone = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    volatile LONG pending = 0;
    volatile LONG quit = 0;
    std::function<void(Job&)> call;
    // The root of a transfer given up on, closed by the helper before it ends.
    HINTERNET leftRoot = nullptr;
    // What the call gives back.
    HINTERNET handle = nullptr;
    BOOL ok = FALSE;
    DWORD count = 0;
    DWORD error = 0;
    WIN32_FIND_DATAA found{};
    // The body: read into buf and written to `file` block by block. The
    // worker sets stopWriting under writeLock when it gives up, so a call
    // left behind touches neither the file nor the receiver afterwards.
    CRITICAL_SECTION writeLock;
    bool stopWriting = false;
    HANDLE file = INVALID_HANDLE_VALUE;
    long long written = 0;
    bool writeFailed = false;
    bool tooMuch = false;           // more than the announced length came
    volatile LONG lastActivity = 0; // tick of the last bytes written
    // Set by the library's status reports once a connection stands.
    volatile LONG connected = 0;
    char buf[kBlock];
};

// The library's reports on a transfer's handles, whose context is the
// helper's job: a connection that stands is the end of the connect limit.
void CALLBACK CDownloadThread::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD)
{
    if (!context)
        return;
    switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED: {
        auto* job = reinterpret_cast<Job*>(context);
        ::InterlockedExchange(&job->lastActivity, static_cast<LONG>(::GetTickCount()));
        ::InterlockedExchange(&job->connected, 1);
        break;
    }
    default:
        break;
    }
}

// The helper thread that makes the network calls of the worker's
// transfers, one at a time, for the worker's whole life. Closing the root
// handle makes a blocked call fail on Windows; where it does not (a read
// from a stalled server under Wine), the worker stops waiting all the same,
// and the helper, left behind, finishes its call and closes the transfer's
// handles alone. The worker then makes a new helper.
class CDownloadThread::NetCaller {
public:
    enum Result { DONE, ABORTED, TIMED_OUT };

    NetCaller() : m_pJob(new Job)
    {
        m_hThread = ::CreateThread(nullptr, 0, Main, m_pJob, 0, nullptr);
        if (!m_hThread)
            --m_pJob->refs;
    }

    ~NetCaller()
    {
        if (m_hThread) {
            ::InterlockedExchange(&m_pJob->quit, 1);
            ::SetEvent(m_pJob->hGo);
            if (!m_bLeft)
                ::WaitForSingleObject(m_hThread, 5000);
            ::CloseHandle(m_hThread);
        }
        Release(m_pJob);
    }

    NetCaller(const NetCaller&) = delete;
    NetCaller& operator=(const NetCaller&) = delete;

    bool Usable() const { return m_hThread && !m_bLeft; }
    Job& Results() { return *m_pJob; }

    // Runs `call` and waits for it, for `abort` and `stop`, and for at
    // most `limitMs`, counted from `*activity` when that is given. With a
    // `connectMs`, that is the limit until the call has connected.
    Result Run(const std::function<void(Job&)>& call, HANDLE abort, HANDLE stop, DWORD limitMs,
               const volatile LONG* activity, DWORD connectMs)
    {
        m_pJob->call = call;
        ::InterlockedExchange(&m_pJob->pending, 1);
        ::SetEvent(m_pJob->hGo);
        const HANDLE waits[3] = {m_pJob->hDone, abort, stop};
        auto limit = [&] { return connectMs && !m_pJob->connected ? connectMs : limitMs; };
        for (;;) {
            DWORD wait = limit();
            if (activity) {
                const DWORD quiet = ::GetTickCount() - static_cast<DWORD>(*activity);
                wait = quiet >= wait ? 0 : wait - quiet;
            }
            const DWORD w = ::WaitForMultipleObjects(3, waits, FALSE, wait);
            if (w == WAIT_OBJECT_0)
                return DONE;
            if (w == WAIT_TIMEOUT && activity &&
                ::GetTickCount() - static_cast<DWORD>(*activity) < limit())
                continue;   // bytes came, or the connection stood, meanwhile
            m_bLeft = true;
            return w == WAIT_TIMEOUT ? TIMED_OUT : ABORTED;
        }
    }

    // The helper finishes alone; it closes `root` once its call returns.
    void Leave(HINTERNET root)
    {
        ::EnterCriticalSection(&m_pJob->writeLock);
        m_pJob->stopWriting = true;
        ::LeaveCriticalSection(&m_pJob->writeLock);
        m_bLeft = true;
        if (!m_hThread) {
            if (root)
                ::InternetCloseHandle(root);   // no helper to do it
            return;
        }
        m_pJob->leftRoot = root;
        ::InterlockedExchange(&m_pJob->quit, 1);
        ::SetEvent(m_pJob->hGo);
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
            if (::InterlockedExchange(&job->pending, 0)) {
                CallGuarded([&] { job->call(*job); });
                ::SetEvent(job->hDone);
            }
            if (::InterlockedCompareExchange(&job->quit, 1, 1)) {
                if (job->leftRoot)
                    ::InternetCloseHandle(job->leftRoot);
                break;
            }
        }
        Release(job);
        return 0;
    }

    Job* m_pJob;
    HANDLE m_hThread;
    bool m_bLeft = false;
};

// One transfer as the worker runs it.
struct CDownloadThread::Transfer {
    std::string url;
    Job* job = nullptr;         // the helper's, for the library's reports
    TargetFile file;
    HINTERNET root = nullptr;
    HINTERNET conn = nullptr;
    HINTERNET data = nullptr;
    long long expected = -1;    // the announced length; -1 unknown
    bool lengthKnown = false;   // and it is binding
    long long total = 0;        // bytes in the file
    bool http = false;          // by HTTP: its handles close at once when it is whole
};

CDownloadThread::CDownloadThread(ThreadMessageReceiver* receiver)
    : CWorkThread(receiver), m_hAbortEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_bCancelled(0), m_bActive(0), m_bCancelPending(0), m_strAgent(AfxLoadString(AFX_IDS_APP_TITLE))
{
    ::InitializeCriticalSection(&m_lock);
}

CDownloadThread::~CDownloadThread()
{
    // A download command that was never taken still owns its request.
    if (IsCommandPending() && m_command.type == CMD_DOWNLOAD)
        delete reinterpret_cast<Request*>(m_command.p3);
    ::CloseHandle(m_hAbortEvent);
    ::DeleteCriticalSection(&m_lock);
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
    ::EnterCriticalSection(&m_lock);
    m_bCancelPending = 0;
    ::LeaveCriticalSection(&m_lock);
    if (!PostCommand(CMD_DOWNLOAD, 0, 0, reinterpret_cast<INT_PTR>(request.get())))
        return FALSE;
    request.release();   // the worker's now
    return TRUE;
}

void CDownloadThread::Cancel()
{
    ::EnterCriticalSection(&m_lock);
    if (m_bActive) {
        m_bCancelled = 1;
        ::InterlockedExchange(&m_nAborted, 1);
        ::SetEvent(m_hAbortEvent);
    } else {
        // Handed over, not yet taken: the worker may still be closing the
        // last transfer. A cancel with nothing handed over is forgotten
        // by the next StartDownload.
        m_bCancelPending = 1;
    }
    ::LeaveCriticalSection(&m_lock);
}

void CDownloadThread::Stop()
{
    RequestStop();
}

TransferFailure CDownloadThread::GetLastFailure() const
{
    ::EnterCriticalSection(&m_lock);
    TransferFailure failure = m_failure;
    ::LeaveCriticalSection(&m_lock);
    return failure;
}

void CDownloadThread::Execute(int code, int, int, INT_PTR p3)
{
    if (code == CMD_DOWNLOAD)
        Download(*reinterpret_cast<Request*>(p3));
}

BOOL CDownloadThread::InitInstance()
{
    // The session and the helper are ready before the first command comes.
    OpenSession();
    m_pNet.reset(new NetCaller);
    const BOOL result = CWorkThread::InitInstance();
    if (m_hSession)
        ::InternetCloseHandle(m_hSession);
    m_hSession = nullptr;
    m_pNet.reset();   // an idle helper ends at once; one left behind ends alone
    return result;
}

std::string CDownloadThread::PartialPath(const std::string& target)
{
    return target + kPartialSuffix;
}

void CDownloadThread::RemovePartial(const char* folder, const char* name)
{
    std::string full;
    size_t namePos = 0;
    const std::string path = name ? name : "";
    if (ResolveTarget(path, folder ? folder : "", IsAbsolutePath(path), full, namePos) !=
        TransferFailure::NONE)
        return;
    ::DeleteFileA((full + kPartialSuffix).c_str());
    ::DeleteFileA((full + kRecordSuffix).c_str());
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

void CDownloadThread::Fail(TransferFailure::Kind kind, DWORD error)
{
    ::EnterCriticalSection(&m_lock);
    m_failure.kind = kind;
    m_failure.error = error;
    ::LeaveCriticalSection(&m_lock);
    throw ExceptionI{kind};
}

void CDownloadThread::FailNetwork(DWORD error, bool waited)
{
    // A connection the library dropped after the whole no-byte limit
    // passed in silence is one that timed out.
    if (waited && (error == ERROR_INTERNET_CONNECTION_ABORTED ||
                   error == ERROR_INTERNET_CONNECTION_RESET) &&
        m_nLastCallMs + kTimerSlackMs >= s_idleLimitMs)
        Fail(TransferFailure::TIMED_OUT, error);
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        Fail(TransferFailure::HOST_NOT_FOUND, error);
    case ERROR_INTERNET_CANNOT_CONNECT:
        Fail(TransferFailure::REFUSED, error);
    case ERROR_INTERNET_TIMEOUT:
        Fail(TransferFailure::TIMED_OUT, error);
    default:
        Fail(TransferFailure::NETWORK, error);
    }
}

void CDownloadThread::CheckAbort()
{
    if (IsStopping())
        throw ThreadException{1};
    if (IsAborted())
        Fail(TransferFailure::NETWORK);
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

CDownloadThread::NetCaller& CDownloadThread::Net()
{
    if (!m_pNet || !m_pNet->Usable()) {
        m_pNet.reset();
        m_pNet.reset(new NetCaller);
        if (!m_pNet->Usable())
            Fail(TransferFailure::NETWORK, ::GetLastError());
    }
    return *m_pNet;
}

CDownloadThread::Job& CDownloadThread::Call(Transfer& t, const std::function<void(Job&)>& call,
                                            DWORD limitMs, const volatile LONG* activity,
                                            DWORD connectMs)
{
    Net();
    const DWORD start = ::GetTickCount();
    const NetCaller::Result result =
        m_pNet->Run(call, m_hAbortEvent, m_hStopEvent, limitMs, activity, connectMs);
    m_nLastCallMs = ::GetTickCount() - start;
    if (result == NetCaller::DONE)
        return m_pNet->Results();
    LeaveHelper(t);
    if (IsStopping())
        throw ThreadException{1};
    if (result == NetCaller::TIMED_OUT)
        Fail(TransferFailure::TIMED_OUT, ERROR_INTERNET_TIMEOUT);
    Fail(TransferFailure::NETWORK);
}

void CDownloadThread::StartWatch(Transfer& t)
{
    ::InterlockedExchange(&t.job->connected, 0);
    ::InterlockedExchange(&t.job->lastActivity, static_cast<LONG>(::GetTickCount()));
}

void CDownloadThread::LeaveHelper(Transfer& t)
{
    if (m_pNet) {
        m_pNet->Leave(t.root);
        m_pNet.reset();
    } else if (t.root) {
        ::InternetCloseHandle(t.root);
    }
    t.root = t.conn = t.data = nullptr;
}

void CDownloadThread::CloseHandles(Transfer& t)
{
    if (!t.root)
        return;
    const bool aborted = IsStopping() || IsAborted();
    if (m_pNet && m_pNet->Usable() && !aborted) {
        const HINTERNET data = t.data, conn = t.conn, root = t.root;
        const NetCaller::Result result = m_pNet->Run([=](Job&) {
            if (data)
                ::InternetCloseHandle(data);
            if (conn)
                ::InternetCloseHandle(conn);
            ::InternetCloseHandle(root);
        }, m_hAbortEvent, m_hStopEvent, kCloseGraceMs, nullptr, 0);
        t.root = t.conn = t.data = nullptr;
        if (result != NetCaller::DONE) {
            m_pNet->Leave(nullptr);   // the call closes them all
            m_pNet.reset();
        }
        return;
    }
    LeaveHelper(t);
}

void CDownloadThread::Download(Request& request)
{
    // The request is ours: take it over, and with it the strings.
    const std::unique_ptr<Request> owned(&request);

    ::EnterCriticalSection(&m_lock);
    m_bCancelled = m_bCancelPending;
    m_bCancelPending = 0;
    m_bActive = 1;
    m_failure = TransferFailure();
    if (m_bCancelled) {
        ::InterlockedExchange(&m_nAborted, 1);
        ::SetEvent(m_hAbortEvent);
    } else if (::InterlockedExchange(&m_nAborted, 0)) {
        ::ResetEvent(m_hAbortEvent);
    }
    ::LeaveCriticalSection(&m_lock);

    Transfer t;
    t.url = owned->url;
    int outcome = DLM_ERROR;
    bool stopped = false;
    try {
        if (const TransferFailure::Kind kind =
                t.file.Open(owned->path, owned->folder, owned->absoluteAllowed, t.url))
            Fail(kind, ::GetLastError());
        Run(t);
        outcome = DLM_COMPLETE;
    } catch (const ExceptionI&) {
        stopped = IsStopping();
    } catch (const ThreadException&) {
        stopped = true;
    }
    t.file.Close();

    ::EnterCriticalSection(&m_lock);
    m_bActive = 0;
    const bool cancelled = m_bCancelled != 0;
    ::LeaveCriticalSection(&m_lock);
    if (stopped) {
        LeaveHelper(t);
        throw ThreadException{1};
    }
    if (outcome == DLM_COMPLETE)
        PostBytes(DLM_COMPLETE, t.total, false);
    else
        PostToReceiver(cancelled ? DLM_CANCELLED : DLM_ERROR, 0, 0, 0);
    if (outcome == DLM_COMPLETE && t.http)
        KeepSession(t);
    else
        CloseHandles(t);
}

void CDownloadThread::OpenSession()
{
    m_hSession = ::InternetOpenA(m_strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (m_hSession)
        ::InternetSetStatusCallbackA(m_hSession, OnStatus);
}

void CDownloadThread::KeepSession(Transfer& t)
{
    // The whole body has been read, so closing the request waits for
    // nothing: its connection goes back to the library for the next one.
    ::InternetCloseHandle(t.data);
    ::InternetCloseHandle(t.conn);
    m_hSession = t.root;
    t.root = t.conn = t.data = nullptr;
}

void CDownloadThread::Run(Transfer& t)
{
    DWORD service;
    std::string server, object;
    WORD port;
    AfxParseURL(t.url.c_str(), service, server, object, port);

    // The session of the last whole transfer goes on; any other ended
    // with its transfer.
    if (!m_hSession)
        OpenSession();
    t.root = m_hSession;
    m_hSession = nullptr;
    if (!t.root)
        Fail(TransferFailure::NETWORK, ::GetLastError());
    SetTimeouts(t.root, s_connectLimitMs, s_idleLimitMs);
    t.job = &Net().Results();
    CheckAbort();

    switch (service) {
    case AFX_INET_SERVICE_HTTP:
    case AFX_INET_SERVICE_HTTPS:
        t.http = true;
        RunHttp(t);
        break;
    case AFX_INET_SERVICE_FTP:
        RunFtp(t);
        break;
    default:
        RunOther(t);
        break;
    }
    if (!t.file.Commit())
        Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
}

void CDownloadThread::RunHttp(Transfer& t)
{
    const DWORD baseFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                            INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_NO_AUTO_REDIRECT;
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(t.job);
    // A second attempt, from byte 0, when the server's answer to a range
    // request is not the rest that was asked for.
    for (bool resume = t.file.ResumeFrom() > 0;; resume = false) {
        std::string url = t.url;
        DWORD status = 0;
        for (int redirects = 0;; ++redirects) {
            DWORD service;
            std::string server, object;
            WORD port;
            AfxParseURL(url.c_str(), service, server, object, port);
            const bool secure = service == AFX_INET_SERVICE_HTTPS;
            if (t.data || t.conn) {
                const HINTERNET data = t.data, conn = t.conn;
                t.data = t.conn = nullptr;
                Call(t, [=](Job&) {
                    if (data)
                        ::InternetCloseHandle(data);
                    if (conn)
                        ::InternetCloseHandle(conn);
                }, s_idleLimitMs);
            }
            t.conn = ::InternetConnectA(t.root, server.c_str(), port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, context);
            if (!t.conn)
                FailNetwork(::GetLastError(), false);
            SetTimeouts(t.conn, s_connectLimitMs, s_idleLimitMs);
            const char* accept[] = {"*/*", nullptr};
            t.data = ::HttpOpenRequestA(t.conn, nullptr, object.c_str(), nullptr, nullptr, accept,
                                        baseFlags | (secure ? INTERNET_FLAG_SECURE : 0), context);
            if (!t.data)
                FailNetwork(::GetLastError(), false);
            SetTimeouts(t.data, s_connectLimitMs, s_idleLimitMs);
            std::string headers;
            if (resume)
                headers = "Range: bytes=" + std::to_string(t.file.ResumeFrom()) + "-\r\nIf-Range: " +
                          t.file.Validator() + "\r\n";
            const HINTERNET request = t.data;
            StartWatch(t);
            const Job& sent = Call(t, [=](Job& j) {
                j.ok = ::HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(),
                                          static_cast<DWORD>(headers.size()), nullptr, 0);
                j.error = j.ok ? 0 : ::GetLastError();
            }, s_idleLimitMs, &t.job->lastActivity, s_connectLimitMs);
            if (!sent.ok)
                FailNetwork(sent.error, true);
            CheckAbort();

            DWORD size = sizeof status, index = 0;
            if (!IsHttpReply(t.data) ||
                !::HttpQueryInfoA(t.data, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                  &size, &index))
                Fail(TransferFailure::BAD_RESPONSE);
            if (!IsRedirect(status))
                break;
            std::string location;
            if (!QueryHeader(t.data, HTTP_QUERY_LOCATION, location) || location.empty()) {
                ::EnterCriticalSection(&m_lock);
                m_failure.httpStatus = status;
                ::LeaveCriticalSection(&m_lock);
                Fail(TransferFailure::BAD_RESPONSE);
            }
            if (redirects == kMaxRedirects)
                Fail(TransferFailure::BAD_REDIRECT);
            char combined[INTERNET_MAX_URL_LENGTH];
            DWORD length = sizeof combined;
            if (HasControlCharacter(location) ||
                !::InternetCombineUrlA(url.c_str(), location.c_str(), combined, &length, 0))
                Fail(TransferFailure::BAD_REDIRECT);
            DWORD nextService;
            std::string nextServer, nextObject;
            WORD nextPort;
            // Only to http and https, and never from https down to http.
            if (!AfxParseURL(combined, nextService, nextServer, nextObject, nextPort) ||
                (nextService != AFX_INET_SERVICE_HTTP && nextService != AFX_INET_SERVICE_HTTPS) ||
                (secure && nextService != AFX_INET_SERVICE_HTTPS) || nextServer.empty())
                Fail(TransferFailure::BAD_REDIRECT);
            url = combined;
        }

        if (status == 416 && resume)
            continue;   // the partial file is no part of what the server has now
        if (status >= 400) {
            std::string text;
            QueryHeader(t.data, HTTP_QUERY_STATUS_TEXT, text);
            ::EnterCriticalSection(&m_lock);
            m_failure.httpStatus = status;
            m_failure.statusText = text;
            ::LeaveCriticalSection(&m_lock);
            Fail(TransferFailure::HTTP_STATUS);
        }
        // Only a 2xx answer with a body is the file: not 1xx, 204, 205, or
        // a 3xx that is no redirect.
        if (status < 200 || status >= 300 || status == 204 || status == 205 ||
            (status == 206 && !resume)) {
            ::EnterCriticalSection(&m_lock);
            m_failure.httpStatus = status;
            ::LeaveCriticalSection(&m_lock);
            Fail(TransferFailure::BAD_RESPONSE);
        }

        std::string text;
        long long length = -1;
        const bool lengthKnown = QueryHeader(t.data, HTTP_QUERY_CONTENT_LENGTH, text) &&
                                 ParseCount(text, 0, text.size(), length);
        if (status == 206) {
            long long first, last, whole;
            const long long from = t.file.ResumeFrom();
            if (QueryHeader(t.data, HTTP_QUERY_CONTENT_RANGE, text) &&
                ParseContentRange(text, first, last, whole) && first == from && last + 1 == whole &&
                (!lengthKnown || length == whole - from)) {
                if (!t.file.Append())
                    Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
                t.total = from;
                t.expected = whole;
                t.lengthKnown = true;
                break;
            }
            continue;   // not the rest that was asked for: from the start
        }
        if (!t.file.Restart())
            Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
        t.total = 0;
        t.expected = lengthKnown ? length : -1;
        t.lengthKnown = lengthKnown;
        // What a later download goes on with: a strong entity tag, else the
        // modification date.
        std::string validator;
        if (!QueryHeader(t.data, HTTP_QUERY_ETAG, validator) || validator.compare(0, 2, "W/") == 0 ||
            validator.empty())
            if (!QueryHeader(t.data, HTTP_QUERY_LAST_MODIFIED, validator))
                validator.clear();
        if (!t.file.Record(validator))
            Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
        break;
    }
    PostBytes(DLM_SIZE, t.expected, false);
    ReadBody(t, t.data, false);
}

void CDownloadThread::RunFtp(Transfer& t)
{
    DWORD service;
    std::string server, object;
    WORD port;
    AfxParseURL(t.url.c_str(), service, server, object, port);
    const HINTERNET root = t.root;
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(t.job);
    StartWatch(t);
    const Job& connected = Call(t, [=](Job& j) {
        j.handle = ::InternetConnectA(root, server.c_str(), port, nullptr, nullptr,
                                      INTERNET_SERVICE_FTP, 0, context);
        j.error = j.handle ? 0 : ::GetLastError();
    }, s_idleLimitMs, &t.job->lastActivity, s_connectLimitMs);
    t.conn = connected.handle;
    if (!t.conn)
        FailNetwork(connected.error, true);

    const std::string ftpPath = PercentDecoded(object);
    const HINTERNET conn = t.conn;
    const Job& found = Call(t, [=](Job& j) {
        HINTERNET find = ::FtpFindFirstFileA(conn, ftpPath.c_str(), &j.found,
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
        j.error = find ? 0 : ::GetLastError();
        j.ok = find != nullptr;
        if (find)
            ::InternetCloseHandle(find);
    }, s_idleLimitMs);
    if (!found.ok)
        FailNetwork(found.error, true);
    const long long size = (static_cast<long long>(found.found.nFileSizeHigh) << 32) |
                           found.found.nFileSizeLow;
    const FILETIME modified = found.found.ftLastWriteTime;
    const std::string validator = "ftp " + std::to_string(size) + " " +
                                  std::to_string(modified.dwHighDateTime) + "." +
                                  std::to_string(modified.dwLowDateTime);

    // Go on where an earlier attempt stopped, when the file is the same
    // and the server takes the restart marker.
    const long long from = t.file.ResumeFrom();
    bool resumed = false;
    if (from > 0 && from < size && t.file.Validator() == validator) {
        // Servers take a restart marker only in binary mode.
        const std::string command = "REST " + std::to_string(from);
        resumed = Call(t, [=](Job& j) {
            j.ok = ::FtpCommandA(conn, FALSE, FTP_TRANSFER_TYPE_BINARY, "TYPE I", 0, nullptr) &&
                   ::FtpCommandA(conn, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr);
        }, s_idleLimitMs).ok;
    }
    if (resumed ? !t.file.Append() : !t.file.Restart())
        Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
    t.total = resumed ? from : 0;
    t.expected = size;
    t.lengthKnown = true;
    if (!t.file.Record(validator))
        Fail(TransferFailure::WRITE_FAILED, ::GetLastError());

    const Job& opened = Call(t, [=](Job& j) {
        j.handle = ::FtpOpenFileA(conn, ftpPath.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 1);
        j.error = j.handle ? 0 : ::GetLastError();
    }, s_idleLimitMs);
    t.data = opened.handle;
    if (!t.data) {
        if (resumed)
            t.file.DropRecord();   // the server took the marker, not the download
        FailNetwork(opened.error, true);
    }
    PostBytes(DLM_SIZE, size, false);
    ReadBody(t, t.data, true);
}

void CDownloadThread::RunOther(Transfer& t)
{
    const HINTERNET root = t.root;
    const std::string url = t.url;
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(t.job);
    StartWatch(t);
    const Job& opened = Call(t, [=](Job& j) {
        j.handle = ::InternetOpenUrlA(root, url.c_str(), nullptr, 0,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                                      INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE |
                                      INTERNET_FLAG_NO_AUTO_REDIRECT, context);
        j.error = j.handle ? 0 : ::GetLastError();
        j.ok = j.handle && ::InternetQueryDataAvailable(j.handle, &j.count, 0, 0);
    }, s_idleLimitMs, &t.job->lastActivity, s_connectLimitMs);
    t.data = opened.handle;
    if (!t.data)
        FailNetwork(opened.error, true);
    if (!t.file.Restart())
        Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
    t.total = 0;
    t.expected = opened.ok ? opened.count : 0;
    t.lengthKnown = false;
    PostBytes(DLM_SIZE, t.expected, false);
    ReadBody(t, t.data, false);
}

void CDownloadThread::ReadBody(Transfer& t, HINTERNET data, bool ftp)
{
    auto cutOff = [&](DWORD error) {
        ::EnterCriticalSection(&m_lock);
        m_failure.received = t.total;
        m_failure.expected = t.expected;
        ::LeaveCriticalSection(&m_lock);
        Fail(TransferFailure::CUT_OFF, error);
    };
    Job& job = *t.job;
    job.file = t.file.Writer();
    job.stopWriting = false;
    job.written = 0;
    job.writeFailed = false;
    job.tooMuch = false;
    StartWatch(t);
    ::InterlockedExchange(&job.connected, 1);
    const long long start = t.total;
    const long long room = t.lengthKnown ? t.expected - t.total : -1;

    // The helper reads the body one block at a time into one buffer and
    // writes each block as it comes, reporting the running total after
    // each (when the panel is ready for it); the worker waits until the
    // body ends, the user cancels or no byte has come for the limit. While the body comes quickly, whole
    // 64 KiB blocks are read straight away. A read of a whole block waits
    // for all of it, though, so a body that comes slowly is read as it
    // arrives: wait for the next bytes, take those. (Wine's FTP data
    // handles tell what has arrived only asynchronously; they are read a
    // block at a time.)
    Call(t, [this, data, ftp, start, room](Job& j) {
        j.ok = TRUE;
        j.error = 0;
        bool streaming = ftp;
        int quickRounds = 0;
        DWORD lastReport = ::GetTickCount() - kProgressGapMs;
        for (;;) {
            const DWORD before = ::GetTickCount();
            DWORD available = 0, n = 0;
            BOOL ok = streaming || ::InternetQueryDataAvailable(data, &available, 0, 0);
            const DWORD want = streaming || available == 0 || available > kBlock ? kBlock : available;
            ok = ok && ::InternetReadFile(data, j.buf, want, &n);
            const DWORD took = ::GetTickCount() - before;
            if (!ok) {
                j.ok = FALSE;
                j.error = ::GetLastError();
                return;
            }
            if (n == 0)
                return;   // a short read is not the end; a read of 0 is
            if (!ftp) {
                if (streaming) {
                    streaming = took < kSlowReadMs;
                    quickRounds = 0;
                } else {
                    quickRounds = n >= kQuickBytes && took < kQuickMs ? quickRounds + 1 : 0;
                    streaming = quickRounds >= kQuickRounds;
                }
            }
            ::EnterCriticalSection(&j.writeLock);
            bool go = !j.stopWriting;
            if (go && room >= 0 && j.written + n > room) {
                j.tooMuch = true;   // the bytes are not what was asked for
                go = false;
            }
            DWORD w = 0;
            if (go && (!::WriteFile(j.file, j.buf, n, &w, nullptr) || w != n)) {
                j.writeFailed = true;
                j.error = ::GetLastError();
                go = false;
            }
            if (go) {
                j.written += n;
                const DWORD now = ::GetTickCount();
                ::InterlockedExchange(&j.lastActivity, static_cast<LONG>(now));
                if (now - lastReport >= kProgressGapMs && PostBytes(DLM_PROGRESS, start + j.written, true))
                    lastReport = now;
            }
            ::LeaveCriticalSection(&j.writeLock);
            if (!go)
                return;
        }
    }, s_idleLimitMs, &job.lastActivity);
    t.total = start + job.written;

    if (job.writeFailed)
        Fail(TransferFailure::WRITE_FAILED, job.error);
    if (job.tooMuch) {
        t.file.DropRecord();
        Fail(TransferFailure::BAD_RESPONSE);
    }
    if (!job.ok) {
        // The library's own timer, or a connection it dropped after the
        // whole limit passed in silence.
        const DWORD quiet = ::GetTickCount() - static_cast<DWORD>(job.lastActivity);
        if (job.error == ERROR_INTERNET_TIMEOUT ||
            (job.error == ERROR_INTERNET_CONNECTION_ABORTED && quiet + kTimerSlackMs >= s_idleLimitMs))
            Fail(TransferFailure::TIMED_OUT, job.error);
        if (t.lengthKnown)
            cutOff(job.error);
        FailNetwork(job.error, false);
    }
    // The connection ended before the announced length arrived.
    if (t.lengthKnown && t.total < t.expected)
        cutOff(0);
}
