#pragma once
#include <string>
#include "../framework/FileDialog.h"

// The folder chooser: an open-file dialog in which the user goes to a
// folder and confirms, whatever name stands in the name field.
class CDirectoryDialog : public CFileDialog {
public:
    explicit CDirectoryDialog(HWND parent);

    // The folder the user confirmed: the typed name when it is a folder
    // there, else the folder being shown.
    std::string GetFolder() const;
};
