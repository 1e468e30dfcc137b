#include "TimerSchedule.h"

bool TimerSchedule::IsSet() const
{
    return !(start.IsUnset() && end.IsUnset() && hangUpWhenDone == 0 && entryName.empty());
}
