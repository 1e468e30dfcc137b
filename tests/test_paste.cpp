// Pasting and dropping as a user does, through the real view and the real
// OLE clipboard: pasted text of any line ends and size, the drop effect a
// held key asks for, and rows copied in an earlier run pasted after a
// restart.
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

TEST_CASE("pasted text: every URL once, in order, whatever its line ends; 50,000 lines at once")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    struct Row {
        const char* what;
        std::string text;
    } rows[] = {
        {"CR only", "http://h/a\rhttp://h/b\rhttp://h/a\r\rhttp://h/c"},
        {"LF only", "http://h/d\nhttp://h/e\n\nhttp://h/d\n"},
        {"CR LF", "http://h/f\r\nhttp://h/g\r\nhttp://h/f\r\n"},
        {"mixed", "http://h/h\r\n\rhttp://h/i\n\r\nhttp://h/j\r"},
    };
    for (const Row& r : rows) {
        PutTextOnClipboard(r.text);
        Command(ID_EDIT_PASTE);
    }
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/a", "http://h/b", "http://h/c", "http://h/d", "http://h/e",
                                              "http://h/f", "http://h/g", "http://h/h", "http://h/i", "http://h/j"}));

    CKestrinDoc::GetDoc()->SetModifiedFlag(false);
    Command(ID_FILE_NEW);
    REQUIRE(CKestrinDoc::GetDoc()->GetItemCount() == 0);
    const int n = 50000;
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "http://example.com/file/" + std::to_string(i) + ".zip" + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    // and each of them a second time: still one row each
    text += text;
    PutTextOnClipboard(text);
    const DWORD t0 = ::GetTickCount();
    {
        std::vector<std::string> got = UrlImporter::UrlLinesOf(std::wstring(text.begin(), text.end()));
        std::printf("split %d lines in %lu ms\n", static_cast<int>(got.size()), ::GetTickCount() - t0);
        std::fflush(stdout);
    }
    const DWORD t1 = ::GetTickCount();
    Command(ID_EDIT_PASTE);
    std::printf("pasted in %lu ms\n", ::GetTickCount() - t1);
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    REQUIRE(doc->GetItemCount() == n);
    bool inOrder = true;
    for (int i = 0; i < n && inOrder; ++i)
        inOrder = doc->GetItem(i)->m_strURL == "http://example.com/file/" + std::to_string(i) + ".zip";
    CHECK(inOrder);
    test::CloseApp();
}

TEST_CASE("drop effects: a key held gets what it asks for or nothing")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinView* view = CKestrinDoc::GetDoc()->GetListView();
    IDropTarget* target = view->GetDropTarget();
    const RECT rc = view->GetWindowRect();
    const POINTL where = {rc.left + 20, rc.top + 40};
    struct Row {
        const char* what;
        DWORD keys;
        DWORD allowed;
        DWORD effect;   // what the source is told, over the view and after the drop
    } rows[] = {
        {"plain, any", 0, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
        {"plain, copy only", 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"plain, link only", 0, DROPEFFECT_LINK, DROPEFFECT_LINK},
        {"Ctrl, copy only", MK_CONTROL, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"Ctrl, move only", MK_CONTROL, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"Ctrl+Shift, copy only", MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY, DROPEFFECT_NONE},
        {"Ctrl+Shift, move only", MK_CONTROL | MK_SHIFT, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"Ctrl+Shift, link allowed", MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_LINK},
        {"Shift, copy only", MK_SHIFT, DROPEFFECT_COPY, DROPEFFECT_NONE},
    };
    int added = 0;
    for (const Row& r : rows) {
        HostileData data;
        const std::string url = "http://h/" + std::to_string(added + 100);
        data.Offer(ClipFormats::UniformResourceLocator, Answer::Bytes, url + '\0');
        DWORD effect = r.allowed;
        target->DragEnter(&data, MK_LBUTTON | r.keys, where, &effect);
        effect = r.allowed;
        target->DragOver(MK_LBUTTON | r.keys, where, &effect);
        const DWORD hover = effect;
        effect = r.allowed;
        target->Drop(&data, r.keys, where, &effect);
        if (hover != r.effect || effect != r.effect)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": effect " + std::to_string(hover) + "/" +
                       std::to_string(effect) + ", expected " + std::to_string(r.effect));
        const bool shouldAdd = r.effect != DROPEFFECT_NONE;
        const bool didAdd = CKestrinDoc::GetDoc()->GetItemCount() == added + 1;
        if (shouldAdd != didAdd)
            test::Fail(__FILE__, __LINE__, std::string(r.what) + ": wrong addition");
        if (didAdd)
            ++added;
    }
    test::CloseApp();
}

TEST_CASE("rows copied in an earlier run are pasted after a restart")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    doc->AddURL("http://h/one.zip");
    doc->AddURL("ftp://h/two.tgz");
    doc->AddURL("http://h/three");
    test::SelectRows({0, 1});
    Command(ID_EDIT_COPY);
    test::CloseApp();

    // Nothing of the file group is left for a later paste to trip over.
    {
        IDataObject* clip = nullptr;
        REQUIRE(SUCCEEDED(::OleInitialize(nullptr)));
        REQUIRE(SUCCEEDED(::OleGetClipboard(&clip)));
        COleDataObject data;
        data.Attach(clip);
        CHECK(!data.IsDataAvailable(ClipFormats::FileGroupDescriptor));
        CHECK(!data.IsDataAvailable(ClipFormats::FileContents));
        clip->Release();
        data.Release();
        ::OleUninitialize();
    }

    REQUIRE(test::StartApp());
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == (std::vector<std::string>{"http://h/one.zip", "ftp://h/two.tgz"}));

    // One row: its URL, as a URL.
    test::SelectRows({1});
    Command(ID_EDIT_COPY);
    test::CloseApp();
    REQUIRE(test::StartApp());
    Command(ID_EDIT_PASTE);
    CHECK(ListedUrls() == std::vector<std::string>{"ftp://h/two.tgz"});
    test::CloseApp();
}
