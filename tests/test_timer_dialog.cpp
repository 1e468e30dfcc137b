// The timer settings dialog: the stored values it opens with, the saved
// dial-up entry, its radio buttons, bad fields refused and what OK
// writes; with the scripted dial-up service.
#include <cstring>
#include "DialogUtil.h"
#include "ScriptedService.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimerSchedule.h"
#include "schedule/TimerSettingDlg.h"

using namespace test;

namespace {

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
    const INT_PTR result = RunTimerSettings(schedule, [&](HWND dlg) {
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
        RunTimerSettings(schedule, [&](HWND dlg) {
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
    RunTimerSettings(schedule, [&](HWND dlg) {
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
        const INT_PTR result = RunTimerSettings(schedule, [&](HWND dlg) {
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
                    const INT_PTR result = RunTimerSettings(schedule, [&](HWND dlg) {
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
    RunTimerSettings(schedule, [&](HWND dlg) {
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
