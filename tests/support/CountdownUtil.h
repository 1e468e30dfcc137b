#pragma once
// Helpers for tests of the countdown window in the real main window: the
// program started with a settable clock and the scripted dial-up service,
// the countdown window looked at and ticked, schedules made, and pictures
// of the windows saved for looking at.
#include <windows.h>
#include <string>
#include "AppUtil.h"
#include "FakeClock.h"
#include "FakeDialService.h"
#include "TestUtil.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimerSchedule.h"

class CTimerDlg;

namespace test {

// The countdown window, or null.
CTimerDlg* Timer();
HWND TimerWnd();
// The text of control `id` of the countdown window.
std::string Shown(int id);
// One tick of the countdown window's timer.
void Tick();
bool WaitTimerClosed(DWORD ms = 30000);
bool WaitBatchEnd(DWORD ms = 30000);
// Saves a picture of `wnd` as KESTRIN_SHOT_DIR/name.bmp when that folder
// is given (for looking at the windows; no test depends on it).
void SaveShot(HWND wnd, const char* name);

// The program started with an empty registry in a folder of its own, a
// clock at 21:07 and the scripted dial-up service with entry "Office".
struct CountdownSession {
    CountdownSession();
    ~CountdownSession();
    CountdownSession(const CountdownSession&) = delete;
    CountdownSession& operator=(const CountdownSession&) = delete;
    // Lists `n` small files, or one that takes `ms` to arrive.
    void AddQuick(int n = 1);
    void AddSlow(int ms = 2500);
    FakeClock clock;
    FakeDialService fake;
    TempDir dir;
    bool ok = false;
};

} // namespace test
