#include "FrameTitle.h"
#include <windows.h>
#include <shlwapi.h>
#include "resource.h"
#include "../engine/FailureText.h"
#include "../framework/MessageBox.h"

std::string FrameTitle::ListName(const std::string& path)
{
    if (path.empty())
        return AfxLoadString(IDS_TITLE_UNTITLED);
    // The name after the last separator; PathFindFileName knows double-byte
    // characters whose second byte looks like one.
    return ::PathFindFileNameA(path.c_str());
}

std::string FrameTitle::Compose(const std::string& listName, bool modified, const std::string& batchPlace)
{
    const std::string name = modified ? FormatStringId(IDS_TITLE_MODIFIED, {listName}) : listName;
    const std::string title = FormatStringId(IDS_TITLE, {name});
    if (batchPlace.empty())
        return title;
    return FormatStringId(IDS_TITLE_BATCH, {batchPlace, title});
}
