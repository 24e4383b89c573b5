// The FollowUp window over the live main window.
#include <gtest/gtest.h>

#include "booktest.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"

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

}  // namespace
