#include "SystemProxy.h"
#include <windows.h>
#include <cstdlib>
#include <vector>

namespace {

// WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, whose DLL is loaded when needed:
// WinHTTP came with Windows XP SP1, so the program starts without it.
struct IeProxyConfig {
    BOOL autoDetect;
    LPWSTR autoConfigUrl;
    LPWSTR proxy;
    LPWSTR proxyBypass;
};
using GetIeProxyFn = BOOL(WINAPI*)(IeProxyConfig*);

std::string Narrow(LPCWSTR text)
{
    std::string out;
    for (; text && *text; ++text)
        out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

std::vector<std::string> Split(const std::string& text, const char* separators)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find_first_of(separators, start);
        const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty())
            parts.push_back(part);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

bool HasEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

void CSystemProxy::Load()
{
    m_http.clear();
    m_https.clear();
    m_noProxy.clear();
    HMODULE dll = ::LoadLibraryA("winhttp.dll");
    if (!dll)
        return;
    auto get = reinterpret_cast<GetIeProxyFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "WinHttpGetIEProxyConfigForCurrentUser")));
    IeProxyConfig config = {};
    if (get && get(&config)) {
        Parse(Narrow(config.proxy), Narrow(config.proxyBypass));
        for (LPWSTR text : {config.autoConfigUrl, config.proxy, config.proxyBypass})
            if (text)
                ::GlobalFree(text);
    }
    ::FreeLibrary(dll);
}

void CSystemProxy::Parse(const std::string& proxy, const std::string& bypass)
{
    m_http.clear();
    m_https.clear();
    for (const std::string& entry : Split(proxy, "; ")) {
        const size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            m_http = m_https = entry;
            continue;
        }
        const std::string scheme = entry.substr(0, eq), server = entry.substr(eq + 1);
        if (::lstrcmpiA(scheme.c_str(), "http") == 0)
            m_http = server;
        else if (::lstrcmpiA(scheme.c_str(), "https") == 0)
            m_https = server;
    }
    m_noProxy.clear();
    for (std::string host : Split(bypass, "; ")) {
        if (host == "<local>")
            host = "localhost,127.0.0.1";
        else if (host.compare(0, 2, "*.") == 0)
            host.erase(0, 1);   // ".example.com": the domain and below
        m_noProxy += (m_noProxy.empty() ? "" : ",") + host;
    }
}

std::string CSystemProxy::For(const std::string& scheme, std::string& noProxy) const
{
    noProxy = m_noProxy;
    const bool https = scheme == "https";
    if (HasEnv("all_proxy") || HasEnv("ALL_PROXY") || (https ? HasEnv("https_proxy") || HasEnv("HTTPS_PROXY")
                                                             : HasEnv("http_proxy")))
        return std::string();   // libcurl takes the environment's
    return https ? m_https : m_http;
}
