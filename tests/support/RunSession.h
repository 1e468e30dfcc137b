#pragma once
// The program started in this process for tests of batches and unattended
// runs: an empty registry, a download folder of its own, a settable clock
// (Monday 7 December 2026, 21:07 unless told), the scripted dial-up service
// (entries "Office" and "Home") and the scripted power service; and the
// ways such a test looks at it.
#include <functional>
#include <string>
#include "FakeClock.h"
#include "FakeDialService.h"
#include "FakePowerService.h"
#include "TestUtil.h"
#include "schedule/TimerSchedule.h"

class CKestrinDoc;
class CTimerDlg;

namespace test {

struct RunSession {
    explicit RunSession(int hour = 21, int minute = 7);
    ~RunSession();
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;
    // Closes the program (once), whether or not its window is still there;
    // the exit code.
    int Close();

    FakeClock clock;
    FakeDialService dial;
    FakePowerService power;
    TempDir dir;
    bool ok = false;
    bool closed = false;
};

CKestrinDoc* LiveDoc();
// The countdown window of the live document, or null.
CTimerDlg* Countdown();
HWND CountdownWnd();
// One tick of the countdown window; one of the progress window's retry
// timer (items whose retry is due go back to pending).
void TickCountdown();
void TickRetries();
bool WaitBatchIdle(DWORD ms = 30000);
bool WaitCountdownClosed(DWORD ms = 30000);
// Adds a URL of the HTTP test server; its row.
int AddHttp(const std::string& path);
// The state column of a row as shown, and the reason kept beside it.
std::string RowState(int row);
std::string RowReason(int row);
// The status bar's message when no prompt is up.
std::string StatusText();
std::string DlgText(HWND dlg, int id);
// Chooses the timer settings command and works its dialog with `act`
// (which presses OK or leaves it to be cancelled).
void TimerSettingsCommand(std::function<void(HWND)> act);
TimeOfDay Minute(int hour, int minute);
TimerSchedule MakeSchedule(TimeOfDay start, TimeOfDay end, const char* entry, int hangUp);

} // namespace test
