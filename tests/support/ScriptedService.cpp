#include "ScriptedService.h"
#include "TestUtil.h"
#include "schedule/DialingDlg.h"

namespace test {

ScriptedService::ScriptedService()
{
    DialService::Set(&fake);
}

ScriptedService::~ScriptedService()
{
    if (HWND dialing = CDialingDlg::GetCurrent())
        ::DestroyWindow(dialing);
    Pump(50);
    DialService::Set(nullptr);
}

} // namespace test
