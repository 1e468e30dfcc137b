#include "RunSummary.h"
#include <cstdio>
#include "Clock.h"
#include "RunCalendar.h"
#include "../app/resource.h"
#include "../engine/FailureText.h"
#include "../framework/MessageBox.h"
#include "../framework/WinApp.h"

namespace {

const char kSection[] = "LastRun";

UINT ConnectionText(RunSummary::Connection c)
{
    switch (c) {
    case RunSummary::CONNECTED: return IDS_RUN_CONNECTED;
    case RunSummary::DIAL_FAILED: return IDS_RUN_DIAL_FAILED;
    case RunSummary::ALREADY_UP: return IDS_RUN_ALREADY_UP;
    case RunSummary::NOT_DIALLED: break;
    }
    return IDS_RUN_NOT_DIALLED;
}

// "2026-12-07 03:00:00", the form the registry keeps.
std::string StoredTime(long long t)
{
    const SYSTEMTIME at = Clock::FromSeconds(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", at.wYear, at.wMonth, at.wDay,
                  at.wHour, at.wMinute, at.wSecond);
    return text;
}

long long ParseStoredTime(const std::string& text)
{
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return 0;
    if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return 0;
    SYSTEMTIME at{};
    at.wYear = static_cast<WORD>(y);
    at.wMonth = static_cast<WORD>(mo);
    at.wDay = static_cast<WORD>(d);
    at.wHour = static_cast<WORD>(h);
    at.wMinute = static_cast<WORD>(mi);
    at.wSecond = static_cast<WORD>(s);
    // A day the month does not have (2 月 30 日) is no time at all.
    const long long t = Clock::Seconds(at);
    const SYSTEMTIME back = Clock::FromSeconds(t);
    return back.wDay == at.wDay && back.wMonth == at.wMonth ? t : 0;
}

} // namespace

std::string RunSummary::Format() const
{
    if (IsEmpty())
        return std::string();
    return FormatStringId(IDS_RUN_SUMMARY,
                          {RunCalendar::Format(started), AfxLoadString(ConnectionText(connection)),
                           GroupedNumber(done), GroupedNumber(failed), GroupedNumber(cancelled),
                           GroupedNumber(retries)});
}

void RunSummary::Save() const
{
    const CWinApp* app = AfxGetApp();
    if (!app || IsEmpty())
        return;
    app->WriteProfileString(kSection, "Started", StoredTime(started));
    app->WriteProfileInt(kSection, "Connection", connection);
    app->WriteProfileInt(kSection, "Done", done);
    app->WriteProfileInt(kSection, "Failed", failed);
    app->WriteProfileInt(kSection, "Cancelled", cancelled);
    app->WriteProfileInt(kSection, "Retries", retries);
}

RunSummary RunSummary::Load()
{
    RunSummary run;
    const CWinApp* app = AfxGetApp();
    if (!app)
        return run;
    const long long started = ParseStoredTime(app->GetProfileString(kSection, "Started"));
    const int connection = app->GetProfileInt(kSection, "Connection", -1);
    const int counts[] = {app->GetProfileInt(kSection, "Done", -1), app->GetProfileInt(kSection, "Failed", -1),
                          app->GetProfileInt(kSection, "Cancelled", -1),
                          app->GetProfileInt(kSection, "Retries", -1)};
    if (started == 0 || connection < NOT_DIALLED || connection > ALREADY_UP)
        return run;
    for (int n : counts)
        if (n < 0)
            return run;
    run.started = started;
    run.connection = static_cast<Connection>(connection);
    run.done = counts[0];
    run.failed = counts[1];
    run.cancelled = counts[2];
    run.retries = counts[3];
    return run;
}
