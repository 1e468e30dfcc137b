// The download list document: duplicates refused, items that may not be
// removed, pending items, observers, when a batch may start, and which
// URLs become items at all.
#include "DocUtil.h"
#include <cstdio>
#include <cstring>
#include "Test.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "model/UrlSplitter.h"
#include "app/resource.h"
#include "framework/CmdUI.h"

using test::Ansi;
using test::Urls;

namespace {

struct Observer : CKestrinDoc::TargetI {
    Observer(std::string* log, char name) : m_log(log), m_name(name) {}
    void OnDocumentDestroyed() override { *m_log += m_name; *m_log += 'x'; }
    void OnDownloadStarted() override { *m_log += m_name; *m_log += 's'; }
    void OnDownloadFinished() override { *m_log += m_name; *m_log += 'f'; }
    std::string* m_log;
    char m_name;
};

} // namespace

TEST_CASE("document: exact duplicates are refused, order is kept")
{
    CKestrinDoc doc;
    CHECK(doc.AddURL("http://h/a") != nullptr);
    CHECK(doc.AddURL("http://h/b") != nullptr);
    CHECK(doc.AddURL("http://h/a") == nullptr);          // the same bytes
    CHECK(doc.AddURL("http://h/A") != nullptr);          // case counts
    CHECK(doc.AddURL("http://h/a%20") != nullptr);       // so does an escaped blank
    CHECK(doc.AddURL("http://h/a ") == nullptr);         // a blank at the end cannot be listed
    CHECK(doc.IsModified());
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/a", "http://h/b", "http://h/A", "http://h/a%20"}));

    // Once deleted, a URL can be added again, at the end.
    CHECK(doc.RemoveItem(0));
    CHECK(doc.AddURL("http://h/a") != nullptr);
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/b", "http://h/A", "http://h/a%20", "http://h/a"}));
}

TEST_CASE("document: a downloading item cannot be removed")
{
    CKestrinDoc doc;
    doc.AddURL("http://h/a");
    doc.AddURL("http://h/b");
    doc.GetItem(0)->SetState(ITEM_DOWNLOADING);
    CHECK(!doc.RemoveItem(0));
    CHECK_EQ(doc.GetItemCount(), 2);
    CHECK(doc.RemoveItem(1));
    CHECK(Urls(doc) == (std::vector<std::string>{"http://h/a"}));
}

TEST_CASE("document: pending items follow every state change, in list order")
{
    CKestrinDoc doc;
    for (const char* u : {"http://h/1", "http://h/2", "http://h/3", "http://h/4"})
        doc.AddURL(u);

    // Outside a batch nothing is pending, whatever the states.
    CHECK(doc.FirstPendingItem() == nullptr);
    CHECK_EQ(doc.CountPendingItems(), 0);

    doc.m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    CHECK_EQ(doc.CountPendingItems(), 4);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, std::string("http://h/1"));

    doc.GetItem(0)->SetState(ITEM_DOWNLOADING);
    doc.GetItem(1)->SetState(ITEM_DOWNLOADING);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, std::string("http://h/3"));
    CHECK_EQ(doc.CountPendingItems(), 2);

    doc.GetItem(0)->SetState(ITEM_DONE);
    doc.GetItem(2)->SetState(ITEM_ERROR);
    doc.GetItem(3)->SetState(ITEM_CANCELLED);
    CHECK(doc.FirstPendingItem() == nullptr);
    CHECK_EQ(doc.CountPendingItems(), 0);

    // Back to unread: pending again, in list order, not in the order of
    // the changes.
    doc.GetItem(3)->SetState(ITEM_UNREAD);
    doc.GetItem(0)->SetState(ITEM_UNREAD);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, std::string("http://h/1"));
    CHECK_EQ(doc.CountPendingItems(), 2);

    // Deleting a pending item takes it out of the count.
    CHECK(doc.RemoveItem(0));
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, std::string("http://h/4"));
    CHECK_EQ(doc.CountPendingItems(), 1);
    doc.m_nBatchMode = CKestrinDoc::BATCH_IDLE;
}

TEST_CASE("document: observers are told in order; removal moves the last one up")
{
    std::string log;
    Observer a(&log, 'a'), b(&log, 'b'), c(&log, 'c');
    {
        CKestrinDoc doc;
        doc.AddTarget(&a);
        doc.AddTarget(&b);
        doc.AddTarget(&c);
        doc.FinishBatch();
        CHECK_EQ(log, std::string("afbfcf"));

        log.clear();
        doc.RemoveTarget(&c);
        doc.RemoveTarget(&a);
        Observer stranger(&log, 'z');
        doc.RemoveTarget(&stranger);
        doc.FinishBatch();
        CHECK_EQ(log, std::string("bf"));

        log.clear();
        doc.AddTarget(&a);
        doc.AddTarget(&c);
        doc.RemoveTarget(&b);           // c moves into b's place
        doc.FinishBatch();
        CHECK_EQ(log, std::string("cfaf"));
        log.clear();
    }
    // The destructor tells every observer still registered.
    CHECK_EQ(log, std::string("cxax"));
}

TEST_CASE("document: a batch with nothing to do does not start and tells nobody")
{
    std::string log;
    Observer a(&log, 'a');
    CKestrinDoc doc;
    doc.AddTarget(&a);
    CHECK(!doc.StartBatch(CKestrinDoc::BATCH_DOWNLOAD));
    CHECK_EQ(doc.m_nBatchMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
    CHECK_EQ(log, std::string());

    // A running batch refuses a second start and leaves the states alone.
    doc.AddURL("http://h/x");
    doc.GetItem(0)->SetState(ITEM_DONE);
    doc.m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    CHECK(!doc.StartBatch(CKestrinDoc::BATCH_DOWNLOAD));
    CHECK_EQ(doc.GetItem(0)->m_state, static_cast<unsigned char>(ITEM_DONE));

    // Finishing goes back to idle before the observers hear of it.
    struct Checker : CKestrinDoc::TargetI {
        CKestrinDoc* doc = nullptr;
        int seenMode = -1;
        void OnDownloadFinished() override { seenMode = doc->m_nBatchMode; }
    } checker;
    checker.doc = &doc;
    doc.AddTarget(&checker);
    doc.FinishBatch();
    CHECK_EQ(checker.seenMode, static_cast<int>(CKestrinDoc::BATCH_IDLE));
    doc.RemoveTarget(&checker);
    doc.RemoveTarget(&a);
}

TEST_CASE("document: the batch command is offered only when idle with items")
{
    CKestrinDoc doc;
    auto enabled = [&] {
        CCmdUI ui(ID_BATCH_DOWNLOAD);
        CHECK(doc.OnUpdateCmdUI(ui));
        return ui.m_bEnabled;
    };
    CHECK(!enabled());
    doc.AddURL("http://h/x");
    CHECK(enabled());
    doc.m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    CHECK(!enabled());
    doc.m_nBatchMode = CKestrinDoc::BATCH_IDLE;
}

TEST_CASE("document: only absolute URLs without control characters become items")
{
    struct {
        const char* url;
        bool taken;
    } cases[] = {
        {"http://h/a.zip", true},
        {"ftp://h/pub/a.tgz", true},
        {"https://h/a?b=c&d", true},
        {"mailto:someone@example.com", true},     // other schemes open by URL
        {"http://h/a b.zip", true},               // a blank inside is the server's business
        {"http://h/a\r\nX-Injected: 1", false},   // would add a header to the request
        {"http://h/a\rb", false},
        {"http://h/a\nb", false},
        {"http://h/a\tb", false},
        {"http://h/\x01", false},
        {"http://h/\x1b[2J", false},
        {"http://h/\x7f", false},
        {"", false},
        {" http://h/lead", false},                // blanks at the ends: not a list line
        {"http://h/trail\t", false},
        {"C:\\files\\a.zip", false},              // a drive letter is no scheme
        {"a.zip", false},
        {"Note: read me", false},                 // prose with a colon
        {"http:", false},
        {"1http://h/x", false},
    };
    CKestrinDoc doc;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        const bool added = doc.AddURL(c.url) != nullptr;
        if (!CHECK_EQ(added, c.taken))
            std::printf("      url: %s\n", c.url);
        if (c.taken)
            expected.push_back(c.url);
    }
    CHECK(doc.AddURL(nullptr) == nullptr);
    CHECK(Urls(doc) == expected);
}
