#include "TimerSchedule.h"

bool TimerSchedule::IsSet() const
{
    return !(start.IsUnset() && end.IsUnset() && hangUpWhenDone == 0 && entryName.empty() &&
             afterRun == AfterRunAction::None);
}

bool TimerSchedule::Repeats() const
{
    return repeat && !start.IsUnset() && (days & kEveryDay) != 0;
}
