// The rules behind what the list, the panels and the main window show,
// without windows: the speed and time left of a transfer, the panel's
// texts, the batch's place, the caption, where windows open, the URL
// column's width, access keys, recent-file menu texts, item paths and the
// reason tip.
#include <windows.h>
#include <cmath>
#include "Test.h"
#include "TestUtil.h"
#include "app/FrameTitle.h"
#include "app/PaneKeys.h"
#include "app/SharedSettings.h"
#include "engine/BatchPlace.h"
#include "engine/PanelText.h"
#include "engine/TransferRate.h"
#include "framework/WinApp.h"
#include "framework/WindowPlacement.h"
#include "model/URLItem.h"
#include "view/ItemShell.h"
#include "view/ListColumns.h"
#include "view/ReasonTip.h"

using test::Ansi;

TEST_CASE("speed: the bytes of the last seconds, whatever came before")
{
    struct Case {
        const char* what;
        std::vector<std::pair<DWORD, long long>> samples;   // tick, bytes so far
        double expected;                                     // bytes a second; -1 unknown
    } cases[] = {
        {"nothing yet", {}, -1},
        {"one sample", {{1000, 500}}, -1},
        {"less than a second of samples", {{1000, 0}, {1500, 50000}}, -1},
        {"steady 100 KB/s over two seconds", {{0, 0}, {1000, 102400}, {2000, 204800}}, 102400},
        // The window keeps the last four seconds: a fast start is forgotten.
        {"a burst, then 10 KB/s for six seconds",
         {{0, 0}, {500, 5000000}, {1500, 5010240}, {2500, 5020480}, {3500, 5030720}, {4500, 5040960},
          {5500, 5051200}, {6500, 5061440}},
         10240},
        // A stall shows as the speed falls when nothing comes.
        {"stalled for the whole window", {{0, 0}, {1000, 100000}, {2000, 100000}, {6000, 100000}}, 0},
        // Samples across the 49.7-day wrap of the tick count.
        {"across the tick count's wrap", {{0xFFFFFC18u, 0}, {0x000003E8u, 204800}}, 102400},
    };
    for (const Case& c : cases) {
        TransferRate rate;
        for (const auto& s : c.samples)
            rate.Add(s.first, s.second);
        const double got = rate.BytesPerSecond();
        if (std::fabs(got - c.expected) > 1)
            test::Fail(__FILE__, __LINE__, std::string(c.what) + ": " + std::to_string(got));
    }
    // A count lower than the last (the transfer started over) starts the
    // average over, and Reset forgets everything.
    TransferRate rate;
    rate.Add(0, 0);
    rate.Add(2000, 2000000);
    rate.Add(2100, 1000);
    CHECK_EQ(rate.BytesPerSecond(), -1.0);
    rate.Add(3100, 11240);
    CHECK(std::fabs(rate.BytesPerSecond() - 10240) < 1);
    rate.Reset();
    CHECK_EQ(rate.BytesPerSecond(), -1.0);
}

TEST_CASE("time left: the bytes to come at the current speed")
{
    TransferRate rate;
    CHECK_EQ(rate.MsLeft(1000), -1LL);   // no speed known
    rate.Add(0, 0);
    rate.Add(2000, 200000);              // 100,000 bytes a second
    CHECK_EQ(rate.MsLeft(0), 0LL);
    CHECK_EQ(rate.MsLeft(50000), 500LL);
    CHECK_EQ(rate.MsLeft(6500000), 65000LL);
    CHECK_EQ(rate.MsLeft(-1), -1LL);
    TransferRate stalled;
    stalled.Add(0, 100);
    stalled.Add(3000, 100);
    CHECK_EQ(stalled.MsLeft(1000), -1LL);   // nothing moves: no estimate
}

TEST_CASE("panel texts: speed, time left and percentage as the user reads them")
{
    struct Bytes {
        double bytes;
        const char* text;
    } bytes[] = {
        {0, "0 B/秒"}, {999, "999 B/秒"}, {1000, "0.98 KB/秒"}, {12345, "12.1 KB/秒"},
        {256000, "250 KB/秒"}, {1572864, "1.50 MB/秒"}, {104857600, "100 MB/秒"},
        {2147483648.0, "2.00 GB/秒"}, {5e13, "46566 GB/秒"},
    };
    for (const Bytes& b : bytes)
        CHECK_EQ(PanelText::Speed(b.bytes), Ansi(b.text));
    CHECK_EQ(PanelText::Speed(-1), std::string());

    struct Left {
        long long ms;
        const char* text;
    } left[] = {
        {0, "残り 0:00"}, {1, "残り 0:01"}, {7000, "残り 0:07"}, {65000, "残り 1:05"},
        {750000, "残り 12:30"}, {3599000, "残り 59:59"}, {3723000, "残り 1:02:03"},
        {360000000, "残り 100:00:00"},
    };
    for (const Left& l : left)
        CHECK_EQ(PanelText::TimeLeft(l.ms), Ansi(l.text));
    CHECK_EQ(PanelText::TimeLeft(-1), std::string());

    struct Percent {
        long long done, total;
        const char* text;
    } percents[] = {
        {0, 100, "0%"}, {45, 100, "45%"}, {999, 1000, "99%"}, {1000, 1000, "100%"},
        {1, 3, "33%"}, {(1LL << 40) - 1, 1LL << 40, "99%"},
        {10, 0, ""}, {10, -1, ""}, {30000, 20000, ""},   // no size, or more came than announced
    };
    for (const Percent& p : percents)
        CHECK_EQ(PanelText::Percent(p.done, p.total), Ansi(p.text));
}

TEST_CASE("the batch's place: the first item not yet ended, of all the batch holds")
{
    struct Case {
        int ended, running, pending;
        int place, total;
        const char* caption;
    } cases[] = {
        {0, 0, 0, 0, 0, ""},
        {0, 1, 0, 1, 1, "ダウンロード 1 / 1"},
        {0, 2, 10, 1, 12, "ダウンロード 1 / 12"},
        {2, 2, 8, 3, 12, "ダウンロード 3 / 12"},
        {11, 1, 0, 12, 12, "ダウンロード 12 / 12"},
        {12, 0, 0, 12, 12, "ダウンロード 12 / 12"},   // the last has just ended
        {1500, 2, 98500, 1501, 100002, "ダウンロード 1,501 / 100,002"},
        {-1, -1, 3, 1, 3, "ダウンロード 1 / 3"},       // nonsense counts count as none
    };
    for (const Case& c : cases) {
        const BatchPlace place(c.ended, c.running, c.pending);
        CHECK_EQ(place.Place(), c.place);
        CHECK_EQ(place.Total(), c.total);
        CHECK_EQ(place.Caption(), Ansi(c.caption));
    }
    CHECK(BatchPlace(1, 1, 1) == BatchPlace(1, 1, 1));
    CHECK(BatchPlace(1, 1, 1) != BatchPlace(2, 0, 1));
}

TEST_CASE("the caption: the list's name, a mark while changed, the batch's place in front")
{
    struct Case {
        const char* path;
        bool modified;
        const char* place;
        const char* title;
    } cases[] = {
        {"", false, "", "名称未設定 - Kestrin"},
        {"", true, "", "*名称未設定 - Kestrin"},
        {"C:\\lists\\today.kst", false, "", "today.kst - Kestrin"},
        {"C:\\lists\\today.kst", true, "", "*today.kst - Kestrin"},
        {"C:\\一覧\\表.kst", false, "", "表.kst - Kestrin"},
        {"C:\\lists\\today.kst", true, "ダウンロード 3 / 12", "ダウンロード 3 / 12 - *today.kst - Kestrin"},
    };
    for (const Case& c : cases)
        CHECK_EQ(FrameTitle::Compose(FrameTitle::ListName(Ansi(c.path)), c.modified, Ansi(c.place)),
                 Ansi(c.title));
}

TEST_CASE("placement: centred on the owner, or beside it, always on the screen")
{
    const RECT work = {0, 0, 1024, 768};
    struct Centre {
        RECT over;
        SIZE size;
        POINT at;
    } centres[] = {
        {{100, 100, 700, 400}, {200, 100}, {300, 200}},
        {{0, 0, 1024, 768}, {300, 200}, {362, 284}},
        {{-300, -200, 100, 100}, {300, 200}, {0, 0}},       // owner half off the screen
        {{900, 600, 1300, 900}, {300, 200}, {724, 568}},
        {{100, 100, 200, 150}, {2000, 1000}, {0, 0}},       // larger than the screen
    };
    for (const Centre& c : centres) {
        const POINT p = WindowPlacement::CenteredOn(c.over, c.size, work);
        CHECK_EQ(p.x, c.at.x);
        CHECK_EQ(p.y, c.at.y);
    }
    struct Beside {
        const char* what;
        RECT owner;
        SIZE size;
        bool belowFirst;
        POINT at;
    } besides[] = {
        {"room on the right", {0, 0, 600, 300}, {250, 200}, false, {600, 0}},
        {"no room right, room left", {500, 100, 1000, 400}, {250, 200}, false, {250, 100}},
        {"room below only", {0, 0, 1000, 300}, {250, 200}, false, {0, 300}},
        {"below first", {0, 0, 600, 300}, {250, 200}, true, {0, 300}},
        {"below first, no room below", {0, 400, 600, 700}, {250, 200}, true, {600, 400}},
        {"room above only", {0, 300, 1024, 700}, {250, 200}, false, {0, 100}},
        // An owner that fills the screen: over it at its lower right, and
        // never over its menu and bars, however tall the window.
        {"maximised owner", {-4, -4, 1028, 772}, {250, 200}, false, {774, 568}},
        {"maximised owner, tall window", {-4, -4, 1028, 772}, {250, 700}, false, {774, 106}},
        {"aligned into the screen", {0, 650, 600, 768}, {250, 200}, false, {600, 568}},
    };
    for (const Beside& b : besides) {
        const POINT p = WindowPlacement::Beside(b.owner, b.size, work, 110, b.belowFirst);
        if (p.x != b.at.x || p.y != b.at.y)
            test::Fail(__FILE__, __LINE__, std::string(b.what) + ": " + std::to_string(p.x) + "," +
                                               std::to_string(p.y));
    }
}

TEST_CASE("the URL column takes the room the others leave, never less than its least")
{
    struct Case {
        int client, others, width;
    } cases[] = {
        {1000, 450, 550}, {600, 450, 150}, {530, 450, ListColumns::kMinUrlWidth},
        {400, 450, ListColumns::kMinUrlWidth}, {0, 0, ListColumns::kMinUrlWidth},
    };
    for (const Case& c : cases)
        CHECK_EQ(ListColumns::UrlWidth(c.client, c.others), c.width);

    test::LoadTestSettings();
    URLItem item("http://h/a/b.zip");
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::URL), std::string("http://h/a/b.zip"));
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::STATE), Ansi("未読"));
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::FILE), std::string("a\\b.zip"));
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::REASON), std::string());
    CHECK(ListColumns::CellText(item, ListColumns::COUNT) == nullptr);
    // The reason column: the failure of a failed item, a word for a
    // cancelled one, nothing for the others.
    item.SetFailed(ITEM_UNREAD, Ansi("HTTP エラー 404 Not Found"));
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::REASON), Ansi("HTTP エラー 404 Not Found"));
    item.SetState(ITEM_DOWNLOADING);
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::REASON), std::string());
    item.SetState(ITEM_CANCELLED);
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::REASON), Ansi("キャンセルされました"));
    item.SetState(ITEM_DONE);
    CHECK_EQ(*ListColumns::CellText(item, ListColumns::REASON), std::string());
}

TEST_CASE("access keys: the letter after the ampersand, the menu bar's first")
{
    struct Case {
        const char* text;
        char key;
    } cases[] = {
        {"変更(&S)", 'S'}, {"ｶﾚﾝﾄﾃﾞｨﾚｸﾄﾘ(&C)：", 'C'}, {"ｴｸｽﾌﾟﾛｰﾗ(&X)", 'X'}, {"&open", 'O'},
        {"Save && go", 0}, {"A && &B", 'B'}, {"no key", 0}, {"trailing &", 0}, {"&1 list", '1'},
        // "表" is 0x95 0x5C in Shift-JIS: its second byte is no separator
        // and the key after it is read.
        {"表&T", 'T'}, {"表(&&)", 0},
    };
    for (const Case& c : cases)
        CHECK_EQ(static_cast<int>(PaneKeys::AccessKey(Ansi(c.text).c_str())), static_cast<int>(c.key));

    HMENU bar = ::CreateMenu();
    ::AppendMenuA(bar, MF_STRING, 1, Ansi("ﾌｧｲﾙ(&F)").c_str());
    ::AppendMenuA(bar, MF_STRING, 2, Ansi("編集(&E)").c_str());
    CHECK(PaneKeys::MenuHasAccessKey(bar, 'E'));
    CHECK(!PaneKeys::MenuHasAccessKey(bar, 'X'));
    ::DestroyMenu(bar);
}

TEST_CASE("recent lists in the File menu: numbered, shortened, ampersands shown")
{
    CHECK_EQ(CWinApp::RecentFileMenuText(0, "C:\\lists\\today.kst"), std::string("&1 C:\\lists\\today.kst"));
    CHECK_EQ(CWinApp::RecentFileMenuText(3, "C:\\R&D\\a.kst"), std::string("&4 C:\\R&&D\\a.kst"));
    const std::string longPath = "C:\\" + std::string(80, 'd') + "\\list.kst";
    const std::string text = CWinApp::RecentFileMenuText(1, longPath);
    CHECK(text.size() < 60);
    CHECK(text.compare(0, 3, "&2 ") == 0);
    CHECK(text.find("list.kst") != std::string::npos);   // the name stays whole
}

TEST_CASE("item files: where they are, which folder exists, which would run as programs")
{
    test::TempDir dir;
    REQUIRE(::CreateDirectoryA(dir.File("sub").c_str(), nullptr));
    URLItem item("http://h/sub/file.txt");
    CHECK_EQ(ItemShell::FilePath(item, dir.Path()), dir.File("sub\\file.txt"));
    item.m_strFileName = "C:\\elsewhere\\x.txt";   // chosen in the properties
    CHECK_EQ(ItemShell::FilePath(item, dir.Path()), std::string("C:\\elsewhere\\x.txt"));

    CHECK_EQ(ItemShell::ExistingFolder(dir.File("sub\\file.txt")), dir.File("sub"));
    CHECK_EQ(ItemShell::ExistingFolder(dir.File("missing\\deeper\\file.txt")), dir.Path());
    CHECK_EQ(ItemShell::ExistingFolder("C:\\file.txt"), std::string("C:\\"));
    CHECK_EQ(ItemShell::ExistingFolder("file.txt"), std::string());
    // A Shift-JIS name whose second byte is a backslash is one name.
    REQUIRE(::CreateDirectoryA(dir.File(Ansi("表")).c_str(), nullptr));
    CHECK_EQ(ItemShell::ExistingFolder(dir.File(Ansi("表\\ソ.txt"))), dir.File(Ansi("表")));

    CHECK_EQ(ItemShell::SelectParameters("C:\\a b\\c.zip"), std::string("/select,\"C:\\a b\\c.zip\""));

    for (const char* risky : {"setup.exe", "run.BAT", "a.cmd", "x.scr", "y.vbs", "z.js", "w.msi", "s.lnk", "p.PIF"})
        if (!ItemShell::IsRisky(risky))
            test::Fail(__FILE__, __LINE__, std::string(risky) + " is a program");
    for (const char* plain : {"a.zip", "b.txt", "c.jpg", "d.pdf", "noext", "e.exe.txt"})
        if (ItemShell::IsRisky(plain))
            test::Fail(__FILE__, __LINE__, std::string(plain) + " is no program");
}

TEST_CASE("the reason tip: the URL first when the row cuts it short")
{
    CHECK_EQ(CReasonTip::Text("", "reason"), std::string("reason"));
    CHECK_EQ(CReasonTip::Text("http://h/long", "reason"), std::string("http://h/long\r\nreason"));
}
