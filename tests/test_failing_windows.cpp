// Windows that fail: a handler that throws has the default processing run
// once, and a view or a bar that cannot be created ends start-up cleanly,
// with the heaps intact.
#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include "HostileData.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "framework/FrameworkIds.h"
#include "framework/OleDataObject.h"
#include "framework/OleDataSource.h"
#include "framework/OleDropTarget.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/ClipFormats.h"
#include "view/KestrinView.h"
#include "view/UrlImporter.h"

using namespace test;

namespace {

// A window whose handler for one message throws, before or after it ran
// the default processing, and counts how often the default ran.
class ThrowingWnd : public CWnd {
public:
    int m_nDefaults = 0;
    bool m_bAfterDefault = false;
    bool Create()
    {
        RegisterClass("KestrinThrowingTest", 0, nullptr, nullptr, nullptr);
        return CreateEx(0, "KestrinThrowingTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_USER + 7) {
            if (m_bAfterDefault)
                DefWindowProc(msg, wp, lp);
            throw std::runtime_error("handler failed");
        }
        return CWnd::WindowProc(msg, wp, lp);
    }
    LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_USER + 7)
            ++m_nDefaults;
        return CWnd::DefWindowProc(msg, wp, lp);
    }
};

} // namespace

TEST_CASE("a handler that throws has the default processing run once, never twice")
{
    ThrowingWnd wnd;
    REQUIRE(wnd.Create());
    for (bool after : {false, true}) {
        wnd.m_nDefaults = 0;
        wnd.m_bAfterDefault = after;
        ::SendMessageA(wnd.m_hWnd, WM_USER + 7, 0, 0);
        CHECK_EQ(wnd.m_nDefaults, 1);
    }
    wnd.DestroyWindow();
}

namespace {

// Makes the creation of chosen windows of the program fail, the way the
// system lets a hook refuse a window or another program hold a drop target.
struct CreationBreaker {
    static std::string s_class;      // windows of this class are refused
    static bool s_childOnly;
    static bool s_takeDropTarget;    // the view's drop target is taken first
    static HHOOK s_hook;

    class Holder : public IDropTarget {
    public:
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override
        {
            if (iid == IID_IUnknown || iid == IID_IDropTarget) {
                *out = this;
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
        STDMETHODIMP DragOver(DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
        STDMETHODIMP DragLeave() override { return S_OK; }
        STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
    };
    static Holder s_holder;

    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_CREATEWND) {
            HWND hwnd = reinterpret_cast<HWND>(wp);
            char name[64] = "";
            ::GetClassNameA(hwnd, name, sizeof name);
            const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs;
            if (s_class == name && (!s_childOnly || (cs->style & WS_CHILD))) {
                if (!s_takeDropTarget)
                    return 1;   // the system refuses to create the window
                ::RegisterDragDrop(hwnd, &s_holder);
            }
        }
        return ::CallNextHookEx(s_hook, code, wp, lp);
    }

    CreationBreaker(const char* cls, bool childOnly, bool takeDropTarget)
    {
        s_class = cls;
        s_childOnly = childOnly;
        s_takeDropTarget = takeDropTarget;
        s_hook = ::SetWindowsHookExA(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CreationBreaker() { ::UnhookWindowsHookEx(s_hook); }
};
std::string CreationBreaker::s_class;
bool CreationBreaker::s_childOnly = false;
bool CreationBreaker::s_takeDropTarget = false;
HHOOK CreationBreaker::s_hook = nullptr;
CreationBreaker::Holder CreationBreaker::s_holder;

} // namespace

TEST_CASE("a view or a bar that cannot be created ends start-up cleanly")
{
    struct Row {
        const char* what;
        const char* cls;
        bool childOnly;
        bool takeDropTarget;
    } rows[] = {
        {"view's drop target taken", "KestrinListView", false, true},
        {"view refused", "KestrinListView", false, false},
        {"toolbar refused", "KestrinToolBar", false, false},
        {"status bar refused", "KestrinStatusBar", false, false},
        {"folder bar refused", "#32770", true, false},
    };
    for (const Row& r : rows) {
        test::ResetRegistry();
        bool started;
        {
            CreationBreaker breaker(r.cls, r.childOnly, r.takeDropTarget);
            started = test::StartApp();
        }
        if (started) {
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": start-up went on");
            test::CloseApp();
            continue;
        }
        CHECK(AfxGetMainWnd() == nullptr);
        CHECK(CKestrinDoc::GetDoc() == nullptr);
        // No quit message is left for a loop that never started.
        MSG msg;
        CHECK(!::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        theApp.ExitInstance();
        if (!HeapsValid())
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": heap damaged");
    }
    // And the program starts normally afterwards.
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc::GetDoc()->AddURL("http://h/works");
    CHECK_EQ(CKestrinDoc::GetDoc()->GetItemCount(), 1);
    test::CloseApp();
    CHECK(HeapsValid());
}
