// The Diary window over the live main window: its views and counts, every
// text that reaches a statement, and the deletions and their faults.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bookjob.h"
#include "booktest.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

struct DiaryFixtureRow {
    const wchar_t *stamp;
    int found;
    const wchar_t *plate, *financier, *location, *remark, *owner;
};

// rowids 1 to 6, oldest first.
const DiaryFixtureRow kFixture[] = {
    {L"2015-02-10 10:00:00", 0, L"AAA1", L"", L"JALAN AMPANG", L"", L""},
    {L"2015-03-01 00:00:00", 1, L"BBB2", L"MAYBANK", L"JALAN TUN RAZAK", L"CALL OWNER", L""},
    {L"2016-01-05 09:30:00", 2, L"CCC3", L"MAYBANK-KL", L"ampang point", L"", L"ALI"},
    {L"2016-06-01 12:00:00", 1, L"DDD4", L"AMBANK", L"KLCC", L"TOWED", L"ALI"},
    {L"2017-01-01 08:00:00", 2, L"EEE5", L"MAYBANK ISLAMIC", L"SHAH ALAM", L"O'BRIEN ST", L"BOB"},
    {L"2017-02-01 08:00:00", 1, L"FFF6", L"MAYBANKER", L"D'SARA", L"", L""},
};

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

void AddDiaryRow(const DiaryFixtureRow &row) {
    ASSERT_NE(DiaryDb, (sqlite3 *)NULL);
    sqlite3_stmt *stmt = NULL;
    ASSERT_EQ(sqlite3_prepare_v2(DiaryDb, "INSERT INTO VLS VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &stmt, NULL), SQLITE_OK);
    using testsupport::Utf8;
    const std::string values[11] = {Utf8(row.stamp),
                                    std::to_string(row.found),
                                    Field(row.plate),
                                    row.found ? Field(L"05 Mar 2025") : "",
                                    row.found ? Field(L"SALOON SILVER") : "",
                                    Utf8(row.financier),
                                    row.found ? Field(L"5") : "",
                                    Utf8(row.location),
                                    "20260105.000",
                                    Utf8(row.remark),
                                    Utf8(row.owner)};
    for (int i = 0; i < 11; i++) sqlite3_bind_text(stmt, i + 1, values[i].c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
}

// The diary as rows of text: rowid and C1 .. C11, oldest first.
std::vector<std::string> DiaryRows() {
    std::vector<std::string> rows;
    for (const auto &row : testsupport::ReadBookRows(
             live::kDiaryBook, "select rowid,C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11 from VLS order by rowid")) {
        std::string text;
        for (const std::string &cell : row) text += cell + "|";
        rows.push_back(text);
    }
    return rows;
}

// One column of one diary row.
std::string DiaryCell(int rowId, const char *column) {
    std::string sql = std::string("select ") + column + " from VLS where rowid = " + std::to_string(rowId);
    auto rows = testsupport::ReadBookRows(live::kDiaryBook, sql);
    return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
}

BOOL FailingCopy(const WCHAR *, const WCHAR *, BOOL) { return FALSE; }

// Puts text as an entry of the financier combo and chooses it.
void ChooseFinancier(HWND dialog, const wchar_t *text) {
    HWND combo = GetDlgItem(dialog, IDC_DIARY_FINANCIER);
    int index = (int)SendMessageW(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text);
    if (index < 0) index = (int)SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)text);
    SendMessageW(combo, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DIARY_FINANCIER, CBN_SELCHANGE), (LPARAM)combo);
}

void ChooseView(HWND dialog, int view) {
    HWND combo = GetDlgItem(dialog, IDC_DIARY_VIEW);
    SendMessageW(combo, CB_SETCURSEL, (WPARAM)view, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DIARY_VIEW, CBN_SELCHANGE), (LPARAM)combo);
}

std::vector<std::wstring> ListedPlates(HWND list) {
    std::vector<std::wstring> plates;
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count && row < 200; row++) plates.push_back(booktest::Cell(list, row, 1));
    return plates;
}

std::wstring Join(const std::vector<std::wstring> &texts) {
    std::wstring joined;
    for (const std::wstring &text : texts) joined += (joined.empty() ? L"" : L",") + text;
    return joined;
}

class DiaryWindow : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        for (const DiaryFixtureRow &row : kFixture) AddDiaryRow(row);
    }
    void TearDown() override {
        BookCopyHook = NULL;
        BackupNameHook = NULL;
        UseEnglish = 1;
        BookWindowTest::TearDown();
    }
    bool Open(const std::function<void(HWND)> &act) {
        return live::RunModal(L"Korvane Diary", [] { ShowDiaryWindow(MainWindow); }, act);
    }
    // A search made after a command is still logged.
    void ExpectSearchLogs() {
        ASSERT_NE(MainWindow, (HWND)NULL) << "the program lives on";
        int logged = live::CountRows(live::kDiaryBook, "select 1 from VLS");
        SetWindowTextW(PlateEntryEdit, L"ABC1234");
        FindPlate();
        EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), logged + 1) << "the search is logged";
    }
    static bool ShownSince(size_t from, const std::wstring &caption) {
        for (size_t i = from; i < live::Shown.size(); i++)
            if (live::Shown[i].caption == caption) return true;
        return false;
    }
};

TEST_F(DiaryWindow, EachViewListsItsRowsAndCounts) {
    struct Case {
        int view;
        const wchar_t *financier;  // NULL: any
        const wchar_t *find;
        const wchar_t *plates;     // newest first
        const wchar_t *english, *malay;
    };
    const Case kCases[] = {
        {0, NULL, L"", L"FFF6,EEE5,DDD4,CCC3,BBB2,AAA1", L"6 rows", L"6 baris"},
        {1, NULL, L"", L"FFF6,EEE5,DDD4,CCC3,BBB2", L"5 rows", L"5 baris"},
        {2, NULL, L"", L"EEE5,CCC3", L"2 rows", L"2 baris"},
        // A name without '-' takes every financier that begins with it.
        {0, L"MAYBANK", L"", L"FFF6,EEE5,CCC3,BBB2", L"4 rows", L"4 baris"},
        {2, L"MAYBANK", L"", L"EEE5,CCC3", L"2 rows", L"2 baris"},
        // A branch (with '-'), shown indented, takes that name alone.
        {0, L"      MAYBANK-KL", L"", L"CCC3", L"1 row", L"1 baris"},
        {1, L"AMBANK", L"", L"DDD4", L"1 row", L"1 baris"},
        {1, L"NOBANK", L"", L"", L"0 row", L"0 baris"},
        {3, NULL, L"BBB2", L"BBB2", L"1 row", L"1 baris"},
        {3, NULL, L"BBB", L"", L"0 row", L"0 baris"},
        {4, NULL, L"AMPANG", L"CCC3,AAA1", L"2 rows", L"2 baris"},
        {5, NULL, L"ampang", L"CCC3", L"1 row", L"1 baris"},
        {6, NULL, L"RAZAK", L"", L"0 row", L"0 baris"},
        {4, NULL, L"'", L"FFF6", L"1 row", L"1 baris"},
        {7, NULL, L"'BRIEN", L"EEE5", L"1 row", L"1 baris"},
        {7, NULL, L"O", L"EEE5,DDD4,BBB2", L"3 rows", L"3 baris"},
    };
    for (int english : {1, 0}) {
        UseEnglish = english;
        std::wstring before;
        std::vector<std::wstring> plates, counts;
        bool listHiddenBefore = false;
        EXPECT_TRUE(Open([&](HWND dialog) {
            HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
            before = booktest::Text(dialog, IDC_DIARY_COUNT);
            listHiddenBefore = !IsWindowVisible(list);
            for (const Case &c : kCases) {
                ChooseView(dialog, c.view);
                SendDlgItemMessageW(dialog, IDC_DIARY_FINANCIER, CB_SETCURSEL, 0, 0);
                if (c.financier != NULL) ChooseFinancier(dialog, c.financier);
                SetDlgItemTextW(dialog, IDC_DIARY_FIND, c.find);
                booktest::Click(dialog, IDC_DIARY_SHOW);
                plates.push_back(Join(ListedPlates(list)));
                counts.push_back(booktest::Text(dialog, IDC_DIARY_COUNT));
            }
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }));
        EXPECT_EQ(before, L"") << "nothing is counted before Show";
        EXPECT_TRUE(listHiddenBefore);
        ASSERT_EQ(plates.size(), ARRAYSIZE(kCases));
        for (size_t i = 0; i < ARRAYSIZE(kCases); i++) {
            SCOPED_TRACE("case " + std::to_string(i) + (english ? " English" : " Malay"));
            EXPECT_EQ(plates[i], kCases[i].plates);
            EXPECT_EQ(counts[i], english ? kCases[i].english : kCases[i].malay);
        }
        EXPECT_TRUE(live::Shown.empty()) << "no query failed";
    }
}

TEST_F(DiaryWindow, EmptyOrOverlongFindTextIsRefused) {
    std::vector<std::wstring> texts;
    std::wstring count;
    EXPECT_TRUE(Open([&](HWND dialog) {
        for (int view : {3, 4, 7}) {
            ChooseView(dialog, view);
            SetDlgItemTextW(dialog, IDC_DIARY_FIND, L"");
            booktest::Click(dialog, IDC_DIARY_SHOW);
            texts.push_back(live::Shown.empty() ? L"" : live::Shown.back().text);
        }
        ChooseView(dialog, 4);
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, std::wstring(300, L'\'').c_str());
        booktest::Click(dialog, IDC_DIARY_SHOW);
        texts.push_back(live::Shown.empty() ? L"" : live::Shown.back().text);
        count = booktest::Text(dialog, IDC_DIARY_COUNT);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], L"Please key in the Plate No. in the find box first.");
    EXPECT_EQ(texts[1], L"Please key in the Location in the find box first.");
    EXPECT_EQ(texts[2], L"Please key in the Remark in the find box first.");
    EXPECT_EQ(texts[3], L"The text in the find box is too long to search for.");
    EXPECT_EQ(count, L"0 row(no data)");
}

// Every text of the window that reaches a statement, with each attempt:
// the diary keeps every row (or takes exactly the change asked for), and a
// search still logs.
TEST_F(DiaryWindow, InjectionAttemptsChangeNothing) {
    const wchar_t *const kAttempts[] = {L"'", L"'; DELETE FROM VLS; --", L"X' OR '1'='1"};
    enum FieldKind { kFind, kFinancier, kOwner, kLocation, kRemark, kYear };
    struct Target {
        FieldKind kind;
        int view;
        const char *name;
    };
    const Target kTargets[] = {
        {kFind, 3, "plate find"},      {kFind, 4, "location find"}, {kFind, 5, "location find [Found]"},
        {kFind, 6, "location find [New]"}, {kFind, 7, "remark find"}, {kFinancier, 0, "financier, All"},
        {kFinancier, 1, "financier, Found Only"}, {kOwner, 0, "owner"},  {kLocation, 0, "location"},
        {kRemark, 0, "remark"},        {kYear, 0, "Delete Before year"},
    };
    for (const Target &target : kTargets) {
        for (const wchar_t *attempt : kAttempts) {
            SCOPED_TRACE(std::string(target.name) + ": " + testsupport::Utf8(attempt));
            std::vector<std::string> before = DiaryRows();
            size_t shownBefore = live::Shown.size();
            std::wstring count;
            int rowIdChanged = 0;
            EXPECT_TRUE(Open([&](HWND dialog) {
                HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
                ChooseView(dialog, target.view);
                switch (target.kind) {
                case kFind:
                    SetDlgItemTextW(dialog, IDC_DIARY_FIND, attempt);
                    booktest::Click(dialog, IDC_DIARY_SHOW);
                    break;
                case kFinancier:
                    ChooseFinancier(dialog, attempt);
                    booktest::Click(dialog, IDC_DIARY_SHOW);
                    break;
                case kOwner:
                    SetDlgItemTextW(dialog, IDC_DIARY_OWNER, attempt);
                    booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
                    break;
                case kLocation:
                case kRemark: {
                    booktest::Click(dialog, IDC_DIARY_SHOW);
                    booktest::ClickRow(dialog, list, 2);  // rowid 4
                    WCHAR rowId[16];
                    ListCellText(list, 2, 9, rowId, 16);
                    rowIdChanged = _wtoi(rowId);
                    SetDlgItemTextW(dialog, target.kind == kLocation ? IDC_DIARY_LOCATION_EDIT : IDC_DIARY_REMARK_EDIT,
                                    attempt);
                    booktest::Click(dialog, IDC_DIARY_SAVE);
                    break;
                }
                case kYear:
                    SetDlgItemTextW(dialog, IDC_DIARY_BEFORE_YEAR, attempt);
                    SendDlgItemMessageW(dialog, IDC_DIARY_BEFORE_MONTH, CB_SETCURSEL, 3, 0);
                    booktest::Click(dialog, IDC_DIARY_DELETE_BEFORE);
                    break;
                }
                count = booktest::Text(dialog, IDC_DIARY_COUNT);
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }));
            std::vector<std::string> after = DiaryRows();
            if (target.kind == kLocation || target.kind == kRemark) {
                ASSERT_EQ(rowIdChanged, 4);
                EXPECT_EQ(DiaryCell(4, target.kind == kLocation ? "C8" : "C10"), testsupport::Utf8(attempt))
                    << "saved as typed";
                ASSERT_EQ(after.size(), before.size());
                for (size_t i = 0; i < after.size(); i++) {
                    if ((int)i + 1 == rowIdChanged) continue;
                    EXPECT_EQ(after[i], before[i]) << "row " << i + 1;
                }
                RunOnDiary("UPDATE VLS SET C8='KLCC', C10='TOWED' WHERE rowid = 4");
            } else {
                EXPECT_EQ(after, before);
            }
            if (target.kind == kFind || target.kind == kFinancier) {
                // An apostrophe alone matches "D'SARA" (a location) and "O'BRIEN ST" (a remark).
                bool oneRow = target.kind == kFind && (target.view == 4 || target.view == 5 || target.view == 7) &&
                              wcscmp(attempt, L"'") == 0;
                EXPECT_EQ(count, oneRow ? L"1 row" : L"0 row");
            }
            EXPECT_FALSE(ShownSince(shownBefore, L"select_stmt"));
            EXPECT_FALSE(ShownSince(shownBefore, L"sql_stmt"));
            EXPECT_FALSE(ShownSince(shownBefore, L"Error")) << "no failed statement";
            ExpectSearchLogs();
            RunOnDiary("DELETE FROM VLS WHERE rowid > 6");
        }
    }
}

TEST_F(DiaryWindow, BulkDeletionsWithAFailedBackupDeleteNothing) {
    enum Command { kDeleteAll, kDeleteBefore, kDeletePage, kDeleteOwner };
    const char *const kNames[] = {"Delete All Data", "Delete Before This", "Delete This Page", "Delete Diary Owner"};
    for (int command : {kDeleteAll, kDeleteBefore, kDeletePage, kDeleteOwner}) {
        SCOPED_TRACE(kNames[command]);
        std::vector<std::string> before = DiaryRows();
        size_t shownBefore = live::Shown.size();
        BookCopyHook = FailingCopy;
        EXPECT_TRUE(Open([&](HWND dialog) {
            booktest::Click(dialog, IDC_DIARY_SHOW);
            switch (command) {
            case kDeleteAll: booktest::Click(dialog, IDC_DIARY_DELETE_ALL); break;
            case kDeleteBefore:
                SetDlgItemTextW(dialog, IDC_DIARY_BEFORE_YEAR, L"2030");
                SendDlgItemMessageW(dialog, IDC_DIARY_BEFORE_MONTH, CB_SETCURSEL, 3, 0);
                booktest::Click(dialog, IDC_DIARY_DELETE_BEFORE);
                break;
            case kDeletePage: booktest::Click(dialog, IDC_DIARY_DELETE_PAGE); break;
            case kDeleteOwner:
                SetDlgItemTextW(dialog, IDC_DIARY_OWNER, L"ALI");
                booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
                break;
            }
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }));
        BookCopyHook = NULL;
        EXPECT_EQ(DiaryRows(), before);
        EXPECT_FALSE(ShownSince(shownBefore, L"Finish"));
        ASSERT_GT(live::Shown.size(), shownBefore);
        EXPECT_EQ(live::Shown.back().text, L"The backup copy of the book could not be made; nothing was changed.");
        ExpectSearchLogs();
    }
}

TEST_F(DiaryWindow, DeleteBeforeChecksTheYearFirstThenDeletesOlderRows) {
    struct Case {
        const wchar_t *year;
        int month;
        const wchar_t *message;
    };
    const Case kChecks[] = {
        {L"", 3, L"Please key in the year for 'Delete Before This'."},
        {L"201", 0, L"The year for the 'Delete Before This' must be 4 digits."},
        {L"1969", 0, L"The year for the 'Delete Before This' must be between 1970 and 2040."},
        {L"2041", 3, L"The year for the 'Delete Before This' must be between 1970 and 2040."},
        {L"2016", 0, L"Please select the month for the 'Delete Before This'."},
    };
    std::vector<std::wstring> messages;
    EXPECT_TRUE(Open([&](HWND dialog) {
        for (const Case &c : kChecks) {
            SetDlgItemTextW(dialog, IDC_DIARY_BEFORE_YEAR, c.year);
            SendDlgItemMessageW(dialog, IDC_DIARY_BEFORE_MONTH, CB_SETCURSEL, (WPARAM)c.month, 0);
            booktest::Click(dialog, IDC_DIARY_DELETE_BEFORE);
            messages.push_back(live::Shown.empty() ? L"" : live::Shown.back().text);
        }
        SetDlgItemTextW(dialog, IDC_DIARY_BEFORE_YEAR, L"2015");
        SendDlgItemMessageW(dialog, IDC_DIARY_BEFORE_MONTH, CB_SETCURSEL, 3, 0);
        booktest::Click(dialog, IDC_DIARY_DELETE_BEFORE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    for (size_t i = 0; i < ARRAYSIZE(kChecks); i++) EXPECT_EQ(messages[i], kChecks[i].message) << i;
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), 5) << "data before 01-Mar-2015 only";
    EXPECT_EQ(DiaryCell(1, "C3"), "<none>");
    EXPECT_NE(DiaryCell(2, "C3"), "<none>") << "the first of the month stays";
    ASSERT_FALSE(live::Shown.empty());
    EXPECT_EQ(live::Shown.back().text, L"Finish deleting the data.");
    testsupport::CheckDb backup(DiaryBackupPath);
    EXPECT_EQ(backup.Count("VLS"), 6) << "the backup holds the diary as it was";
    DeleteFileW(DiaryBackupPath);
}

TEST_F(DiaryWindow, DeleteOwnerBlanksThatOwnerExactly) {
    std::wstring empty, done;
    EXPECT_TRUE(Open([&](HWND dialog) {
        booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
        empty = live::Shown.empty() ? L"" : live::Shown.back().text;
        SetDlgItemTextW(dialog, IDC_DIARY_OWNER, L"AL");
        booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
        SetDlgItemTextW(dialog, IDC_DIARY_OWNER, L"ALI");
        booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
        done = live::Shown.empty() ? L"" : live::Shown.back().text;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(empty,
              L"Please key in the 'Diary Owner' in the input box next to the 'Delete Diary Owner' button first.");
    EXPECT_EQ(done, L"Data with 'Diary Owner' = 'ALI' has been deleted.\r\nNOTE : When you do the 'Update Diary' "
                    L"the empty rows will disappear.");
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS where C2 = '0' and C3 = ''"), 2);
    for (int rowId : {3, 4}) EXPECT_EQ(DiaryCell(rowId, "C11"), "") << rowId;
    EXPECT_EQ(DiaryCell(5, "C11"), "BOB");
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), 6) << "blanked, not deleted";
    DeleteFileW(DiaryBackupPath);
}

TEST_F(DiaryWindow, DeleteRowBlanksItAndTheSelectionMovesBelow) {
    int allSelected = -1, foundSelected = -1, allCount = -1, foundCount = -1;
    std::wstring question, blankPlate, foundNext;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        booktest::ClickRow(dialog, list, 1);  // EEE5, rowid 5
        SendMessageW(list, WM_KEYDOWN, VK_F4, 0);
        question = live::Shown.empty() ? L"" : live::Shown.back().text;
        allSelected = SelectedListRow(list);
        allCount = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        blankPlate = booktest::Cell(list, 1, 1);
        // Found Only: FFF6, DDD4, CCC3, BBB2; the blanked DDD4 leaves.
        ChooseView(dialog, 1);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        booktest::ClickRow(dialog, list, 1);
        booktest::Click(dialog, IDC_DIARY_DELETE_ROW);
        foundSelected = SelectedListRow(list);
        foundCount = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        foundNext = foundSelected >= 0 ? booktest::Cell(list, foundSelected, 1) : L"";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(question, L"Are you sure that you want to delete this row?\r\nPlateNo = EEE5");
    EXPECT_EQ(DiaryCell(5, "C2"), "0");
    EXPECT_EQ(DiaryCell(5, "C3"), "");
    EXPECT_EQ(allCount, 6) << "the blank row stays in All";
    EXPECT_EQ(blankPlate, L"");
    EXPECT_EQ(allSelected, 2);
    EXPECT_EQ(DiaryCell(4, "C2"), "0");
    EXPECT_EQ(foundCount, 3);
    EXPECT_EQ(foundNext, L"CCC3") << "the row that was below";
}

// A one-row change that the diary refuses (another program holds it
// locked): one failure shown, the diary, the window and what was typed as
// they were, and the program goes on.
TEST_F(DiaryWindow, RefusedRowChangesLeaveTheDiaryTheWindowAndTheProgram) {
    struct Case {
        const char *name;
        int command;
        size_t messages;  // the question, if any, and the failure
    };
    const Case kCases[] = {
        {"Delete This Row", IDC_DIARY_DELETE_ROW, 2},
        {"Save Changes", IDC_DIARY_SAVE, 1},
    };
    const std::vector<std::string> before = DiaryRows();
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        testsupport::CheckDb other(live::kDiaryBook);
        ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK) << other.message();
        size_t shownBefore = live::Shown.size();
        bool open = false;
        int rows = -1;
        std::wstring location;
        EXPECT_TRUE(Open([&](HWND dialog) {
            HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
            booktest::Click(dialog, IDC_DIARY_SHOW);
            booktest::ClickRow(dialog, list, 1);
            SetDlgItemTextW(dialog, IDC_DIARY_LOCATION_EDIT, L"JALAN BARU");
            booktest::Click(dialog, c.command);
            open = IsWindowVisible(dialog) != FALSE;
            rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
            location = booktest::Text(dialog, IDC_DIARY_LOCATION_EDIT);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }));
        other.Exec("ROLLBACK");
        ASSERT_NE(MainWindow, (HWND)NULL) << "the program goes on";
        EXPECT_TRUE(open);
        EXPECT_EQ(rows, 6);
        EXPECT_EQ(location, L"JALAN BARU");
        ASSERT_EQ(live::Shown.size(), shownBefore + c.messages);
        EXPECT_EQ(live::Shown.back().caption, L"Error");
        EXPECT_EQ(DiaryRows(), before);
    }
    ExpectSearchLogs();
}

TEST_F(DiaryWindow, DeletePageBlanksOnlyTheWhollyVisibleRows) {
    for (int i = 0; i < 80; i++) {
        WCHAR plate[16];
        swprintf(plate, 16, L"PG%02d", i);
        AddDiaryRow({L"2018-01-01 10:00:00", 1, plate, L"AMBANK", L"KLCC", L"", L""});
    }
    int top = -1, perPage = 0, items = 0;
    std::vector<int> pageIds;
    int partlyVisible = 0;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        SendMessageW(list, LVM_ENSUREVISIBLE, 30, FALSE);
        top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
        for (int row = top; row < top + perPage; row++) pageIds.push_back(_wtoi(booktest::Cell(list, row, 9).c_str()));
        partlyVisible = _wtoi(booktest::Cell(list, top + perPage, 9).c_str());
        booktest::Click(dialog, IDC_DIARY_DELETE_PAGE);
        items = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    ASSERT_GT(perPage, 0);
    EXPECT_EQ(items, 86) << "blank rows stay in All";
    for (int rowId : pageIds) EXPECT_EQ(DiaryCell(rowId, "C3"), "") << rowId;
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS where C3 = ''"), perPage);
    ASSERT_GT(partlyVisible, 0);
    EXPECT_NE(DiaryCell(partlyVisible, "C3"), "") << "the partly visible row stays";
    DeleteFileW(DiaryBackupPath);
}

// The diary backups on drive C.
std::vector<std::wstring> DiaryBackups() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(L"C:\\KorvaneDiary - BACKUP *.db", &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(std::wstring(L"c:\\") + data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// Clearing page after page, and owners, keeps a backup before each change
// but only the newest few on drive C; a deletion that finds the book as the
// last backup holds it takes no copy.
TEST_F(DiaryWindow, PageAndOwnerDeletionsKeepOnlyTheNewestBackups) {
    for (const std::wstring &old : DiaryBackups()) DeleteFileW(old.c_str());
    for (int i = 0; i < 80; i++) {
        WCHAR plate[16];
        swprintf(plate, 16, L"PG%02d", i);
        AddDiaryRow({L"2018-01-01 10:00:00", 1, plate, L"AMBANK", L"KLCC", L"", L"SOMEONE"});
    }
    int blanksBeforeLastPage = -1;
    std::vector<size_t> counts;
    std::wstring afterPages;
    std::vector<std::wstring> afterOwner;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        for (int page = 0; page < 5; page++) {
            SendMessageW(list, LVM_ENSUREVISIBLE, page * 15, FALSE);
            if (page == 4) blanksBeforeLastPage = live::CountRows(live::kDiaryBook, "select 1 from VLS where C3 = ''");
            booktest::Click(dialog, IDC_DIARY_DELETE_PAGE);
            counts.push_back(DiaryBackups().size());
        }
        afterPages = DiaryBackupPath;
        for (const wchar_t *owner : {L"SOMEONE", L"NOBODY", L"NOBODY"}) {
            SetDlgItemTextW(dialog, IDC_DIARY_OWNER, owner);
            booktest::Click(dialog, IDC_DIARY_DELETE_OWNER);
            counts.push_back(DiaryBackups().size());
            afterOwner.push_back(DiaryBackupPath);
        }
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(counts, (std::vector<size_t>{1, 2, 3, 3, 3, 3, 3, 3})) << "never more than three";
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS where C11 = 'SOMEONE'"), 0) << "the owner went";
    std::vector<std::wstring> kept = DiaryBackups();
    ASSERT_EQ(kept.size(), (size_t)kKeptBackups);
    ASSERT_EQ(afterOwner.size(), 3u);
    EXPECT_NE(afterOwner[1], afterOwner[0]) << "the book changed: a new backup";
    EXPECT_EQ(afterOwner[2], afterOwner[1]) << "the owner that matched nothing left the book as its backup holds it";
    for (const std::wstring &path : {afterPages, afterOwner[0], afterOwner[1]})
        EXPECT_NE(std::find(kept.begin(), kept.end(), path), kept.end()) << testsupport::Utf8(path);
    EXPECT_EQ(testsupport::ReadBookRows(afterOwner[2], "select count(*) from VLS where C11 = 'SOMEONE'")[0][0], "0");
    EXPECT_EQ(testsupport::ReadBookRows(afterOwner[2], "select count(*) from VLS")[0][0], "86");
    EXPECT_EQ(testsupport::ReadBookRows(afterPages, "select count(*) from VLS where C3 = ''")[0][0],
              std::to_string(blanksBeforeLastPage))
        << "the backup before the last page holds the diary as it was then";
    for (const std::wstring &old : kept) DeleteFileW(old.c_str());
}

TEST_F(DiaryWindow, ClicksKeysAndDoubleClickFillByView) {
    std::wstring plateFind, locationFind, remarkFind, locationEdit, afterDown, viewAfter, selectedPlate;
    std::wstring saveQuestionRemark;
    int countAfterSave = -1;
    EXPECT_TRUE(Open([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DIARY_LIST);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        booktest::ClickRow(dialog, list, 1);  // EEE5
        plateFind = booktest::Text(dialog, IDC_DIARY_FIND);
        locationEdit = booktest::Text(dialog, IDC_DIARY_LOCATION_EDIT);
        NMLVKEYDOWN key = {};
        key.hdr.hwndFrom = list;
        key.hdr.idFrom = IDC_DIARY_LIST;
        key.hdr.code = LVN_KEYDOWN;
        key.wVKey = VK_DOWN;
        SendMessageW(dialog, WM_NOTIFY, IDC_DIARY_LIST, (LPARAM)&key);
        afterDown = booktest::Text(dialog, IDC_DIARY_LOCATION_EDIT);
        ChooseView(dialog, 4);
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, L"A");
        SendMessageW(GetDlgItem(dialog, IDC_DIARY_FIND), WM_KEYDOWN, VK_RETURN, 0);  // Enter runs Show
        booktest::ClickRow(dialog, list, 0);
        locationFind = booktest::Text(dialog, IDC_DIARY_FIND);
        ChooseView(dialog, 7);
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, L"TOWED");
        booktest::Click(dialog, IDC_DIARY_SHOW);
        booktest::ClickRow(dialog, list, 0);
        remarkFind = booktest::Text(dialog, IDC_DIARY_FIND);
        // Save in the remark view runs the search again: the row leaves.
        SetDlgItemTextW(dialog, IDC_DIARY_REMARK_EDIT, L"RELEASED");
        SendMessageW(GetDlgItem(dialog, IDC_DIARY_REMARK_EDIT), WM_KEYDOWN, VK_RETURN, 0);
        countAfterSave = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        // Double click in another view: back to All on the row's place.
        ChooseView(dialog, 1);
        booktest::Click(dialog, IDC_DIARY_SHOW);
        booktest::ClickRow(dialog, list, 3);  // CCC3, rowid 3
        NMITEMACTIVATE dbl = {};
        dbl.hdr.hwndFrom = list;
        dbl.hdr.idFrom = IDC_DIARY_LIST;
        dbl.hdr.code = NM_DBLCLK;
        RunOnDiary("DELETE FROM VLS WHERE rowid = 1");  // rowids no longer run 1 to n
        SendMessageW(dialog, WM_NOTIFY, IDC_DIARY_LIST, (LPARAM)&dbl);
        viewAfter = booktest::Text(dialog, IDC_DIARY_VIEW);
        int selected = SelectedListRow(list);
        selectedPlate = selected >= 0 ? booktest::Cell(list, selected, 1) : L"";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(plateFind, L"EEE5");
    EXPECT_EQ(locationEdit, L"SHAH ALAM");
    EXPECT_EQ(afterDown, L"KLCC") << "the row below";
    EXPECT_EQ(locationFind, L"D'SARA");
    EXPECT_EQ(remarkFind, L"TOWED");
    EXPECT_EQ(DiaryCell(4, "C10"), "RELEASED");
    EXPECT_EQ(countAfterSave, 0);
    EXPECT_EQ(viewAfter, L"All");
    EXPECT_EQ(selectedPlate, L"CCC3");
}

// While a job runs (and pumps), no second command starts.
TEST_F(DiaryWindow, CommandsWaitForTheRunningJob) {
    std::wstring count;
    EXPECT_TRUE(Open([&](HWND dialog) {
        BookJobBusy = 1;
        for (int id : {IDC_DIARY_SHOW, IDC_DIARY_DELETE_ALL, IDC_DIARY_DELETE_PAGE, IDC_DIARY_DELETE_BEFORE})
            booktest::Click(dialog, id);
        count = booktest::Text(dialog, IDC_DIARY_COUNT);
        BookJobBusy = 0;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_TRUE(live::Shown.empty()) << "no question was asked";
    EXPECT_EQ(count, L"");
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select 1 from VLS"), 6);
}

}  // namespace
