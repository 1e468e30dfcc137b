// Times of day (minutes to a time, the due window, how one is shown) and
// the schedule record made of them.
#include "Test.h"
#include "TestUtil.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimerSchedule.h"

using namespace test;

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
