#include "RootBundle.h"
#include <windows.h>
#include <wincrypt.h>
#include "../framework/CriticalSection.h"

namespace {

CCriticalSection& BundleLock()
{
    static CCriticalSection lock;
    return lock;
}

// A closed store handle when the object ends.
class CStore {
public:
    explicit CStore(HCERTSTORE store) : m_store(store) {}
    ~CStore()
    {
        if (m_store)
            ::CertCloseStore(m_store, 0);
    }
    CStore(const CStore&) = delete;
    CStore& operator=(const CStore&) = delete;
    HCERTSTORE Get() const { return m_store; }

private:
    HCERTSTORE m_store;
};

void AppendBase64(const BYTE* data, DWORD size, std::string& out)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t column = 0;
    for (DWORD i = 0; i < size; i += 3) {
        const DWORD n = size - i < 3 ? size - i : 3;
        const unsigned v = (data[i] << 16) | (n > 1 ? data[i + 1] << 8 : 0) | (n > 2 ? data[i + 2] : 0);
        out.push_back(kDigits[(v >> 18) & 63]);
        out.push_back(kDigits[(v >> 12) & 63]);
        out.push_back(n > 1 ? kDigits[(v >> 6) & 63] : '=');
        out.push_back(n > 2 ? kDigits[v & 63] : '=');
        if ((column += 4) == 64) {
            out.push_back('\n');
            column = 0;
        }
    }
    if (column)
        out.push_back('\n');
}

void AppendStore(DWORD location, std::string& pem)
{
    const CStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                       location | CERT_STORE_READONLY_FLAG |
                                           CERT_STORE_OPEN_EXISTING_FLAG,
                                       "ROOT"));
    if (!store.Get())
        return;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = ::CertEnumCertificatesInStore(store.Get(), cert)) != nullptr) {
        if (cert->dwCertEncodingType != X509_ASN_ENCODING)
            continue;
        pem += "-----BEGIN CERTIFICATE-----\n";
        AppendBase64(cert->pbCertEncoded, cert->cbCertEncoded, pem);
        pem += "-----END CERTIFICATE-----\n";
    }
}

} // namespace

const std::string& CRootBundle::Pem()
{
    static std::string pem;
    static bool made = false;
    CLock lock(BundleLock());
    if (!made) {
        AppendStore(CERT_SYSTEM_STORE_CURRENT_USER, pem);
        AppendStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, pem);
        made = true;
    }
    return pem;
}

bool CRootBundle::Usable()
{
    OSVERSIONINFOEXA want = {};
    want.dwOSVersionInfoSize = sizeof want;
    want.dwMajorVersion = 6;
    want.dwMinorVersion = 1;
    DWORDLONG mask = 0;
    mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoA(&want, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}
