// Import Diary, Use BackUp Diary and Import Remark over the live main
// window: the dialogs' checks, what the own books hold after an import or
// a restore, and the faults that must leave the own books as they were.
#include <windows.h>

#include <gtest/gtest.h>
#include <strsafe.h>

#include <functional>
#include <string>
#include <vector>

#include "bookjob.h"
#include "booktest.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kImportBook[] = L"C:\\ImportedBook.db";
const char kOwnPassword[] = "OWNPASS";
const wchar_t kOwnPasswordW[] = L"OWNPASS";
const wchar_t kFilePasswordW[] = L"FILEPASS";

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

// Runs sql with text cells bound in order on a book file of the test's own.
void RunOn(const std::wstring &path, const char *sql, const std::vector<std::string> &cells) {
    sqlite3 *db = NULL;
    ASSERT_EQ(sqlite3_open(testsupport::Utf8(path).c_str(), &db), SQLITE_OK);
    sqlite3_stmt *stmt = NULL;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, NULL), SQLITE_OK) << sql;
    for (size_t i = 0; i < cells.size(); i++)
        sqlite3_bind_text(stmt, (int)i + 1, cells[i].c_str(), (int)cells[i].size(), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sql;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

// A diary to import (or restore) with the rows given: each row is its
// rowid and eleven cells.
struct DiaryFixtureRow {
    long long rowid;
    std::vector<std::string> cells;
};
void MakeDiary(const std::wstring &path, const std::vector<DiaryFixtureRow> &rows) {
    std::string error;
    ASSERT_EQ(datatool::MakeDiaryFile(path.c_str(), 15, 0, false, {{L"D", kFilePasswordW}}, &error), 0) << error;
    for (const auto &row : rows) {
        std::vector<std::string> cells = row.cells;
        cells.insert(cells.begin(), std::to_string(row.rowid));
        RunOn(path, "insert into VLS(rowid,C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11) values (?,?,?,?,?,?,?,?,?,?,?,?)",
              cells);
    }
}

std::vector<std::string> DiaryCells(int n, const std::string &location = "JALAN AMPANG",
                                    const std::string &remark = "") {
    return {"2026-03-0" + std::to_string(n % 9 + 1) + " 10:00:00", "1", Field(L"WA" + std::to_wstring(n) + L"B"),
            Field(L"05 Mar 2025"), Field(L"SALOON"), "MAYBANK", Field(L"3"), location, "DV1", remark, "FIRST OWNER"};
}

// A large diary for the faults half-way: rows 1..count.
void MakeLargeDiary(const std::wstring &path, int count) {
    MakeDiary(path, {});
    sqlite3 *db = NULL;
    ASSERT_EQ(sqlite3_open(testsupport::Utf8(path).c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "begin", NULL, NULL, NULL);
    sqlite3_stmt *stmt = NULL;
    sqlite3_prepare_v2(db, "insert into VLS values (?,?,?,?,?,?,?,?,?,?,?)", -1, &stmt, NULL);
    for (int i = 1; i <= count; i++) {
        std::vector<std::string> cells = DiaryCells(i, "LOCATION " + std::string(80, 'x'), std::string(60, 'r'));
        for (int c = 0; c < 11; c++) sqlite3_bind_text(stmt, c + 1, cells[c].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "commit", NULL, NULL, NULL);
    sqlite3_close(db);
}

// A remark book to import of version (1000 has six columns) with rows of
// plate, remark text and follow-up (ignored for 1000).
struct RemarkFixtureRow {
    std::wstring plate;  // empty: an empty C1
    std::wstring remark;
    std::string followUp;
};
void MakeRemarkBook(const std::wstring &path, int version, const std::vector<RemarkFixtureRow> &rows) {
    std::string error;
    ASSERT_EQ(datatool::MakeRemarkFile(path.c_str(), version, 0, {{L"D", kFilePasswordW}}, &error), 0) << error;
    for (const auto &row : rows) {
        std::vector<std::string> cells = {row.plate.empty() ? "" : Field(row.plate), Field(L"9"),
                                          Field(L"01 Jan 2026"), Field(L"IMPORT BANK"), Field(row.remark),
                                          "2026-06-01 08:00:00"};
        if (version == 1000) {
            RunOn(path, "insert into VLS values (?,?,?,?,?,?)", cells);
        } else {
            cells.push_back(row.followUp);
            RunOn(path, "insert into VLS values (?,?,?,?,?,?,?)", cells);
        }
    }
}

void MakeLargeRemarkBook(const std::wstring &path, int count) {
    std::string error;
    ASSERT_EQ(datatool::MakeRemarkFile(path.c_str(), 1002, count, {{L"D", kFilePasswordW}}, &error), 0) << error;
}

// Damages the book at path from its middle page on: garbage over a few
// pages (corrupt), or the file cut there (truncated).
void Damage(const std::wstring &path, bool truncate) {
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    size_t page = 4096;
    size_t middle = bytes.size() / 2 / page * page;
    ASSERT_GT(middle, page);
    if (truncate) {
        bytes.resize(middle);
    } else {
        for (size_t i = middle; i < bytes.size() && i < middle + bytes.size() / 4; i++)
            bytes[i] = (unsigned char)(i * 7 + 13);
    }
    ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
}

// Names the backups in a folder that does not exist: no backup can be written.
void BlockedBackupName(WCHAR *buf, int count) { lstrcpynW(buf, L"C:\\KorvaneNoSuchFolder\\backup.db", count); }

// The copy into the place of the own diary stops half-way, as on a full
// disk; the checked backups copy as usual.
BOOL HalfCopy(const WCHAR *from, const WCHAR *to, BOOL failIfExists) {
    if (!CopyFileW(from, to, failIfExists)) return FALSE;
    size_t length = wcslen(to);
    if (length < 8 || _wcsicmp(to + length - 8, L".restore") != 0) return TRUE;
    std::vector<unsigned char> bytes;
    testsupport::ReadFileBytes(to, &bytes);
    bytes.resize(bytes.size() / 2);
    testsupport::WriteFileBytes(to, bytes);
    return TRUE;
}

enum class Job { kImportDiary, kImportRemark, kRestore };

class ImportTest : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        DeleteFileW(kImportBook);
        StringCchCopyW(DiaryPassword, ARRAYSIZE(DiaryPassword), kOwnPasswordW);
        StringCchCopyW(ImportFilePassword, ARRAYSIZE(ImportFilePassword), kFilePasswordW);
    }
    void TearDown() override {
        BookCopyHook = NULL;
        BookFlushHook = NULL;
        BookMoveHook = NULL;
        testsupport::ReleaseHeldFile();
        BackupNameHook = NULL;
        CloseImportBook();
        if (DiaryDb != NULL) sqlite3_exec(DiaryDb, "PRAGMA max_page_count = 1073741823", NULL, NULL, NULL);
        if (RemarkDb != NULL) sqlite3_exec(RemarkDb, "PRAGMA max_page_count = 1073741823", NULL, NULL, NULL);
        BookWindowTest::TearDown();
        DeleteFileW(kImportBook);
        DeleteFileW(L"C:\\KorvaneDiary.db.restore");
        for (const auto &name : testsupport::MatchingFiles(L"C:\\* - BACKUP *.db")) DeleteFileW((L"C:\\" + name).c_str());
    }

    static void RunOnRemark(const char *sql) {
        ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
        ASSERT_EQ(sqlite3_exec(RemarkDb, sql, NULL, NULL, NULL), SQLITE_OK) << sql;
    }

    // Sets up what the main window's file choice leaves for job on path.
    static void ChooseFile(Job job, const std::wstring &path) {
        if (job == Job::kRestore) {
            PendingAction = 4;
            StringCchCopyW(DiaryBackupPath, ARRAYSIZE(DiaryBackupPath), path.c_str());
            return;
        }
        PendingAction = job == Job::kImportDiary ? 5 : 7;
        ASSERT_EQ(OpenBookConnection(&ImportDb, path.c_str()), SQLITE_OK);
        RemarkSchemaVersion = 0;
        SelectSql(ImportDb, L"SELECT C2 FROM PRS WHERE C1 ='DSV'", kModeRemarkVersion);
    }

    // Opens the job's dialog, fills its fields, clicks start and closes it
    // with its close box; texts receives the message line and the title.
    static bool RunDialog(Job job, const std::wstring &own, const std::wstring &file, const std::wstring &owner,
                          bool keepOwn, std::wstring *message, std::wstring *title) {
        bool remark = job == Job::kImportRemark;
        const wchar_t *caption = remark ? L"Import Remark" : job == Job::kRestore ? L"Use BackUp Diary" : L"Import Diary";
        return live::RunModal(
            caption,
            [remark] {
                if (remark)
                    ShowImportRemarkDialog(MainWindow);
                else
                    ShowImportDiaryDialog(MainWindow);
            },
            [&](HWND dialog) {
                SetDlgItemTextW(dialog, remark ? IDC_IR_OWN_PASSWORD : IDC_ID_OWN_PASSWORD, own.c_str());
                SetDlgItemTextW(dialog, remark ? IDC_IR_FILE_PASSWORD : IDC_ID_FILE_PASSWORD, file.c_str());
                if (!remark) {
                    HWND edit = GetDlgItem(dialog, IDC_ID_OWNER);
                    for (wchar_t c : owner) SendMessageW(edit, WM_CHAR, c, 1);
                }
                if (remark && !keepOwn) booktest::Click(dialog, IDC_IR_TAKE_IMPORTED);
                booktest::Click(dialog, remark ? IDC_IR_START : IDC_ID_START);
                if (!IsWindow(dialog)) return;  // "No" ended it
                if (message != NULL) *message = booktest::Text(dialog, remark ? IDC_IR_MSGBOX : IDC_ID_MSGBOX);
                if (title != NULL) {
                    WCHAR text[128] = {0};
                    GetWindowTextW(dialog, text, ARRAYSIZE(text));
                    *title = text;
                }
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            });
    }

    // Every row and setting of a book as one text.
    static std::string BookText(const wchar_t *book) {
        std::string text;
        for (const char *sql : {"select * from VLS order by rowid", "select C1||'='||C2 from PRS order by C1"}) {
            for (const auto &row : testsupport::ReadBookRows(book, sql)) {
                for (const auto &cell : row) text += cell + "|";
                text += "\n";
            }
        }
        return text;
    }

    // A search of the main window logs its plate in the diary.
    static bool SearchLogs() {
        int before = live::CountRows(live::kDiaryBook, "select rowid from VLS");
        SetWindowTextW(PlateEntryEdit, L"QQ1234");
        SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_FIND, BN_CLICKED), (LPARAM)GetDlgItem(MainWindow, IDC_FIND));
        live::Pump();
        return live::CountRows(live::kDiaryBook, "select rowid from VLS") == before + 1;
    }

    static bool ErrorShown() {
        for (const auto &shown : live::Shown)
            if ((shown.type & MB_ICONERROR) == MB_ICONERROR) return true;
        return false;
    }
};

// ---- The dialogs' checks ------------------------------------------------------------

TEST_F(ImportTest, ChecksRefuseInOrderAndFocusTheField) {
    MakeDiary(kImportBook, {{1, DiaryCells(1)}});
    struct Case {
        Job job;
        std::wstring own, file, owner;
        const wchar_t *text;
        int focus;
        bool selected;
    };
    const Case cases[] = {
        {Job::kImportDiary, L"", L"", L"", L"Please key in your Diary Password.", IDC_ID_OWN_PASSWORD, false},
        {Job::kImportDiary, L"x", L"", L"", L"Please key in the Import Diary Password.", IDC_ID_FILE_PASSWORD, false},
        {Job::kRestore, L"x", L"", L"", L"Please key in the BackUp Diary Password.", IDC_ID_FILE_PASSWORD, false},
        {Job::kImportDiary, L"x", L"y", L"",
         L"Please key in the 'Diary Owner' name, otherwise you wouldn't able to distinguish the data in your diary.",
         IDC_ID_OWNER, false},
        {Job::kImportDiary, L"wrong", L"y", L"B", L"Your Diary Password is not correct.", IDC_ID_OWN_PASSWORD, true},
        {Job::kRestore, L"ownpass", L"wrong", L"", L"The BackUp Diary Password is not correct.", IDC_ID_FILE_PASSWORD,
         true},
        {Job::kImportDiary, L"ownpass", L"wrong", L"B", L"The Import Diary Password is not correct.",
         IDC_ID_FILE_PASSWORD, true},
        {Job::kImportRemark, L"", L"", L"", L"Please key in your Diary Password.", IDC_IR_OWN_PASSWORD, false},
        {Job::kImportRemark, L"x", L"", L"", L"Please key in the Import Remark Password.", IDC_IR_FILE_PASSWORD, false},
        {Job::kImportRemark, L"wrong", L"y", L"", L"Your Diary Password is not correct.", IDC_IR_OWN_PASSWORD, true},
        {Job::kImportRemark, L"OwnPass", L"wrong", L"", L"The Import Remark Password is not correct.",
         IDC_IR_FILE_PASSWORD, true},
    };
    std::string diary = BookText(live::kDiaryBook);
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << (int)c.job << " " << testsupport::Utf8(c.text));
        ChooseFile(c.job, kImportBook);
        live::Shown.clear();
        int focus = 0;
        DWORD selection = 0;
        bool remark = c.job == Job::kImportRemark;
        const wchar_t *caption = remark ? L"Import Remark" : c.job == Job::kRestore ? L"Use BackUp Diary" : L"Import Diary";
        EXPECT_TRUE(live::RunModal(
            caption, [remark] { remark ? ShowImportRemarkDialog(MainWindow) : ShowImportDiaryDialog(MainWindow); },
            [&](HWND dialog) {
                SetDlgItemTextW(dialog, remark ? IDC_IR_OWN_PASSWORD : IDC_ID_OWN_PASSWORD, c.own.c_str());
                SetDlgItemTextW(dialog, remark ? IDC_IR_FILE_PASSWORD : IDC_ID_FILE_PASSWORD, c.file.c_str());
                if (!remark) SetDlgItemTextW(dialog, IDC_ID_OWNER, c.owner.c_str());
                booktest::Click(dialog, remark ? IDC_IR_START : IDC_ID_START);
                focus = GetDlgCtrlID(GetFocus());
                selection = (DWORD)SendDlgItemMessageW(dialog, c.focus, EM_GETSEL, 0, 0);
                EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, remark ? IDC_IR_START : IDC_ID_START)));
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }));
        ASSERT_EQ(live::Shown.size(), 1u);
        EXPECT_EQ(live::Shown[0].text, c.text);
        EXPECT_EQ(live::Shown[0].caption, L"Error");
        EXPECT_EQ(focus, c.focus);
        if (c.selected) {
            size_t length = (c.focus == IDC_ID_OWN_PASSWORD || c.focus == IDC_IR_OWN_PASSWORD) ? c.own.size() : c.file.size();
            EXPECT_EQ(LOWORD(selection), 0);
            EXPECT_EQ(HIWORD(selection), (WORD)length) << "the wrong password is selected";
        }
        EXPECT_EQ(ImportDb, (sqlite3 *)NULL) << "closing the dialog closes the chosen book";
        EXPECT_EQ(RemarkToScreen, 1);
    }
    EXPECT_EQ(BookText(live::kDiaryBook), diary);
    EXPECT_STREQ(DiaryPassword, kOwnPasswordW);
}

TEST_F(ImportTest, DialogTextsFollowTheLanguage) {
    UseEnglish = 0;
    MakeDiary(kImportBook, {});
    std::wstring restoreTitle, restoreButton, ownerLabel, remarkYou;
    bool ownerHidden = false;
    ChooseFile(Job::kRestore, kImportBook);
    EXPECT_TRUE(live::RunModal(L"Guna Diary BackUp", [] { ShowImportDiaryDialog(MainWindow); }, [&](HWND dialog) {
        restoreButton = booktest::Text(dialog, IDC_ID_START);
        ownerHidden = !IsWindowVisible(GetDlgItem(dialog, IDC_ID_OWNER));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    ChooseFile(Job::kImportDiary, kImportBook);
    EXPECT_TRUE(live::RunModal(L"Import Diary", [] { ShowImportDiaryDialog(MainWindow); }, [&](HWND dialog) {
        ownerLabel = booktest::Text(dialog, IDC_ID_OWNER_LABEL);
        // The owner name takes neither an apostrophe nor '|', and is upper case.
        HWND edit = GetDlgItem(dialog, IDC_ID_OWNER);
        for (wchar_t c : std::wstring(L"d'cr|uz")) SendMessageW(edit, WM_CHAR, c, 1);
        EXPECT_EQ(booktest::Text(dialog, IDC_ID_OWNER), L"DCRUZ");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(restoreButton, L"Guna Diary BackUp");
    EXPECT_TRUE(ownerHidden);
    EXPECT_EQ(ownerLabel, L"Nama 'Diary Owner' yang diimport:");
}

// ---- Import Diary -------------------------------------------------------------------

TEST_F(ImportTest, ImportDiaryAppendsEveryRowidWithTheOwner) {
    RunOnDiary("insert into VLS values ('2026-01-01 09:00:00','0','OWNPLATE','','','','','HOME','DV0','','')");
    int ownRows = live::CountRows(live::kDiaryBook, "select rowid from VLS");
    std::string longRemark(300, 'R');
    longRemark[150] = '\'';
    MakeDiary(kImportBook, {{1, DiaryCells(1)},
                            {2, DiaryCells(2, "JALAN D'CRUZ")},
                            {4, DiaryCells(4, "KLANG", longRemark)}});  // rowid 3 is a gap
    ChooseFile(Job::kImportDiary, kImportBook);
    std::wstring message, title;
    ASSERT_TRUE(RunDialog(Job::kImportDiary, L"ownpass", L"filepass", L"agent b", true, &message, &title));
    EXPECT_EQ(message, L"\r\nThe Diary has been imported.\r\nRow: 4 of 4.");
    EXPECT_EQ(title, L"Import Diary - Finished");
    EXPECT_EQ(ImportDb, (sqlite3 *)NULL);
    EXPECT_FALSE(ErrorShown());

    auto rows = testsupport::ReadBookRows(live::kDiaryBook, "select * from VLS order by rowid");
    ASSERT_EQ(rows.size(), (size_t)ownRows + 4);
    std::vector<std::vector<std::string>> expected;
    for (int n : {1, 2, 0, 4}) {
        std::vector<std::string> cells;
        if (n == 0)
            cells.assign(11, "");
        else
            cells = n == 2 ? DiaryCells(2, "JALAN D'CRUZ") : n == 4 ? DiaryCells(4, "KLANG", longRemark) : DiaryCells(1);
        cells[10] = "AGENT B";
        expected.push_back(cells);
    }
    for (int i = 0; i < 4; i++) EXPECT_EQ(rows[ownRows + i], expected[i]) << "imported row " << i + 1;
    EXPECT_EQ(rows[ownRows + 3][9].size(), 300u) << "a long cell is kept whole";
    ASSERT_TRUE(testsupport::FileExists(DiaryBackupPath)) << "a backup came first";
    EXPECT_EQ(testsupport::ReadBookRows(DiaryBackupPath, "select rowid from VLS").size(), (size_t)ownRows);
    EXPECT_TRUE(SearchLogs());
}

// A file of few rows with rowids far apart: every row comes, and the empty
// rows that stand for the missing rowids are never more than its rows, up
// to the largest rowid there is.
TEST_F(ImportTest, ImportDiaryBoundsTheEmptyRowsOfHugeGaps) {
    struct Case {
        const char *name;
        std::vector<long long> rowids;
        std::vector<int> rows;  // the imported rows in order: n is the file's n-th row, 0 an empty row
    };
    const Case cases[] = {
        {"gaps as many as the rows", {1, 4}, {1, 0, 0, 2}},
        {"one huge rowid", {1, 2, 2147483647LL}, {1, 2, 0, 0, 0, 3}},
        {"beyond 32 bits", {3, 4294967296LL}, {0, 0, 1, 2}},
        {"the largest rowid", {1, 9223372036854775807LL}, {1, 0, 0, 2}},
        {"only the largest", {9223372036854775807LL}, {0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RunOnDiary("delete from VLS");
        DeleteFileW(kImportBook);
        std::vector<DiaryFixtureRow> rows;
        for (size_t i = 0; i < c.rowids.size(); i++) rows.push_back({c.rowids[i], DiaryCells((int)i + 1)});
        MakeDiary(kImportBook, rows);
        ChooseFile(Job::kImportDiary, kImportBook);
        std::wstring message, title;
        DWORD start = GetTickCount();
        ASSERT_TRUE(RunDialog(Job::kImportDiary, L"ownpass", L"filepass", L"agent b", true, &message, &title));
        EXPECT_LT(GetTickCount() - start, 10000u);
        std::wstring count = std::to_wstring(c.rows.size());
        EXPECT_EQ(message, L"\r\nThe Diary has been imported.\r\nRow: " + count + L" of " + count + L".");
        EXPECT_EQ(title, L"Import Diary - Finished");
        auto imported = testsupport::ReadBookRows(live::kDiaryBook, "select * from VLS order by rowid");
        ASSERT_EQ(imported.size(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); i++) {
            std::vector<std::string> expected(11, "");
            if (c.rows[i] > 0) expected = DiaryCells(c.rows[i]);
            expected[10] = "AGENT B";
            EXPECT_EQ(imported[i], expected) << "row " << i + 1;
        }
    }
}

// ---- Import Remark ------------------------------------------------------------------

TEST_F(ImportTest, ImportRemarkKeepsOrTakesTheOverlappingPlates) {
    for (bool keepOwn : {true, false}) {
        SCOPED_TRACE(keepOwn ? "You" : "Imported one");
        RunOnRemark("delete from VLS");
        RunOnRemark("update PRS set C2 = '1' where C1 = 'CLF'");
        booktest::AddRemark(L"BOTH1", L"2026-01-01 10:00:00", L"2026-09-09", L"OWN BANK", L"OWN NOTE");
        booktest::AddRemark(L"MINE2", L"2026-01-02 10:00:00", L"NULL");
        DeleteFileW(kImportBook);
        MakeRemarkBook(kImportBook, 1002,
                       {{L"BOTH1", L"IMPORTED NOTE", "2027-02-02"}, {L"", L"NO PLATE", "NULL"},
                        {L"THEIRS3", L"D'CRUZ SAYS", "2027-03-03"}});
        ChooseFile(Job::kImportRemark, kImportBook);
        std::wstring message, title;
        ASSERT_TRUE(RunDialog(Job::kImportRemark, L"ownpass", L"filepass", L"", keepOwn, &message, &title));
        EXPECT_EQ(message, L"\r\nThe Remark has been imported.\r\nRow: 3 of 3.");
        EXPECT_EQ(title, L"Import Remark - Finished");
        EXPECT_EQ(ImportDb, (sqlite3 *)NULL);
        EXPECT_EQ(RemarkToScreen, 1);
        EXPECT_EQ(booktest::Text(MainWindow, IDC_PLATE), L"") << "the lookups fill nothing in the main window";

        auto both = booktest::RemarkRow(L"BOTH1");
        ASSERT_EQ(both.size(), 7u);
        if (keepOwn) {
            EXPECT_EQ(both[4], L"OWN NOTE");
            EXPECT_EQ(both[3], L"OWN BANK");
            EXPECT_EQ(both[6], L"2026-09-09");
        } else {
            EXPECT_EQ(both[4], L"IMPORTED NOTE");
            EXPECT_EQ(both[3], L"IMPORT BANK");
            EXPECT_EQ(both[5], L"2026-06-01 08:00:00");
            EXPECT_EQ(both[6], L"2027-02-02");
        }
        EXPECT_EQ(booktest::RemarkRow(L"MINE2").size(), 7u);
        auto theirs = booktest::RemarkRow(L"THEIRS3");
        ASSERT_EQ(theirs.size(), 7u);
        EXPECT_EQ(theirs[4], L"D'CRUZ SAYS");
        EXPECT_EQ(live::CountRows(live::kRemarkBook, "select rowid from VLS"), 3) << "the empty plate is skipped";
        EXPECT_EQ(live::ReadKey(live::kRemarkBook, "PRS", "CLF"), "0");
    }
}

TEST_F(ImportTest, ImportRemarkOfVersion1000GivesFollowUpNull) {
    booktest::AddRemark(L"BOTH1", L"2026-01-01 10:00:00", L"2026-09-09");
    MakeRemarkBook(kImportBook, 1000, {{L"BOTH1", L"OLD BOOK", ""}, {L"NEW2", L"OLD BOOK TOO", ""}});
    ChooseFile(Job::kImportRemark, kImportBook);
    ASSERT_EQ(RemarkSchemaVersion, 1000);
    ASSERT_TRUE(RunDialog(Job::kImportRemark, L"ownpass", L"filepass", L"", false, NULL, NULL));
    auto both = booktest::RemarkRow(L"BOTH1");
    auto added = booktest::RemarkRow(L"NEW2");
    ASSERT_EQ(both.size(), 7u);
    ASSERT_EQ(added.size(), 7u);
    EXPECT_EQ(both[4], L"OLD BOOK");
    EXPECT_EQ(both[6], L"NULL");
    EXPECT_EQ(added[6], L"NULL");
}

// ---- Use BackUp Diary ---------------------------------------------------------------

TEST_F(ImportTest, UseBackUpDiaryAsksFirstAndReplacesOnlyOnYes) {
    RunOnDiary("insert into VLS values ('2026-01-01 09:00:00','0','OWNPLATE','','','','','HOME','DV0','','')");
    MakeDiary(kImportBook, {{1, DiaryCells(1)}, {2, DiaryCells(2)}, {7, DiaryCells(7)}});
    std::string own = BookText(live::kDiaryBook);
    std::string chosen = BookText(kImportBook);

    booktest::QuestionAnswer = IDNO;
    ChooseFile(Job::kRestore, kImportBook);
    ASSERT_TRUE(RunDialog(Job::kRestore, L"ownpass", L"filepass", L"", true, NULL, NULL));
    ASSERT_FALSE(live::Shown.empty());
    EXPECT_EQ(live::Shown.back().caption, L"Use BackUp Diary");
    EXPECT_EQ(BookText(live::kDiaryBook), own);
    EXPECT_STREQ(DiaryPassword, kOwnPasswordW);
    EXPECT_TRUE(SearchLogs());
    own = BookText(live::kDiaryBook);

    // A backup kept read-only (on a CD, say) becomes a diary that takes writes.
    booktest::QuestionAnswer = IDYES;
    ASSERT_TRUE(SetFileAttributesW(kImportBook, FILE_ATTRIBUTE_READONLY));
    ChooseFile(Job::kRestore, kImportBook);
    std::wstring message, title;
    ASSERT_TRUE(RunDialog(Job::kRestore, L"ownpass", L"filepass", L"", true, &message, &title));
    SetFileAttributesW(kImportBook, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(live::kDiaryBook) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(message, L"\r\nWork done. You are now using the BackUp Diary.");
    EXPECT_EQ(title, L"Use BackUp Diary - Finished");
    EXPECT_EQ(BookText(live::kDiaryBook), chosen);
    EXPECT_STREQ(DiaryPassword, kFilePasswordW);
    ASSERT_TRUE(testsupport::FileExists(DiaryBackupPath)) << "the own diary was backed up first";
    EXPECT_EQ(BookText(DiaryBackupPath), own);
    EXPECT_TRUE(SearchLogs());
}

// ---- F4 after a job ---------------------------------------------------------------------

// F4 takes back the diary rows of the last search. A job between the search
// and F4 may have put other rows under those rowids (a restored diary) or
// moved the search's own rows: F4 then changes no diary row at all, while
// it still takes back the plate's remark and history entry.
TEST_F(ImportTest, F4AfterAJobOnTheDiaryChangesNoRowOfIt) {
    struct Case {
        const char *name;
        std::function<void()> job;
    } cases[] = {
        {"Update Diary",
         [] {
             PasswordEntryDialogHandle = NULL;
             UpdateDiaryFromData();
         }},
        {"CleanUp", [] { CleanUpDiaryDuplicates(0); }},
        {"Import Diary",
         [] {
             ChooseFile(Job::kImportDiary, kImportBook);
             EXPECT_TRUE(RunDialog(Job::kImportDiary, L"ownpass", L"filepass", L"agent b", true, NULL, NULL));
         }},
        {"Use BackUp Diary",
         [] {
             ChooseFile(Job::kRestore, kImportBook);
             EXPECT_TRUE(RunDialog(Job::kRestore, L"ownpass", L"filepass", L"", true, NULL, NULL));
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // Own rows 1-3 (the second blank), the search's row 4; the chosen
        // diary has other plates at rowids 1-6.
        RunOnDiary("delete from VLS");
        for (const auto &row : {DiaryCells(11), std::vector<std::string>(11, ""), DiaryCells(12)}) {
            std::string sql = "insert into VLS values (";
            for (size_t i = 0; i < row.size(); i++) sql += (i ? ",'" : "'") + row[i] + "'";
            RunOnDiary((sql + ")").c_str());
        }
        DeleteFileW(kImportBook);
        MakeDiary(kImportBook, {{1, DiaryCells(1)}, {2, DiaryCells(2)}, {3, DiaryCells(3)}, {4, DiaryCells(4)},
                                {5, DiaryCells(5)}, {6, DiaryCells(6)}});
        ASSERT_TRUE(SearchLogs());
        c.job();
        auto rows = [] { return testsupport::ReadBookRows(live::kDiaryBook, "select rowid, * from VLS order by rowid"); };
        auto diary = rows();
        ASSERT_FALSE(diary.empty());
        ASSERT_NE(diary.back()[0].rfind("ERROR", 0), 0u) << diary.back()[0];
        live::Shown.clear();
        SendMessageW(PlateEntryEdit, WM_KEYDOWN, VK_F4, 1);
        live::Pump();
        ASSERT_FALSE(live::Shown.empty()) << "F4 asks first";
        EXPECT_NE(live::Shown[0].text.find(L"PlateNo = QQ1234"), std::wstring::npos)
            << testsupport::Utf8(live::Shown[0].text);
        EXPECT_EQ(rows(), diary);
        EXPECT_EQ(live::ReadEncipheredKey(live::kDiaryBook, "PRS", "FH1"), L"") << "the history entry goes";
    }
}

// ---- Faults -------------------------------------------------------------------------

enum class Fault { kBackupBlocked, kDiskFull, kCorrupt, kTruncated, kWrongPassword, kOwnFile, kNotFlushed, kHeld };

TEST_F(ImportTest, FaultsLeaveTheOwnBooksAsTheyWere) {
    struct Case {
        Job job;
        Fault fault;
        const char *name;
    };
    const Case cases[] = {
        {Job::kImportDiary, Fault::kBackupBlocked, "diary, backup blocked"},
        {Job::kImportDiary, Fault::kDiskFull, "diary, disk full"},
        {Job::kImportDiary, Fault::kCorrupt, "diary, corrupt import"},
        {Job::kImportDiary, Fault::kTruncated, "diary, truncated import"},
        {Job::kImportDiary, Fault::kWrongPassword, "diary, wrong password"},
        {Job::kImportDiary, Fault::kOwnFile, "diary, own file"},
        {Job::kImportRemark, Fault::kBackupBlocked, "remark, backup blocked"},
        {Job::kImportRemark, Fault::kDiskFull, "remark, disk full"},
        {Job::kImportRemark, Fault::kCorrupt, "remark, corrupt import"},
        {Job::kImportRemark, Fault::kWrongPassword, "remark, wrong password"},
        {Job::kImportRemark, Fault::kOwnFile, "remark, own file"},
        {Job::kRestore, Fault::kBackupBlocked, "restore, backup blocked"},
        {Job::kRestore, Fault::kDiskFull, "restore, copy cut half-way"},
        {Job::kRestore, Fault::kCorrupt, "restore, corrupt backup"},
        {Job::kRestore, Fault::kTruncated, "restore, truncated backup"},
        {Job::kRestore, Fault::kWrongPassword, "restore, wrong password"},
        {Job::kRestore, Fault::kOwnFile, "restore, own file"},
        {Job::kRestore, Fault::kNotFlushed, "restore, copy does not reach the disk"},
        {Job::kRestore, Fault::kHeld, "restore, copy in place but held by another program"},
    };
    RunOnDiary("insert into VLS values ('2026-01-01 09:00:00','0','OWNPLATE','','','','','HOME','DV0','','')");
    booktest::AddRemark(L"RMK0005", L"2026-01-01 10:00:00", L"2026-09-09", L"OWN BANK", L"OWN NOTE");
    RunOnRemark("update PRS set C2 = '1' where C1 = 'CLF'");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(kImportBook);
        if (c.job == Job::kImportRemark)
            MakeLargeRemarkBook(kImportBook, 3000);
        else
            MakeLargeDiary(kImportBook, 3000);
        if (c.fault == Fault::kCorrupt || c.fault == Fault::kTruncated) Damage(kImportBook, c.fault == Fault::kTruncated);

        std::wstring chosen = kImportBook;
        if (c.fault == Fault::kOwnFile) chosen = c.job == Job::kImportRemark ? live::kRemarkBook : live::kDiaryBook;
        ChooseFile(c.job, chosen);
        if (c.fault == Fault::kBackupBlocked) BackupNameHook = BlockedBackupName;
        if (c.fault == Fault::kDiskFull && c.job == Job::kRestore) BookCopyHook = HalfCopy;
        if (c.fault == Fault::kNotFlushed) BookFlushHook = testsupport::FailingFlush;
        if (c.fault == Fault::kHeld) BookMoveHook = testsupport::MoveThenHold;
        sqlite3 *own = c.job == Job::kImportRemark ? RemarkDb : DiaryDb;
        if (c.fault == Fault::kDiskFull && c.job != Job::kRestore) {
            sqlite3_exec(own, "PRAGMA max_page_count = 1073741823", NULL, NULL, NULL);
            sqlite3_stmt *stmt = NULL;
            sqlite3_prepare_v2(own, "PRAGMA page_count", -1, &stmt, NULL);
            sqlite3_step(stmt);
            int pages = sqlite3_column_int(stmt, 0);
            sqlite3_finalize(stmt);
            std::string limit = "PRAGMA max_page_count = " + std::to_string(pages + 40);
            sqlite3_exec(own, limit.c_str(), NULL, NULL, NULL);
        }
        std::string diary = BookText(live::kDiaryBook);
        std::string remark = BookText(live::kRemarkBook);
        live::Shown.clear();

        std::wstring message, title;
        std::wstring filePassword = c.fault == Fault::kWrongPassword ? L"nope" : L"filepass";
        EXPECT_TRUE(RunDialog(c.job, L"ownpass", filePassword, L"agent b", true, &message, &title));
        BackupNameHook = NULL;
        BookCopyHook = NULL;
        BookFlushHook = NULL;
        BookMoveHook = NULL;
        if (DiaryDb != NULL) sqlite3_exec(DiaryDb, "PRAGMA max_page_count = 1073741823", NULL, NULL, NULL);
        if (RemarkDb != NULL) sqlite3_exec(RemarkDb, "PRAGMA max_page_count = 1073741823", NULL, NULL, NULL);
        if (c.fault == Fault::kHeld) {
            // The BackUp Diary is the diary now, said as such, with its password.
            EXPECT_EQ(DiaryDb, (sqlite3 *)NULL);
            EXPECT_STREQ(DiaryPassword, kFilePasswordW);
            EXPECT_NE(title.find(L"Finished"), std::wstring::npos) << testsupport::Utf8(title);
            ASSERT_EQ(live::Shown.size(), 2u) << "the question, then what became of the diary";
            EXPECT_NE(live::Shown[1].text.find(L"has replaced your diary, but it could not be opened again"),
                      std::wstring::npos)
                << testsupport::Utf8(live::Shown[1].text);
            // While it cannot be opened a search says, once, that it is not logged.
            live::Shown.clear();
            EXPECT_FALSE(SearchLogs());
            ASSERT_EQ(live::Shown.size(), 1u);
            EXPECT_NE(live::Shown[0].text.find(L"This search could not be written into the Diary"), std::wstring::npos)
                << testsupport::Utf8(live::Shown[0].text);
            testsupport::ReleaseHeldFile();
            EXPECT_EQ(BookText(live::kDiaryBook), BookText(kImportBook));
            EXPECT_TRUE(SearchLogs()) << "the next search opens the diary again";
            EXPECT_EQ(BookText(live::kRemarkBook), remark);
            continue;
        }

        EXPECT_EQ(BookText(live::kDiaryBook), diary);
        EXPECT_EQ(BookText(live::kRemarkBook), remark);
        EXPECT_STREQ(DiaryPassword, kOwnPasswordW);
        EXPECT_TRUE(ErrorShown());
        EXPECT_EQ(title.find(L"Finished"), std::wstring::npos) << testsupport::Utf8(title);
        EXPECT_EQ(ImportDb, (sqlite3 *)NULL);
        EXPECT_EQ(RemarkToScreen, 1);
        ASSERT_NE(DiaryDb, (sqlite3 *)NULL);
        ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
        EXPECT_TRUE(sqlite3_get_autocommit(DiaryDb) && sqlite3_get_autocommit(RemarkDb)) << "no transaction left open";
        EXPECT_TRUE(SearchLogs());
    }
}

}  // namespace
