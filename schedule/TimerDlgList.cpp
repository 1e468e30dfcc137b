#include "TimerDlgList.h"
#include "TimerDlg.h"

CTimerDlg* TimerDlgList::s_list[3] = {};
int TimerDlgList::s_nCount = 0;

bool TimerDlgList::CanStart(const CKestrinDoc* doc)
{
    for (int i = 0; i < s_nCount; ++i)
        if (s_list[i]->GetDocument() == doc)
            return false;
    return true;
}

bool TimerDlgList::Start(CKestrinDoc* doc, const TimerSchedule& schedule)
{
    if (!CanStart(doc) || s_nCount == 3)
        return false;
    auto* dlg = new CTimerDlg(doc);
    bool deleted = false;
    dlg->m_pbDeleted = &deleted;
    const bool made = dlg->Create(schedule, nullptr);
    if (deleted)
        return false;
    dlg->m_pbDeleted = nullptr;
    if (!made) {
        dlg->Unregister();
        delete dlg;
        return false;
    }
    dlg->ShowWindow(SW_SHOWNOACTIVATE);
    s_list[s_nCount++] = dlg;
    return true;
}

void TimerDlgList::Remove(CTimerDlg* dlg)
{
    for (int i = 0; i < s_nCount; ++i) {
        if (s_list[i] == dlg) {
            s_list[i] = s_list[--s_nCount];
            s_list[s_nCount] = nullptr;
            return;
        }
    }
}
