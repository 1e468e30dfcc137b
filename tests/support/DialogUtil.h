#pragma once
// Reading and working a dialog's controls from the test's own thread.
#include <windows.h>
#include <functional>
#include <string>

struct TimerSchedule;

namespace test {

// The text of control `id` of `dlg`.
std::string Text(HWND dlg, int id);
// Presses button `id` of `dlg` as its click would, before returning.
void Press(HWND dlg, int id);
// Clicks button `id` of `dlg` (check boxes and radio buttons included).
void Click(HWND dlg, int id);

// Once the timer settings dialog shows on this thread, `act` works it and
// presses a button; a dialog `act` left open is cancelled. Called before
// what opens the dialog; the timer it returns is killed once it closed.
UINT_PTR WhenTimerSettingsShow(std::function<void(HWND)> act);
// Runs the timer settings dialog modally on `schedule`; once it shows,
// `act` works it and presses a button. A dialog `act` left open is
// cancelled. The dialog's result.
INT_PTR RunTimerSettings(TimerSchedule& schedule, std::function<void(HWND)> act);

} // namespace test
