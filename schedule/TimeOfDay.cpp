#include "TimeOfDay.h"
#include <cstdio>

const TimeOfDay TimeOfDay::Unset = {255, 255};

int TimeOfDay::MinutesFrom(int nowHour, int nowMinute) const
{
    int diff = (hour - nowHour) * 60 + (minute - nowMinute);
    if (diff > 720)
        diff -= 1440;
    else if (diff < -720)
        diff += 1440;
    return diff;
}

bool TimeOfDay::IsDueAt(int nowHour, int nowMinute) const
{
    if (IsUnset())
        return false;
    const int diff = MinutesFrom(nowHour, nowMinute);
    return diff >= -29 && diff <= 0;
}

std::string TimeOfDay::Format() const
{
    if (hour == 255)
        return " -- : --";
    char text[32];
    std::snprintf(text, sizeof text, " %d : %d", hour, minute);
    return text;
}
