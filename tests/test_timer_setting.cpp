// The timer settings' choices for unattended runs: repeating on days of
// the week, what the machine does after the run, and the retries; what
// they start from, what they refuse, and what OK writes.
#include <functional>
#include "DialogUtil.h"
#include "Test.h"
#include "FakeDialService.h"
#include "TestUtil.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "schedule/TimerSchedule.h"
#include "schedule/TimerSettingDlg.h"

using namespace test;

namespace {

void PressOK(HWND dlg)
{
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool Checked(HWND dlg, int id)
{
    return ::IsDlgButtonChecked(dlg, id) == BST_CHECKED;
}

bool Enabled(HWND dlg, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(dlg, id)) != FALSE;
}

const int kDays[7] = {IDC_DAY_SUN, IDC_DAY_MON, IDC_DAY_TUE, IDC_DAY_WED, IDC_DAY_THU, IDC_DAY_FRI, IDC_DAY_SAT};

unsigned DaysShown(HWND dlg)
{
    unsigned days = 0;
    for (int i = 0; i < 7; ++i)
        if (Checked(dlg, kDays[i]))
            days |= 1u << i;
    return days;
}

void SetDays(HWND dlg, unsigned days)
{
    for (int i = 0; i < 7; ++i)
        if (Checked(dlg, kDays[i]) != (((days >> i) & 1) != 0))
            Click(dlg, kDays[i]);
}

std::string ComboItem(HWND dlg, int id, int index)
{
    char text[256] = "";
    ::SendDlgItemMessageA(dlg, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

int ComboSelection(HWND dlg, int id)
{
    return static_cast<int>(::SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0));
}

void SelectAfterRun(HWND dlg, AfterRunAction action)
{
    ::SendDlgItemMessageA(dlg, IDC_AFTER_RUN, CB_SETCURSEL, static_cast<int>(action), 0);
}

// The settings of a first start, then the ones a test names.
void FreshSettings()
{
    ResetRegistry();
    LoadTestSettings();
}

} // namespace

TEST_CASE("timer settings: repeat, days, after-run and retries open with the stored values")
{
    FakeDialService fake;
    DialService::Set(&fake);
    struct {
        const char* name;
        bool startSet;
        bool repeat;
        int days;
        int afterRun;
        int retries;
    } rows[] = {
        {"first start", true, false, 0x7F, 0, 3},
        {"repeating on weekends, sleeping after", true, true, 0x41, 2, 5},
        {"start now: the repeat box is off", false, true, 0x02, 1, 0},
        {"shutting down, ten retries", true, false, 0x3E, 3, 10},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        FreshSettings();
        g_settings.m_bTimerBegin = row.startSet;
        g_settings.m_bTimerRepeat = row.repeat;
        g_settings.m_nTimerRepeatDays = row.days;
        g_settings.m_nTimerAfterRun = row.afterRun;
        g_settings.m_nRetryCount = row.retries;
        TimerSchedule schedule;
        bool seen = false;
        RunTimerSettings(schedule, [&](HWND dlg) {
            seen = true;
            CHECK_EQ(Checked(dlg, IDC_REPEAT), row.repeat);
            CHECK_EQ(DaysShown(dlg), static_cast<unsigned>(row.days));
            CHECK_EQ(Enabled(dlg, IDC_REPEAT), row.startSet);
            for (int id : kDays)
                CHECK_EQ(Enabled(dlg, id), row.startSet && row.repeat);
            const char* names[] = {"何もしない", "Kestrin を終了", "スリープ", "シャットダウン"};
            CHECK_EQ(static_cast<int>(::SendDlgItemMessageA(dlg, IDC_AFTER_RUN, CB_GETCOUNT, 0, 0)), 4);
            for (int i = 0; i < 4; ++i)
                CHECK_EQ(ComboItem(dlg, IDC_AFTER_RUN, i), Ansi(names[i]));
            CHECK_EQ(ComboSelection(dlg, IDC_AFTER_RUN), row.afterRun);
            CHECK_EQ(Text(dlg, IDC_RETRY_COUNT), std::to_string(row.retries));
        });
        CHECK(seen);
    }
    DialService::Set(nullptr);
}

TEST_CASE("timer settings: turning the repeat on with no day chosen chooses every day; start now turns it off")
{
    FakeDialService fake;
    DialService::Set(&fake);
    FreshSettings();
    g_settings.m_nTimerRepeatDays = 0x04;
    TimerSchedule schedule;
    RunTimerSettings(schedule, [&](HWND dlg) {
        Click(dlg, IDC_REPEAT);
        CHECK(Checked(dlg, IDC_REPEAT));
        CHECK_EQ(DaysShown(dlg), 0x04u);          // a day was chosen: kept
        SetDays(dlg, 0);
        Click(dlg, IDC_REPEAT);
        CHECK(!Enabled(dlg, IDC_DAY_MON));
        Click(dlg, IDC_REPEAT);
        CHECK_EQ(DaysShown(dlg), 0x7Fu);          // none chosen: all
        CHECK(Enabled(dlg, IDC_DAY_MON));
        Click(dlg, IDC_START_NOW);
        CHECK(!Enabled(dlg, IDC_REPEAT));
        CHECK(!Enabled(dlg, IDC_DAY_SUN));
        CHECK(Checked(dlg, IDC_REPEAT));          // kept, as the time fields keep their text
        Click(dlg, IDC_START_SET);
        CHECK(Enabled(dlg, IDC_REPEAT));
        CHECK(Enabled(dlg, IDC_DAY_SAT));
    });
    DialService::Set(nullptr);
}

TEST_CASE("timer settings: a repeat without a day, or one that cannot come back, is refused and nothing is written")
{
    FakeDialService fake;
    DialService::Set(&fake);
    struct {
        const char* name;
        unsigned days;
        AfterRunAction afterRun;
        const char* retries;
        const char* message;
        int focus;              // where the user is taken
    } rows[] = {
        {"no day", 0, AfterRunAction::None, "3", "繰り返す曜日を 1 つ以上選んでください。", IDC_DAY_SUN},
        {"then shut down", 0x7F, AfterRunAction::Shutdown, "3",
         "毎日繰り返すときは、終了後に「何もしない」か「スリープ」を選んでください。", IDC_AFTER_RUN},
        {"then close Kestrin", 0x01, AfterRunAction::Exit, "3",
         "毎日繰り返すときは、終了後に「何もしない」か「スリープ」を選んでください。", IDC_AFTER_RUN},
        {"eleven retries", 0x7F, AfterRunAction::None, "11", "0 から 10 までの整数を入力してください。",
         IDC_RETRY_COUNT},
        {"no number of retries", 0x7F, AfterRunAction::None, "", "整数を入力してください。", IDC_RETRY_COUNT},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        FreshSettings();
        MessageBoxWatcher boxes;
        TimerSchedule schedule;
        bool stayedOpen = false;
        HWND focus = nullptr, expected = nullptr;
        const INT_PTR result = RunTimerSettings(schedule, [&](HWND dlg) {
            Click(dlg, IDC_START_SET);
            Click(dlg, IDC_REPEAT);
            SetDays(dlg, row.days);
            SelectAfterRun(dlg, row.afterRun);
            ::SetDlgItemTextA(dlg, IDC_RETRY_COUNT, row.retries);
            PressOK(dlg);
            stayedOpen = ::IsWindow(dlg) != FALSE;
            focus = ::GetFocus();
            expected = ::GetDlgItem(dlg, row.focus);
        });
        CHECK(stayedOpen);
        CHECK(focus == expected);
        CHECK_EQ(result, static_cast<INT_PTR>(IDCANCEL));
        const std::vector<std::string> texts = boxes.Texts();
        REQUIRE(texts.size() == 1u);
        CHECK_EQ(texts[0], Ansi(row.message));
        CHECK(!schedule.repeat);
        CHECK(!g_settings.m_bTimerRepeat);
        CHECK_EQ(g_settings.m_nRetryCount, 3);
        CHECK_EQ(g_settings.m_nTimerAfterRun, 0);
    }
    DialService::Set(nullptr);
}

TEST_CASE("timer settings: OK writes the repeat, the days, the after-run choice and the retries")
{
    FakeDialService fake;
    DialService::Set(&fake);
    struct {
        const char* name;
        bool startNow;
        bool repeat;
        unsigned days;
        AfterRunAction afterRun;
        int retries;
        bool repeats;           // in the schedule
    } rows[] = {
        {"every night, sleeping after", false, true, 0x7F, AfterRunAction::Sleep, 3, true},
        {"working days, no retries", false, true, 0x3E, AfterRunAction::None, 0, true},
        {"once, then shut down", false, false, 0x7F, AfterRunAction::Shutdown, 10, false},
        {"now, then close Kestrin", true, false, 0x7F, AfterRunAction::Exit, 2, false},
        {"now with the repeat box on: once", true, true, 0x01, AfterRunAction::Shutdown, 1, false},
    };
    for (const auto& row : rows) {
        Context context(row.name);
        FreshSettings();
        TimerSchedule schedule;
        const INT_PTR result = RunTimerSettings(schedule, [&](HWND dlg) {
            Click(dlg, IDC_START_SET);
            if (row.repeat)
                Click(dlg, IDC_REPEAT);
            SetDays(dlg, row.days);
            if (row.startNow)
                Click(dlg, IDC_START_NOW);
            SelectAfterRun(dlg, row.afterRun);
            ::SetDlgItemTextA(dlg, IDC_RETRY_COUNT, std::to_string(row.retries).c_str());
            PressOK(dlg);
        });
        CHECK_EQ(result, static_cast<INT_PTR>(IDOK));
        CHECK_EQ(schedule.repeat, row.repeats);
        CHECK_EQ(schedule.Repeats(), row.repeats);
        CHECK_EQ(static_cast<unsigned>(schedule.days), row.days);
        CHECK(schedule.afterRun == row.afterRun);
        CHECK(schedule.IsSet());
        CHECK_EQ(g_settings.m_bTimerRepeat != 0, row.repeat);
        CHECK_EQ(g_settings.m_nTimerRepeatDays, static_cast<int>(row.days));
        CHECK_EQ(g_settings.m_nTimerAfterRun, static_cast<int>(row.afterRun));
        CHECK_EQ(g_settings.m_nRetryCount, row.retries);
    }
    DialService::Set(nullptr);
}
