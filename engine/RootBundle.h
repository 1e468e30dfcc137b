#pragma once
#include <string>

// The certificate authorities HTTPS servers are checked against: every
// certificate in the user's and the machine's trusted root stores, as one
// PEM bundle made at the first HTTPS transfer and kept for the process.
class CRootBundle {
public:
    // The bundle; empty when the stores hold nothing (every HTTPS server
    // is then untrusted).
    static const std::string& Pem();
    // Whether the TLS layer can check a chain against a bundle of ours
    // (Windows 7 and later). Older systems check the chain and the name
    // themselves against the same stores.
    static bool Usable();
};
