#pragma once
#include "ControlBar.h"

// A control bar made from a dialog template. Its buttons are commands of
// the frame, routed and enabled like menu items.
class CDialogBar : public CControlBar {
public:
    bool Create(HWND frame, UINT templateId, DWORD align, UINT id);
    SIZE CalcFixedLayout(int width) override;
    // Enables the bar's buttons by the command rules of the frame.
    void UpdateButtons();

protected:
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;

private:
    void AddToolTips();

    SIZE m_sizeDefault{};
    HWND m_hTips = nullptr;
};
