#include "PanelText.h"
#include <cstdio>
#include "FailureText.h"
#include "../app/resource.h"

std::string PanelText::Bytes(double bytes)
{
    static const unsigned kUnits[] = {IDS_UNIT_BYTES, IDS_UNIT_KB, IDS_UNIT_MB, IDS_UNIT_GB};
    if (bytes < 0)
        bytes = 0;
    int unit = 0;
    while (unit < 3 && bytes >= 1000)
        bytes /= 1024, ++unit;
    char number[32];
    if (unit == 0)
        std::snprintf(number, sizeof number, "%.0f", bytes);
    else if (bytes < 10)
        std::snprintf(number, sizeof number, "%.2f", bytes);
    else if (bytes < 100)
        std::snprintf(number, sizeof number, "%.1f", bytes);
    else
        std::snprintf(number, sizeof number, "%.0f", bytes);
    return FormatStringId(kUnits[unit], {number});
}

std::string PanelText::Speed(double bytesPerSecond)
{
    if (bytesPerSecond < 0)
        return std::string();
    return FormatStringId(IDS_PANEL_SPEED, {Bytes(bytesPerSecond)});
}

std::string PanelText::TimeLeft(long long ms)
{
    if (ms < 0)
        return std::string();
    const long long seconds = (ms + 999) / 1000;
    char mm[8], ss[8];
    std::snprintf(ss, sizeof ss, "%02d", static_cast<int>(seconds % 60));
    std::string text;
    if (seconds < 3600) {
        text = FormatStringId(IDS_TIME_MINUTES, {std::to_string(seconds / 60), ss});
    } else {
        std::snprintf(mm, sizeof mm, "%02d", static_cast<int>(seconds / 60 % 60));
        text = FormatStringId(IDS_TIME_HOURS, {std::to_string(seconds / 3600), mm, ss});
    }
    return FormatStringId(IDS_PANEL_TIME_LEFT, {text});
}

int PanelText::PercentOf(long long done, long long total)
{
    if (total <= 0 || done < 0 || done > total)
        return -1;
    // Truncated: 99 % until the last byte is there.
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100);
}

std::string PanelText::Percent(long long done, long long total)
{
    const int percent = PercentOf(done, total);
    if (percent < 0)
        return std::string();
    return FormatStringId(IDS_PANEL_PERCENT, {std::to_string(percent)});
}
