// Dialog data exchange on its own: integer fields and their range, a
// check box, a radio group and a list selection, on the timer settings
// template.
#include "DialogUtil.h"
#include "Test.h"
#include "TestUtil.h"
#include "app/resource.h"
#include "framework/DataExchange.h"
#include "framework/Dialog.h"

using namespace test;

namespace {

// The timer settings template with an exchange of the kinds a dialog may
// need: a signed integer with its range, a check box, a radio group and a
// list selection.
class ExchangeProbe : public CDialog {
public:
    ExchangeProbe() : CDialog(IDD_TIMER_SETTING) {}
    void DoDataExchange(CDataExchange& dx) override
    {
        DDX_Text(dx, IDC_START_HOUR, m_nNumber);
        DDV_MinMaxInt(dx, m_nNumber, -5, 100000);
        DDX_Check(dx, IDC_HANG_UP_WHEN_DONE, m_nCheck);
        DDX_Radio(dx, IDC_START_SET, m_nRadio);
        DDX_CBIndex(dx, IDC_ENTRY_LIST, m_nIndex);
    }
    int m_nNumber = 0;
    int m_nCheck = 0;
    int m_nRadio = 0;
    int m_nIndex = 0;
};

} // namespace

TEST_CASE("data exchange: integer fields, their range, check box, radio group and list selection")
{
    LoadTestSettings();
    ExchangeProbe probe;
    REQUIRE(probe.Create(nullptr));
    HWND dlg = probe.GetSafeHwnd();
    const std::string intMessage = Ansi("整数を入力してください。");
    struct {
        const char* text;
        bool ok;
        int value;
        std::string message;
    } rows[] = {
        {"123", true, 123, ""},
        {" -5 ", true, -5, ""},
        {"+100000", true, 100000, ""},
        // A number out of range is taken, then refused; one that cannot be
        // read leaves the member as it was.
        {"-6", false, -6, Ansi("-5 から 100000 までの整数を入力してください。")},
        {"100001", false, 100001, Ansi("-5 から 100000 までの整数を入力してください。")},
        {"99999999999", false, 7, intMessage},
        {"1 2", false, 7, intMessage},
        {"", false, 7, intMessage},
        {"-", false, 7, intMessage},
        {"0x10", false, 7, intMessage},
    };
    for (const auto& row : rows) {
        MessageBoxWatcher boxes;
        probe.m_nNumber = 7;
        ::SetDlgItemTextA(dlg, IDC_START_HOUR, row.text);
        CHECK_EQ(probe.UpdateData(true), row.ok);
        CHECK_EQ(probe.m_nNumber, row.value);
        const std::vector<std::string> texts = boxes.Texts();
        if (row.ok) {
            CHECK(texts.empty());
        } else {
            REQUIRE(texts.size() == 1u);
            CHECK_EQ(texts[0], row.message);
        }
    }

    // Members into the controls and back.
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b"));
    probe.m_nNumber = -3;
    probe.m_nCheck = 1;
    probe.m_nRadio = 1;
    probe.m_nIndex = 1;
    CHECK(probe.UpdateData(false));
    CHECK_EQ(Text(dlg, IDC_START_HOUR), std::string("-3"));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_HANG_UP_WHEN_DONE), static_cast<UINT>(BST_CHECKED));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_START_SET), static_cast<UINT>(BST_UNCHECKED));
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_START_NOW), static_cast<UINT>(BST_CHECKED));
    // The other group is not touched.
    CHECK_EQ(::IsDlgButtonChecked(dlg, IDC_END_SET), static_cast<UINT>(BST_UNCHECKED));
    CHECK_EQ(::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_GETCURSEL, 0, 0), 1);

    ::CheckDlgButton(dlg, IDC_HANG_UP_WHEN_DONE, BST_UNCHECKED);
    ::CheckDlgButton(dlg, IDC_START_NOW, BST_UNCHECKED);
    ::SendDlgItemMessageA(dlg, IDC_ENTRY_LIST, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    CHECK(probe.UpdateData(true));
    CHECK_EQ(probe.m_nNumber, -3);
    CHECK_EQ(probe.m_nCheck, 0);
    CHECK_EQ(probe.m_nRadio, -1);       // no button of the group checked
    CHECK_EQ(probe.m_nIndex, -1);       // nothing selected
    ::CheckDlgButton(dlg, IDC_START_SET, BST_CHECKED);
    CHECK(probe.UpdateData(true));
    CHECK_EQ(probe.m_nRadio, 0);
    probe.DestroyWindow();
}
