// Adds 100,000 distinct URLs to the download list one by one, then offers
// them all again (every one a duplicate), and prints the times; then adds
// as many URLs with Japanese names, written with escapes as browsers copy
// them and in Shift-JIS as a user types them (both sent and named anew).
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "BenchUtil.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    return static_cast<double>(to.QuadPart - from.QuadPart) / freq.QuadPart;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::vector<std::string> urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i)
        urls.push_back("http://mirror" + std::to_string(i % 7) + ".example.com/pub/archive/" +
                       std::to_string(i / 100) + "/file-" + std::to_string(i) + ".zip");

    CKestrinDoc doc;
    const bench::ProcessSample empty = bench::ProcessSample::Now();
    LARGE_INTEGER t0, t1, t2, t3;
    ::QueryPerformanceCounter(&t0);
    for (const std::string& url : urls)
        doc.AddURL(url.c_str());
    ::QueryPerformanceCounter(&t1);
    const bench::ProcessSample full = bench::ProcessSample::Now();
    int refused = 0;
    for (const std::string& url : urls)
        refused += doc.AddURL(url.c_str()) == nullptr;
    ::QueryPerformanceCounter(&t2);
    // A batch's item-by-item walk: take the first pending item, mark it.
    doc.m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    int taken = 0;
    while (URLItem* item = doc.FirstPendingItem()) {
        item->SetState(ITEM_DONE);
        taken += doc.CountPendingItems() >= 0;
    }
    doc.m_nBatchMode = CKestrinDoc::BATCH_IDLE;
    ::QueryPerformanceCounter(&t3);

    std::printf("added %d URLs in %.3f s (%.2f us each)\n", doc.GetItemCount(),
                Seconds(t0, t1), Seconds(t0, t1) * 1e6 / count);
    std::printf("memory: %.1f MiB resident, %.1f MiB private per 100,000 items (URLs of %zu bytes)\n",
                (full.residentMiB - empty.residentMiB) * 100000.0 / count,
                (full.privateMiB - empty.privateMiB) * 100000.0 / count, urls[count / 2].size());
    std::printf("refused %d duplicates in %.3f s\n", refused, Seconds(t1, t2));
    std::printf("walked %d pending items in %.3f s\n", taken, Seconds(t2, t3));

    // "資料/レポート-N.pdf", escaped, then in the code page.
    const std::string escaped = "/%E8%B3%87%E6%96%99/%E3%83%AC%E3%83%9D%E3%83%BC%E3%83%88-";
    const std::string typed = "/\x8e\x91\x97\xbf/\x83\x8c\x83\x7c\x81\x5b\x83\x67-";
    for (const std::string* path : {&escaped, &typed}) {
        std::vector<std::string> japanese;
        japanese.reserve(count);
        for (int i = 0; i < count; ++i)
            japanese.push_back("http://mirror" + std::to_string(i % 7) + ".example.com" + *path +
                               std::to_string(i) + ".pdf");
        CKestrinDoc named;
        LARGE_INTEGER a, b;
        ::QueryPerformanceCounter(&a);
        for (const std::string& url : japanese)
            named.AddURL(url.c_str());
        ::QueryPerformanceCounter(&b);
        std::printf("added %d Japanese URLs %s in %.3f s (%.2f us each), e.g. named %s\n",
                    named.GetItemCount(), path == &escaped ? "with escapes" : "in Shift-JIS",
                    Seconds(a, b), Seconds(a, b) * 1e6 / count,
                    named.GetItem(0)->m_strFileName.c_str());
    }
    return 0;
}
