// The schedule's pieces: times of day, the schedule record, the timer
// settings dialog, the dial-up manager and the dialing window, with the
// scripted dial-up service.
#include <cstring>
#include "Test.h"
#include "FakeDialService.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "schedule/DialManager.h"
#include "schedule/DialingDlg.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimerSchedule.h"
#include "schedule/TimerSettingDlg.h"

using namespace test;

namespace {

// Puts a scripted service in place for one test and clears up after it.
struct ScriptedService {
    ScriptedService() { DialService::Set(&fake); }
    ~ScriptedService()
    {
        if (HWND dialing = CDialingDlg::GetCurrent())
            ::DestroyWindow(dialing);
        Pump(50);
        DialService::Set(nullptr);
    }
    FakeDialService fake;
};

std::string Text(HWND dlg, int id)
{
    char text[512] = "";
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

} // namespace

// ---- times of day and the schedule record

TEST_CASE("time of day: minutes to a time, the due window of 29 minutes, across midnight")
{
    struct {
        int hour, minute, nowHour, nowMinute;
        int diff;
        bool due;
    } rows[] = {
        {10, 0, 10, 0, 0, true},
        {10, 0, 10, 29, -29, true},
        {10, 0, 10, 30, -30, false},
        {10, 0, 9, 59, 1, false},
        {23, 50, 0, 5, -15, true},          // started before midnight
        {0, 10, 23, 50, 20, false},         // lies ahead, after midnight
        {23, 45, 0, 14, -29, true},
        {23, 45, 0, 15, -30, false},
        {12, 0, 0, 0, 720, false},          // 12 hours either way
        {0, 0, 12, 0, -720, false},
        {12, 1, 0, 0, -719, false},
        {5, 0, 22, 0, 420, false},          // an end before the start: next day
    };
    for (const auto& row : rows) {
        const TimeOfDay t{static_cast<unsigned char>(row.hour), static_cast<unsigned char>(row.minute)};
        CHECK_EQ(t.MinutesFrom(row.nowHour, row.nowMinute), row.diff);
        CHECK_EQ(t.IsDueAt(row.nowHour, row.nowMinute), row.due);
    }
    // Unset is never due, whatever the time.
    for (int h = 0; h < 24; ++h)
        CHECK(!TimeOfDay::Unset.IsDueAt(h, 15));
}

TEST_CASE("time of day: unset only when both bytes are 255; shown without leading zeros")
{
    CHECK(TimeOfDay::Unset.IsUnset());
    CHECK(!(TimeOfDay{255, 0}).IsUnset());
    CHECK(!(TimeOfDay{0, 255}).IsUnset());
    const TimeOfDay hourOnly{255, 0}, a{3, 7}, same{3, 7}, other{3, 8};
    CHECK(hourOnly != TimeOfDay::Unset);
    CHECK(a == same);
    CHECK(a != other);
    struct {
        TimeOfDay t;
        const char* shown;
    } rows[] = {
        {{9, 5}, " 9 : 5"}, {{0, 0}, " 0 : 0"}, {{23, 59}, " 23 : 59"},
        {{12, 30}, " 12 : 30"}, {TimeOfDay::Unset, " -- : --"},
    };
    for (const auto& row : rows)
        CHECK_EQ(row.t.Format(), std::string(row.shown));
}

TEST_CASE("schedule record: set when any of start, end, entry or hang-up is given")
{
    struct {
        TimeOfDay start, end;
        const char* entry;
        int hangUp;
        bool set;
    } rows[] = {
        {TimeOfDay::Unset, TimeOfDay::Unset, "", 0, false},
        {{2, 0}, TimeOfDay::Unset, "", 0, true},
        {TimeOfDay::Unset, {5, 0}, "", 0, true},
        {TimeOfDay::Unset, TimeOfDay::Unset, "Office", 0, true},
        {TimeOfDay::Unset, TimeOfDay::Unset, "", 1, true},
        {{0, 0}, TimeOfDay::Unset, "", 0, true},
    };
    for (const auto& row : rows) {
        TimerSchedule s;
        s.start = row.start;
        s.end = row.end;
        s.entryName = row.entry;
        s.hangUpWhenDone = row.hangUp;
        CHECK_EQ(s.IsSet(), row.set);
    }
    TimerSchedule fresh;
    CHECK(fresh.start.IsUnset());
    CHECK(fresh.end.IsUnset());
    CHECK(!fresh.IsSet());
}

// ---- the timer settings dialog

namespace {

std::function<void(HWND)> g_act;
HWND g_settingsDlg = nullptr;

BOOL CALLBACK FindSettings(HWND hwnd, LPARAM)
{
    char cls[16] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::lstrcmpA(cls, "#32770") == 0 && ::GetDlgItem(hwnd, IDC_ENTRY_LIST)) {
        g_settingsDlg = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ActTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    g_settingsDlg = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindSettings, 0);
    if (!g_settingsDlg)
        return;
    ::KillTimer(nullptr, id);
    HWND dlg = g_settingsDlg;
    g_act(dlg);
    // Whatever the test left open is cancelled.
    if (::IsWindow(dlg))
        ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// Runs the dialog on `schedule`; `act` works it and presses a button.
INT_PTR RunSettings(TimerSchedule& schedule, std::function<void(HWND)> act)
{
    g_act = std::move(act);
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, ActTimer);
    CTimerSettingDlg dlg(&schedule);
    const INT_PTR result = dlg.DoModal();
    ::KillTimer(nullptr, timer);
    return result;
}

void Press(HWND dlg, int id)
{
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}

void Click(HWND dlg, int id)
{
    ::SendMessageA(::GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

bool Checked(HWND dlg, int id)
{
    return ::IsDlgButtonChecked(dlg, id) == BST_CHECKED;
}

bool Enabled(HWND dlg, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(dlg, id)) != FALSE;
}

std::vector<std::string> ListItems(HWND dlg)
{
    HWND list = ::GetDlgItem(dlg, IDC_ENTRY_LIST);
    std::vector<std::string> items;
    const int n = static_cast<int>(::SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[300] = "";
        ::SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int Selected(HWND dlg)
{
    return static_cast<int>(::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_GETCURSEL, 0, 0));
}

void Select(HWND dlg, int index)
{
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_SETCURSEL, index, 0);
}

// The settings as the dialog leaves them.
struct TimerSettings {
    int hourBegin, minuteBegin, hourEnd, minuteEnd;
    bool begin, end, hangUp;
    std::string entry;

    static TimerSettings Now()
    {
        const SharedSettings& s = g_settings;
        return {s.m_nTimerHourBegin, s.m_nTimerMinuteBegin, s.m_nTimerHourEnd, s.m_nTimerMinuteEnd,
                s.m_bTimerBegin != 0, s.m_bTimerEnd != 0, s.m_bTimerHangUp != 0, s.m_strRasEntryName};
    }
    bool operator==(const TimerSettings& o) const
    {
        return hourBegin == o.hourBegin && minuteBegin == o.minuteBegin && hourEnd == o.hourEnd &&
               minuteEnd == o.minuteEnd && begin == o.begin && end == o.end && hangUp == o.hangUp &&
               entry == o.entry;
    }
};

std::ostream& operator<<(std::ostream& out, const TimerSettings& s)
{
    return out << s.hourBegin << ":" << s.minuteBegin << (s.begin ? " on" : " off") << ", "
               << s.hourEnd << ":" << s.minuteEnd << (s.end ? " on" : " off")
               << (s.hangUp ? ", hang up" : "") << ", '" << s.entry << "'";
}

void SetSettings(const TimerSettings& s)
{
    g_settings.m_nTimerHourBegin = s.hourBegin;
    g_settings.m_nTimerMinuteBegin = s.minuteBegin;
    g_settings.m_nTimerHourEnd = s.hourEnd;
    g_settings.m_nTimerMinuteEnd = s.minuteEnd;
    g_settings.m_bTimerBegin = s.begin;
    g_settings.m_bTimerEnd = s.end;
    g_settings.m_bTimerHangUp = s.hangUp;
    g_settings.m_strRasEntryName = s.entry;
}

bool SameSchedule(const TimerSchedule& a, const TimerSchedule& b)
{
    return a.start == b.start && a.end == b.end && a.entryName == b.entryName &&
           a.hangUpWhenDone == b.hangUpWhenDone;
}

} // namespace

TEST_CASE("timer settings: opens with the stored values and the saved entry found by prefix")
{
    LoadTestSettings();
    ScriptedService service;
    service.fake.m_entries = {"office2", "Home", "Office"};
    const TimerSettings stored{9, 5, 17, 45, true, false, true, "OFF"};
    SetSettings(stored);
    TimerSchedule schedule;
    schedule.entryName = "untouched";
    std::vector<std::string> items;
    std::string startHour, startMinute, endHour, endMinute;
    bool startSet = false, startNow = true, endSet = true, endNone = false, hangUp = false;
    bool startEnabled = false, endEnabled = true;
    int selected = -1;
    const INT_PTR result = RunSettings(schedule, [&](HWND dlg) {
        items = ListItems(dlg);
        selected = Selected(dlg);
        startHour = Text(dlg, IDC_START_HOUR);
        startMinute = Text(dlg, IDC_START_MINUTE);
        endHour = Text(dlg, IDC_END_HOUR);
        endMinute = Text(dlg, IDC_END_MINUTE);
        startSet = Checked(dlg, IDC_START_SET);
        startNow = Checked(dlg, IDC_START_NOW);
        endSet = Checked(dlg, IDC_END_SET);
        endNone = Checked(dlg, IDC_END_NONE);
        hangUp = Checked(dlg, IDC_HANG_UP_WHEN_DONE);
        startEnabled = Enabled(dlg, IDC_START_HOUR) && Enabled(dlg, IDC_START_MINUTE);
        endEnabled = Enabled(dlg, IDC_END_HOUR) || Enabled(dlg, IDC_END_MINUTE);
        Press(dlg, IDCANCEL);
    });
    CHECK_EQ(result, static_cast<INT_PTR>(IDCANCEL));
    CHECK(items == (std::vector<std::string>{Ansi("ダイヤルしない"), "Home", "Office", "office2"}));
    CHECK_EQ(selected, 2);      // "OFF" begins "Office" and "office2": the first in list order
    CHECK_EQ(startHour, std::string("9"));
    CHECK_EQ(startMinute, std::string("5"));
    CHECK_EQ(endHour, std::string("17"));
    CHECK_EQ(endMinute, std::string("45"));
    CHECK(startSet);
    CHECK(!startNow);
    CHECK(!endSet);
    CHECK(endNone);
    CHECK(hangUp);
    CHECK(startEnabled);
    CHECK(!endEnabled);
    // Cancel writes nothing.
    CHECK_EQ(TimerSettings::Now(), stored);
    CHECK_EQ(schedule.entryName, std::string("untouched"));
    CHECK(schedule.start.IsUnset());
}

TEST_CASE("timer settings: the saved entry when it is missing, empty, or the phone book cannot be read")
{
    LoadTestSettings();
    struct {
        const char* saved;
        bool enumFails;
        std::vector<std::string> entries;
        int selected;
        size_t count;
    } rows[] = {
        {"Gone", false, {"Office", "Home"}, 0, 3},
        {"", false, {"Office", "Home"}, 0, 3},
        {"home", false, {"Office", "Home"}, 1, 3},
        {"Office", true, {"Office", "Home"}, 0, 1},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        service.fake.m_entries = row.entries;
        service.fake.m_bEnumFails = row.enumFails;
        SetSettings({2, 0, 5, 0, true, true, true, row.saved});
        TimerSchedule schedule;
        int selected = -1;
        size_t count = 0;
        std::string first;
        RunSettings(schedule, [&](HWND dlg) {
            selected = Selected(dlg);
            count = ListItems(dlg).size();
            first = ListItems(dlg)[0];
            Press(dlg, IDOK);
        });
        CHECK_EQ(selected, row.selected);
        CHECK_EQ(count, row.count);
        CHECK_EQ(first, Ansi("ダイヤルしない"));
        // OK stores what is selected: a missing entry becomes "ダイヤルしない".
        CHECK_EQ(g_settings.m_strRasEntryName, std::string(row.selected == 1 ? "Home" : ""));
        CHECK_EQ(schedule.entryName, std::string(row.selected == 1 ? "Home" : ""));
    }
}

TEST_CASE("timer settings: the radio buttons enable and disable their time fields, which keep their text")
{
    LoadTestSettings();
    ScriptedService service;
    SetSettings({2, 0, 5, 0, true, true, true, ""});
    struct Step {
        int click;
        bool startOn, endOn;
    };
    const Step steps[] = {
        {IDC_START_NOW, false, true}, {IDC_END_NONE, false, false}, {IDC_START_SET, true, false},
        {IDC_END_SET, true, true}, {IDC_END_NONE, true, false},
    };
    std::vector<bool> startOn, endOn;
    std::string keptHour, keptMinute;
    TimerSchedule schedule;
    RunSettings(schedule, [&](HWND dlg) {
        ::SetDlgItemTextA(dlg, IDC_START_HOUR, "11");
        for (const Step& step : steps) {
            Click(dlg, step.click);
            startOn.push_back(Enabled(dlg, IDC_START_HOUR) && Enabled(dlg, IDC_START_MINUTE));
            endOn.push_back(Enabled(dlg, IDC_END_HOUR) && Enabled(dlg, IDC_END_MINUTE));
        }
        Click(dlg, IDC_START_NOW);
        keptHour = Text(dlg, IDC_START_HOUR);
        keptMinute = Text(dlg, IDC_START_MINUTE);
        Press(dlg, IDCANCEL);
    });
    REQUIRE(startOn.size() == 5u);
    for (size_t i = 0; i < 5; ++i) {
        CHECK_EQ(startOn[i], steps[i].startOn);
        CHECK_EQ(endOn[i], steps[i].endOn);
    }
    CHECK_EQ(keptHour, std::string("11"));
    CHECK_EQ(keptMinute, std::string("0"));
}

TEST_CASE("timer settings: a bad field keeps the dialog open with the range message and writes nothing")
{
    LoadTestSettings();
    ScriptedService service;
    service.fake.m_entries = {"Office"};
    const std::string byteMessage = Ansi("0 から 255 までの整数を入力してください。");
    const std::string hourMessage = Ansi("0 から 23 までの整数を入力してください。");
    const std::string minuteMessage = Ansi("0 から 59 までの整数を入力してください。");
    struct Field {
        int id;
        const char* text;
    };
    struct {
        std::vector<Field> fields;
        bool startNow;              // the start time disabled by "今すぐ開始"
        int failing;
        std::string message;
    } rows[] = {
        {{{IDC_START_HOUR, "24"}}, false, IDC_START_HOUR, hourMessage},
        {{{IDC_START_HOUR, "24"}}, true, IDC_START_HOUR, hourMessage},    // disabled, still checked
        {{{IDC_START_MINUTE, ""}}, false, IDC_START_MINUTE, byteMessage},
        {{{IDC_END_HOUR, "300"}}, false, IDC_END_HOUR, byteMessage},
        {{{IDC_END_MINUTE, "ab"}}, false, IDC_END_MINUTE, byteMessage},
        {{{IDC_END_MINUTE, "60"}}, false, IDC_END_MINUTE, minuteMessage},
        {{{IDC_START_MINUTE, "7x"}}, false, IDC_START_MINUTE, byteMessage},
        {{{IDC_END_HOUR, "-1"}}, false, IDC_END_HOUR, byteMessage},
        // Two bad fields: the start hour comes first, then the end hour,
        // then the start minute.
        {{{IDC_START_MINUTE, ""}, {IDC_START_HOUR, "25"}}, false, IDC_START_HOUR, hourMessage},
        {{{IDC_START_MINUTE, "99"}, {IDC_END_HOUR, "24"}}, false, IDC_END_HOUR, hourMessage},
    };
    for (const auto& row : rows) {
        const TimerSettings stored{2, 0, 5, 0, true, true, true, "Office"};
        SetSettings(stored);
        TimerSchedule schedule;
        MessageBoxWatcher boxes;
        bool openAfterOK = false;
        HWND focus = nullptr, failing = nullptr;
        const INT_PTR result = RunSettings(schedule, [&](HWND dlg) {
            if (row.startNow)
                Click(dlg, IDC_START_NOW);
            Select(dlg, 1);
            for (const Field& f : row.fields)
                ::SetDlgItemTextA(dlg, f.id, f.text);
            Press(dlg, IDOK);
            openAfterOK = ::IsWindow(dlg) != FALSE;
            focus = ::GetFocus();
            failing = ::GetDlgItem(dlg, row.failing);
            Press(dlg, IDCANCEL);
        });
        CHECK_EQ(result, static_cast<INT_PTR>(IDCANCEL));
        CHECK(openAfterOK);
        const std::vector<std::string> texts = boxes.Texts();
        REQUIRE(texts.size() == 1u);
        CHECK_EQ(texts[0], row.message);
        if (!row.startNow)
            CHECK(focus == failing);
        CHECK_EQ(TimerSettings::Now(), stored);
        CHECK(SameSchedule(schedule, TimerSchedule()));
    }
}

TEST_CASE("timer settings: OK writes the schedule and the settings for every choice")
{
    LoadTestSettings();
    ScriptedService service;
    service.fake.m_entries = {"Office", "Home"};
    for (int startNow = 0; startNow < 2; ++startNow) {
        for (int endNone = 0; endNone < 2; ++endNone) {
            for (int hangUp = 0; hangUp < 2; ++hangUp) {
                for (int entry = 0; entry < 2; ++entry) {
                    const TimerSettings stored{2, 0, 5, 0, true, true, true, "Home"};
                    SetSettings(stored);
                    TimerSchedule schedule;
                    const INT_PTR result = RunSettings(schedule, [&](HWND dlg) {
                        ::SetDlgItemTextA(dlg, IDC_START_HOUR, "7");
                        ::SetDlgItemTextA(dlg, IDC_START_MINUTE, "15");
                        ::SetDlgItemTextA(dlg, IDC_END_HOUR, " 23 ");
                        ::SetDlgItemTextA(dlg, IDC_END_MINUTE, "09");
                        Click(dlg, startNow ? IDC_START_NOW : IDC_START_SET);
                        Click(dlg, endNone ? IDC_END_NONE : IDC_END_SET);
                        if (Checked(dlg, IDC_HANG_UP_WHEN_DONE) != (hangUp != 0))
                            Click(dlg, IDC_HANG_UP_WHEN_DONE);
                        Select(dlg, entry ? 2 : 0);     // "Office" or "ダイヤルしない"
                        Press(dlg, IDOK);
                    });
                    CHECK_EQ(result, static_cast<INT_PTR>(IDOK));
                    // The schedule
                    const TimeOfDay start{7, 15}, end{23, 9};
                    CHECK(schedule.start == (startNow ? TimeOfDay::Unset : start));
                    CHECK(schedule.end == (endNone ? TimeOfDay::Unset : end));
                    CHECK_EQ(schedule.hangUpWhenDone, hangUp);
                    CHECK_EQ(schedule.entryName, std::string(entry ? "Office" : ""));
                    CHECK_EQ(schedule.IsSet(), !startNow || !endNone || hangUp || entry);
                    // The settings: a time not used keeps its stored value.
                    const TimerSettings expected{
                        startNow ? 2 : 7, startNow ? 0 : 15, endNone ? 5 : 23, endNone ? 0 : 9,
                        !startNow, !endNone, hangUp != 0, entry ? "Office" : ""};
                    CHECK_EQ(TimerSettings::Now(), expected);
                }
            }
        }
    }
}

TEST_CASE("timer settings: a phone book of more than 20 entries is listed in full, sorted after the first item")
{
    LoadTestSettings();
    ScriptedService service;
    for (int i = 25; i >= 1; --i) {
        char name[16];
        ::wsprintfA(name, i % 2 ? "entry%02d" : "Entry%02d", i);
        service.fake.m_entries.push_back(name);
    }
    service.fake.m_entries.push_back(Ansi("会社"));
    SetSettings({2, 0, 5, 0, true, true, true, "entry24"});
    TimerSchedule schedule;
    std::vector<std::string> items;
    int selected = -1;
    RunSettings(schedule, [&](HWND dlg) {
        items = ListItems(dlg);
        selected = Selected(dlg);
        Select(dlg, 3);
        Press(dlg, IDOK);
    });
    REQUIRE(items.size() == 27u);
    CHECK_EQ(items[0], Ansi("ダイヤルしない"));
    // Latin names sort before "ダイヤルしない" but are listed after it, in
    // order without regard to case.
    CHECK_EQ(items[1], std::string("entry01"));
    CHECK_EQ(items[2], std::string("Entry02"));
    CHECK_EQ(items[25], std::string("entry25"));
    CHECK_EQ(items[26], Ansi("会社"));
    CHECK_EQ(selected, 24);
    CHECK_EQ(schedule.entryName, std::string("entry03"));
    CHECK_EQ(g_settings.m_strRasEntryName, std::string("entry03"));
}

// ---- the dial-up manager and the dialing window

namespace {

// Records the manager's calls, with whether it was busy at the time.
struct DialLog : DialManager::TargetI_ {
    explicit DialLog(const char* n) : name(n) {}
    void OnConnected() override { Add("connected"); }
    void OnDialStarted() override { Add("started"); }
    void OnDialFailed() override
    {
        Add("failed");
        if (dialAgainOnFailure)
            dialledAgain = GetDialManager().Dial("Office");
    }
    void Add(const char* what)
    {
        events.push_back(std::string(name) + ":" + what);
        busy.push_back(GetDialManager().IsBusy());
        if (shared)
            shared->push_back(std::string(name) + ":" + what);
    }
    const char* name;
    std::vector<std::string> events;
    std::vector<bool> busy;
    std::vector<std::string>* shared = nullptr;
    bool dialAgainOnFailure = false;
    bool dialledAgain = true;
};

// Registers a log with the manager for one test.
struct Registered {
    explicit Registered(DialLog& log) : m_log(log) { GetDialManager().AddTarget(&log); }
    ~Registered() { GetDialManager().RemoveTarget(&m_log); }
    DialLog& m_log;
};

HWND Dialing() { return CDialingDlg::GetCurrent(); }

CDialingDlg* DialingObject()
{
    return static_cast<CDialingDlg*>(CWnd::FromHandle(Dialing()));
}

// Sends the next scripted notification and lets the window handle it.
bool Play(FakeDialService& fake)
{
    if (!fake.PlayNext())
        return false;
    Pump(100);
    return true;
}

void Tick(HWND wnd, int times)
{
    for (int i = 0; i < times && ::IsWindow(wnd); ++i)
        ::SendMessageA(wnd, WM_TIMER, CDialingDlg::kTimerId, 0);
}

const DWORD kAuthFailed = 691;

} // namespace

TEST_CASE("dial-up manager: refusals start nothing and tell no one")
{
    struct {
        const char* name;
        const char* entry;
        int connectionsUp;
        bool overflow;
        bool callInProgress;
    } rows[] = {
        {"empty name", "", 0, false, false},
        {"one connection up", "Office", 1, false, false},
        {"three connections up", "Office", 3, false, false},
        {"too many connections to list", "Office", 0, true, false},
        {"a call in progress", "Office", 0, false, true},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        service.fake.m_entries = {"Office", "Home"};
        service.fake.m_calls.push_back({0, {}});
        for (int i = 0; i < row.connectionsUp; ++i)
            service.fake.AddForeignConnection();
        service.fake.m_bConnectionsOverflow = row.overflow;
        HWND first = nullptr;
        if (row.callInProgress) {
            REQUIRE(GetDialManager().Dial("Home"));
            first = Dialing();
        }
        DialLog log("a");
        Registered reg(log);
        const size_t dialled = service.fake.m_dialled.size();
        CHECK(!GetDialManager().Dial(row.entry));
        CHECK(log.events.empty());
        CHECK_EQ(service.fake.m_dialled.size(), dialled);
        CHECK(Dialing() == first);
        CHECK_EQ(GetDialManager().IsBusy(), row.callInProgress);
        CHECK(service.fake.m_hungUp.empty());
        if (row.callInProgress) {
            // The call in progress goes on untouched.
            CHECK(::IsWindow(first));
            CHECK_EQ(Text(first, IDC_DIAL_ENTRY), std::string("Home"));
            ::DestroyWindow(first);
            CHECK(!GetDialManager().IsBusy());
        }
    }
}

TEST_CASE("dial-up manager: a call that cannot start is reported failed before Dial returns")
{
    const std::string longName(257, 'x');
    const std::string longest(256, 'y');
    struct {
        const char* name;
        std::string entry;
        DWORD dialResult;
        bool started;
        size_t dials;
        size_t hangUps;
    } rows[] = {
        {"entry missing from the phone book", "Elsewhere", 0, false, 0, 0},
        {"257-character name", longName, 0, false, 0, 0},
        {"256-character name", longest, 0, true, 1, 0},
        {"the service refuses the dial", "Office", ERROR_PORT_NOT_AVAILABLE, false, 1, 1},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        service.fake.m_entries = {"Office", longest, longName};
        service.fake.m_calls.push_back({row.dialResult, {}});
        DialLog log("a");
        Registered reg(log);
        const bool started = GetDialManager().Dial(row.entry);
        CHECK_EQ(started, row.started);
        CHECK_EQ(service.fake.m_dialled.size(), row.dials);
        // A handle the service gave for a failed start is hung up.
        CHECK_EQ(service.fake.m_hungUp.size(), row.hangUps);
        if (row.started) {
            CHECK(log.events == (std::vector<std::string>{"a:started"}));
            CHECK(GetDialManager().IsBusy());
            CHECK(Dialing() != nullptr);
            ::DestroyWindow(Dialing());
        } else {
            CHECK(log.events == (std::vector<std::string>{"a:failed"}));
            CHECK(!GetDialManager().IsBusy());
            CHECK(Dialing() == nullptr);
            // The manager is idle again: the next call is accepted.
            service.fake.m_calls.push_back({0, {}});
            CHECK(GetDialManager().Dial("Office"));
            ::DestroyWindow(Dialing());
        }
        CHECK(!GetDialManager().IsBusy());
    }
}

TEST_CASE("dial-up manager: observers in order, the last takes a removed one's place")
{
    ScriptedService service;
    service.fake.m_entries = {"Office"};
    service.fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    service.fake.m_calls.push_back({0, {{RASCS_ConnectDevice, kAuthFailed}}});
    std::vector<std::string> order;
    DialLog a("a"), b("b"), c("c"), stranger("x");
    a.shared = b.shared = c.shared = &order;
    GetDialManager().AddTarget(&a);
    GetDialManager().AddTarget(&b);
    GetDialManager().AddTarget(&c);
    CHECK(GetDialManager().Dial("Office"));
    CHECK(order == (std::vector<std::string>{"a:started", "b:started", "c:started"}));

    GetDialManager().RemoveTarget(&stranger);
    CHECK_EQ(GetDialManager().GetTargetCount(), 3);
    GetDialManager().RemoveTarget(&a);
    REQUIRE(GetDialManager().GetTargetCount() == 2);
    CHECK(GetDialManager().GetTarget(0) == &c);
    CHECK(GetDialManager().GetTarget(1) == &b);

    // Connected: busy is clear when the observers hear of it.
    order.clear();
    CHECK(Play(service.fake));
    CHECK(order == (std::vector<std::string>{"c:connected", "b:connected"}));
    CHECK(c.busy.back() == false);
    CHECK(b.busy.back() == false);

    // Failed: still busy while they hear of it, so a new Dial is declined.
    service.fake.m_active.clear();
    c.dialAgainOnFailure = true;
    order.clear();
    CHECK(GetDialManager().Dial("Office"));
    CHECK(Play(service.fake));
    CHECK(order == (std::vector<std::string>{"c:started", "b:started", "c:failed", "b:failed"}));
    CHECK(c.busy.back() == true);
    CHECK(b.busy.back() == true);
    CHECK(!c.dialledAgain);
    CHECK(!GetDialManager().IsBusy());
    GetDialManager().RemoveTarget(&c);
    GetDialManager().RemoveTarget(&b);
    CHECK_EQ(GetDialManager().GetTargetCount(), 0);
}

TEST_CASE("dial-up manager: hang-up ends the first connection listed, whoever opened it")
{
    ScriptedService service;
    FakeDialService& fake = service.fake;
    CHECK(!GetDialManager().IsAnyConnectionActive());
    CHECK(!GetDialManager().HangUp());
    CHECK(fake.m_hungUp.empty());

    HRASCONN other = fake.AddForeignConnection();
    CHECK(GetDialManager().IsAnyConnectionActive());
    CHECK(GetDialManager().HangUp());
    CHECK(fake.m_hungUp == (std::vector<HRASCONN>{other}));
    CHECK(!GetDialManager().IsAnyConnectionActive());

    HRASCONN one = fake.AddForeignConnection();
    HRASCONN two = fake.AddForeignConnection();
    CHECK(GetDialManager().IsAnyConnectionActive());
    CHECK(GetDialManager().HangUp());
    CHECK(fake.m_hungUp.back() == one);
    CHECK(fake.m_active == (std::vector<HRASCONN>{two}));

    // Several connections beyond what the query can list still count.
    fake.m_bConnectionsOverflow = true;
    CHECK(GetDialManager().IsAnyConnectionActive());
}

TEST_CASE("dialing window: connected leaves the connection up and closes; the password is wiped")
{
    LoadTestSettings();
    ScriptedService service;
    FakeDialService& fake = service.fake;
    fake.m_entries = {"Office"};
    fake.m_calls.push_back({0, {{RASCS_OpenPort, 0}, {RASCS_AllDevicesConnected, 0}, {RASCS_Connected, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    REQUIRE(wnd != nullptr);
    CHECK(::IsWindowVisible(wnd));
    CHECK_EQ(Text(wnd, IDC_DIAL_ENTRY), std::string("Office"));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
    // The stored password went to the service and is gone from the window.
    REQUIRE(fake.m_passwordsDialled.size() == 1u);
    CHECK_EQ(fake.m_passwordsDialled[0], std::string("secret"));
    CHECK(fake.m_connBeforeDial[0] == nullptr);
    REQUIRE(fake.m_pLastParams != nullptr);
    const RASDIALPARAMSA zero{};
    CHECK(std::memcmp(fake.m_pLastParams, &zero, sizeof zero) == 0);

    CHECK(Play(fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
    CHECK(Play(fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    CHECK(Play(fake));
    CHECK(!::IsWindow(wnd));
    CHECK(Dialing() == nullptr);
    CHECK(log.events == (std::vector<std::string>{"a:started", "a:connected"}));
    CHECK_EQ(fake.m_active.size(), 1u);
    CHECK(fake.m_hungUp.empty());
    CHECK(!GetDialManager().IsBusy());
    // A late notification finds no window and is lost.
    CDialingDlg::DialCallback(WM_RASDIALEVENT, RASCS_Disconnected, 0);
    Pump(50);
    CHECK_EQ(log.events.size(), 2u);
}

TEST_CASE("dialing window: all devices connected with an error shows connecting and waits")
{
    LoadTestSettings();
    ScriptedService service;
    service.fake.m_entries = {"Office"};
    service.fake.m_calls.push_back({0, {{RASCS_AllDevicesConnected, kAuthFailed}, {RASCS_PortOpened, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    CHECK(Play(service.fake));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    // Another state without an error changes nothing.
    CHECK(Play(service.fake));
    CHECK(::IsWindow(wnd));
    CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("接続中"));
    CHECK(log.events == (std::vector<std::string>{"a:started"}));
}

TEST_CASE("dialing window: a busy line waits 18 ticks and dials again, as often as it stays busy")
{
    LoadTestSettings();
    ScriptedService service;
    FakeDialService& fake = service.fake;
    fake.m_entries = {"Office"};
    for (int i = 0; i < 3; ++i)
        fake.m_calls.push_back({0, {{RASCS_ConnectDevice, ERROR_LINE_BUSY}}});
    fake.m_calls.push_back({0, {{RASCS_Connected, 0}}});
    DialLog log("a");
    Registered reg(log);
    REQUIRE(GetDialManager().Dial("Office"));
    HWND wnd = Dialing();
    // A tick with no busy line counts nothing.
    Tick(wnd, 30);
    CHECK_EQ(fake.m_dialled.size(), 1u);
    for (size_t busy = 1; busy <= 3; ++busy) {
        CHECK(Play(fake));
        CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("リダイヤル待機中"));
        CHECK_EQ(fake.m_hungUp.size(), busy);       // the busy call is hung up
        CHECK(DialingObject()->GetConnection() == nullptr);
        // Another timer's message is not a tick.
        ::SendMessageA(wnd, WM_TIMER, CDialingDlg::kTimerId + 1, 0);
        Tick(wnd, 17);
        CHECK_EQ(fake.m_dialled.size(), busy);
        CHECK_EQ(DialingObject()->GetRedialTicks(), 17);
        Tick(wnd, 1);
        CHECK_EQ(fake.m_dialled.size(), busy + 1);
        CHECK_EQ(Text(wnd, IDC_DIAL_STATE), Ansi("ダイヤル中"));
        CHECK_EQ(DialingObject()->GetRedialTicks(), -1);
    }
    CHECK(Play(fake));
    CHECK(!::IsWindow(wnd));
    CHECK(log.events == (std::vector<std::string>{"a:started", "a:connected"}));
    // Every redial gave the service an empty place for the handle, with
    // the password filled in again.
    CHECK_EQ(fake.m_connBeforeDial.size(), 4u);
    for (HRASCONN conn : fake.m_connBeforeDial)
        CHECK(conn == nullptr);
    for (const std::string& password : fake.m_passwordsDialled)
        CHECK_EQ(password, std::string("secret"));
}

TEST_CASE("dialing window: every way a call ends without connecting hangs up and reports once")
{
    LoadTestSettings();
    enum End { Cancel, CloseBox, Disconnect, OtherError, RedialRefused, CancelInRedialWait };
    struct {
        const char* name;
        End end;
        size_t hangUps;     // RasHangUp calls in all
    } rows[] = {
        {"Cancel while dialling", Cancel, 1},
        {"the close box while dialling", CloseBox, 1},
        {"disconnected", Disconnect, 1},
        {"another error", OtherError, 1},
        {"a redial the service refuses", RedialRefused, 2},
        {"Cancel while waiting to redial", CancelInRedialWait, 1},
    };
    for (const auto& row : rows) {
        ScriptedService service;
        FakeDialService& fake = service.fake;
        fake.m_entries = {"Office"};
        if (row.end == Disconnect)
            fake.m_calls.push_back({0, {{RASCS_Disconnected, 0}}});
        else if (row.end == OtherError)
            fake.m_calls.push_back({0, {{RASCS_Authenticate, kAuthFailed}}});
        else
            fake.m_calls.push_back({0, {{RASCS_ConnectDevice, ERROR_LINE_BUSY}}});
        fake.m_calls.push_back({ERROR_PORT_NOT_AVAILABLE, {}});
        DialLog log("a");
        Registered reg(log);
        REQUIRE(GetDialManager().Dial("Office"));
        HWND wnd = Dialing();
        const HRASCONN call = DialingObject()->GetConnection();
        switch (row.end) {
        case Cancel:
            Press(wnd, IDCANCEL);
            break;
        case CloseBox:
            ::SendMessageA(wnd, WM_CLOSE, 0, 0);
            break;
        case Disconnect:
        case OtherError:
            Play(fake);
            break;
        case RedialRefused:
            Play(fake);
            Tick(wnd, 18);
            break;
        case CancelInRedialWait:
            Play(fake);
            Press(wnd, IDCANCEL);
            break;
        }
        Pump(50);
        CHECK(!::IsWindow(wnd));
        CHECK(Dialing() == nullptr);
        CHECK(log.events == (std::vector<std::string>{"a:started", "a:failed"}));
        CHECK(!GetDialManager().IsBusy());
        CHECK_EQ(fake.m_hungUp.size(), row.hangUps);
        CHECK(!fake.m_hungUp.empty() && fake.m_hungUp[0] == call);
        // Enter does not give up a call.
        if (row.end == Cancel) {
            fake.m_calls.clear();
            fake.m_calls.push_back({0, {}});
            REQUIRE(GetDialManager().Dial("Office"));
            Press(Dialing(), IDOK);
            CHECK(Dialing() != nullptr);
        }
    }
}

// ---- dialog data exchange on its own

namespace {

// The timer settings template with an exchange of the kinds a dialog may
// need: a signed integer with its range, a check box, a radio group and a
// list selection.
class ExchangeProbe : public CDialog {
public:
    ExchangeProbe() : CDialog(IDD_TIMER_SETTING) {}
    void DoDataExchange(CDataExchange& dx) override
    {
        DDX_Text(dx, IDC_START_HOUR, m_nNumber);
        DDV_MinMaxInt(dx, m_nNumber, -5, 100000);
        DDX_Check(dx, IDC_HANG_UP_WHEN_DONE, m_nCheck);
        DDX_Radio(dx, IDC_START_SET, m_nRadio);
        DDX_CBIndex(dx, IDC_ENTRY_LIST, m_nIndex);
    }
    int m_nNumber = 0;
    int m_nCheck = 0;
    int m_nRadio = 0;
    int m_nIndex = 0;
};

} // namespace

TEST_CASE("data exchange: integer fields, their range, check box, radio group and list selection")
{
    LoadTestSettings();
    ExchangeProbe probe;
    REQUIRE(probe.Create(nullptr));
    HWND dlg = probe.GetSafeHwnd();
    const std::string intMessage = Ansi("整数を入力してください。");
    struct {
        const char* text;
        bool ok;
        int value;
        std::string message;
    } rows[] = {
        {"123", true, 123, ""},
        {" -5 ", true, -5, ""},
        {"+100000", true, 100000, ""},
        // A number out of range is taken, then refused; one that cannot be
        // read leaves the member as it was.
        {"-6", false, -6, Ansi("-5 から 100000 までの整数を入力してください。")},
        {"100001", false, 100001, Ansi("-5 から 100000 までの整数を入力してください。")},
        {"99999999999", false, 7, intMessage},
        {"1 2", false, 7, intMessage},
        {"", false, 7, intMessage},
        {"-", false, 7, intMessage},
        {"0x10", false, 7, intMessage},
    };
    for (const auto& row : rows) {
        MessageBoxWatcher boxes;
        probe.m_nNumber = 7;
        ::SetDlgItemTextA(dlg, IDC_START_HOUR, row.text);
        CHECK_EQ(probe.UpdateData(true), row.ok);
        CHECK_EQ(probe.m_nNumber, row.value);
        const std::vector<std::string> texts = boxes.Texts();
        if (row.ok) {
            CHECK(texts.empty());
        } else {
            REQUIRE(texts.size() == 1u);
            CHECK_EQ(texts[0], row.message);
        }
    }

    // Members into the controls and back.
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b"));
    probe.m_nNumber = -3;
    probe.m_nCheck = 1;
    probe.m_nRadio = 1;
    probe.m_nIndex = 1;
    CHECK(probe.UpdateData(false));
    CHECK_EQ(Text(dlg, IDC_START_HOUR), std::string("-3"));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_HANG_UP_WHEN_DONE), static_cast<UINT>(BST_CHECKED));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_START_SET), static_cast<UINT>(BST_UNCHECKED));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_START_NOW), static_cast<UINT>(BST_CHECKED));
    // The other group is not touched.
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_END_SET), static_cast<UINT>(BST_UNCHECKED));
    CHECK_EQ(::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_GETCURSEL, 0, 0), 1);

    ::CheckDlgButton(dlg, IDC_HANG_UP_WHEN_DONE, BST_UNCHECKED);
    ::CheckDlgButton(dlg, IDC_START_NOW, BST_UNCHECKED);
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    CHECK(probe.UpdateData(true));
    CHECK_EQ(probe.m_nNumber, -3);
    CHECK_EQ(probe.m_nCheck, 0);
    CHECK_EQ(probe.m_nRadio, -1);       // no button of the group checked
    CHECK_EQ(probe.m_nIndex, -1);       // nothing selected
    ::CheckDlgButton(dlg, IDC_START_SET, BST_CHECKED);
    CHECK(probe.UpdateData(true));
    CHECK_EQ(probe.m_nRadio, 0);
    probe.DestroyWindow();
}
