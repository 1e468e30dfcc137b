#include "MessageBox.h"
#include "FrameworkIds.h"
#include "WinApp.h"
#include "WindowPlacement.h"

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

namespace {

// While it lives, the first message box this thread activates is centred
// on `owner`: the system puts boxes in the middle of the screen, however
// far from the window they are about.
class CenterOnOwner {
public:
    explicit CenterOnOwner(HWND owner)
        : m_hOwner(owner), m_pOuter(t_current)
    {
        t_current = this;
        m_hHook = owner ? ::SetWindowsHookExA(WH_CBT, Hook, nullptr, ::GetCurrentThreadId()) : nullptr;
    }
    ~CenterOnOwner()
    {
        if (m_hHook)
            ::UnhookWindowsHookEx(m_hHook);
        t_current = m_pOuter;
    }
    CenterOnOwner(const CenterOnOwner&) = delete;
    CenterOnOwner& operator=(const CenterOnOwner&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
    {
        CenterOnOwner* self = t_current;
        if (code == HCBT_ACTIVATE && self && !self->m_bDone) {
            HWND box = reinterpret_cast<HWND>(wp);
            char cls[16] = "";
            ::GetClassNameA(box, cls, sizeof cls);
            if (::lstrcmpA(cls, "#32770") == 0 && ::GetWindow(box, GW_OWNER) == self->m_hOwner) {
                self->m_bDone = true;
                WindowPlacement::CenterWindow(box, self->m_hOwner);
            }
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }

    HWND m_hOwner;
    HHOOK m_hHook;
    bool m_bDone = false;
    CenterOnOwner* m_pOuter;
    static thread_local CenterOnOwner* t_current;
};

thread_local CenterOnOwner* CenterOnOwner::t_current = nullptr;

} // namespace

int AfxMessageBox(const char* text, UINT type)
{
    HWND owner = AfxGetMainWndHandle();
    if (owner && !::IsWindowEnabled(owner))
        owner = ::GetActiveWindow();   // a modal dialog is up: stay on top of it
    std::string title = AfxLoadString(AFX_IDS_APP_TITLE);
    CenterOnOwner center(owner);
    return ::MessageBoxA(owner, text, title.c_str(), type);
}

int AfxMessageBox(UINT textId, UINT type)
{
    return AfxMessageBox(AfxLoadString(textId).c_str(), type);
}
