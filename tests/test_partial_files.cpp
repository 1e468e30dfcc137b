// Partial files and their records: a transfer says whether it kept its
// bytes, writes its record while it runs (and never for a small file that
// completes at once), a later download trusts a record only as far as its
// partial file holds, and only an item whose transfer kept bytes looks
// for them on the disk when it leaves the list.
#include <algorithm>
#include <cstdio>
#include "Test.h"
#include "EngineUtil.h"
#include "TestWorker.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/resource.h"
#include "engine/DownloadParentDlg.h"
#include "engine/DownloadThread.h"
#include "engine/TargetFile.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"

using namespace test;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// The outcome message of the worker's last transfer.
Received LastOutcome(const Worker& worker)
{
    const std::vector<Received> current = worker.Current();
    for (auto it = current.rbegin(); it != current.rend(); ++it)
        if (it->type == DLM_COMPLETE || it->type == DLM_ERROR || it->type == DLM_CANCELLED)
            return *it;
    return {0, 0, 0};
}

// The record beside `target`, read as a later download reads it. It is
// opened so that the worker may replace or delete it meanwhile.
bool ReadRecord(const std::string& target, const std::string& url, std::string& validator,
                long long& length)
{
    HANDLE f = ::CreateFileA(CTargetFile::RecordPath(target).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    char buf[4096];
    DWORD n = 0;
    const bool read = ::ReadFile(f, buf, sizeof buf, &n, nullptr) != FALSE;
    ::CloseHandle(f);
    return read && CTargetFile::ParseRecord(std::string(buf, n), url, validator, length);
}

} // namespace

TEST_CASE("a transfer that ends without its file says whether it kept its bytes for a later one")
{
    ThreadSink sink;
    struct Case {
        const char* what;
        std::string path;
        int outcome;
        int kept;                                // p1 of the outcome
        std::vector<std::string> files;          // beside nothing else afterwards
    } cases[] = {
        {"completed", "/bytes/5000", DLM_COMPLETE, 5000, {"f.bin"}},
        {"cut off, with an ETag", "/cut/100000/40000", DLM_ERROR, 1, {"f.bin.kstinfo", "f.bin.kstpart"}},
        {"cut off, with a date only", "/cutlm/100000/40000", DLM_ERROR, 1, {"f.bin.kstinfo", "f.bin.kstpart"}},
        {"cut off, without a validator", "/cutnoval/100000/40000", DLM_ERROR, 0, {}},
        {"not found", "/status/404", DLM_ERROR, 0, {}},
        {"cut off before its first byte", "/short/10000/0", DLM_ERROR, 0, {}},
        {"a chunk that is no number", "/chunkbad/8000", DLM_ERROR, 0, {}},
    };
    for (const Case& c : cases) {
        Context context(c.what);
        TempDir dir;
        Worker worker(dir.Path());
        REQUIRE(worker.Start(HttpUrl(c.path + Unique()), "f.bin"));
        CHECK_EQ(worker.Outcome(), c.outcome);
        CHECK_EQ(LastOutcome(worker).p1, c.kept);
        CHECK(Sorted(FilesIn(dir.Path())) == Sorted(c.files));
    }
}

TEST_CASE("cancelled transfers say whether they kept bytes; a failure keeps the bytes an earlier one left")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    // Cancelled while the body comes: its bytes are kept.
    REQUIRE(worker.Start(HttpUrl("/slow/2000000/20000" + Unique()), "slow.bin"));
    CHECK(worker.WaitFor(DLM_PROGRESS));
    worker.Thread()->Cancel();
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
    CHECK_EQ(LastOutcome(worker).p1, 1);
    // Cancelled before any answer: nothing is kept.
    REQUIRE(worker.Start(HttpUrl("/silent" + Unique()), "silent.bin"));
    Pump(300);
    worker.Thread()->Cancel();
    CHECK_EQ(worker.Outcome(3000), static_cast<int>(DLM_CANCELLED));
    CHECK_EQ(LastOutcome(worker).p1, 0);
    CHECK(Sorted(FilesIn(dir.Path())) == Sorted({"slow.bin.kstinfo", "slow.bin.kstpart"}));

    // Cut off at 40,000 bytes, then a 503: the bytes of the first attempt
    // stay through the second, and the third asks for the rest.
    const std::string flaky = "/flaky/100000/cut40000.503" + Unique();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        Context context("attempt " + std::to_string(attempt));
        REQUIRE(worker.Start(HttpUrl(flaky), "flaky.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_ERROR));
        CHECK_EQ(LastOutcome(worker).p1, 1);
        CHECK_EQ(FileSize(dir.File("flaky.bin.kstpart")), 40000LL);
    }
    REQUIRE(worker.Start(HttpUrl(flaky), "flaky.bin"));
    CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
    CHECK_EQ(HttpLastRange(flaky), std::string("bytes=40000-"));
    std::string got;
    CHECK(ReadFileBytes(dir.File("flaky.bin"), got) && got == Pattern(100000));
    worker.Finish();
}

TEST_CASE("a long transfer records its bytes as it goes; a short one never writes a record")
{
    ThreadSink sink;
    TempDir dir;
    Worker worker(dir.Path());
    // 2 MB over 8 s in ten bursts, a record due every 300 ms: records come
    // while it runs, each naming no more than the partial file holds, and
    // more as it goes on.
    CTargetFile::SetRecordInterval(300);
    const std::string path = "/slow/2000000/8000" + Unique();
    const std::string url = HttpUrl(path);
    REQUIRE(worker.Start(url, "long.bin"));
    std::vector<long long> lengths;
    bool withinFile = true;
    PumpUntil([&] {
        std::string validator;
        long long length = 0;
        if (ReadRecord(dir.File("long.bin"), url, validator, length)) {
            if (lengths.empty() || lengths.back() != length)
                lengths.push_back(length);
            // Read after the record: the partial file only grows, until it
            // takes the target's place (after its record has gone).
            const long long size = FileSize(dir.File("long.bin.kstpart"));
            if (size >= 0 && !(length > 0 && length <= size)) {
                std::printf("  record names %lld bytes, partial file holds %lld\n", length, size);
                withinFile = false;
            }
        }
        return worker.rec.Outcomes() > 0;
    }, 30000);
    CTargetFile::SetRecordInterval(1000);
    CHECK_EQ(worker.rec.LastOutcome(), static_cast<int>(DLM_COMPLETE));
    CHECK(lengths.size() >= 3);
    CHECK(withinFile);
    CHECK(std::is_sorted(lengths.begin(), lengths.end()));
    // Whole: the record has gone with the partial file.
    CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"long.bin"});

    // 200 small files, each whole within a few milliseconds: no record
    // file is made for any of them (its making and removal would cost
    // each file two more file operations).
    const DWORD start = ::GetTickCount();
    bool recordSeen = false;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "s" + std::to_string(i) + ".bin";
        REQUIRE(worker.Start(HttpUrl("/bytes/3000" + Unique()), name));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        recordSeen = recordSeen || FileExists(dir.File(name + ".kstinfo"));
    }
    CHECK(!recordSeen);
    std::printf("  200 small files in %lu ms\n", ::GetTickCount() - start);
    CHECK_EQ(FilesIn(dir.Path()).size(), 201u);
    worker.Finish();
}

TEST_CASE("a record is trusted only as far as its partial file holds; anything else starts from 0")
{
    ThreadSink sink;
    const size_t size = 300000;
    const std::string bytes = Pattern(size);
    struct Case {
        const char* what;
        size_t partial;                 // bytes of the partial file (the right ones)
        std::string tail;               // written after them (a crash's leftovers)
        const char* record;             // "v2", "v1", "cut", "other", "none", "zero"
        long long recorded;             // the length a v2 record names
        long long from;                 // where the download must go on; 0: from the start
    } cases[] = {
        {"as recorded", 120000, "", "v2", 120000, 120000},
        {"bytes after the record are cut off", 120000, std::string(5000, 'x'), "v2", 120000, 120000},
        {"the file is shorter than its record", 120000, "", "v2", 150000, 0},
        {"a record of the first kind names the whole file", 90000, "", "v1", 0, 90000},
        {"a record cut short", 120000, "", "cut", 120000, 0},
        {"a record of another URL", 120000, "", "other", 120000, 0},
        {"no record", 120000, "", "none", 0, 0},
        {"a record of nothing", 120000, "", "v2", 0, 0},
    };
    for (const Case& c : cases) {
        Context context(c.what);
        TempDir dir;
        const std::string path = "/bytes/" + std::to_string(size) + Unique();
        const std::string url = HttpUrl(path);
        const std::string validator = "\"b-" + std::to_string(size) + "\"";
        const std::string target = dir.File("r.bin");
        REQUIRE(WriteFileBytes(CTargetFile::PartialPath(target), bytes.substr(0, c.partial) + c.tail));
        std::string record;
        const std::string kind = c.record;
        if (kind == "v2")
            record = CTargetFile::RecordText(url, validator, c.recorded);
        else if (kind == "v1")
            record = "Kestrin partial 1\n" + url + "\n" + validator + "\n";
        else if (kind == "cut")
            record = CTargetFile::RecordText(url, validator, c.recorded).substr(0, 30 + url.size());
        else if (kind == "other")
            record = CTargetFile::RecordText(HttpUrl("/bytes/300000?other"), validator, c.recorded);
        if (!record.empty())
            REQUIRE(WriteFileBytes(CTargetFile::RecordPath(target), record));
        // And a new record that a crash kept from taking the old one's place.
        REQUIRE(WriteFileBytes(CTargetFile::RecordTempPath(target), "Kestrin partial 2\n"));

        Worker worker(dir.Path());
        REQUIRE(worker.Start(url, "r.bin"));
        CHECK_EQ(worker.Outcome(), static_cast<int>(DLM_COMPLETE));
        CHECK_EQ(HttpLastRange(path), c.from > 0 ? "bytes=" + std::to_string(c.from) + "-" : std::string("-"));
        std::string got;
        CHECK(ReadFileBytes(target, got) && got == bytes);
        CHECK(FilesIn(dir.Path()) == std::vector<std::string>{"r.bin"});
        worker.Finish();
    }
}

TEST_CASE("records: what a later download reads back")
{
    const std::string url = "http://h/a.bin";
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        const char* validator;
        long long length;
    } cases[] = {
        {"whole", CTargetFile::RecordText(url, "\"e1\"", 4096), true, "\"e1\"", 4096},
        {"first kind", "Kestrin partial 1\n" + url + "\n\"e1\"\n", true, "\"e1\"", -1},
        {"no last line feed", "Kestrin partial 2\n" + url + "\n\"e1\"\n4096", false, "", 0},
        {"a length that is no number", "Kestrin partial 2\n" + url + "\n\"e1\"\n40x6\n", false, "", 0},
        {"a negative length", "Kestrin partial 2\n" + url + "\n\"e1\"\n-5\n", false, "", 0},
        {"a length too long", "Kestrin partial 2\n" + url + "\n\"e1\"\n1234567890123456789\n", false, "", 0},
        {"no validator", "Kestrin partial 2\n" + url + "\n\n4096\n", false, "", 0},
        {"another URL", CTargetFile::RecordText("http://h/b.bin", "\"e1\"", 4096), false, "", 0},
        {"a line more", CTargetFile::RecordText(url, "\"e1\"", 4096) + "x\n", false, "", 0},
        {"another first line", "Kestrin partial 3\n" + url + "\n\"e1\"\n4096\n", false, "", 0},
        {"zeros, as a lost write leaves a file", std::string(64, '\0'), false, "", 0},
        {"empty", "", false, "", 0},
    };
    for (const Case& c : cases) {
        Context context(c.what);
        std::string validator;
        long long length = 0;
        CHECK_EQ(CTargetFile::ParseRecord(c.text, url, validator, length), c.ok);
        if (c.ok) {
            CHECK_EQ(validator, std::string(c.validator));
            CHECK_EQ(length, c.length);
        }
    }
}

namespace {

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

struct BatchApp {
    BatchApp()
    {
        ResetRegistry();
        ::SetCurrentDirectoryA(dir.Path().c_str());
        WriteRegString("Settings", "CurrentDirectory", dir.Path());
        WriteRegDWord("Settings", "RetryCount", 0);
        ok = StartApp();
    }
    ~BatchApp()
    {
        if (AfxGetMainWndHandle())
            CloseApp();
        ::SetCurrentDirectoryA("C:\\");
    }
    bool RunBatch()
    {
        Command(ID_BATCH_DOWNLOAD);
        return PumpUntil([] {
            return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Doc()->GetProgressDialog()->GetChildCount() == 0;
        }, 30000);
    }
    TempDir dir;
    bool ok = false;
};

// A folder name no earlier test has asked the server for (the file names
// come from the URLs' paths, so no query can make them unique).
std::string NewFolder(const char* prefix)
{
    static int counter = 0;
    return prefix + std::to_string(::GetTickCount()) + "-" + std::to_string(++counter);
}

// Items whose transfers end four ways, in `folder`: completed, cut off
// with a validator (bytes kept), cut off without one, not found.
void AddFourItems(const std::string& folder)
{
    for (const std::string path : {"/bytes/5000/", "/cut/100000/30000/", "/cutnoval/100000/30000/",
                                    "/status/404/"})
        Doc()->AddURL(HttpUrl(path + folder + "/" + path.substr(1, path.find('/', 1) - 1) + ".bin").c_str());
}

} // namespace

TEST_CASE("only items whose transfer kept bytes look for them when they leave the list")
{
    // Three roads out of the list: deleting the rows, emptying the list,
    // closing the program.
    for (int road = 0; road < 3; ++road) {
        Context context(road == 0 ? "rows deleted" : road == 1 ? "list emptied" : "program closed");
        BatchApp app;
        REQUIRE(app.ok);
        const std::string folder = NewFolder("k");
        AddFourItems(folder);
        REQUIRE(app.RunBatch());
        const bool kept[] = {false, true, false, false};
        for (int i = 0; i < 4; ++i)
            CHECK_EQ(Doc()->GetItem(i)->m_bPartialKept, kept[i]);
        const std::string sub = app.dir.File(folder);
        CHECK(Sorted(FilesIn(sub)) == Sorted({"bytes.bin", "cut.bin.kstinfo", "cut.bin.kstpart"}));
        // Files of those names that no transfer of this list left (another
        // program's, or a user's) show whether an item looked: only the
        // item that kept bytes may take its own partial file away.
        REQUIRE(WriteFileBytes(sub + "\\bytes.bin.kstpart", "not the list's"));
        REQUIRE(WriteFileBytes(sub + "\\status.bin.kstpart", "not the list's"));
        REQUIRE(WriteFileBytes(sub + "\\cutnoval.bin.kstinfo", "not the list's"));
        Doc()->SetModifiedFlag(false);
        if (road == 0) {
            SelectRows({0, 1, 2, 3});
            Command(ID_EDIT_CLEAR);
            CHECK_EQ(Doc()->GetItemCount(), 0);
        } else if (road == 1) {
            Command(ID_FILE_NEW);
        } else {
            ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
            CHECK(PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 10000));
            CloseApp();
        }
        CHECK(Sorted(FilesIn(sub)) ==
              Sorted({"bytes.bin", "bytes.bin.kstpart", "status.bin.kstpart", "cutnoval.bin.kstinfo"}));
    }
}

TEST_CASE("a list emptied while a transfer runs leaves none of its bytes behind")
{
    BatchApp app;
    REQUIRE(app.ok);
    // One with a validator (its bytes are kept, with a record by now), one
    // without.
    const std::string g = NewFolder("g");
    Doc()->AddURL(HttpUrl("/slow/3000000/6000/" + g + "/slow.bin").c_str());
    Doc()->AddURL(HttpUrl("/trickle/100000/5/" + g + "/trickle.bin").c_str());
    Command(ID_BATCH_DOWNLOAD);
    CHECK(PumpUntil([&] {
        return FileSize(app.dir.File(g + "\\slow.bin.kstpart")) > 0 &&
               FileSize(app.dir.File(g + "\\trickle.bin.kstpart")) > 0;
    }, 10000));
    Pump(2000);
    CHECK(FileExists(app.dir.File(g + "\\slow.bin.kstinfo")));
    Doc()->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    CHECK(PumpUntil([] {
        return Doc()->m_nBatchMode == CKestrinDoc::BATCH_IDLE && Doc()->GetProgressDialog()->GetChildCount() == 0;
    }, 5000));
    CHECK(FilesIn(app.dir.File(g)).empty());
}
