// Retries inside a batch, without windows: which failures are tried again,
// the pauses and the server's Retry-After, the end-time cut-off, and what
// a waiting item's row says, driven with a settable clock.
#include "Test.h"
#include "FakeClock.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "engine/FailureText.h"
#include "engine/RetryQueue.h"
#include "engine/RetryRule.h"
#include "model/URLItem.h"

using namespace test;

namespace {

TransferFailure Failed(TransferFailure::Kind kind, DWORD status = 0, long retryAfter = -1)
{
    TransferFailure f;
    f.kind = kind;
    f.httpStatus = status;
    f.retryAfter = retryAfter;
    if (kind == TransferFailure::HTTP_STATUS)
        f.statusText = "Whatever";
    return f;
}

TransferFailure Http(DWORD status, long retryAfter = -1)
{
    return Failed(TransferFailure::HTTP_STATUS, status, retryAfter);
}

} // namespace

TEST_CASE("retry rule: failures that may pass are retried, the others are final at once")
{
    struct {
        const char* name;
        TransferFailure failure;
        bool mayPass;
    } rows[] = {
        {"connection refused", Failed(TransferFailure::REFUSED), true},
        {"host not found", Failed(TransferFailure::HOST_NOT_FOUND), true},
        {"timed out", Failed(TransferFailure::TIMED_OUT), true},
        {"body cut off", Failed(TransferFailure::CUT_OFF), true},
        {"connection reset", Failed(TransferFailure::NETWORK, 0), true},
        {"HTTP 408", Http(408), true},
        {"HTTP 429", Http(429), true},
        {"HTTP 500", Http(500), true},
        {"HTTP 502", Http(502), true},
        {"HTTP 503", Http(503), true},
        {"HTTP 504", Http(504), true},
        {"HTTP 400", Http(400), false},
        {"HTTP 401", Http(401), false},
        {"HTTP 403", Http(403), false},
        {"HTTP 404", Http(404), false},
        {"HTTP 410", Http(410), false},
        {"HTTP 416", Http(416), false},
        {"HTTP 501", Http(501), false},
        {"HTTP 505", Http(505), false},
        {"unsafe name", Failed(TransferFailure::UNSAFE_NAME), false},
        {"write failed", Failed(TransferFailure::WRITE_FAILED), false},
        {"same file as another item", Failed(TransferFailure::SAME_FILE), false},
        {"untrusted certificate", Failed(TransferFailure::CERT_UNTRUSTED), false},
        {"bad redirect", Failed(TransferFailure::BAD_REDIRECT), false},
        {"bad response", Failed(TransferFailure::BAD_RESPONSE, 204), false},
        {"broken body framing", Failed(TransferFailure::BAD_BODY), false},
        {"unknown", Failed(TransferFailure::NONE), false},
    };
    const RetryRule rule(3);
    for (const auto& row : rows) {
        Context context(row.name);
        CHECK_EQ(RetryRule::MayPass(row.failure), row.mayPass);
        CHECK_EQ(rule.WaitBefore(row.failure, 0, 1000) >= 0, row.mayPass);
    }
}

TEST_CASE("retry rule: pauses of 10 s, 60 s, 5 min; at most the retries allowed; 0 turns retries off")
{
    struct {
        const char* name;
        int maxRetries;
        int spent;
        int wait;
    } rows[] = {
        {"first retry", 3, 0, 10},
        {"second retry", 3, 1, 60},
        {"third retry", 3, 2, 300},
        {"a fourth is one too many", 3, 3, -1},
        {"retries off", 0, 0, -1},
        {"ten allowed: the fourth waits 5 min", 10, 3, 300},
        {"ten allowed: the tenth", 10, 9, 300},
        {"ten allowed: no eleventh", 10, 10, -1},
        {"more than ten asked: ten", 25, 10, -1},
        {"a negative number: none", -2, 0, -1},
        {"one allowed", 1, 0, 10},
        {"one allowed, spent", 1, 1, -1},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        const RetryRule rule(row.maxRetries);
        CHECK_EQ(rule.WaitBefore(Http(503), row.spent, 5000), row.wait);
        CHECK_EQ(rule.WaitBefore(Failed(TransferFailure::CUT_OFF), row.spent, 5000), row.wait);
    }
    CHECK_EQ(RetryRule(25).GetMaxRetries(), 10);
    CHECK_EQ(RetryRule(-1).GetMaxRetries(), 0);
}

TEST_CASE("retry rule: a Retry-After of up to 10 minutes is waited for; a longer one is final")
{
    struct {
        const char* name;
        TransferFailure failure;
        int spent;
        int wait;
    } rows[] = {
        {"none given", Http(503, -1), 0, 10},
        {"shorter than the pause: the pause", Http(503, 3), 0, 10},
        {"zero: the pause", Http(429, 0), 1, 60},
        {"longer than the pause", Http(503, 120), 0, 120},
        {"exactly 10 minutes", Http(503, 600), 0, 600},
        {"a second more than 10 minutes", Http(503, 601), 0, -1},
        {"a day", Http(429, 86400), 0, -1},
        {"with a final status: still final", Http(404, 30), 0, -1},
        {"on the third retry", Http(503, 400), 2, 400},
    };
    const RetryRule rule(3);
    for (const auto& row : rows) {
        Context context(row.name);
        CHECK_EQ(rule.WaitBefore(row.failure, row.spent, 0), row.wait);
    }
}

TEST_CASE("retry rule: no retry begins after the deadline")
{
    const long long deadline = 100000;
    struct {
        const char* name;
        long long now;
        TransferFailure failure;
        int spent;
        int wait;
    } rows[] = {
        {"well before", deadline - 3600, Http(503), 0, 10},
        {"begins exactly at the deadline", deadline - 10, Http(503), 0, 10},
        {"would begin a second after", deadline - 9, Http(503), 0, -1},
        {"the 60 s pause crosses it", deadline - 30, Http(503), 1, -1},
        {"a Retry-After crosses it", deadline - 100, Http(503, 200), 0, -1},
        {"past the deadline", deadline + 5, Failed(TransferFailure::TIMED_OUT), 0, -1},
    };
    const RetryRule rule(3, deadline);
    for (const auto& row : rows) {
        Context context(row.name);
        CHECK_EQ(rule.WaitBefore(row.failure, row.spent, row.now), row.wait);
    }
    // Without a deadline the same failure is retried.
    CHECK_EQ(RetryRule(3).WaitBefore(Http(503), 0, deadline + 5), 10);
}

TEST_CASE("items: the reason stays with error, cancelled and retry wait, and goes with the rest")
{
    LoadTestSettings();
    struct {
        unsigned char state;
        bool keeps;
        bool pending;
        const char* label;
    } rows[] = {
        {ITEM_ERROR, true, false, "ｴﾗｰ"},
        {ITEM_CANCELLED, true, false, "ｷｬﾝｾﾙ"},
        {ITEM_RETRY_WAIT, true, false, "再試行待ち"},
        {ITEM_UNREAD, false, true, "未読"},
        {ITEM_DOWNLOADING, false, false, "ﾀﾞｳﾝﾛｰﾄﾞ中"},
        {ITEM_DONE, false, false, "完了"},
    };
    for (const auto& row : rows) {
        Context context(row.label);
        URLItem item("http://example.com/a.bin");
        item.SetState(ITEM_DOWNLOADING);
        item.SetState(row.state, "why");
        CHECK_EQ(item.m_strFailure, std::string("why"));
        CHECK_EQ(item.IsPending(), row.pending);
        CHECK_EQ(item.GetStateLabel(), Ansi(row.label));
        // The same state set again without a reason keeps it.
        item.SetState(row.state);
        CHECK_EQ(item.m_strFailure, std::string("why"));
        // A new state without a reason: kept only by the three.
        URLItem other("http://example.com/b.bin");
        other.SetState(ITEM_ERROR, "old");
        other.SetState(row.state);
        CHECK_EQ(other.m_strFailure, row.keeps ? std::string("old") : std::string());
    }
}

TEST_CASE("retry queue: a waiting item says when it is tried again, then goes back to pending")
{
    LoadTestSettings();
    FakeClock clock(3, 0);
    RetryQueue queue;
    queue.Begin(3, RetryRule::kNoDeadline);
    URLItem item("http://example.com/f.bin");
    item.SetState(ITEM_DOWNLOADING);

    REQUIRE(queue.Offer(item, Http(503), clock.Seconds()));
    CHECK_EQ(static_cast<int>(item.m_state), static_cast<int>(ITEM_RETRY_WAIT));
    CHECK(!item.IsPending());
    CHECK_EQ(item.m_strFailure, Ansi("再試行 1/3 (10 秒後)"));
    CHECK_EQ(item.GetStateLabel(), Ansi("再試行待ち"));
    CHECK_EQ(item.m_strLastFailure, Ansi("HTTP エラー 503 Whatever"));

    // Before its time: the seconds left, and nothing goes back.
    clock.AdvanceSeconds(6);
    std::vector<URLItem*> waiting = {&item};
    CHECK_EQ(queue.Release(waiting, clock.Seconds()), 0);
    CHECK_EQ(item.m_strFailure, Ansi("再試行 1/3 (4 秒後)"));
    CHECK_EQ(queue.GetSpent(), 0);

    clock.AdvanceSeconds(4);
    CHECK_EQ(queue.Release(waiting, clock.Seconds()), 1);
    CHECK(item.IsPending());
    CHECK(item.m_strFailure.empty());
    CHECK_EQ(item.m_nRetries, 1);
    CHECK_EQ(queue.GetSpent(), 1);

    // The second failure waits 60 s, the third 5 min, the fourth is final.
    const int pauses[] = {60, 300};
    for (int i = 0; i < 2; ++i) {
        Context context("retry " + std::to_string(i + 2));
        item.SetState(ITEM_DOWNLOADING);
        REQUIRE(queue.Offer(item, Failed(TransferFailure::CUT_OFF), clock.Seconds()));
        CHECK_EQ(item.m_strFailure, FormatStringId(IDS_RETRY_WAIT, {std::to_string(i + 2), "3",
                                                                    std::to_string(pauses[i])}));
        clock.AdvanceSeconds(pauses[i] - 1);
        CHECK_EQ(queue.Release(waiting, clock.Seconds()), 0);
        clock.AdvanceSeconds(1);
        CHECK_EQ(queue.Release(waiting, clock.Seconds()), 1);
    }
    item.SetState(ITEM_DOWNLOADING);
    CHECK(!queue.Offer(item, Http(503), clock.Seconds()));
    CHECK_EQ(item.m_nRetries, 3);
    CHECK_EQ(queue.GetSpent(), 3);
    CHECK_EQ(RetryQueue::FinalText(item, Ansi("HTTP エラー 503")), Ansi("HTTP エラー 503 (再試行 3 回)"));
    URLItem fresh("http://example.com/g.bin");
    CHECK_EQ(RetryQueue::FinalText(fresh, "reason"), std::string("reason"));

    // A new batch starts the count again.
    queue.Begin(3, RetryRule::kNoDeadline);
    CHECK_EQ(queue.GetSpent(), 0);
}

TEST_CASE("retry queue: a final failure leaves the item alone; given-up waits end in error with their reason")
{
    LoadTestSettings();
    FakeClock clock(3, 0);
    RetryQueue queue;
    queue.Begin(3, clock.Seconds() + 30);
    URLItem notFound("http://example.com/404.bin");
    notFound.SetState(ITEM_DOWNLOADING);
    CHECK(!queue.Offer(notFound, Http(404), clock.Seconds()));
    CHECK_EQ(static_cast<int>(notFound.m_state), static_cast<int>(ITEM_DOWNLOADING));
    CHECK(notFound.m_strFailure.empty());

    // 10 s fits before the deadline, 60 s does not.
    URLItem a("http://example.com/a.bin"), b("http://example.com/b.bin");
    a.SetState(ITEM_DOWNLOADING);
    b.SetState(ITEM_DOWNLOADING);
    b.m_nRetries = 1;
    CHECK(queue.Offer(a, Failed(TransferFailure::REFUSED), clock.Seconds()));
    CHECK(!queue.Offer(b, Failed(TransferFailure::REFUSED), clock.Seconds()));

    // Items that left the wait meanwhile (marked unread) are passed over.
    URLItem c("http://example.com/c.bin");
    c.SetState(ITEM_DOWNLOADING);
    CHECK(queue.Offer(c, Http(502), clock.Seconds()));
    c.SetState(ITEM_UNREAD);
    std::vector<URLItem*> waiting = {&a, &c};
    CHECK_EQ(queue.Abandon(waiting), 1);
    CHECK_EQ(static_cast<int>(a.m_state), static_cast<int>(ITEM_ERROR));
    CHECK_EQ(a.m_strFailure, FailureText(Failed(TransferFailure::REFUSED)));
    CHECK(c.IsPending());
    CHECK_EQ(queue.GetSpent(), 0);
}
