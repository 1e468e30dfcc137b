#pragma once
#include <windows.h>
#include <string>

// A string from the program's string table (empty when there is none).
std::string AfxLoadString(UINT id);

// A message box owned by the main window, titled with the program's name.
int AfxMessageBox(const char* text, UINT type = MB_OK);
int AfxMessageBox(UINT textId, UINT type = MB_OK);
