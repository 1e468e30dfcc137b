// The worker-thread framework: the bounded queue to the receiver, the
// command channel, quitting and stopping, and the thread group.
#include "Test.h"
#include "EngineUtil.h"
#include "TestUtil.h"
#include "engine/ThreadGroup.h"
#include "engine/WorkThread.h"

using namespace test;

namespace {

// A worker whose commands post messages in the ways the engine does.
class ScriptThread : public CWorkThread {
public:
    enum {
        CMD_FILL = 500,     // post p1 messages, a try, then one more
        CMD_TRY = 501,      // one try on an empty queue
        CMD_BLOCK = 502,    // wait for `release`, then post one message
        MSG_SCRIPT = 600,
    };

    explicit ScriptThread(ThreadMessageReceiver* receiver)
        : CWorkThread(receiver),
          filled(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          ninthPosted(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          entered(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          release(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }

    ~ScriptThread() override
    {
        for (HANDLE h : {filled, ninthPosted, entered, release})
            ::CloseHandle(h);
    }

    void Execute(int code, int p1, int, INT_PTR) override
    {
        switch (code) {
        case CMD_FILL:
            for (int i = 0; i < p1; ++i)
                PostToReceiver(MSG_SCRIPT, i, 0, 0);
            tryResult = TryPostToReceiver(MSG_SCRIPT, -1, 0, 0);
            ::SetEvent(filled);
            PostToReceiver(MSG_SCRIPT, p1, 0, 0);
            ::SetEvent(ninthPosted);
            break;
        case CMD_TRY:
            tryResult = TryPostToReceiver(MSG_SCRIPT, 42, 0, 0);
            ::SetEvent(filled);
            break;
        case CMD_BLOCK:
            ::SetEvent(entered);
            ::WaitForSingleObject(release, 10000);
            PostToReceiver(MSG_SCRIPT, 7, 0, 0);
            break;
        }
    }

    // Events are owned by the test as long as the object lives, so the
    // test keeps its own duplicates.
    HANDLE filled, ninthPosted, entered, release;
    volatile BOOL tryResult = -1;
};

HANDLE Dup(HANDLE h)
{
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    return copy;
}

std::vector<int> ScriptValues(const Recorder& rec)
{
    std::vector<int> values;
    for (const Received& m : rec.messages)
        if (m.type == ScriptThread::MSG_SCRIPT)
            values.push_back(m.p1);
    return values;
}

} // namespace

TEST_CASE("queue: eight undelivered messages fill it and the ninth waits for room")
{
    ThreadSink sink;
    Recorder rec;
    auto* thread = new ScriptThread(&rec);
    HANDLE filled = Dup(thread->filled), ninth = Dup(thread->ninthPosted);
    StartThread(thread);
    REQUIRE(thread->PostCommand(ScriptThread::CMD_FILL, 8, 0, 0));

    // Nothing is delivered while this thread does not pump.
    CHECK_EQ(::WaitForSingleObject(filled, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CHECK_EQ(thread->tryResult, FALSE);     // a try while messages wait
    CHECK_EQ(::WaitForSingleObject(ninth, 500), static_cast<DWORD>(WAIT_TIMEOUT));

    // Delivering one frees a slot: the ninth goes in; all nine arrive in order.
    CHECK(PumpUntil([&] { return rec.messages.size() >= 9; }));
    CHECK_EQ(::WaitForSingleObject(ninth, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CHECK(ScriptValues(rec) == (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    thread->Quit();
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK(rec.ended);
    CHECK_EQ(rec.endedAfter, 9u);
    CHECK_EQ(rec.released, 1);
    ::CloseHandle(filled);
    ::CloseHandle(ninth);
}

TEST_CASE("queue: a try on an empty queue goes through")
{
    ThreadSink sink;
    Recorder rec;
    auto* thread = new ScriptThread(&rec);
    HANDLE filled = Dup(thread->filled);
    StartThread(thread);
    REQUIRE(thread->PostCommand(ScriptThread::CMD_TRY, 0, 0, 0));
    CHECK_EQ(::WaitForSingleObject(filled, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CHECK_EQ(thread->tryResult, TRUE);
    thread->Quit();
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK(ScriptValues(rec) == std::vector<int>{42});
    ::CloseHandle(filled);
}

TEST_CASE("commands: one at a time; a second one is refused, not queued")
{
    ThreadSink sink;
    Recorder rec;
    auto* thread = new ScriptThread(&rec);
    // Not started yet: the first command waits to be taken.
    CHECK(thread->PostCommand(ScriptThread::CMD_TRY, 0, 0, 0));
    CHECK(!thread->PostCommand(ScriptThread::CMD_TRY, 0, 0, 0));
    StartThread(thread);
    CHECK(PumpUntil([&] { return rec.messages.size() == 1; }));
    thread->Quit();
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK(ScriptValues(rec) == std::vector<int>{42});
}

TEST_CASE("quit lets the running command finish first")
{
    ThreadSink sink;
    Recorder rec;
    auto* thread = new ScriptThread(&rec);
    HANDLE entered = Dup(thread->entered), release = Dup(thread->release);
    StartThread(thread);
    REQUIRE(thread->PostCommand(ScriptThread::CMD_BLOCK, 0, 0, 0));
    CHECK_EQ(::WaitForSingleObject(entered, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CHECK(thread->PostCommand(CMD_QUIT, 0, 0, 0));
    ::SetEvent(release);
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK(ScriptValues(rec) == std::vector<int>{7});
    CHECK_EQ(rec.endedAfter, 1u);     // the command's message, then the end
    ::CloseHandle(entered);
    ::CloseHandle(release);
}

TEST_CASE("stop wins over a command posted just before it")
{
    ThreadSink sink;
    Recorder rec;
    auto* thread = new ScriptThread(&rec);
    CHECK(thread->PostCommand(ScriptThread::CMD_TRY, 0, 0, 0));
    thread->Stop();
    CHECK(!thread->PostCommand(ScriptThread::CMD_TRY, 0, 0, 0));   // stopping
    StartThread(thread);
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK(rec.messages.empty());
    CHECK(rec.ended);
}

TEST_CASE("a receiver held by two workers is released once, after both")
{
    ThreadSink sink;
    Recorder rec;
    auto* first = new ScriptThread(&rec);
    auto* second = new ScriptThread(&rec);
    CHECK_EQ(rec.m_nRef, 2);
    StartThread(first);
    StartThread(second);
    CHECK(!g_threadGroup.IsEmpty());
    first->Quit();
    CHECK(PumpUntil([&] { return rec.m_nRef == 1; }));
    CHECK_EQ(rec.released, 0);
    second->Quit();
    CHECK(PumpUntil([&] { return rec.released > 0; }));
    CHECK_EQ(rec.released, 1);
    CHECK(g_threadGroup.IsEmpty());
}
