#pragma once
#include <string>

// The proxy the system's Internet settings name for the current user, for
// requests that no proxy environment variable (http_proxy, https_proxy,
// all_proxy) already covers: libcurl reads those itself.
class CSystemProxy {
public:
    // Reads the settings (once per worker: they rarely change).
    void Load();
    // The proxy for a request of `scheme` ("http" or "https"); empty for
    // none. `noProxy` gets the hosts that go direct, comma-separated.
    std::string For(const std::string& scheme, std::string& noProxy) const;

    // Parses the settings' text: "host:port" for every scheme, or
    // "http=host:port;https=host:port" (also with blanks between), and a
    // bypass list separated by ';' or blanks ("<local>" for hosts
    // without a dot).
    void Parse(const std::string& proxy, const std::string& bypass);

private:
    std::string m_http;
    std::string m_https;
    std::string m_noProxy;
};
