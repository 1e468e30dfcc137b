// Rows of the list: what the document keeps in order when many items go
// at once, and what the list view shows of it: texts, states, deletion of
// many selected rows, long lists opened and pasted.
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <set>
#include "DocUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/KestrinApp.h"
#include "app/SharedSettings.h"
#include "app/resource.h"
#include "framework/FrameworkIds.h"
#include "model/KestrinDoc.h"
#include "model/URLItem.h"
#include "view/KestrinView.h"

using namespace test;

using test::Ansi;

namespace {

std::string Url(int n)
{
    return "http://h/d" + std::to_string(n / 100) + "/f" + std::to_string(n) + ".bin";
}

CKestrinDoc* Doc() { return CKestrinDoc::GetDoc(); }
CKestrinView* View() { return Doc()->GetListView(); }
CListCtrl List() { return View()->GetListCtrl(); }

std::vector<int> SelectedRows()
{
    std::vector<int> rows;
    for (int row = List().GetNextSelected(-1); row >= 0; row = List().GetNextSelected(row))
        rows.push_back(row);
    return rows;
}

int FocusedRow()
{
    return ListView_GetNextItem(List().m_hWnd, -1, LVNI_FOCUSED);
}

// Paints the view over in red, has it draw itself, and looks at the top
// row: true when it was drawn again, text on a background, no red left.
bool TopRowDrawn()
{
    HWND view = View()->m_hWnd;
    RECT client;
    ::GetClientRect(view, &client);
    HDC dc = ::GetDC(view);
    HBRUSH red = ::CreateSolidBrush(RGB(255, 0, 0));
    ::FillRect(dc, &client, red);
    ::DeleteObject(red);
    ::ReleaseDC(view, dc);
    ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    RECT row{};
    if (!ListView_GetItemRect(view, ListView_GetTopIndex(view), &row, LVIR_LABEL))
        return false;
    dc = ::GetDC(view);
    int redPixels = 0, darkPixels = 0;
    for (int y = row.top; y < row.bottom; ++y) {
        for (int x = row.left; x < row.right; x += 2) {
            const COLORREF c = ::GetPixel(dc, x, y);
            redPixels += c == RGB(255, 0, 0);
            darkPixels += GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128;
        }
    }
    ::ReleaseDC(view, dc);
    return redPixels == 0 && darkPixels > 0;
}

} // namespace

TEST_CASE("document: many items removed at once, downloading ones refused, order kept")
{
    struct Case {
        const char* what;
        std::vector<int> downloading;
        std::vector<int> remove;
        std::vector<int> left;   // which of the six URLs stay, in order
        std::vector<int> kept;   // new positions of the refused ones
    };
    const Case cases[] = {
        {"nothing asked", {}, {}, {0, 1, 2, 3, 4, 5}, {}},
        {"every item", {}, {0, 1, 2, 3, 4, 5}, {}, {}},
        {"every other item", {}, {0, 2, 4}, {1, 3, 5}, {}},
        {"the last item only", {}, {5}, {0, 1, 2, 3, 4}, {}},
        {"a run with a downloading item inside", {2}, {1, 2, 3}, {0, 2, 4, 5}, {1}},
        {"everything while the ends download", {0, 5}, {0, 1, 2, 3, 4, 5}, {0, 5}, {0, 1}},
        {"only downloading items", {1, 3}, {1, 3}, {0, 1, 2, 3, 4, 5}, {1, 3}},
        {"the same position twice", {}, {2, 2, 4}, {0, 1, 3, 5}, {}},
    };
    for (const Case& c : cases) {
        CKestrinDoc doc;
        for (int i = 0; i < 6; ++i)
            doc.AddURL(Url(i).c_str());
        for (int i : c.downloading)
            doc.GetItem(i)->SetState(ITEM_DOWNLOADING);
        std::vector<int> kept = {99};
        const int removed = doc.RemoveItems(c.remove, &kept);

        std::vector<std::string> expected;
        for (int i : c.left)
            expected.push_back(Url(i));
        std::set<int> distinct(c.remove.begin(), c.remove.end());
        CHECK_EQ(removed, static_cast<int>(distinct.size() - c.kept.size()));
        CHECK(Urls(doc) == expected);
        CHECK(kept == c.kept);
        for (int i = 0; i < doc.GetItemCount(); ++i)
            CHECK_EQ(doc.IndexOf(doc.GetItem(i)), i);
        // What went can come back, at the end; what stayed is still listed.
        for (int i = 0; i < 6; ++i) {
            const bool listed = std::find(c.left.begin(), c.left.end(), i) != c.left.end();
            CHECK_EQ(doc.AddURL(Url(i).c_str()) == nullptr, listed);
        }
        if (!CHECK_EQ(doc.GetItemCount(), 6))
            test::Fail(__FILE__, __LINE__, c.what);
        for (int i = 0; i < 6; ++i)
            doc.GetItem(i)->SetState(ITEM_DONE);
    }
}

TEST_CASE("document: the pending items follow removals, in list order")
{
    CKestrinDoc doc;
    for (int i = 0; i < 8; ++i)
        doc.AddURL(Url(i).c_str());
    doc.m_nBatchMode = CKestrinDoc::BATCH_DOWNLOAD;
    for (int i = 0; i < 4; ++i)
        doc.GetItem(i)->SetState(ITEM_DONE);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, Url(4));
    CHECK_EQ(doc.CountPendingItems(), 4);

    // Removing done items in front of the first pending one, and the first
    // pending one itself.
    CHECK_EQ(doc.RemoveItems({1, 2, 4}), 3);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, Url(5));
    CHECK_EQ(doc.CountPendingItems(), 3);

    // An item put back to unread before it is first again.
    doc.GetItem(0)->SetState(ITEM_UNREAD);
    CHECK_EQ(doc.FirstPendingItem()->m_strURL, Url(0));
    CHECK_EQ(doc.CountPendingItems(), 4);

    // Taking them one by one as the engine does visits each once, in order.
    std::vector<std::string> taken;
    while (URLItem* item = doc.FirstPendingItem()) {
        taken.push_back(item->m_strURL);
        item->SetState(ITEM_DOWNLOADING);
        item->SetState(ITEM_DONE);
    }
    CHECK(taken == (std::vector<std::string>{Url(0), Url(5), Url(6), Url(7)}));
    CHECK_EQ(doc.CountPendingItems(), 0);
    doc.m_nBatchMode = CKestrinDoc::BATCH_IDLE;
}

TEST_CASE("rows show each item's URL, state and file, and follow state changes")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    const std::string japanese = "http://h/" + Ansi("資料/表.zip");
    Doc()->AddURL("http://h/a/one.zip");
    Doc()->AddURL(japanese.c_str());
    Doc()->AddURL("ftp://f/pub/two.txt");
    REQUIRE(List().GetItemCount() == 3);

    struct Row { int row; const char* url; const char* state; const char* file; };
    const Row rows[] = {
        {0, "http://h/a/one.zip", "未読", "a\\one.zip"},
        {2, "ftp://f/pub/two.txt", "未読", "pub\\two.txt"},
    };
    for (const Row& r : rows) {
        CHECK_EQ(List().GetItemText(r.row, 0), std::string(r.url));
        CHECK_EQ(List().GetItemText(r.row, 1), Ansi(r.state));
        CHECK_EQ(List().GetItemText(r.row, 2), std::string(r.file));
    }
    CHECK_EQ(List().GetItemText(1, 0), japanese);
    CHECK_EQ(List().GetItemText(1, 2), Ansi("資料\\表.zip"));

    // A state change shows in the state column of that row only.
    Doc()->GetItem(1)->SetState(ITEM_DONE);
    Doc()->GetItem(2)->SetState(ITEM_ERROR);
    CHECK_EQ(List().GetItemText(0, 1), Ansi("未読"));
    CHECK_EQ(List().GetItemText(1, 1), Ansi("完了"));
    CHECK_EQ(List().GetItemText(2, 1), Ansi("ｴﾗｰ"));

    // Rows and items map both ways; a row past the end has no item.
    for (int i = 0; i < 3; ++i) {
        CHECK(View()->ItemOfRow(i) == Doc()->GetItem(i));
        CHECK_EQ(List().FindItemData(reinterpret_cast<LPARAM>(Doc()->GetItem(i))), i);
    }
    CHECK(View()->ItemOfRow(3) == nullptr);
    CHECK(View()->ItemOfRow(-1) == nullptr);
    CHECK_EQ(List().FindItemData(12345), -1);

    // Typing the start of a URL finds its row (any case), going round to
    // the top when asked to.
    LVFINDINFOA find{};
    find.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
    find.psz = "FTP://";
    CHECK_EQ(ListView_FindItem(List().m_hWnd, -1, &find), 2);
    find.psz = "http://h/";
    CHECK_EQ(ListView_FindItem(List().m_hWnd, -1, &find), 0);
    CHECK_EQ(ListView_FindItem(List().m_hWnd, 2, &find), 0);
    find.flags = LVFI_STRING | LVFI_PARTIAL;
    CHECK_EQ(ListView_FindItem(List().m_hWnd, 2, &find), -1);
    find.psz = "gopher:";
    CHECK_EQ(ListView_FindItem(List().m_hWnd, -1, &find), -1);

    // Drawing the rows asks for their texts; nothing else changes.
    CHECK(TopRowDrawn());
    CHECK_EQ(List().GetItemCount(), 3);
    test::CloseApp();
}

TEST_CASE("deleting many selected rows: the rest in order, refused rows still selected")
{
    test::ResetRegistry();
    REQUIRE(test::StartApp());
    const int count = 3000;
    for (int i = 0; i < count; ++i)
        Doc()->AddURL(Url(i).c_str());
    REQUIRE(List().GetItemCount() == count);

    struct Case {
        const char* what;
        int step;          // every step-th row selected, from `first`
        int first;
        int downloading;   // a selected row whose item downloads, or -1
    };
    const Case cases[] = {
        {"every third row", 3, 0, -1},
        {"every other row, one of them downloading", 2, 1, 101},
        {"every row but the downloading one", 1, 0, 400},
    };
    for (const Case& c : cases) {
        const int before = Doc()->GetItemCount();
        std::vector<int> select;
        std::vector<std::string> expected;
        std::string refused;
        for (int row = 0; row < before; ++row) {
            const bool chosen = row >= c.first && (row - c.first) % c.step == 0;
            if (chosen)
                select.push_back(row);
            if (!chosen || row == c.downloading)
                expected.push_back(Doc()->GetItem(row)->m_strURL);
            if (row == c.downloading)
                refused = Doc()->GetItem(row)->m_strURL;
        }
        if (c.downloading >= 0)
            Doc()->GetItem(c.downloading)->SetState(ITEM_DOWNLOADING);
        test::SelectRows(select);
        View()->DeleteSelectedItems();

        CHECK(Urls(*Doc()) == expected);
        if (!CHECK_EQ(List().GetItemCount(), static_cast<int>(expected.size())))
            test::Fail(__FILE__, __LINE__, c.what);
        for (int row : {0, List().GetItemCount() / 2, List().GetItemCount() - 1})
            CHECK_EQ(List().GetItemText(row, 0), expected[row]);
        if (c.downloading >= 0) {
            const int at = Doc()->IndexOf(Doc()->GetDownloadingItems().at(0));
            CHECK_EQ(Doc()->GetItem(at)->m_strURL, refused);
            CHECK(SelectedRows() == std::vector<int>{at});
            CHECK_EQ(FocusedRow(), at);
            Doc()->GetItem(at)->SetState(ITEM_DONE);
        } else {
            CHECK(SelectedRows().empty());
            CHECK_EQ(FocusedRow(), c.first);
        }
        CHECK(TopRowDrawn());
    }

    // The delete command does the same; the list can be emptied that way.
    std::vector<int> all;
    for (int row = 0; row < List().GetItemCount(); ++row)
        all.push_back(row);
    test::SelectRows(all);
    Command(ID_EDIT_CLEAR);
    CHECK_EQ(Doc()->GetItemCount(), 0);
    CHECK_EQ(List().GetItemCount(), 0);
    CHECK_EQ(List().GetSelectedCount(), 0);
    // Deleting with nothing selected changes nothing.
    Doc()->AddURL(Url(1).c_str());
    test::SelectRows({});
    View()->DeleteSelectedItems();
    CHECK_EQ(List().GetItemCount(), 1);
    test::CloseApp();
}

TEST_CASE("long lists opened and pasted: every line a row, in order, and the list drawn again")
{
    test::ResetRegistry();
    test::TempDir dir;
    const int lines = 20000;
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += Url(i) + "\r\n";
    const std::string path = dir.File("long.kst");
    REQUIRE(test::WriteFileBytes(path, text));

    REQUIRE(test::StartApp({path}));
    CHECK_EQ(Doc()->GetItemCount(), lines);
    CHECK_EQ(List().GetItemCount(), lines);
    CHECK_EQ(List().GetItemText(0, 0), Url(0));
    CHECK_EQ(List().GetItemText(lines - 1, 0), Url(lines - 1));
    CHECK(TopRowDrawn());

    // A paste of many lines, some already listed: the new ones at the end.
    std::string paste;
    for (int i = lines - 10; i < lines + 5000; ++i)
        paste += Url(i) + "\r\n";
    PutTextOnClipboard(paste);
    Command(ID_EDIT_PASTE);
    CHECK_EQ(Doc()->GetItemCount(), lines + 5000);
    CHECK_EQ(List().GetItemCount(), lines + 5000);
    CHECK_EQ(List().GetItemText(lines, 0), Url(lines));
    CHECK_EQ(List().GetItemText(lines + 4999, 0), Url(lines + 4999));
    CHECK(TopRowDrawn());

    // A state change during a paste shows once the paste is over; till
    // then nothing is drawn.
    {
        CKestrinView::RowBatch batch(View());
        CHECK(!TopRowDrawn());
        Doc()->GetItem(3)->SetState(ITEM_DONE);
        Doc()->AddURL("http://h/inside");
        CKestrinView::RowBatch inner(View());
        Doc()->AddURL("http://h/inner");
    }
    CHECK_EQ(List().GetItemCount(), lines + 5002);
    CHECK_EQ(List().GetItemText(3, 1), Ansi("完了"));
    CHECK_EQ(List().GetItemText(lines + 5001, 0), std::string("http://h/inner"));
    CHECK(TopRowDrawn());

    // Opening another list replaces every row.
    const std::string small = dir.File("small.kst");
    REQUIRE(test::WriteFileBytes(small, "http://h/x\r\nhttp://h/y\r\n"));
    Doc()->SetModifiedFlag(false);
    REQUIRE(Doc()->OnOpenDocument(small.c_str()));
    CHECK_EQ(List().GetItemCount(), 2);
    CHECK_EQ(List().GetItemText(1, 0), std::string("http://h/y"));
    test::CloseApp();
}
