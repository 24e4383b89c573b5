// Delete Old Diary Data over the live main window: the password and date
// checks, the date that reaches the statement, the rows kept and removed,
// and the faults that must leave the diary as it was.
#include <windows.h>

#include <strsafe.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bookjob.h"
#include "booktest.h"
#include "books.h"
#include "datastore.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

std::vector<std::wstring> Statements;  // every job statement, in order

int RecordStatement(const WCHAR *statement) {
    Statements.push_back(statement);
    return SQLITE_OK;
}

int DiskFullOnDelete(const WCHAR *statement) {
    Statements.push_back(statement);
    return wcsncmp(statement, L"DELETE", 6) == 0 ? SQLITE_FULL : SQLITE_OK;
}

BOOL RefuseCopy(const WCHAR *, const WCHAR *, BOOL) { return FALSE; }

void RemoveDiaryBackups() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"C:\\KorvaneDiary - BACKUP*.db", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW((std::wstring(L"C:\\") + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int DiaryBackupCount() {
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"C:\\KorvaneDiary - BACKUP*.db", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do count++;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

class DeleteOldDiary : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        RemoveDiaryBackups();
        StringCchCopyW(DiaryPassword, ARRAYSIZE(DiaryPassword), L"Secret1");
        Statements.clear();
        JobStatementHook = RecordStatement;
    }
    void TearDown() override {
        JobStatementHook = NULL;
        BookCopyHook = NULL;
        RemoveDiaryBackups();
        BookWindowTest::TearDown();
    }
    bool Open(const std::function<void(HWND)> &act) {
        return live::RunModal(L"Delete Old Diary Data", [] { ShowDeleteOldDiaryDialog(MainWindow); }, act);
    }
    // The fields as pasted: no key filter stands in the way.
    static void Fill(HWND dialog, const WCHAR *password, const WCHAR *day, int month, const WCHAR *year) {
        SetDlgItemTextW(dialog, IDC_DO_PASSWORD, password);
        SetDlgItemTextW(dialog, IDC_DO_DAY, day);
        SendDlgItemMessageW(dialog, IDC_DO_MONTH, CB_SETCURSEL, (WPARAM)month, 0);
        SetDlgItemTextW(dialog, IDC_DO_YEAR, year);
    }
    // Diary rows whose find times are stamps; "" makes a blanked row.
    void AddRows(const std::vector<const char *> &stamps) {
        for (const char *stamp : stamps) {
            std::string sql = std::string("INSERT INTO VLS VALUES('") + stamp +
                              "', '0', '', '', '', '', '', '" + (stamp[0] ? "JALAN AMPANG" : "") + "', '', '', '')";
            RunOnDiary(sql.c_str());
        }
    }
    static std::vector<std::string> Stamps(const std::wstring &book = live::kDiaryBook) {
        std::vector<std::string> stamps;
        for (const auto &row : testsupport::ReadBookRows(book, "select C1 from VLS order by C1")) stamps.push_back(row[0]);
        return stamps;
    }
};

// Every check in its order, as one table run in one dialog (which stays
// open after each refusal): the message, where the focus goes, and that
// nothing ran on the diary; an accepted date shows the cut it deletes by.
TEST_F(DeleteOldDiary, ChecksRefuseBadInputAndFormatTheCutFromTheNumbers) {
    AddRows({"2000-01-01 10:00:00", "2030-01-01 10:00:00"});
    struct Case {
        const WCHAR *password, *day;
        int month;  // combo index; -1 none selected
        const WCHAR *year;
        const WCHAR *message;  // the box shown; NULL: accepted
        const WCHAR *caption;
        int focusId;
        const WCHAR *cut;  // the DELETE of an accepted date
    };
    const Case kCases[] = {
        {L"", L"5", 3, L"2024", L"Please keyin your diary password.", L"Error", IDC_DO_PASSWORD, NULL},
        {L"SECRET1", L"5", 3, L"", L"Please key in the year.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"202", L"The year must be 4 digits.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"2024' OR '", L"The year must be 4 digits.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"19:0", L"The year must be 4 digits.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"20245", L"The year must be between 1970 and 2040.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"1969", L"The year must be between 1970 and 2040.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", 3, L"2041", L"The year must be between 1970 and 2040.", L"", IDC_DO_YEAR, NULL},
        {L"SECRET1", L"5", -1, L"2024", L"Please select the month.", L"", IDC_DO_MONTH, NULL},
        {L"SECRET1", L"5", 0, L"2024", L"Please select the month.", L"", IDC_DO_MONTH, NULL},
        {L"SECRET1", L"", 3, L"2024", L"Please key in the day.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"29", 2, L"2023", L"The day for month 'Feb' must be between 1 and 28.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"31", 4, L"2024", L"The day for month 'Apr' must be between 1 and 30.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"0", 1, L"2024", L"The day for month 'Jan' must be between 1 and 31.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"1x", 1, L"2024", L"The day for month 'Jan' must be between 1 and 31.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"1:", 1, L"2024", L"The day for month 'Jan' must be between 1 and 31.", L"", IDC_DO_DAY, NULL},
        {L"SECRET1", L"30", 2, L"2024", L"The day for month 'Feb' must be between 1 and 29.", L"", IDC_DO_DAY, NULL},
        {L"secret1", L"29", 2, L"2024", NULL, NULL, 0, L"DELETE FROM VLS WHERE C1 < '2024-02-29'"},
        {L"SECRET1", L"29", 2, L"2000", NULL, NULL, 0, L"DELETE FROM VLS WHERE C1 < '2000-02-29'"},
        {L"SECRET1", L"7", 3, L"2024", NULL, NULL, 0, L"DELETE FROM VLS WHERE C1 < '2024-03-07'"},
        {L"SECRET1", L"007", 12, L"1970", NULL, NULL, 0, L"DELETE FROM VLS WHERE C1 < '1970-12-07'"},
        {L"SECRET1", L"31", 12, L"2040", NULL, NULL, 0, L"DELETE FROM VLS WHERE C1 < '2040-12-31'"},
    };
    struct Seen {
        size_t messages;
        std::wstring text, caption, status;
        bool focusRight, buttonsBack;
        std::vector<std::wstring> statements;
    };
    std::vector<Seen> seen;
    EXPECT_TRUE(Open([&](HWND dialog) {
        for (const Case &c : kCases) {
            size_t shownBefore = live::Shown.size();
            Statements.clear();
            Fill(dialog, c.password, c.day, c.month, c.year);
            booktest::Click(dialog, IDC_DO_OK);
            Seen s;
            s.messages = live::Shown.size() - shownBefore;
            if (s.messages > 0) {
                s.text = live::Shown.back().text;
                s.caption = live::Shown.back().caption;
            }
            s.status = booktest::Text(dialog, IDC_DO_MSGBOX);
            s.focusRight = c.focusId == 0 || GetFocus() == GetDlgItem(dialog, c.focusId);
            s.buttonsBack = IsWindowVisible(GetDlgItem(dialog, IDC_DO_OK)) &&
                            IsWindowVisible(GetDlgItem(dialog, IDC_DO_CANCEL));
            s.statements = Statements;
            seen.push_back(s);
            if (!IsWindow(dialog)) return;
        }
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    ASSERT_EQ(seen.size(), ARRAYSIZE(kCases));
    for (size_t i = 0; i < ARRAYSIZE(kCases); i++) {
        const Case &c = kCases[i];
        const Seen &s = seen[i];
        SCOPED_TRACE(testing::Message() << "day '" << testsupport::Utf8(c.day) << "' month " << c.month << " year '"
                                        << testsupport::Utf8(c.year) << "'");
        EXPECT_TRUE(s.buttonsBack);
        if (c.message != NULL) {
            ASSERT_EQ(s.messages, 1u);
            EXPECT_EQ(s.text, c.message);
            EXPECT_EQ(s.caption, c.caption);
            EXPECT_TRUE(s.focusRight) << "the focus goes to the field at fault";
            EXPECT_TRUE(s.statements.empty()) << "nothing ran on the diary";
            EXPECT_EQ(s.status, L"All data before the date below will be deleted!");
        } else {
            EXPECT_EQ(s.messages, 0u);
            ASSERT_EQ(s.statements.size(), 4u);
            EXPECT_EQ(s.statements[0], L"begin");
            EXPECT_EQ(s.statements[1], c.cut);
            EXPECT_EQ(s.statements[2], L"commit");
            EXPECT_EQ(s.statements[3], L"VACUUM;");
            EXPECT_EQ(s.status, L"Old data has been deleted. Press the 'Cancel' button to exit.");
        }
    }
    EXPECT_EQ(Stamps(), std::vector<std::string>{}) << "the last cut, 31 Dec 2040, took both rows";
    EXPECT_EQ(DeleteOldDiaryBrush, (HBRUSH)NULL) << "the brush goes with the dialog";
}

TEST_F(DeleteOldDiary, FifthOfMarchKeepsItsRowsAndRemovesBlankRowsAfterABackup) {
    AddRows({"2024-03-05 00:00:00", "2023-12-31 10:00:00", "", "2024-03-04 23:59:59", "2024-03-10 08:00:00",
             "2024-03-05 23:00:00"});
    bool stillOpen = false;
    std::wstring status;
    EXPECT_TRUE(Open([&](HWND dialog) {
        Fill(dialog, L"SECRET1", L"5", 3, L"2024");
        booktest::Click(dialog, IDC_DO_OK);
        stillOpen = IsWindowVisible(dialog) != FALSE;
        status = booktest::Text(dialog, IDC_DO_MSGBOX);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_TRUE(stillOpen) << "the dialog stays open after the deletion";
    EXPECT_EQ(status, L"Old data has been deleted. Press the 'Cancel' button to exit.");
    EXPECT_EQ(Stamps(),
              (std::vector<std::string>{"2024-03-05 00:00:00", "2024-03-05 23:00:00", "2024-03-10 08:00:00"}));
    ASSERT_EQ(DiaryBackupCount(), 1);
    EXPECT_EQ(Stamps(DiaryBackupPath).size(), 6u) << "the backup holds the diary as it was";
    EXPECT_TRUE(live::Shown.empty());
}

TEST_F(DeleteOldDiary, WrongPasswordClosesTheDialogAndDeletesNothing) {
    AddRows({"2020-01-01 10:00:00", ""});
    EXPECT_TRUE(Open([&](HWND dialog) {
        Fill(dialog, L"SECRET2", L"5", 3, L"2024");
        booktest::Click(dialog, IDC_DO_OK);  // the dialog ends by itself
    }));
    ASSERT_EQ(live::Shown.size(), 1u);
    EXPECT_EQ(live::Shown[0].text, L"The password entered is not correct.");
    EXPECT_EQ(live::Shown[0].caption, L"Error");
    EXPECT_TRUE(Statements.empty());
    EXPECT_EQ(Stamps().size(), 2u);
    EXPECT_EQ(DiaryBackupCount(), 0);
    EXPECT_EQ(DeleteOldDiaryBrush, (HBRUSH)NULL);
}

// A backup that cannot be made, and a deletion the disk refuses: the diary
// as it was, the failure shown, the dialog ready for another try.
TEST_F(DeleteOldDiary, FailedBackupOrDeletionLeavesTheDiaryAsItWas) {
    AddRows({"2020-01-01 10:00:00", "", "2026-01-01 10:00:00"});
    const std::vector<std::string> before = Stamps();
    for (bool backupFails : {true, false}) {
        SCOPED_TRACE(backupFails ? "backup fails" : "disk full");
        BookCopyHook = backupFails ? RefuseCopy : NULL;
        JobStatementHook = backupFails ? RecordStatement : DiskFullOnDelete;
        Statements.clear();
        size_t shownBefore = live::Shown.size();
        std::wstring status;
        bool buttonsBack = false;
        EXPECT_TRUE(Open([&](HWND dialog) {
            Fill(dialog, L"SECRET1", L"5", 3, L"2024");
            booktest::Click(dialog, IDC_DO_OK);
            status = booktest::Text(dialog, IDC_DO_MSGBOX);
            buttonsBack = IsWindowVisible(GetDlgItem(dialog, IDC_DO_OK)) != FALSE;
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }));
        BookCopyHook = NULL;
        ASSERT_EQ(live::Shown.size(), shownBefore + 1);
        EXPECT_EQ(live::Shown.back().caption, L"Error");
        if (backupFails) {
            EXPECT_EQ(live::Shown.back().text, L"The backup copy of the book could not be made; nothing was changed.");
            EXPECT_TRUE(Statements.empty()) << "nothing ran without a backup";
        } else {
            EXPECT_NE(live::Shown.back().text.find(L"the book is as it was"), std::wstring::npos);
        }
        EXPECT_EQ(status, L"Nothing was deleted.");
        EXPECT_TRUE(buttonsBack);
        EXPECT_EQ(Stamps(), before);
        ASSERT_NE(MainWindow, (HWND)NULL) << "the program lives on";
    }
}

// The key filters and the colours of the two labels.
TEST_F(DeleteOldDiary, KeyFiltersAndLabelColours) {
    std::wstring day, year;
    int monthAfterZero = -2, monthAfterThree = -2;
    bool tabToMonth = false, enterToOk = false, tabToYear = false;
    COLORREF warning = 0, prompt = 0;
    bool brushGiven = false;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND dayEdit = GetDlgItem(dialog, IDC_DO_DAY), month = GetDlgItem(dialog, IDC_DO_MONTH),
             yearEdit = GetDlgItem(dialog, IDC_DO_YEAR);
        for (WPARAM c : {L'a', L'1', L'-', L'7', L'\''}) SendMessageW(dayEdit, WM_CHAR, c, 0);
        day = booktest::Text(dialog, IDC_DO_DAY);
        SetFocus(dayEdit);
        SendMessageW(dayEdit, WM_CHAR, L'\t', 0);
        tabToMonth = GetFocus() == month;
        SendMessageW(month, WM_CHAR, L'0', 0);
        monthAfterZero = (int)SendMessageW(month, CB_GETCURSEL, 0, 0);
        SendMessageW(month, WM_CHAR, L'3', 0);
        monthAfterThree = (int)SendMessageW(month, CB_GETCURSEL, 0, 0);
        SendMessageW(month, WM_CHAR, L'\t', 0);
        tabToYear = GetFocus() == yearEdit;
        for (WPARAM c : {L'2', L'x', L'0', L'2', L' ', L'4'}) SendMessageW(yearEdit, WM_CHAR, c, 0);
        year = booktest::Text(dialog, IDC_DO_YEAR);
        SendMessageW(yearEdit, WM_CHAR, L'\r', 0);
        enterToOk = GetFocus() == GetDlgItem(dialog, IDC_DO_OK);
        HDC dc = CreateCompatibleDC(NULL);
        brushGiven = SendMessageW(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(dialog, IDC_DO_MSGBOX)) ==
                     (LRESULT)DeleteOldDiaryBrush;
        warning = GetTextColor(dc);
        SendMessageW(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(dialog, IDC_DO_DATE_LABEL));
        prompt = GetTextColor(dc);
        DeleteDC(dc);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(day, L"17");
    EXPECT_EQ(year, L"2024");
    EXPECT_TRUE(tabToMonth);
    EXPECT_EQ(monthAfterZero, -1) << "0 selects no month";
    EXPECT_EQ(monthAfterThree, 3) << "3 selects Mar";
    EXPECT_TRUE(tabToYear);
    EXPECT_TRUE(enterToOk);
    EXPECT_TRUE(brushGiven);
    EXPECT_EQ(warning, RGB(255, 0, 0));
    EXPECT_EQ(prompt, RGB(0, 0, 255));
}

}  // namespace

namespace {

// In Malay: the title, a password refusal and a date refusal.
TEST_F(DeleteOldDiary, SpeaksMalay) {
    UseEnglish = 0;
    std::vector<live::ShownMessage> seen;
    std::wstring warning;
    EXPECT_TRUE(live::RunModal(L"Padam Data Diary Lama", [] { ShowDeleteOldDiaryDialog(MainWindow); }, [&](HWND dialog) {
        warning = booktest::Text(dialog, IDC_DO_MSGBOX);
        Fill(dialog, L"", L"5", 3, L"2024");
        booktest::Click(dialog, IDC_DO_OK);
        Fill(dialog, L"SECRET1", L"31", 2, L"2024");
        booktest::Click(dialog, IDC_DO_OK);
        seen = live::Shown;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(warning, L"Semua data sebelum tarikh dibawah akan dipadamkan!");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"Sila masukkan password diary anda.");
    EXPECT_EQ(seen[0].caption, L"Masaalah");
    EXPECT_EQ(seen[1].text, L"Hari untuk bulan 'Feb' mestilah diantara 1 dan 29.");
    EXPECT_TRUE(Statements.empty());
}

}  // namespace
