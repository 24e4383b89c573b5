// The FollowUp window over the live main window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booktest.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

using booktest::AddDays;
using booktest::IsoDate;

SYSTEMTIME AgentClock;
void AgentTime(SYSTEMTIME *now) { *now = AgentClock; }

class FollowUpWindow : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        GetSystemTime(&utcNow_);
    }
    void TearDown() override {
        LocalTimeHook = NULL;
        BookWindowTest::TearDown();
    }
    // Opens the window as start-up does; act runs once it is up.
    bool Open(const std::function<void(HWND)> &act) {
        return live::RunModal(L"Korvane FollowUp", [] { ShowFollowUpWindow(MainWindow); }, act);
    }
    SYSTEMTIME utcNow_;
};

TEST_F(FollowUpWindow, NothingDueNeverShows) {
    booktest::AddRemark(L"WXY1", L"2026-01-01 10:00:00", L"NULL");
    booktest::AddRemark(L"WXY2", L"2026-01-01 10:00:00", IsoDate(AddDays(utcNow_, 2)));
    bool shown = false;
    EXPECT_FALSE(Open([&](HWND dialog) {
        shown = true;
        EndDialog(dialog, 0);
    }));
    EXPECT_FALSE(shown);
    EXPECT_EQ(FollowUpDialogHandle, (HWND)NULL);
}

// At 07:00 in a time zone 8 hours east of UTC the agent's day has begun
// while UTC's has not: a follow-up dated the agent's today is due.
TEST_F(FollowUpWindow, DueByTheAgentsLocalDateOldestFirst) {
    SYSTEMTIME localToday = AddDays(utcNow_, 1);
    localToday.wHour = 7;
    AgentClock = localToday;
    LocalTimeHook = AgentTime;
    booktest::AddRemark(L"TODAY1", L"2026-02-01 10:00:00", IsoDate(localToday));
    booktest::AddRemark(L"OLDER1", L"2026-02-02 10:00:00", L"2025-03-07", L"D'CRUZ BANK");
    booktest::AddRemark(L"TOMORROW1", L"2026-02-03 10:00:00", IsoDate(AddDays(localToday, 1)));
    booktest::AddRemark(L"NEVER1", L"2026-02-04 10:00:00", L"NULL");

    std::vector<std::wstring> plates, dates;
    std::wstring count, plateField, day, year;
    int month = -1;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int row = 0; row < rows; row++) {
            plates.push_back(booktest::Cell(list, row, 2));
            dates.push_back(booktest::Cell(list, row, 1));
        }
        count = booktest::Text(dialog, IDC_FU_COUNT);
        booktest::ClickRow(dialog, list, 0);
        plateField = booktest::Text(dialog, IDC_FU_PLATE);
        day = booktest::Text(dialog, IDC_FU_FOLLOWUP_DAY);
        month = (int)SendDlgItemMessageW(dialog, IDC_FU_FOLLOWUP_MONTH, CB_GETCURSEL, 0, 0);
        year = booktest::Text(dialog, IDC_FU_FOLLOWUP_YEAR);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(plates, (std::vector<std::wstring>{L"OLDER1", L"TODAY1"}));
    ASSERT_EQ(dates.size(), 2u);
    EXPECT_EQ(dates[0], L"07 Mar 2025");
    EXPECT_EQ(count, L"2 rows");
    EXPECT_EQ(plateField, L"OLDER1");
    EXPECT_EQ(day, L"07");
    EXPECT_EQ(month, 3);
    EXPECT_EQ(year, L"2025");
}

TEST_F(FollowUpWindow, SavingTheLastDueRowClosesItEscDoesNothing) {
    booktest::AddRemark(L"DUE1", L"2026-01-01 10:00:00", L"2025-01-15");
    bool aliveAfterEsc = false, aliveAfterCancelNoSelection = false;
    size_t messagesBefore = 0;
    EXPECT_TRUE(Open([&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        aliveAfterEsc = IsWindowVisible(dialog) != FALSE;
        // Delete in the list presses Cancel FollowUp: nothing selected.
        messagesBefore = live::Shown.size();
        SendMessageW(GetDlgItem(dialog, IDC_REMARK_LIST), WM_KEYDOWN, VK_DELETE, 0);
        aliveAfterCancelNoSelection = IsWindowVisible(dialog) != FALSE;
        booktest::ClickRow(dialog, GetDlgItem(dialog, IDC_REMARK_LIST), 0);
        SetDlgItemTextW(dialog, IDC_FU_REMARK, L"SEEN HIM");
        SetDlgItemTextW(dialog, IDC_FU_FOLLOWUP_DAY, L"");
        SetDlgItemTextW(dialog, IDC_FU_FOLLOWUP_YEAR, L"");
        SendDlgItemMessageW(dialog, IDC_FU_FOLLOWUP_MONTH, CB_SETCURSEL, 0, 0);
        booktest::Click(dialog, IDC_FU_SAVE);  // ends the dialog: nothing is due any more
    }));
    EXPECT_TRUE(aliveAfterEsc);
    EXPECT_TRUE(aliveAfterCancelNoSelection);
    ASSERT_GT(live::Shown.size(), messagesBefore);
    EXPECT_EQ(live::Shown[messagesBefore].text, L"Please select the row to cancel the FollowUp first.");
    std::vector<std::wstring> row = booktest::RemarkRow(L"DUE1");
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[4], L"SEEN HIM");
    EXPECT_EQ(row[6], L"NULL");
    EXPECT_EQ(row[2], L"05 Mar 2025") << "the last payment kept";
    EXPECT_NE(row[5], L"2026-01-01 10:00:00") << "stamped with the time of the save";
    EXPECT_EQ(live::ReadKey(live::kRemarkBook, "PRS", "CLF"), "0");
}

TEST_F(FollowUpWindow, CancelOnTheOnlyRowLeavesAnEmptyOpenWindow) {
    booktest::AddRemark(L"ONLY1", L"2026-01-01 10:00:00", L"2025-01-15");
    std::wstring question, count;
    bool stillOpen = false;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        booktest::ClickRow(dialog, list, 0);
        SendMessageW(list, WM_KEYDOWN, VK_F4, 0);  // presses Cancel FollowUp
        if (!live::Shown.empty()) question = live::Shown.back().text;
        count = booktest::Text(dialog, IDC_FU_COUNT);
        stillOpen = IsWindowVisible(dialog) != FALSE;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(question, L"Are you sure that you want to cancel the FollowUp for this row?\r\nPlateNo = ONLY1");
    EXPECT_EQ(count, L"0 row");
    EXPECT_TRUE(stillOpen);
    std::vector<std::wstring> row = booktest::RemarkRow(L"ONLY1");
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[6], L"NULL");
}

// The agent clicks a due row and presses Enter, Enter, as with a message
// box: Enter saves the row, and no question that deletes is ever asked.
// Esc in the remark field leaves the window open with what was typed.
TEST_F(FollowUpWindow, EnterSavesNeverDeletesAndEscKeepsTheTyping) {
    booktest::AddRemark(L"DUE5", L"2026-01-01 10:00:00", L"2025-01-15");
    bool openAfterEsc = false, openAfterEnter = false;
    std::wstring typed;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        booktest::ClickRow(dialog, list, 0);
        openAfterEsc = booktest::TypeThenEscape(dialog, IDC_FU_REMARK, L"seen him");
        typed = booktest::Text(dialog, IDC_FU_REMARK);
        live::PressKeys(dialog, list, {VK_RETURN, VK_RETURN});
        openAfterEnter = IsWindowVisible(dialog) != FALSE;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(typed, L"SEEN HIM");
    EXPECT_TRUE(openAfterEnter) << "the row is still due";
    for (const live::ShownMessage &shown : live::Shown)
        EXPECT_NE(shown.type & MB_YESNO, (UINT)MB_YESNO) << testsupport::Utf8(shown.text);
    std::vector<std::wstring> row = booktest::RemarkRow(L"DUE5");
    ASSERT_EQ(row.size(), 7u) << "the remark is still in the book";
    EXPECT_EQ(row[4], L"SEEN HIM") << "Enter saved it";
    EXPECT_EQ(row[6], L"2025-01-15");
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// What Enter presses in each book window as its template makes it: never a
// button that deletes.
TEST(BookWindowTemplates, OnlyAButtonThatDeletesNothingIsTheDefault) {
    struct Case {
        const char *name;
        int templateId;
        int defaultId;  // 0: no button is the default
    };
    const Case kCases[] = {
        {"Diary", IDD_DIARY, IDC_DIARY_SHOW},
        {"Remark", IDD_REMARK, IDC_RM_SHOW},
        {"FollowUp", IDD_FOLLOWUP, IDC_FU_SAVE},
        {"List Location", IDD_LIST_LOCATION, 0},
        {"Delete Old Diary Data", IDD_DELETE_OLD_DIARY, 0},
        {"password set-up", IDD_PASSWORD_SETUP, IDC_PWSET_OK},
        {"password entry", IDD_PASSWORD_ENTRY, IDC_PWENTRY_OK},
    };
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        HWND dialog =
            CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(c.templateId), NULL, InertDialogProc, 0);
        ASSERT_NE(dialog, (HWND)NULL);
        LRESULT defId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
        HWND button = HIWORD(defId) == DC_HASDEFID ? GetDlgItem(dialog, LOWORD(defId)) : NULL;
        EXPECT_EQ(button != NULL ? GetDlgCtrlID(button) : 0, c.defaultId);
        std::vector<int> styled;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
            WCHAR cls[16] = {0};
            GetClassNameW(child, cls, ARRAYSIZE(cls));
            if (_wcsicmp(cls, L"Button") == 0 && (GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON)
                styled.push_back(GetDlgCtrlID(child));
        }
        EXPECT_EQ(styled, c.defaultId != 0 ? std::vector<int>{c.defaultId} : std::vector<int>{});
        DestroyWindow(dialog);
    }
}

// A one-row change that the remark book refuses (another program holds it
// locked): one message after the question, the book, the window and its
// fields as they were, and the program goes on.
TEST_F(FollowUpWindow, RefusedRowChangesLeaveTheBookTheWindowAndTheProgram) {
    struct Case {
        const char *name;
        bool remarkWindow;  // else the FollowUp window
        int command;
    };
    const Case kCases[] = {
        {"Cancel FollowUp", false, IDC_FU_CANCEL},
        {"Cancel FollowUp & Delete from Remark", false, IDC_FU_CANCEL_DELETE},
        {"<- X", false, IDC_FU_DELETE_X},
        {"the Remark window's Delete This Row", true, IDC_RM_DELETE_ROW},
    };
    booktest::AddRemark(L"LOCK1", L"2026-01-01 10:00:00", L"2025-01-15");
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        testsupport::CheckDb other(live::kRemarkBook);
        ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK) << other.message();
        size_t before = live::Shown.size();
        bool open = false;
        int rows = -1;
        std::wstring plate;
        auto act = [&](HWND dialog) {
            HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
            if (c.remarkWindow) booktest::Click(dialog, IDC_RM_SHOW);
            booktest::ClickRow(dialog, list, 0);
            booktest::Click(dialog, c.command);
            open = IsWindowVisible(dialog) != FALSE;
            rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
            plate = booktest::Text(dialog, c.remarkWindow ? IDC_RM_PLATE : IDC_FU_PLATE);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        };
        EXPECT_TRUE(c.remarkWindow ? live::RunModal(L"Korvane Remark", [] { ShowRemarkWindow(MainWindow); }, act)
                                   : Open(act));
        other.Exec("ROLLBACK");
        ASSERT_NE(MainWindow, (HWND)NULL) << "the program goes on";
        EXPECT_TRUE(open);
        EXPECT_EQ(rows, 1);
        EXPECT_EQ(plate, L"LOCK1") << "the fields keep the row";
        ASSERT_EQ(live::Shown.size(), before + 2) << "the question, then one failure";
        EXPECT_EQ(live::Shown[before + 1].caption, L"Error");
        std::vector<std::wstring> row = booktest::RemarkRow(L"LOCK1");
        ASSERT_EQ(row.size(), 7u);
        EXPECT_EQ(row[6], L"2025-01-15");
    }
    int logged = live::CountRows(live::kDiaryBook, "select 1 from VLS");
    SetWindowTextW(PlateEntryEdit, L"ABC1234");
    FindPlate();
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), logged + 1) << "the search is logged";
}

}  // namespace
