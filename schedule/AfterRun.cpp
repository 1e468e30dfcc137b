#include "AfterRun.h"
#include "PowerService.h"
#include "../app/resource.h"
#include "../engine/FailureText.h"
#include "../framework/MessageBox.h"

std::string AfterRun::CountdownText(AfterRunAction action, long long secondsLeft)
{
    const std::string seconds = std::to_string(secondsLeft < 0 ? 0 : secondsLeft);
    switch (action) {
    case AfterRunAction::Exit: return FormatStringId(IDS_AFTER_COUNT_EXIT, {seconds});
    case AfterRunAction::Sleep: return FormatStringId(IDS_AFTER_COUNT_SLEEP, {seconds});
    case AfterRunAction::Shutdown: return FormatStringId(IDS_AFTER_COUNT_SHUTDOWN, {seconds});
    case AfterRunAction::None: break;
    }
    return std::string();
}

std::string AfterRun::Perform(AfterRunAction action, PowerService& power)
{
    DWORD error = 0;
    UINT refusal = 0;
    switch (action) {
    case AfterRunAction::Sleep:
        error = power.Sleep();
        refusal = IDS_SLEEP_REFUSED;
        break;
    case AfterRunAction::Shutdown:
        error = power.Shutdown();
        refusal = IDS_SHUTDOWN_REFUSED;
        break;
    case AfterRunAction::Exit:
    case AfterRunAction::None:
        break;
    }
    if (error == 0)
        return std::string();
    return FormatStringId(refusal, {std::to_string(error)});
}

std::string AfterRun::Name(AfterRunAction action)
{
    switch (action) {
    case AfterRunAction::Exit: return AfxLoadString(IDS_AFTER_EXIT);
    case AfterRunAction::Sleep: return AfxLoadString(IDS_AFTER_SLEEP);
    case AfterRunAction::Shutdown: return AfxLoadString(IDS_AFTER_SHUTDOWN);
    case AfterRunAction::None: break;
    }
    return AfxLoadString(IDS_AFTER_NONE);
}
