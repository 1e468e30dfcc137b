#include "TaskbarProgress.h"
#include <shobjidl.h>

CTaskbarProgress::~CTaskbarProgress()
{
    if (m_pList)
        m_pList->Release();
}

bool CTaskbarProgress::IsAvailable()
{
    if (!m_bTried) {
        m_bTried = true;
        // Needs the taskbar of Windows 7 or later: elsewhere the class or
        // the interface is missing and the buttons stay as they are.
        void* list = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                         &list)) && list) {
            m_pList = static_cast<ITaskbarList3*>(list);
            if (FAILED(m_pList->HrInit())) {
                m_pList->Release();
                m_pList = nullptr;
            }
        }
    }
    return m_pList != nullptr;
}

void CTaskbarProgress::Show(HWND wnd, ULONGLONG done, ULONGLONG total)
{
    if (!wnd || total == 0 || !IsAvailable())
        return;
    m_pList->SetProgressState(wnd, TBPF_NORMAL);
    m_pList->SetProgressValue(wnd, done > total ? total : done, total);
    m_bShown = true;
}

void CTaskbarProgress::Clear(HWND wnd)
{
    if (!m_bShown || !wnd || !m_pList)
        return;
    m_pList->SetProgressState(wnd, TBPF_NOPROGRESS);
    m_bShown = false;
}
