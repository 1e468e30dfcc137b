#include <winsock2.h>
#include "EngineUtil.h"
#include <wininet.h>
#include <tlhelp32.h>
#include <cstdlib>
#include "TestUtil.h"
#include "engine/DownloadThread.h"
#include "framework/WinApp.h"

namespace test {

ThreadSink::ThreadSink()
    : m_pOldMain(AfxGetApp()->m_pMainWnd)
{
    RegisterClass("KestrinTestSink", 0, nullptr, nullptr, nullptr);
    CreateEx(0, "KestrinTestSink", "sink", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    AfxGetApp()->m_pMainWnd = this;
}

ThreadSink::~ThreadSink()
{
    AfxGetApp()->m_pMainWnd = m_pOldMain;
    DestroyWindow();
}

LRESULT ThreadSink::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_THREADMESSAGE) {
        reinterpret_cast<CBaseThread*>(lp)->DeliverNext();
        return 0;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

int Recorder::Outcomes() const
{
    int n = 0;
    for (const Received& m : messages)
        n += m.type == DLM_COMPLETE || m.type == DLM_ERROR || m.type == DLM_CANCELLED;
    return n;
}

int Recorder::LastOutcome() const
{
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        if (it->type == DLM_COMPLETE || it->type == DLM_ERROR || it->type == DLM_CANCELLED)
            return it->type;
    return 0;
}

int ServerPort(const char* name)
{
    const char* dir = std::getenv("KESTRIN_SERVER_DIR");
    if (!dir)
        return 0;
    std::string path = std::string("Z:") + dir + "/" + name + ".port";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::string text;
    return ReadFileBytes(path, text) ? std::atoi(text.c_str()) : 0;
}

std::string HttpUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(ServerPort("http")) + path;
}

std::string FtpUrl(const std::string& path)
{
    return "ftp://127.0.0.1:" + std::to_string(ServerPort("ftp")) + path;
}

std::string UrlEscape(const std::string& text)
{
    std::string out;
    const char* hex = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

namespace {

// The body of a small answer of the HTTP server; false when none came.
bool AskServer(const std::string& path, std::string& answer)
{
    HINTERNET root = ::InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET url = ::InternetOpenUrlA(root, HttpUrl(path).c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buf[256] = "";
    DWORD n = 0;
    if (url)
        ::InternetReadFile(url, buf, sizeof buf - 1, &n);
    answer.assign(buf, n);
    if (url)
        ::InternetCloseHandle(url);
    ::InternetCloseHandle(root);
    return url != nullptr;
}

} // namespace

int HttpRequestCount(const std::string& pathAndQuery)
{
    std::string answer;
    return AskServer("/count?path=" + UrlEscape(pathAndQuery), answer) ? std::atoi(answer.c_str()) : -1;
}

std::string HttpLastRange(const std::string& pathAndQuery)
{
    std::string answer;
    AskServer("/lastrange?path=" + UrlEscape(pathAndQuery), answer);
    return answer;
}

long long HttpBytesSent(const std::string& pathAndQuery)
{
    std::string answer;
    return AskServer("/sent?path=" + UrlEscape(pathAndQuery), answer) ? std::atoll(answer.c_str()) : -1;
}

std::string FtpLog()
{
    const char* dir = std::getenv("KESTRIN_SERVER_DIR");
    std::string path = std::string("Z:") + (dir ? dir : "") + "/ftp.log";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::string text;
    ReadFileBytes(path, text);
    return text;
}

std::string Unique()
{
    static int counter = 0;
    return "?t=" + std::to_string(::GetTickCount()) + "-" + std::to_string(++counter);
}

std::string Pattern(size_t n)
{
    std::string block(65536, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 7 + (i >> 8) * 13) & 0xFF);
    std::string out;
    out.reserve(n);
    while (out.size() < n)
        out += block;
    out.resize(n);
    return out;
}

int ClosedPort()
{
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::closesocket(s);
    return ntohs(addr.sin_port);
}

int ThreadCount()
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = ::Thread32First(snap, &entry); more; more = ::Thread32Next(snap, &entry))
        n += entry.th32OwnerProcessID == ::GetCurrentProcessId();
    ::CloseHandle(snap);
    return n;
}

} // namespace test
