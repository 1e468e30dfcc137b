#pragma once
#include <windows.h>
#include <commctrl.h>
#include <vector>
#include "ControlBar.h"

// A flat toolbar whose buttons are commands of the frame. Buttons come
// from a toolbar resource (version, size, count, command ids, 0 for a
// separator) and a bitmap of the same id whose light grey (192,192,192)
// is see-through.
class CToolBar : public CControlBar {
public:
    CToolBar();
    ~CToolBar() override;

    bool Create(HWND frame, UINT id);
    bool LoadToolBar(UINT resourceId);
    SIZE CalcFixedLayout(int width) override;
    // Enables the buttons by the command rules of the frame.
    void UpdateButtons();

private:
    HIMAGELIST m_hImages = nullptr;
    std::vector<UINT> m_commands;
};
