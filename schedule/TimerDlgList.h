#pragma once

class CKestrinDoc;
class CTimerDlg;
struct TimerSchedule;

// The open countdown windows, at most one per document.
class TimerDlgList {
public:
    // True when no countdown window is open for `doc`.
    static bool CanStart(const CKestrinDoc* doc);
    // Opens a countdown window running `schedule` for `doc`; false when
    // one is open for it already or the window could not be made.
    static bool Start(CKestrinDoc* doc, const TimerSchedule& schedule);
    // A window is going away; the last one takes its place.
    static void Remove(CTimerDlg* dlg);

    static int GetCount() { return s_nCount; }
    static CTimerDlg* Get(int index) { return s_list[index]; }

private:
    static CTimerDlg* s_list[3];
    static int s_nCount;
};
