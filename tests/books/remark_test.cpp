// The Remark window over the live main window: Show and Save, the faults
// that the bulk deletions must survive, and the print-out.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "bookjob.h"
#include "booktest.h"
#include "books.h"
#include "datastore.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

int ShellOpens;
std::wstring ShellOpenedFile;
HINSTANCE RecordShellOpen(HWND, const WCHAR *, const WCHAR *file, const WCHAR *, const WCHAR *, INT) {
    ShellOpens++;
    ShellOpenedFile = file;
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

void BlockedBackupName(WCHAR *buf, int count) {
    lstrcpynW(buf, L"C:\\KorvaneBlocked\\backup.db", count);  // its folder is a file
}

int DiskFullOnDelete(const WCHAR *statement) {
    return wcsncmp(statement, L"DELETE", 6) == 0 ? SQLITE_FULL : SQLITE_OK;
}

class RemarkWindow : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        ShellOpens = 0;
        ShellOpenHook = RecordShellOpen;
        DeleteFileW(kPrintOutPath);
        RemoveDirectoryW(kPrintOutPath);
    }
    void TearDown() override {
        ShellOpenHook = NULL;
        BackupNameHook = NULL;
        JobStatementHook = NULL;
        DeleteFileW(kPrintOutPath);
        RemoveDirectoryW(kPrintOutPath);
        BookWindowTest::TearDown();
    }
    bool Open(const std::function<void(HWND)> &act) {
        return live::RunModal(L"Korvane Remark", [] { ShowRemarkWindow(MainWindow); }, act);
    }
    // The remark book as a text: every row and setting.
    static std::string BookText() {
        std::string text;
        for (const char *sql : {"select C1||C2||C3||C4||C5||C6||C7 from VLS order by rowid",
                                "select C1||'='||C2 from PRS order by C1"}) {
            for (const auto &row : testsupport::ReadBookRows(live::kRemarkBook, sql)) text += row[0] + "\n";
        }
        return text;
    }
};

TEST_F(RemarkWindow, ShowCountsSaveChangesTheRowAndNeverInserts) {
    booktest::AddRemark(L"OLD1", L"2026-01-01 10:00:00", L"NULL");
    booktest::AddRemark(L"NEW2", L"2026-02-01 10:00:00", L"2026-05-09", L"AMBANK");
    std::wstring count, firstPlate, followDay, bank, noSelection;
    int followMonth = -1, items = -1;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        EXPECT_FALSE(IsWindowVisible(list)) << "nothing is read until Show";
        booktest::Click(dialog, IDC_RM_SAVE);
        if (!live::Shown.empty()) noSelection = live::Shown.back().text;
        booktest::Click(dialog, IDC_RM_SHOW);
        count = booktest::Text(dialog, IDC_RM_COUNT);
        firstPlate = booktest::Cell(list, 0, 2);
        booktest::ClickRow(dialog, list, 0);
        followDay = booktest::Text(dialog, IDC_RM_FOLLOWUP_DAY);
        followMonth = (int)SendDlgItemMessageW(dialog, IDC_RM_FOLLOWUP_MONTH, CB_GETCURSEL, 0, 0);
        bank = booktest::Text(dialog, IDC_RM_BANK);
        // The second row: its plate changes, Save updates it by plate.
        booktest::ClickRow(dialog, list, 1);
        SetDlgItemTextW(dialog, IDC_RM_REMARK, L"TOWED");
        booktest::Click(dialog, IDC_RM_SAVE);
        // A plate no longer in the book: Save writes no row.
        booktest::ClickRow(dialog, list, 0);
        SetDlgItemTextW(dialog, IDC_RM_PLATE, L"GONE9");
        booktest::Click(dialog, IDC_RM_SAVE);
        items = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(noSelection, L"Please choose the data row that you want to change first.");
    EXPECT_EQ(count, L"2 rows");
    EXPECT_EQ(firstPlate, L"NEW2") << "newest saved first";
    EXPECT_EQ(followDay, L"09");
    EXPECT_EQ(followMonth, 5);
    EXPECT_EQ(bank, L"AMBANK");
    EXPECT_EQ(items, 2);
    std::vector<std::wstring> row = booktest::RemarkRow(L"OLD1");
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[4], L"TOWED");
    EXPECT_EQ(row[6], L"NULL");
    EXPECT_TRUE(booktest::RemarkRow(L"GONE9").empty());
    EXPECT_EQ(live::CountRows(live::kRemarkBook, "select 1 from VLS"), 2);
    EXPECT_EQ(live::ReadKey(live::kRemarkBook, "PRS", "CLF"), "0");
}

// Each bulk deletion under each fault: the book as it was, a failure
// shown, and the program still searches and logs.
TEST_F(RemarkWindow, BulkDeletionsSurviveFaults) {
    for (int i = 0; i < 6; i++) {
        WCHAR plate[16], saved[32];
        swprintf(plate, 16, L"FLT%d", i);
        swprintf(saved, 32, L"2026-0%d-01 10:00:00", i + 1);
        booktest::AddRemark(plate, saved, L"NULL");
    }
    testsupport::WriteFileBytes(L"C:\\KorvaneBlocked", {1});
    const std::string before = BookText();
    enum Command { kDeleteAll, kDeleteBefore, kDeletePage };
    enum Fault { kBackupBlocked, kDiskFull, kLocked };
    const char *const kCommandNames[] = {"Delete All", "Delete Before", "Delete This Page"};
    const char *const kFaultNames[] = {"backup blocked", "disk full", "locked"};
    for (int command : {kDeleteAll, kDeleteBefore, kDeletePage}) {
        for (int fault : {kBackupBlocked, kDiskFull, kLocked}) {
            SCOPED_TRACE(std::string(kCommandNames[command]) + " / " + kFaultNames[fault]);
            if (fault == kBackupBlocked) BackupNameHook = BlockedBackupName;
            if (fault == kDiskFull) JobStatementHook = DiskFullOnDelete;
            testsupport::CheckDb other(live::kRemarkBook);
            if (fault == kLocked) {
                ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
            }
            size_t shownBefore = live::Shown.size();
            bool finished = false;
            EXPECT_TRUE(Open([&](HWND dialog) {
                booktest::Click(dialog, IDC_RM_SHOW);
                if (command == kDeleteBefore) {
                    SetDlgItemTextW(dialog, IDC_RM_BEFORE_YEAR, L"2030");
                    SendDlgItemMessageW(dialog, IDC_RM_BEFORE_MONTH, CB_SETCURSEL, 3, 0);
                }
                booktest::Click(dialog, command == kDeleteAll      ? IDC_RM_DELETE_ALL
                                        : command == kDeleteBefore ? IDC_RM_DELETE_BEFORE
                                                                   : IDC_RM_DELETE_PAGE);
                for (size_t i = shownBefore; i < live::Shown.size(); i++)
                    finished = finished || live::Shown[i].caption == L"Finish";
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }));
            if (fault == kLocked) other.Exec("ROLLBACK");
            BackupNameHook = NULL;
            JobStatementHook = NULL;
            EXPECT_FALSE(finished) << "never the success message";
            ASSERT_GT(live::Shown.size(), shownBefore);
            EXPECT_EQ(live::Shown.back().caption, L"Error");
            EXPECT_EQ(BookText(), before);
            ASSERT_NE(MainWindow, (HWND)NULL) << "the program lives on";
            int logged = live::CountRows(live::kDiaryBook, "select 1 from VLS");
            SetWindowTextW(PlateEntryEdit, L"ABC1234");
            FindPlate();
            EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), logged + 1) << "the search is logged";
        }
    }
    DeleteFileW(L"C:\\KorvaneBlocked");
}

TEST_F(RemarkWindow, DeleteBeforeKeepsTheMonthItNamesAndBacksUpFirst) {
    booktest::AddRemark(L"FEB1", L"2019-02-28 23:59:59", L"NULL");
    booktest::AddRemark(L"MAR1", L"2019-03-01 00:00:00", L"NULL");
    std::wstring yearCheck;
    EXPECT_TRUE(Open([&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_RM_BEFORE_YEAR, L"199");
        SendDlgItemMessageW(dialog, IDC_RM_BEFORE_MONTH, CB_SETCURSEL, 3, 0);
        booktest::Click(dialog, IDC_RM_DELETE_BEFORE);
        if (!live::Shown.empty()) yearCheck = live::Shown.back().text;
        SetDlgItemTextW(dialog, IDC_RM_BEFORE_YEAR, L"2019");
        booktest::Click(dialog, IDC_RM_DELETE_BEFORE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(yearCheck, L"The year for the 'Delete Before This' must be 4 digits.");
    EXPECT_TRUE(booktest::RemarkRow(L"FEB1").empty());
    EXPECT_EQ(booktest::RemarkRow(L"MAR1").size(), 7u);
    ASSERT_FALSE(live::Shown.empty());
    EXPECT_EQ(live::Shown.back().text, L"Finish deleting the data.");
    testsupport::CheckDb backup(RemarkBackupPath);
    EXPECT_EQ(backup.Count("VLS"), 2) << "the backup holds the book as it was";
    DeleteFileW(RemarkBackupPath);
}

TEST_F(RemarkWindow, DeleteRowRefillsFromTheNextRowDeletePageTakesTheVisibleRows) {
    for (int i = 0; i < 60; i++) {
        WCHAR plate[16], saved[32];
        swprintf(plate, 16, L"ROW%02d", i);
        swprintf(saved, 32, L"2026-01-01 10:%02d:00", 59 - i);  // ROW00 is the newest
        booktest::AddRemark(plate, saved, L"NULL");
    }
    std::wstring refilled, countAfterRow;
    int perPage = 0, itemsAfterPage = 0;
    std::vector<std::wstring> pagePlates;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        booktest::Click(dialog, IDC_RM_SHOW);
        booktest::ClickRow(dialog, list, 1);
        SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);  // presses Delete This Row
        refilled = booktest::Text(dialog, IDC_RM_PLATE);
        countAfterRow = booktest::Text(dialog, IDC_RM_COUNT);
        SendMessageW(list, LVM_ENSUREVISIBLE, 20, FALSE);
        int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
        for (int row = top; row < top + perPage && row < 59; row++) pagePlates.push_back(booktest::Cell(list, row, 2));
        booktest::Click(dialog, IDC_RM_DELETE_PAGE);
        itemsAfterPage = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(refilled, L"ROW02") << "the row that moved up into the deleted one's place";
    EXPECT_EQ(countAfterRow, L"59 rows");
    EXPECT_TRUE(booktest::RemarkRow(L"ROW01").empty());
    ASSERT_GT(perPage, 0);
    ASSERT_FALSE(pagePlates.empty());
    EXPECT_EQ(itemsAfterPage, 59 - (int)pagePlates.size());
    for (const std::wstring &plate : pagePlates) EXPECT_TRUE(booktest::RemarkRow(plate).empty()) << testsupport::Utf8(plate);
    EXPECT_EQ(live::CountRows(live::kRemarkBook, "select 1 from VLS"), itemsAfterPage);
}

TEST_F(RemarkWindow, FieldFiltersAndTheirFocusMoves) {
    struct Case {
        int field;
        const wchar_t *typed;
        const wchar_t *kept;
    };
    const Case kCases[] = {
        {IDC_RM_ARREARS, L"1a.2|", L"1.2"},
        {IDC_RM_LASTPAY_DAY, L"0x7", L"07"},
        {IDC_RM_LASTPAY_YEAR, L"20.19", L"2019"},
        {IDC_RM_BANK, L"D'CRUZ|BANK", L"DCRUZBANK"},
        {IDC_RM_FOLLOWUP_DAY, L"3-1", L"31"},
    };
    std::vector<std::wstring> kept;
    int month = -1;
    HWND focusAfterYearTab = NULL, bankField = NULL;
    EXPECT_TRUE(Open([&](HWND dialog) {
        for (const Case &c : kCases) {
            HWND field = GetDlgItem(dialog, c.field);
            for (const wchar_t *p = c.typed; *p; p++) SendMessageW(field, WM_CHAR, *p, 0);
            kept.push_back(booktest::Text(dialog, c.field));
        }
        SendMessageW(GetDlgItem(dialog, IDC_RM_FOLLOWUP_MONTH), WM_CHAR, L'7', 0);
        month = (int)SendDlgItemMessageW(dialog, IDC_RM_FOLLOWUP_MONTH, CB_GETCURSEL, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDC_RM_FOLLOWUP_YEAR), WM_CHAR, L'\t', 0);
        focusAfterYearTab = GetFocus();
        bankField = GetDlgItem(dialog, IDC_RM_BANK);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    for (size_t i = 0; i < ARRAYSIZE(kCases); i++) EXPECT_EQ(kept[i], kCases[i].kept) << "field " << kCases[i].field;
    EXPECT_EQ(month, 7);
    EXPECT_EQ(focusAfterYearTab, bankField) << "from the follow-up year back to the bank";
}

// Keys in the multi-line remark field as the keyboard sends them: Esc
// does nothing; Enter saves, without a line break, and Show does not run
// after it (the list and the fields stay as they were).
TEST_F(RemarkWindow, EscInTheRemarkFieldDoesNothingEnterSavesOnly) {
    booktest::AddRemark(L"OLD1", L"2026-01-01 10:00:00", L"NULL");
    booktest::AddRemark(L"NEW2", L"2026-02-01 10:00:00", L"NULL");
    bool openAfterEsc = false, openAfterEnter = false;
    std::wstring afterEsc, afterEnter, plate;
    int selected = -1;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_REMARK_LIST);
        booktest::Click(dialog, IDC_RM_SHOW);
        booktest::ClickRow(dialog, list, 1);  // OLD1
        openAfterEsc = booktest::TypeThenEscape(dialog, IDC_RM_REMARK, L"towed");
        afterEsc = booktest::Text(dialog, IDC_RM_REMARK);
        live::PressKeys(dialog, GetDlgItem(dialog, IDC_RM_REMARK), {VK_RETURN});
        openAfterEnter = IsWindowVisible(dialog) != FALSE;
        afterEnter = booktest::Text(dialog, IDC_RM_REMARK);
        plate = booktest::Text(dialog, IDC_RM_PLATE);
        selected = SelectedListRow(list);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(afterEsc, L"TOWED");
    EXPECT_TRUE(openAfterEnter);
    EXPECT_EQ(afterEnter, L"TOWED") << "no line break, and the field is not cleared";
    EXPECT_EQ(plate, L"OLD1");
    EXPECT_EQ(selected, 1) << "the list was not shown again";
    std::vector<std::wstring> row = booktest::RemarkRow(L"OLD1");
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[4], L"TOWED") << "Enter saved";
}

// While a job runs (and pumps), no second command starts.
TEST_F(RemarkWindow, CommandsWaitForTheRunningJob) {
    booktest::AddRemark(L"KEEP1", L"2026-01-01 10:00:00", L"NULL");
    std::wstring count;
    EXPECT_TRUE(Open([&](HWND dialog) {
        BookJobBusy = 1;
        for (int id : {IDC_RM_SHOW, IDC_RM_DELETE_ALL, IDC_RM_DELETE_PAGE, IDC_RM_PRINT_ALL}) booktest::Click(dialog, id);
        count = booktest::Text(dialog, IDC_RM_COUNT);
        BookJobBusy = 0;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_TRUE(live::Shown.empty()) << "no question was asked";
    EXPECT_EQ(count, L"") << "Show did not run";
    EXPECT_EQ(ShellOpens, 0);
    EXPECT_EQ(live::CountRows(live::kRemarkBook, "select 1 from VLS"), 1);
}

TEST_F(RemarkWindow, PrintOutByteForByte) {
    ASSERT_EQ(GetACP(), 1252u) << "the fixture's non-ASCII letter is written in code page 1252";
    booktest::AddRemark(L"WXY1234", L"2026-03-02 08:00:00", L"2026-04-01", L"BANK ISLAM", L"CALL OWNER", L"3",
                        L"05 Mar 2025");
    booktest::AddRemark(L"LONGPLATE12345678", L"2026-03-01 08:00:00", L"NULL", L"MAYBANK ISLAMIC BERHAD CAWANGAN",
                        L"CAF\u00c9", L"", L"");
    EXPECT_TRUE(Open([&](HWND dialog) {
        booktest::Click(dialog, IDC_RM_PRINT_ALL);  // before Show: nothing to print
        booktest::Click(dialog, IDC_RM_SHOW);
        booktest::Click(dialog, IDC_RM_PRINT_ALL);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(ShellOpens, 1);
    EXPECT_EQ(ShellOpenedFile, L"c:\\KorvanePrintOut.txt");
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(kPrintOutPath, &bytes));
    std::string text(bytes.begin(), bytes.end());
    const std::string head = "[Remark] Print Date : ";
    ASSERT_EQ(text.compare(0, head.size(), head), 0);
    size_t body = head.size() + 19;  // the time stamp
    ASSERT_GT(text.size(), body);
    const std::string dashes(108, '-');
    const std::string expected =
        "\r\n\r\n"
        "Last Saved at       |FollowUp   |PlateNo       |ArrearNo |LastPayment |Bank                          |Remark\r\n" +
        dashes + "\r\n" +
        "2026-03-02 08:00:00 |2026-04-01 |WXY1234       |3        |05 Mar 2025 |BANK ISLAM                    |CALL OWNER\r\n"
        "2026-03-01 08:00:00 |           |LONGPLATE12345678|         |            |MAYBANK ISLAMIC BERHAD CAWANGAN|CAF\xC9\r\n" +
        dashes + "\r\n";
    EXPECT_EQ(text.substr(body), expected);
}

TEST_F(RemarkWindow, PrintOutThatCannotBeWrittenIsNotOpened) {
    booktest::AddRemark(L"WXY1234", L"2026-03-02 08:00:00", L"NULL");
    ASSERT_TRUE(CreateDirectoryW(kPrintOutPath, NULL));  // the file's name is taken by a folder
    EXPECT_TRUE(Open([&](HWND dialog) {
        booktest::Click(dialog, IDC_RM_SHOW);
        booktest::Click(dialog, IDC_RM_PRINT_PAGE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(ShellOpens, 0);
    ASSERT_FALSE(live::Shown.empty());
    EXPECT_EQ(live::Shown.back().text, L"Can't create the printout file");
}

}  // namespace
