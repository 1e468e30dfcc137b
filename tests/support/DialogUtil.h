#pragma once
// Reading and working a dialog's controls from the test's own thread.
#include <windows.h>
#include <string>

namespace test {

// The text of control `id` of `dlg`.
std::string Text(HWND dlg, int id);
// Presses button `id` of `dlg` as its click would, before returning.
void Press(HWND dlg, int id);

} // namespace test
