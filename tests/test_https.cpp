// HTTPS against local TLS servers: a certificate for localhost from an
// authority this test adds to the user's trusted roots is taken; one
// signed by itself, one from an authority nobody trusts and a trusted one
// for another name are refused as untrusted, with no file written.
#include <windows.h>
#include <wincrypt.h>
#include <algorithm>
#include <cstdio>
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "TestWorker.h"
#include "engine/DownloadThread.h"
#include "engine/FailureText.h"

using namespace test;

namespace {

// By name: the TLS layer matches a certificate's DNS names only, not its
// IP addresses.
std::string HttpsUrl(const char* server, const std::string& path, const char* host = "localhost")
{
    return std::string("https://") + host + ":" + std::to_string(ServerPort(server)) + path;
}

// Adds the test servers' authority to the current user's trusted roots,
// as a user (or an administrator) would; true when it is there.
bool TrustTestAuthority()
{
    const char* dir = std::getenv("KESTRIN_SERVER_DIR");
    std::string path = std::string("Z:") + (dir ? dir : "") + "/tls/root.pem";
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string pem;
    if (!ReadFileBytes(path, pem))
        return false;
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                nullptr, &size, nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    if (!::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr))
        return false;
    HCERTSTORE store = ::CertOpenSystemStoreA(0, "ROOT");
    if (!store)
        return false;
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
        reinterpret_cast<const BYTE*>(der.data()), size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    ::CertCloseStore(store, 0);
    return added != FALSE;
}

} // namespace

TEST_CASE("https: a trusted certificate for the host completes; untrusted ones end as untrusted with no file")
{
    LoadTestSettings();
    REQUIRE(TrustTestAuthority());
    ThreadSink sink;
    TempDir dir;
    const std::string earlier(2000, 'e');
    REQUIRE(WriteFileBytes(dir.File("keep.bin"), earlier));
    Worker worker(dir.Path());

    REQUIRE(worker.Start(HttpsUrl("https-good", "/bytes/300000" + Unique()), "good.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    std::string bytes;
    CHECK(ReadFileBytes(dir.File("good.bin"), bytes) && bytes == Pattern(300000));
    // A certificate that names the address is still refused by address:
    // the TLS layer matches names only. Safe, if strict.
    REQUIRE(worker.Start(HttpsUrl("https-good", "/bytes/1000" + Unique(), "127.0.0.1"), "keep.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));

    for (const char* server : {"https-self", "https-unknown", "https-wrongname"}) {
        const std::string path = "/bytes/1000" + Unique();
        REQUIRE(worker.Start(HttpsUrl(server, path), "keep.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        const TransferFailure f = worker.Thread()->GetLastFailure();
        const bool ok = CHECK_EQ(static_cast<int>(f.kind), static_cast<int>(TransferFailure::CERT_UNTRUSTED)) &&
                        CHECK_EQ(FailureText(f), Ansi("サーバーの証明書を信頼できません"));
        if (!ok)
            std::printf("      for %s\n", server);
        CHECK(ReadFileBytes(dir.File("keep.bin"), bytes) && bytes == earlier);
    }
    worker.Finish();
    std::vector<std::string> files = FilesIn(dir.Path());
    std::sort(files.begin(), files.end());
    CHECK(files == (std::vector<std::string>{"good.bin", "keep.bin"}));
}

TEST_CASE("https: a redirect down to http is refused, one to another https path is followed")
{
    LoadTestSettings();
    REQUIRE(TrustTestAuthority());
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    const std::string down = HttpUrl("/bytes/500" + Unique());
    REQUIRE(worker.Start(HttpsUrl("https-good", "/go/302?to=" + UrlEscape(down)), "down.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
    CHECK_EQ(static_cast<int>(worker.Thread()->GetLastFailure().kind),
             static_cast<int>(TransferFailure::BAD_REDIRECT));
    CHECK_EQ(HttpRequestCount(down.substr(down.find('/', 8))), 0);

    REQUIRE(worker.Start(HttpsUrl("https-good", "/go/301?to=" + UrlEscape("/bytes/700" + Unique())), "up.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    worker.Finish();
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"up.bin"});
}

TEST_CASE("https: cancel during a handshake the server never answers ends within 200 ms")
{
    LoadTestSettings();
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    for (int round = 0; round < 2; ++round) {
        REQUIRE(worker.Start(HttpsUrl("https-hold", "/x.bin"), "held.bin"));
        Pump(700);
        const DWORD start = ::GetTickCount();
        worker.Thread()->Cancel();
        CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
        const DWORD took = ::GetTickCount() - start;
        if (!CHECK(took < 200))
            std::printf("      took %lu ms\n", took);
    }
    // Stop ends the worker just as fast.
    REQUIRE(worker.Start(HttpsUrl("https-hold", "/x.bin"), "held.bin"));
    Pump(700);
    const DWORD start = ::GetTickCount();
    worker.Thread()->Stop();
    CHECK(PumpUntil([&] { return worker.rec.released > 0; }, 3000));
    CHECK(::GetTickCount() - start < 1000);
    CHECK(FilesIn(dir.Path()).empty());
}
