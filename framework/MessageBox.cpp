#include "MessageBox.h"
#include "FrameworkIds.h"
#include "WinApp.h"

std::string AfxLoadString(UINT id)
{
    // LoadString cannot tell how long a string is: grow until it fits.
    std::string text(256, '\0');
    for (;;) {
        const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, &text[0],
                                    static_cast<int>(text.size()));
        if (n < static_cast<int>(text.size()) - 2) {
            text.resize(n > 0 ? n : 0);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

int AfxMessageBox(const char* text, UINT type)
{
    HWND owner = AfxGetMainWndHandle();
    if (owner && !::IsWindowEnabled(owner))
        owner = ::GetActiveWindow();   // a modal dialog is up: stay on top of it
    std::string title = AfxLoadString(AFX_IDS_APP_TITLE);
    return ::MessageBoxA(owner, text, title.c_str(), type);
}

int AfxMessageBox(UINT textId, UINT type)
{
    return AfxMessageBox(AfxLoadString(textId).c_str(), type);
}
