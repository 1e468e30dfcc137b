// Lists are never lost unasked: the caption names the list and marks its
// changes, deleting rows is a change, closing the window (or the system
// shutting down) offers to save a changed list, and the File menu holds
// new, open, save, save as, the last four lists and exit.
#include <windows.h>
#include <algorithm>
#include "Test.h"
#include "TestUtil.h"
#include "UiUtil.h"
#include "app/KestrinApp.h"
#include "app/MainFrame.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

using namespace test;

namespace {

CMainFrame* Frame() { return dynamic_cast<CMainFrame*>(AfxGetMainWnd()); }
CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }

std::string Title()
{
    return Frame()->GetWindowText();
}

std::string FileText(const std::string& path)
{
    std::string data;
    ReadFileBytes(path, data);
    return data;
}

// Answers message boxes with `answer` and file dialogs with `fileName`
// (Cancel when empty), keeping the questions asked.
struct Answers {
    Answers(int answer, std::string fileName = std::string())
        : boxes(IsMessageBox, [this, answer](HWND box) {
              asked.push_back(MessageBoxText(box));
              PressButton(box, answer);
          }),
          files(IsFileDialog, [this, fileName](HWND dlg) {
              ++fileDialogs;
              if (fileName.empty())
                  PressButton(dlg, IDCANCEL);
              else
                  TypeFileName(dlg, fileName);
          })
    {
    }
    std::vector<std::string> asked;
    int fileDialogs = 0;
    WindowWatcher boxes;
    WindowWatcher files;
};

// The File menu as it shows: item texts, with the recent lists filled in.
std::vector<std::string> FileMenu()
{
    HMENU file = ::GetSubMenu(::GetMenu(Frame()->m_hWnd), 0);
    ::SendMessageA(Frame()->m_hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    std::vector<std::string> items;
    for (int i = 0; i < ::GetMenuItemCount(file); ++i) {
        char text[256] = "";
        ::GetMenuStringA(file, i, text, sizeof text, MF_BYPOSITION);
        const UINT state = ::GetMenuState(file, i, MF_BYPOSITION);
        items.push_back((state & MF_SEPARATOR) ? std::string("-") :
                        std::string(text) + ((state & MF_GRAYED) ? " (grey)" : ""));
    }
    return items;
}

bool Closed()
{
    return PumpUntil([] { return AfxGetMainWndHandle() == nullptr; }, 10000);
}

void FinishClosed()
{
    // The frame is gone; the rest of the exit.
    CloseApp();
}

} // namespace

TEST_CASE("the caption names the list and marks its changes; deleting rows is a change")
{
    ResetRegistry();
    TempDir dir;
    const std::string path = dir.File("today.kst");
    REQUIRE(WriteFileBytes(path, "http://h/a/1.zip\r\nhttp://h/a/2.zip\r\nhttp://h/a/3.zip\r\n"));
    REQUIRE(StartApp({path}));
    CHECK_EQ(Title(), std::string("today.kst - Kestrin"));
    CHECK(!Doc()->IsModified());

    // Deleting a row, cutting one: changes, marked at once.
    SelectRows({1});
    Command(ID_EDIT_CLEAR);
    CHECK(Doc()->IsModified());
    CHECK_EQ(Title(), std::string("*today.kst - Kestrin"));
    Command(ID_FILE_SAVE);
    CHECK(!Doc()->IsModified());
    CHECK_EQ(Title(), std::string("today.kst - Kestrin"));
    CHECK_EQ(FileText(path), std::string("http://h/a/1.zip\r\nhttp://h/a/3.zip\r\n"));
    SelectRows({0});
    Command(ID_EDIT_CUT);
    CHECK_EQ(Title(), std::string("*today.kst - Kestrin"));
    // A row the document keeps (downloading) is no change.
    Command(ID_FILE_SAVE);
    Doc()->GetItem(0)->SetState(ITEM_DOWNLOADING);
    SelectRows({0});
    Doc()->GetListView()->DeleteSelectedItems();
    CHECK(!Doc()->IsModified());
    Doc()->GetItem(0)->SetState(ITEM_DONE);
    // A new list has no name yet.
    Command(ID_FILE_NEW);
    CHECK_EQ(Title(), Ansi("名称未設定 - Kestrin"));
    Doc()->AddURL("http://h/new");
    CHECK_EQ(Title(), Ansi("*名称未設定 - Kestrin"));
    CloseApp();
}

TEST_CASE("closing a changed list asks: Yes saves, No discards, Cancel keeps the window")
{
    struct Case {
        const char* what;
        int answer;
        bool closes;
        const char* file;   // what the list file holds afterwards
    } cases[] = {
        {"yes", IDYES, true, "http://h/a/1.zip\r\nhttp://h/a/added.zip\r\n"},
        {"no", IDNO, true, "http://h/a/1.zip\r\n"},
        {"cancel", IDCANCEL, false, "http://h/a/1.zip\r\n"},
    };
    for (const Case& c : cases) {
        ResetRegistry();
        TempDir dir;
        const std::string path = dir.File("list.kst");
        REQUIRE(WriteFileBytes(path, "http://h/a/1.zip\r\n"));
        REQUIRE(StartApp({path}));
        Doc()->AddURL("http://h/a/added.zip");
        Answers answers(c.answer);
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        const bool closed = Closed();
        if (!CHECK_EQ(closed, c.closes))
            Fail(__FILE__, __LINE__, c.what);
        REQUIRE(answers.asked.size() == 1u);
        CHECK_EQ(answers.asked[0], Ansi("list.kst への変更を保存しますか?"));
        CHECK_EQ(FileText(path), std::string(c.file));
        if (!closed) {
            // Kept: the list, its changes and the window.
            CHECK_EQ(Doc()->GetItemCount(), 2);
            CHECK(Doc()->IsModified());
            CHECK(::IsWindowVisible(AfxGetMainWndHandle()));
        }
        FinishClosed();
    }
}

TEST_CASE("a new list saved on closing gets the name typed, ending in .kst")
{
    ResetRegistry();
    TempDir dir;
    REQUIRE(StartApp());
    Doc()->AddURL("http://h/first");
    Doc()->AddURL("http://h/second");
    {
        Answers answers(IDYES, dir.File("mylist"));
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        CHECK(Closed());
        CHECK_EQ(answers.asked.size(), 1u);
        CHECK_EQ(answers.fileDialogs, 1);
    }
    FinishClosed();
    // The file has the name as the list type writes it (".kst", not ".KST").
    WIN32_FIND_DATAA found{};
    HANDLE find = ::FindFirstFileA(dir.File("mylist*").c_str(), &found);
    REQUIRE(find != INVALID_HANDLE_VALUE);
    ::FindClose(find);
    CHECK_EQ(std::string(found.cFileName), std::string("mylist.kst"));
    CHECK_EQ(FileText(dir.File("mylist.kst")), std::string("http://h/first\r\nhttp://h/second\r\n"));

    // Cancelling the name keeps the window and the list.
    REQUIRE(StartApp());
    Doc()->AddURL("http://h/kept");
    {
        Answers answers(IDYES);
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        CHECK(!Closed());
        CHECK_EQ(answers.fileDialogs, 1);
    }
    CHECK_EQ(Doc()->GetItemCount(), 1);
    FinishClosed();
}

TEST_CASE("an unchanged list, and a new list left empty, close without a question")
{
    ResetRegistry();
    TempDir dir;
    const std::string path = dir.File("same.kst");
    REQUIRE(WriteFileBytes(path, "http://h/a\r\n"));
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool addAndRemove;
    } cases[] = {
        {"opened, unchanged", {path}, false},
        {"new, never touched", {}, false},
        {"new, filled and emptied again", {}, true},
    };
    for (const Case& c : cases) {
        REQUIRE(StartApp(c.args));
        if (c.addAndRemove) {
            Doc()->AddURL("http://h/b");
            SelectRows({0});
            Command(ID_EDIT_CLEAR);
        }
        Answers answers(IDCANCEL);
        ::PostMessageA(AfxGetMainWndHandle(), WM_CLOSE, 0, 0);
        if (!CHECK(Closed()))
            Fail(__FILE__, __LINE__, c.what);
        CHECK(answers.asked.empty());
        FinishClosed();
    }
}

TEST_CASE("the system shutting down asks for a changed list too")
{
    ResetRegistry();
    TempDir dir;
    const std::string path = dir.File("end.kst");
    REQUIRE(WriteFileBytes(path, "http://h/a\r\n"));
    REQUIRE(StartApp({path}));
    CHECK(::SendMessageA(AfxGetMainWndHandle(), WM_QUERYENDSESSION, 0, 0) != 0);
    Doc()->AddURL("http://h/b");
    {
        Answers answers(IDCANCEL);
        CHECK_EQ(::SendMessageA(AfxGetMainWndHandle(), WM_QUERYENDSESSION, 0, 0), 0);
        CHECK_EQ(answers.asked.size(), 1u);
    }
    {
        Answers answers(IDYES);
        CHECK(::SendMessageA(AfxGetMainWndHandle(), WM_QUERYENDSESSION, 0, 0) != 0);
    }
    CHECK_EQ(FileText(path), std::string("http://h/a\r\nhttp://h/b\r\n"));
    CloseApp();
}

TEST_CASE("the File menu: new, open, save, save as, the last four lists, exit")
{
    ResetRegistry();
    TempDir dir;
    REQUIRE(StartApp());
    const std::vector<std::string> empty = FileMenu();
    const std::vector<std::string> expected = {
        Ansi("新規作成(&N)\tCtrl+N"), Ansi("開く(&O)...\tCtrl+O"), Ansi("上書き保存(&S)\tCtrl+S"),
        Ansi("名前を付けて保存(&A)..."), "-", Ansi("最近使ったファイル (grey)"), "-", Ansi("終了(&X)"),
    };
    CHECK(empty == expected);

    // Five lists opened, one after another: the last four, newest first.
    std::vector<std::string> paths;
    for (int i = 1; i <= 5; ++i) {
        paths.push_back(dir.File("list" + std::to_string(i) + ".kst"));
        REQUIRE(WriteFileBytes(paths.back(), "http://h/" + std::to_string(i) + "\r\n"));
        REQUIRE(AfxGetApp()->OpenDocumentFile(paths.back().c_str()) != nullptr);
    }
    // A recent list's item: its number, then its path (shortened in the
    // middle when long, the file name whole).
    auto shows = [](const std::string& item, int number, int list) {
        const std::string name = "list" + std::to_string(list) + ".kst";
        return item.compare(0, 3, "&" + std::to_string(number) + " ") == 0 && item.size() >= name.size() &&
               item.compare(item.size() - name.size(), name.size(), name) == 0;
    };
    const std::vector<std::string> menu = FileMenu();
    REQUIRE(menu.size() == 11u);
    for (int i = 0; i < 4; ++i)
        if (!CHECK(shows(menu[5 + i], i + 1, 5 - i)))
            Fail(__FILE__, __LINE__, menu[5 + i]);
    CHECK_EQ(menu[10], Ansi("終了(&X)"));

    // Choosing the third (list3) opens it, and it becomes the first:
    // list3, list5, list4, list2.
    Command(ID_FILE_MRU_FILE3);
    CHECK_EQ(Doc()->GetPathName(), paths[2]);
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/3"});
    CHECK(shows(FileMenu()[5], 1, 3));

    // A list that has gone (list4, third now) is said so and leaves the
    // menu; the list open stays.
    ::DeleteFileA(paths[3].c_str());
    {
        Answers answers(IDOK);
        Command(ID_FILE_MRU_FILE3);
        CHECK_EQ(answers.asked.size(), 1u);
    }
    CHECK(ListedUrls() == std::vector<std::string>{"http://h/3"});
    const std::vector<std::string> after = FileMenu();
    REQUIRE(after.size() == 10u);
    CHECK(shows(after[5], 1, 3) && shows(after[6], 2, 5) && shows(after[7], 3, 2));
    CloseApp();

    // They are there at the next start, and the gone one is not.
    std::string value;
    CHECK(ReadRegString("Recent File List", "File1", value) && value == paths[2]);
    CHECK(ReadRegString("Recent File List", "File3", value) && value == paths[1]);
    CHECK(!ReadRegString("Recent File List", "File4", value));
    REQUIRE(StartApp());
    CHECK(shows(FileMenu()[5], 1, 3));
    CloseApp();
}
