#include "Transfer.h"
#include <ctime>
#include "HttpRules.h"
#include "../model/UrlSplitter.h"

namespace {

// Redirects followed in a row before the download is given up.
constexpr int kMaxRedirects = 10;

} // namespace

// Bytes of a body into the file, whatever the protocol.
class CTransfer::FileSink : public INetSink {
public:
    explicit FileSink(CTransfer& t) : m_t(t) {}
    BodyUse OnHead(const NetHead&) override { return BodyUse::TAKE; }
    bool OnBody(const char* data, size_t n) override { return m_t.Write(data, n); }

protected:
    CTransfer& m_t;
};

// Decides, from the head of an HTTP response, what its body is.
class CTransfer::HttpSink : public FileSink {
public:
    enum Verdict { NO_HEAD, BODY, REDIRECT, RESTART, FAILED };

    HttpSink(CTransfer& t, bool resume) : FileSink(t), m_bResume(resume) {}

    BodyUse OnHead(const NetHead& head) override
    {
        m_head = head;
        const long status = head.status;
        if (HttpRules::IsRedirect(status)) {
            if (head.location.empty())
                return Refuse(TransferFailure::BAD_RESPONSE, status);
            m_verdict = REDIRECT;
            return BodyUse::DISCARD;
        }
        if (status == 416 && m_bResume) {
            m_verdict = RESTART;   // the partial file is no part of what the server has now
            return BodyUse::DISCARD;
        }
        if (status >= 400) {
            m_failure.kind = TransferFailure::HTTP_STATUS;
            m_failure.httpStatus = static_cast<DWORD>(status);
            m_failure.statusText = head.reason;
            m_failure.retryAfter = HttpRules::RetryAfterSeconds(head.retryAfter, std::time(nullptr));
            m_verdict = FAILED;
            return BodyUse::DISCARD;
        }
        // Only a 2xx answer with a body is the file: not 1xx, 204, 205, a
        // 3xx that is no redirect, or a part that was not asked for.
        if (status < 200 || status >= 300 || status == 204 || status == 205 || (status == 206 && !m_bResume))
            return Refuse(TransferFailure::BAD_RESPONSE, status);
        CTargetFile& file = m_t.m_file;
        const std::string validator = HttpRules::Validator(head.etag, head.lastModified);
        if (status == 206) {
            // Only the rest of the very bytes kept: the range must start at
            // their end and the validator must be theirs, or the file would
            // be spliced from two versions.
            long long first, last, whole;
            const long long from = file.ResumeFrom();
            if (!HttpRules::ParseContentRange(head.contentRange, first, last, whole) || first != from ||
                last + 1 != whole || (head.length >= 0 && head.length != whole - from) ||
                validator != file.Validator()) {
                m_verdict = RESTART;
                return BodyUse::STOP;
            }
            if (!file.Append())
                return Refuse(TransferFailure::WRITE_FAILED, 0, ::GetLastError());
            m_t.m_nTotal = from;
            m_t.m_nExpected = whole;
        } else {
            if (!file.Restart())
                return Refuse(TransferFailure::WRITE_FAILED, 0, ::GetLastError());
            m_t.m_nTotal = 0;
            m_t.m_nExpected = head.length;
            file.Record(validator);
        }
        m_verdict = BODY;
        m_t.m_report.OnSize(m_t.m_nExpected);
        return BodyUse::TAKE;
    }

    Verdict m_verdict = NO_HEAD;
    NetHead m_head;
    TransferFailure m_failure;

private:
    BodyUse Refuse(TransferFailure::Kind kind, long status, DWORD error = 0)
    {
        m_failure.kind = kind;
        m_failure.httpStatus = static_cast<DWORD>(status);
        m_failure.error = error;
        m_verdict = FAILED;
        return BodyUse::STOP;
    }

    bool m_bResume;
};

CTransfer::Outcome CTransfer::Run(const std::string& url, const std::string& path,
                                  const std::string& folder, bool absoluteAllowed)
{
    m_strUrl = url;
    if (const TransferFailure::Kind kind = m_file.Open(path, folder, absoluteAllowed, url))
        return Fail(kind, ::GetLastError());
    DWORD service;
    std::string server, object;
    WORD port;
    AfxParseURL(url.c_str(), service, server, object, port);
    switch (service) {
    case AFX_INET_SERVICE_HTTP:
    case AFX_INET_SERVICE_HTTPS:
        return RunHttp();
    case AFX_INET_SERVICE_FTP:
        return RunFtp();
    default:
        return RunOther();
    }
}

NetRequest CTransfer::MakeRequest(const std::string& url) const
{
    NetRequest request;
    request.url = url;
    request.connectMs = m_nConnectMs;
    request.idleMs = m_nIdleMs;
    return request;
}

bool CTransfer::Write(const char* data, size_t n)
{
    if (!m_file.Write(data, n))
        return false;
    m_nTotal += static_cast<long long>(n);
    m_report.OnProgress(m_nTotal);
    return true;
}

CTransfer::Outcome CTransfer::Fail(TransferFailure::Kind kind, DWORD error)
{
    TransferFailure failure;
    failure.kind = kind;
    failure.error = error;
    return Fail(failure);
}

CTransfer::Outcome CTransfer::Fail(const TransferFailure& failure)
{
    m_failure = failure;
    if (m_failure.kind == TransferFailure::CUT_OFF) {
        m_failure.received = m_nTotal;
        m_failure.expected = m_nExpected;
    }
    if (m_failure.kind == TransferFailure::BAD_BODY)
        m_file.DropRecord();   // the bytes kept are not worth going on from
    return FAILED;
}

CTransfer::Outcome CTransfer::Finish(const NetResult& result)
{
    if (result.aborted)
        return ABORTED;
    if (!result.ok)
        return Fail(result.failure);
    if (!m_file.Commit())
        return Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
    return COMPLETE;
}

CTransfer::Outcome CTransfer::RunHttp()
{
    // A second attempt, from byte 0, when the server's answer to a range
    // request is not the rest that was asked for.
    for (bool resume = m_file.ResumeFrom() > 0;; resume = false) {
        std::string url = m_strUrl;
        for (int redirects = 0;; ++redirects) {
            NetRequest request = MakeRequest(url);
            if (resume) {
                request.range = "bytes=" + std::to_string(m_file.ResumeFrom()) + "-";
                request.ifRange = m_file.Validator();
            }
            HttpSink sink(*this, resume);
            const NetResult result = m_web.Fetch(request, sink);
            if (result.aborted)
                return ABORTED;
            switch (sink.m_verdict) {
            case HttpSink::NO_HEAD:
                return Fail(result.failure);
            case HttpSink::FAILED:
                return Fail(sink.m_failure);
            case HttpSink::BODY:
                if (result.ok && m_nExpected >= 0 && m_nTotal != m_nExpected)
                    return Fail(TransferFailure::CUT_OFF);
                return Finish(result);
            case HttpSink::RESTART:
                break;
            case HttpSink::REDIRECT: {
                std::string next;
                if (redirects == kMaxRedirects || !HttpRules::NextUrl(url, sink.m_head.location, next))
                    return Fail(TransferFailure::BAD_REDIRECT);
                url = next;
                continue;
            }
            }
            break;   // RESTART: from byte 0
        }
        if (!resume)
            return Fail(TransferFailure::BAD_RESPONSE);   // a restart without a resume: cannot be
    }
}

// Bytes of an FTP file: the listed size is what the panel shows; the
// server's end of the data is what ends the file (it may have grown).
class CTransfer::FtpSink : public FileSink {
public:
    FtpSink(CTransfer& t, bool resume, long long size, const std::string& validator)
        : FileSink(t), m_bResume(resume), m_nSize(size), m_strValidator(validator) {}

    BodyUse OnHead(const NetHead&) override
    {
        CTargetFile& file = m_t.m_file;
        m_t.m_nTotal = m_bResume ? file.ResumeFrom() : 0;
        if (m_bResume ? !file.Append() : !file.Restart()) {
            m_bWriteFailed = true;
            return BodyUse::STOP;
        }
        file.Record(m_strValidator);
        m_t.m_report.OnSize(m_nSize);
        return BodyUse::TAKE;
    }

    bool m_bWriteFailed = false;

private:
    bool m_bResume;
    long long m_nSize;
    std::string m_strValidator;
};

CTransfer::Outcome CTransfer::RunFtp()
{
    // The size and the date first: they tell whether the bytes kept are
    // the start of this very file.
    NetRequest info = MakeRequest(m_strUrl);
    info.infoOnly = true;
    FileSink none(*this);
    const NetResult listed = m_web.Fetch(info, none);
    if (listed.aborted)
        return ABORTED;
    if (!listed.ok)
        return Fail(listed.failure);
    const long long size = listed.fileSize;
    const std::string validator = "ftp " + std::to_string(size) + " " + std::to_string(listed.fileTime);
    const long long from = m_file.ResumeFrom();
    // A server that refuses the restart marker gets one more request, from 0.
    for (bool resume = from > 0 && size > from && m_file.Validator() == validator;; resume = false) {
        FtpSink sink(*this, resume, size, validator);
        NetRequest request = MakeRequest(m_strUrl);
        request.resumeFrom = resume ? from : 0;
        request.listedSize = size;
        const NetResult result = m_web.Fetch(request, sink);
        if (sink.m_bWriteFailed)
            return Fail(TransferFailure::WRITE_FAILED, ::GetLastError());
        if (resume && !result.ok && !result.aborted && !result.headSeen &&
            result.failure.kind != TransferFailure::TIMED_OUT)
            continue;
        return Finish(result);
    }
}

CTransfer::Outcome CTransfer::RunOther()
{
    class OtherSink : public FileSink {
    public:
        explicit OtherSink(CTransfer& t) : FileSink(t) {}
        BodyUse OnHead(const NetHead& head) override
        {
            if (!m_t.m_file.Restart())
                return BodyUse::STOP;
            m_t.m_nTotal = 0;
            m_t.m_report.OnSize(head.length);
            return BodyUse::TAKE;
        }
    } sink(*this);
    return Finish(m_other.Fetch(MakeRequest(m_strUrl), sink));
}
