#pragma once
#include "../framework/Dialog.h"

// The About box: icon, name, version and notice, with one OK button.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
