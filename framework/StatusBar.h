#pragma once
#include <string>
#include <vector>
#include "ControlBar.h"

// The status bar: a message pane that takes the rest of the width, then
// indicator panes whose texts show while their key is on.
class CStatusBar : public CControlBar {
public:
    CStatusBar();

    bool Create(HWND frame, UINT id);
    // ids[0] is the message pane (0); the others are indicator strings.
    bool SetIndicators(const UINT* ids, int count);
    void SetMessageText(const char* text);
    // Shows the idle prompt: "レディ", or the text the program set instead.
    void ShowIdleText();
    // What the message pane shows when no prompt is up; empty for "レディ".
    void SetIdleText(const std::string& text) { m_strIdleText = text; }
    SIZE CalcFixedLayout(int width) override;
    // Refreshes the indicator panes from the keyboard state.
    void UpdateIndicators();

protected:
    void OnSize(UINT type, int cx, int cy) override;

private:
    void SetPaneWidths();

    std::vector<UINT> m_ids;
    std::vector<std::string> m_texts;
    std::vector<int> m_widths;
    std::string m_strIdleText;
};
