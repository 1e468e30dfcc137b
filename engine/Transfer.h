#pragma once
#include <string>
#include "NetClient.h"
#include "TargetFile.h"
#include "TransferFailure.h"

// What a transfer tells its worker while it runs.
class ITransferReport {
public:
    virtual ~ITransferReport() = default;
    // The announced size (-1 unknown), once, before the first byte.
    virtual void OnSize(long long size) = 0;
    // The bytes in the file so far.
    virtual void OnProgress(long long total) = 0;
};

// One download: one URL into one file, over HTTP(S) or FTP through `web`,
// any other scheme through `other`.
class CTransfer {
public:
    enum Outcome { COMPLETE, FAILED, ABORTED };

    CTransfer(INetClient& web, INetClient& other, ITransferReport& report, DWORD connectMs,
              DWORD idleMs)
        : m_web(web), m_other(other), m_report(report), m_nConnectMs(connectMs), m_nIdleMs(idleMs) {}

    Outcome Run(const std::string& url, const std::string& path, const std::string& folder,
                bool absoluteAllowed);
    // Why it failed (Outcome FAILED).
    const TransferFailure& Failure() const { return m_failure; }
    // The bytes of the finished file.
    long long Total() const { return m_nTotal; }
    // Closes the file once the run is over: moved into place, kept as a
    // partial file with its record (true) for a later download, or deleted.
    bool CloseFile() { return m_file.Close(); }

private:
    class FileSink;
    class HttpSink;
    class FtpSink;

    Outcome RunHttp();
    Outcome RunFtp();
    Outcome RunOther();
    // The body has come as the request ended: the file takes its place.
    Outcome Finish(const NetResult& result);
    Outcome Fail(TransferFailure::Kind kind, DWORD error = 0);
    Outcome Fail(const TransferFailure& failure);
    NetRequest MakeRequest(const std::string& url) const;
    // Body bytes into the file, reported as they come.
    bool Write(const char* data, size_t n);

    INetClient& m_web;
    INetClient& m_other;
    ITransferReport& m_report;
    DWORD m_nConnectMs;
    DWORD m_nIdleMs;
    std::string m_strUrl;
    CTargetFile m_file;
    TransferFailure m_failure;
    long long m_nTotal = 0;         // bytes in the file
    long long m_nExpected = -1;     // the whole size announced; -1 unknown
};
