#pragma once
#include <string>

// The main window's caption: the list's name ("名称未設定" before it has
// one), a mark while it has unsaved changes, and while a batch runs its
// place in front, so that the taskbar button says how far it is:
// "ダウンロード 3 / 12 - *today.kst - Kestrin".
class FrameTitle {
public:
    // The name a list is shown by: the file name of `path`, or
    // "名称未設定" for a list not yet saved.
    static std::string ListName(const std::string& path);
    static std::string Compose(const std::string& listName, bool modified, const std::string& batchPlace);
};
