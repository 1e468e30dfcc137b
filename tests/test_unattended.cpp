// The pieces of an unattended run that need no window: the dates of a
// repeating run, the disconnect time as a deadline, the run's summary in
// the registry, what the machine is asked after the run (through the
// scripted power service, and the system's service with its calls
// replaced), and the settings that keep all of it.
#include <cstring>
#include "Test.h"
#include "FakeClock.h"
#include "FakePowerService.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "schedule/AfterRun.h"
#include "schedule/Clock.h"
#include "schedule/RunCalendar.h"
#include "schedule/RunSummary.h"
#include "schedule/SystemPowerService.h"
#include "schedule/TimerSchedule.h"

using namespace test;

namespace {

long long At(int year, int month, int day, int hour, int minute, int second = 0)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return Clock::Seconds(t);
}

TimeOfDay Time(int hour, int minute)
{
    return {static_cast<unsigned char>(hour), static_cast<unsigned char>(minute)};
}

// Days of the week as bits, Sunday first.
enum : unsigned { SUN = 1, MON = 2, TUE = 4, WED = 8, THU = 16, FRI = 32, SAT = 64, EVERY = 127 };

} // namespace

TEST_CASE("calendar: days of the week agree with the system's calendar")
{
    struct {
        int year, month, day;
        int weekday;
    } rows[] = {
        {2026, 12, 7, 1}, {2026, 12, 12, 6}, {2026, 12, 13, 0}, {2027, 1, 1, 5}, {2028, 2, 29, 2},
    };
    for (const auto& row : rows) {
        Context context(std::to_string(row.year) + "/" + std::to_string(row.month) + "/" + std::to_string(row.day));
        const long long t = At(row.year, row.month, row.day, 13, 45);
        CHECK_EQ(RunCalendar::Weekday(t), row.weekday);
        CHECK_EQ(static_cast<int>(Clock::FromSeconds(t).wDayOfWeek), row.weekday);
        CHECK_EQ(RunCalendar::DayStart(t), At(row.year, row.month, row.day, 0, 0));
    }
}

TEST_CASE("calendar: the first run is due now on a chosen day, else the next chosen day's start")
{
    struct {
        const char* name;
        long long now;
        TimeOfDay start;
        unsigned days;
        long long first;
    } rows[] = {
        {"later today", At(2026, 12, 7, 1, 0), Time(2, 0), EVERY, At(2026, 12, 7, 2, 0)},
        {"due ten minutes ago", At(2026, 12, 7, 2, 10), Time(2, 0), EVERY, At(2026, 12, 7, 2, 0)},
        {"the last due minute", At(2026, 12, 7, 2, 29, 59), Time(2, 0), EVERY, At(2026, 12, 7, 2, 0)},
        {"missed by 30 minutes: tomorrow", At(2026, 12, 7, 2, 30), Time(2, 0), EVERY, At(2026, 12, 8, 2, 0)},
        {"across midnight, yesterday chosen", At(2026, 12, 8, 0, 5), Time(23, 50), MON, At(2026, 12, 7, 23, 50)},
        {"across midnight, yesterday not chosen", At(2026, 12, 8, 0, 5), Time(23, 50), TUE, At(2026, 12, 8, 23, 50)},
        {"weekend only, from a Monday", At(2026, 12, 7, 1, 0), Time(2, 0), SAT | SUN, At(2026, 12, 12, 2, 0)},
        {"Sunday only, from a Saturday", At(2026, 12, 12, 3, 0), Time(2, 0), SUN, At(2026, 12, 13, 2, 0)},
        {"Monday only, missed: a week later", At(2026, 12, 7, 2, 30), Time(2, 0), MON, At(2026, 12, 14, 2, 0)},
        {"into the next year", At(2026, 12, 31, 23, 59), Time(0, 0), FRI, At(2027, 1, 1, 0, 0)},
        {"today not chosen though due", At(2026, 12, 7, 2, 5), Time(2, 0), TUE, At(2026, 12, 8, 2, 0)},
        {"no day chosen", At(2026, 12, 7, 1, 0), Time(2, 0), 0, 0},
        {"no start time", At(2026, 12, 7, 1, 0), TimeOfDay::Unset, EVERY, 0},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        const long long first = RunCalendar::FirstRun(row.now, row.start, row.days);
        CHECK_EQ(first, row.first);
        if (first != 0)
            CHECK((row.days >> RunCalendar::Weekday(first)) & 1);
    }
}

TEST_CASE("calendar: after a run, the next chosen day's start; due for 29 minutes, then missed")
{
    struct {
        const char* name;
        long long after;
        TimeOfDay start;
        unsigned days;
        long long next;
    } rows[] = {
        {"every day", At(2026, 12, 7, 2, 40), Time(2, 0), EVERY, At(2026, 12, 8, 2, 0)},
        {"just after the start", At(2026, 12, 7, 2, 0, 1), Time(2, 0), EVERY, At(2026, 12, 8, 2, 0)},
        {"at the start itself: the next day", At(2026, 12, 7, 2, 0), Time(2, 0), EVERY, At(2026, 12, 8, 2, 0)},
        {"working days, from a Friday", At(2026, 12, 11, 2, 40), Time(2, 0), MON | TUE | WED | THU | FRI,
         At(2026, 12, 14, 2, 0)},
        {"a run that ended after midnight", At(2026, 12, 8, 0, 40), Time(23, 50), EVERY, At(2026, 12, 8, 23, 50)},
        {"Saturday to Sunday", At(2026, 12, 12, 23, 0), Time(22, 0), SUN | SAT, At(2026, 12, 13, 22, 0)},
        {"Sunday to next Saturday", At(2026, 12, 13, 23, 0), Time(22, 0), SAT, At(2026, 12, 19, 22, 0)},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        CHECK_EQ(RunCalendar::NextRunAfter(row.after, row.start, row.days), row.next);
    }

    const long long run = At(2026, 12, 7, 23, 50);
    struct {
        const char* name;
        long long now;
        bool due, missed;
    } due[] = {
        {"a minute before", run - 60, false, false},
        {"a second before", run - 1, false, false},
        {"its minute", run, true, false},
        {"29 minutes later, across midnight", run + 29 * 60 + 59, true, false},
        {"30 minutes later", run + 30 * 60, false, true},
        {"a day later", run + RunCalendar::kDay, false, true},
    };
    for (const auto& row : due) {
        Context context(row.name);
        CHECK_EQ(RunCalendar::IsDue(run, row.now), row.due);
        CHECK_EQ(RunCalendar::IsMissed(run, row.now), row.missed);
    }
    CHECK(!RunCalendar::IsDue(0, run));
    CHECK(!RunCalendar::IsMissed(0, run));
}

TEST_CASE("calendar: the disconnect time of a run is the end minute due now, else the next one")
{
    const long long now = At(2026, 12, 7, 21, 7, 30);
    struct {
        const char* name;
        TimeOfDay end;
        long long deadline;
    } rows[] = {
        {"the next morning", Time(5, 0), At(2026, 12, 8, 5, 0)},
        {"later tonight", Time(21, 30), At(2026, 12, 7, 21, 30)},
        {"this minute", Time(21, 7), At(2026, 12, 7, 21, 7)},
        {"17 minutes ago: due, so now", Time(20, 50), At(2026, 12, 7, 20, 50)},
        {"37 minutes ago: tomorrow", Time(20, 30), At(2026, 12, 8, 20, 30)},
        {"none", TimeOfDay::Unset, 0},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        CHECK_EQ(RunCalendar::Deadline(now, row.end), row.deadline);
    }
}

TEST_CASE("calendar and summary: dates and runs read as the user is told them")
{
    LoadTestSettings();
    CHECK_EQ(RunCalendar::Format(At(2026, 12, 8, 2, 0)), Ansi("2026/12/08 (火) 2:00"));
    CHECK_EQ(RunCalendar::Format(At(2027, 1, 3, 23, 5, 40)), Ansi("2027/01/03 (日) 23:05"));

    struct {
        RunSummary::Connection connection;
        const char* text;
    } rows[] = {
        {RunSummary::NOT_DIALLED, "ダイヤルなし"},
        {RunSummary::CONNECTED, "接続成功"},
        {RunSummary::DIAL_FAILED, "接続失敗"},
        {RunSummary::ALREADY_UP, "既存の接続を使用"},
    };
    for (const auto& row : rows) {
        Context context(row.text);
        RunSummary run;
        run.started = At(2026, 12, 7, 3, 0, 12);
        run.connection = row.connection;
        run.done = 1234;
        run.failed = 2;
        run.cancelled = 0;
        run.retries = 5;
        CHECK_EQ(run.Format(), Ansi((std::string("前回のタイマー実行 2026/12/07 (月) 3:00: ") + row.text +
                                     "、完了 1,234 件、エラー 2 件、キャンセル 0 件、再試行 5 回").c_str()));
    }
    CHECK(RunSummary().IsEmpty());
    CHECK(RunSummary().Format().empty());
}

TEST_CASE("summary: kept in the registry; what is missing or unreadable there is no run")
{
    ResetRegistry();
    LoadTestSettings();
    CHECK(RunSummary::Load().IsEmpty());
    RunSummary run;
    run.started = At(2026, 12, 7, 3, 0, 12);
    run.connection = RunSummary::CONNECTED;
    run.done = 10;
    run.failed = 1;
    run.cancelled = 2;
    run.retries = 4;
    run.Save();
    const RunSummary back = RunSummary::Load();
    CHECK_EQ(back.started, run.started);
    CHECK_EQ(static_cast<int>(back.connection), static_cast<int>(RunSummary::CONNECTED));
    CHECK_EQ(back.done, 10);
    CHECK_EQ(back.failed, 1);
    CHECK_EQ(back.cancelled, 2);
    CHECK_EQ(back.retries, 4);
    std::string stored;
    CHECK(ReadRegString("LastRun", "Started", stored));
    CHECK_EQ(stored, std::string("2026-12-07 03:00:12"));

    struct {
        const char* name;
        const char* value;
        const char* text;
        DWORD number;
    } bad[] = {
        {"a date that does not exist", "Started", "2026-02-30 03:00:00", 0},
        {"no date at all", "Started", "yesterday", 0},
        {"text after the time", "Started", "2026-12-07 03:00:12x", 0},
        {"a connection of no kind", "Connection", nullptr, 7},
        {"a negative count", "Retries", nullptr, 0xFFFFFFFF},
    };
    for (const auto& row : bad) {
        Context context(row.name);
        run.Save();
        if (row.text)
            WriteRegString("LastRun", row.value, row.text);
        else
            WriteRegDWord("LastRun", row.value, row.number);
        CHECK(RunSummary::Load().IsEmpty());
    }
    ResetRegistry();
}

TEST_CASE("after the run: the countdown's words, and what the power service is asked")
{
    LoadTestSettings();
    CHECK_EQ(AfterRun::CountdownText(AfterRunAction::Sleep, 60), Ansi("60 秒後にスリープします。"));
    CHECK_EQ(AfterRun::CountdownText(AfterRunAction::Shutdown, 5), Ansi("5 秒後にシャットダウンします。"));
    CHECK_EQ(AfterRun::CountdownText(AfterRunAction::Exit, 1), Ansi("1 秒後に Kestrin を終了します。"));
    CHECK_EQ(AfterRun::CountdownText(AfterRunAction::Sleep, -3), Ansi("0 秒後にスリープします。"));
    CHECK(AfterRun::CountdownText(AfterRunAction::None, 60).empty());

    struct {
        const char* name;
        AfterRunAction action;
        DWORD result;
        std::vector<std::string> calls;
        const char* said;
    } rows[] = {
        {"sleep, taken", AfterRunAction::Sleep, 0, {"sleep"}, ""},
        {"sleep, refused", AfterRunAction::Sleep, ERROR_ACCESS_DENIED, {"sleep"},
         "スリープできませんでした (エラー 5)"},
        {"shutdown, taken", AfterRunAction::Shutdown, 0, {"shutdown"}, ""},
        {"shutdown, not the user's right", AfterRunAction::Shutdown, ERROR_NOT_ALL_ASSIGNED, {"shutdown"},
         "シャットダウンできませんでした (エラー 1300)"},
        {"exit: not the power service's", AfterRunAction::Exit, 5, {}, ""},
        {"nothing", AfterRunAction::None, 5, {}, ""},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        FakePowerService power;
        power.m_sleepResult = row.result;
        power.m_shutdownResult = row.result;
        CHECK_EQ(AfterRun::Perform(row.action, power), Ansi(row.said));
        CHECK(power.m_calls == row.calls);
    }
}

namespace {

struct PowerCalls {
    int suspends = 0;
    int exits = 0;
    BOOLEAN hibernate = TRUE, force = TRUE, noWake = TRUE;
    UINT flags = 0;
    DWORD reason = 0;
    bool privilegeOn = false;
    BOOL result = TRUE;
    DWORD error = 0;
} g_power;

// Whether the shutdown privilege is enabled in this process's token now.
bool ShutdownPrivilegeEnabled()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID luid{};
    ::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid);
    char buf[4096];
    DWORD n = 0;
    bool on = false;
    if (::GetTokenInformation(token, TokenPrivileges, buf, sizeof buf, &n)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buf);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
            if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
                on = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    ::CloseHandle(token);
    return on;
}

BOOLEAN WINAPI FakeSuspend(BOOLEAN hibernate, BOOLEAN force, BOOLEAN noWake)
{
    ++g_power.suspends;
    g_power.hibernate = hibernate;
    g_power.force = force;
    g_power.noWake = noWake;
    g_power.privilegeOn = ShutdownPrivilegeEnabled();
    ::SetLastError(g_power.error);
    return static_cast<BOOLEAN>(g_power.result);
}

BOOL WINAPI FakeExitWindows(UINT flags, DWORD reason)
{
    ++g_power.exits;
    g_power.flags = flags;
    g_power.reason = reason;
    g_power.privilegeOn = ShutdownPrivilegeEnabled();
    ::SetLastError(g_power.error);
    return g_power.result;
}

} // namespace

TEST_CASE("system power service: the privilege first, the planned calls, the system's refusal passed on")
{
    REQUIRE(SystemPowerService::EnableShutdownPrivilege() == 0);
    struct {
        const char* name;
        BOOL result;
        DWORD error;
        DWORD expected;
    } rows[] = {
        {"taken", TRUE, 0, 0},
        {"refused with a reason", FALSE, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"refused without one", FALSE, 0, ERROR_GEN_FAILURE},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        g_power = PowerCalls();
        g_power.result = row.result;
        g_power.error = row.error;
        SystemPowerService service(SystemPowerService::Api{FakeSuspend, FakeExitWindows});
        CHECK_EQ(service.Sleep(), row.expected);
        CHECK_EQ(g_power.suspends, 1);
        CHECK(g_power.privilegeOn);
        // Sleep, not hibernation; wake events stay on.
        CHECK(!g_power.hibernate && !g_power.force && !g_power.noWake);
        g_power.privilegeOn = false;
        CHECK_EQ(service.Shutdown(), row.expected);
        CHECK_EQ(g_power.exits, 1);
        CHECK(g_power.privilegeOn);
        CHECK_EQ(g_power.flags, static_cast<UINT>(EWX_SHUTDOWN | EWX_POWEROFF));
        // Planned, by an application; never forced.
        CHECK(g_power.reason & 0x80000000);
        CHECK_EQ(g_power.reason & 0x00FF0000, 0x00040000u);
        CHECK(!(g_power.flags & EWX_FORCE));
    }
    // Where the calls are missing, nothing is called and the refusal says so.
    SystemPowerService none(SystemPowerService::Api{nullptr, nullptr});
    g_power = PowerCalls();
    CHECK_EQ(none.Sleep(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    CHECK_EQ(none.Shutdown(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    CHECK_EQ(g_power.suspends + g_power.exits, 0);
}

TEST_CASE("schedule record: after-run alone is something to do; a repeat needs a start time and a day")
{
    TimerSchedule s;
    CHECK(!s.IsSet());
    s.afterRun = AfterRunAction::Sleep;
    CHECK(s.IsSet());
    struct {
        const char* name;
        TimeOfDay start;
        bool repeat;
        unsigned char days;
        bool repeats;
    } rows[] = {
        {"start, every day", Time(2, 0), true, TimerSchedule::kEveryDay, true},
        {"start, Sunday only", Time(2, 0), true, SUN, true},
        {"start, no day", Time(2, 0), true, 0, false},
        {"no start time", TimeOfDay::Unset, true, TimerSchedule::kEveryDay, false},
        {"not asked", Time(2, 0), false, TimerSchedule::kEveryDay, false},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        TimerSchedule r;
        r.start = row.start;
        r.repeat = row.repeat;
        r.days = row.days;
        CHECK_EQ(r.Repeats(), row.repeats);
    }
}

TEST_CASE("settings: repeat, days, after-run and retries read back within bounds, and are written at exit")
{
    ResetRegistry();
    LoadTestSettings();
    CHECK(!g_settings.m_bTimerRepeat);
    CHECK_EQ(g_settings.m_nTimerRepeatDays, 0x7F);
    CHECK_EQ(g_settings.m_nTimerAfterRun, 0);
    CHECK_EQ(g_settings.m_nRetryCount, 3);
    struct {
        const char* name;
        DWORD stored;
        int read;
    } retries[] = {
        {"none", 0, 0}, {"ten", 10, 10}, {"eleven", 11, 3}, {"-1", 0xFFFFFFFF, 3}, {"one", 1, 1},
    };
    for (const auto& row : retries) {
        Context context(std::string("RetryCount ") + row.name);
        WriteRegDWord("Settings", "RetryCount", row.stored);
        LoadTestSettings();
        CHECK_EQ(g_settings.m_nRetryCount, row.read);
    }
    struct {
        const char* name;
        DWORD repeat, days, afterRun;
        bool repeatRead;
        int daysRead, afterRunRead;
    } rows[] = {
        {"as stored", 1, 0x41, 2, true, 0x41, 2},
        {"no day: every day", 1, 0, 3, true, 0x7F, 3},
        {"bits beyond Saturday", 0, 0x85, 1, false, 0x05, 1},
        {"after-run unknown", 2, 0x7F, 4, false, 0x7F, 0},
        {"after-run negative", 3, 0x7F, 0xFFFFFFFF, true, 0x7F, 0},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        WriteRegDWord("Settings", "TimerRepeat", row.repeat);
        WriteRegDWord("Settings", "TimerRepeatDays", row.days);
        WriteRegDWord("Settings", "TimerAfterRun", row.afterRun);
        LoadTestSettings();
        CHECK_EQ(g_settings.m_bTimerRepeat != 0, row.repeatRead);
        CHECK_EQ(g_settings.m_nTimerRepeatDays, row.daysRead);
        CHECK_EQ(g_settings.m_nTimerAfterRun, row.afterRunRead);
    }

    ResetRegistry();
    TempDir dir;
    ::SetCurrentDirectoryA(dir.Path().c_str());
    REQUIRE(StartApp());
    CHECK(CloseApp() == 0);
    const struct {
        const char* name;
        DWORD value;
    } written[] = {{"TimerRepeat", 0}, {"TimerRepeatDays", 0x7F}, {"TimerAfterRun", 0}, {"RetryCount", 3}};
    for (const auto& w : written) {
        Context context(w.name);
        DWORD value = 0xDEAD;
        CHECK(ReadRegDWord("Settings", w.name, value));
        CHECK_EQ(value, w.value);
    }
    ::SetCurrentDirectoryA("C:\\");
}
