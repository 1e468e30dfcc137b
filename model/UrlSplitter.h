#pragma once
#include "../framework/Portable.h"
#include <string>

// Service types reported by AfxParseURL. FTP and HTTP carry WinINet's own
// service numbers, since the transfer connects with them.
enum : DWORD {
    AFX_INET_SERVICE_FTP = 1,
    AFX_INET_SERVICE_GOPHER = 2,
    AFX_INET_SERVICE_HTTP = 3,
    AFX_INET_SERVICE_UNK = 0x1000,
    AFX_INET_SERVICE_FILE,
    AFX_INET_SERVICE_HTTPS,
};

// Splits an absolute URL into its service type, server, object part and
// port. The object part is everything after the host and port, beginning
// with "/" ("/" alone when the URL has no path), query included; a
// fragment ("#...") is never sent to a server and is left out. User name
// and password are skipped. The port is the URL's own, or the scheme's
// default. Returns FALSE, with service type AFX_INET_SERVICE_UNK and empty
// server and object, for text that is not an absolute URL.
BOOL AfxParseURL(const char* url, DWORD& serviceType, std::string& server,
                 std::string& object, WORD& port);
