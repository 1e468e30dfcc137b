#pragma once
// Helpers for tests that start the program in this process and look at
// what it keeps: its main window and document, the process's current
// directory, and every value it stores in the registry.
#include <windows.h>
#include <map>
#include <string>
#include "TestUtil.h"

class CKestrinDoc;
class CMainFrame;

namespace test {

// The program's main window, or null when none is up.
CMainFrame* Frame();
// The live document, or null when none is open.
CKestrinDoc* Doc();
// Whether the main window offers command `id`.
bool Enabled(UINT id);
std::string CurrentDirectory();

// Every value and subkey under the program's keys: its own settings and
// its shell registration, as type and bytes.
using RegValues = std::map<std::string, std::string>;
RegValues Registry();

// The program started on an empty registry in a download folder of its
// own, its window 800 x 420 and active, the list focused; closed at the
// end if still up.
struct ListSession {
    ListSession();
    ~ListSession();
    ListSession(const ListSession&) = delete;
    ListSession& operator=(const ListSession&) = delete;
    TempDir dir;
    bool ok = false;
};

} // namespace test
