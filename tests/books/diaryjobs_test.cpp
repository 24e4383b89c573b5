// The jobs that rewrite the whole diary (CleanUp, Update Diary) and the
// purge of cleared plates from the remark book, on small books in a
// scratch folder, with a stand-in for the password entry dialog that the
// jobs write their progress into.
#include <gtest/gtest.h>

#include <strsafe.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "md5.h"
#include "schema.h"
#include "sqlexec.h"
#include "storetest.h"
#include "testsupport.h"

namespace {

using storetest::Db;
using storetest::LocalField;
using storetest::LocalPlain;
using storetest::Messages;
using storetest::U8;

const wchar_t kVersion[] = L"20261201.001";

std::wstring BackupFolder;
int BackupNumber;
void ScratchBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsKorvaneDiary - BACKUP %d.db", BackupFolder.c_str(), ++BackupNumber);
}
void UnwritableBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsno such folder\\backup.db", BackupFolder.c_str());
}

// One diary row as the tests write it; tag goes into C10 (the remark) so
// that each row can be told apart in the result.
struct Row {
    long long rowid;
    const char *stamp;
    const char *state;  // C2 as stored (text)
    std::wstring plate;
    std::wstring location;
    std::string tag;
};

void PutRow(const Row &r, const std::string &c6 = "", const std::string &c9 = "OLD", const std::string &c11 = "ALI") {
    sqlite3_stmt *put = NULL;
    ASSERT_EQ(sqlite3_prepare_v2(DiaryDb, "insert into VLS(rowid,C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11) "
                                          "values(?,?,?,?,?,?,?,?,?,?,?,?)",
                                 -1, &put, NULL),
              SQLITE_OK);
    std::string plate = r.plate.empty() ? "" : LocalField(r.plate);
    std::string old = c6.empty() ? "" : LocalField(L"OLD VALUE");
    const std::string texts[] = {r.stamp, r.state, plate, old, old, c6, old, U8(r.location), c9, r.tag, c11};
    sqlite3_bind_int64(put, 1, r.rowid);
    for (int i = 0; i < 11; i++) sqlite3_bind_text(put, i + 2, texts[i].c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(put), SQLITE_DONE);
    sqlite3_finalize(put);
}

// The stand-in of the password entry dialog: its title, OK, Cancel and
// the message line.
class EntryDialog {
  public:
    EntryDialog() {
        hwnd_ = CreateWindowW(L"STATIC", L"Diary Password", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300, NULL,
                              NULL, GetModuleHandleW(NULL), NULL);
        Child(L"BUTTON", 603);
        Child(L"BUTTON", 604);
        Child(L"STATIC", 605);
        PasswordEntryDialogHandle = hwnd_;
    }
    ~EntryDialog() {
        PasswordEntryDialogHandle = NULL;
        DestroyWindow(hwnd_);
    }
    EntryDialog(const EntryDialog &) = delete;
    EntryDialog &operator=(const EntryDialog &) = delete;
    std::wstring Title() const { return Text(hwnd_); }
    std::wstring Line() const { return Text(GetDlgItem(hwnd_, 605)); }
    bool ButtonsGone() const {
        for (int id : {603, 604}) {
            HWND b = GetDlgItem(hwnd_, id);
            if (IsWindowVisible(b) || IsWindowEnabled(b)) return false;
        }
        return true;
    }

  private:
    void Child(const wchar_t *cls, int id) {
        CreateWindowW(cls, L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, hwnd_, (HMENU)(INT_PTR)id, GetModuleHandleW(NULL),
                      NULL);
    }
    static std::wstring Text(HWND w) {
        WCHAR text[512] = L"";
        GetWindowTextW(w, text, ARRAYSIZE(text));
        return text;
    }
    HWND hwnd_ = NULL;
};

class DiaryJobsTest : public storetest::StoreTest {
  protected:
    DiaryJobsTest() : StoreTest(L"diaryjobs") {}
    void SetUp() override {
        StoreTest::SetUp();
        UseEnglish = 1;
        BackupFolder = dir_.path();
        BackupNumber = 0;
        BackupNameHook = ScratchBackupName;
        StringCchCopyW(DataVersionUpdate, kTextChars, kVersion);
        ASSERT_EQ(CreateDiaryDatabase(NULL), kSchemaDone);
        ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
        std::string error;
        std::vector<datatool::VehicleRecord> vehicles = {
            {L"NEW1", L"7", L"05 Mar 2025", L"SALOON 1.6 SILVER", L"BANK ISLAM"},
            {L"OLD1", L"3", L"01 Jan 2025", L"MPV 2.0 WHITE", L"D'CRUZ LEASING"},
            {L"OLD2", L"9", L"02 Feb 2025", L"PICKUP 2.5 BLACK", L"AMANAH"},
            {L"CLR1", L"1", L"03 Mar 2025", L"VAN", L"AMANAH"},
        };
        ASSERT_EQ(datatool::AddVehicles(DataDbPath, vehicles, &error), 0) << error;
        ASSERT_EQ(datatool::AddClearedPlate(DataDbPath, L"CLR1", &error), 0) << error;
        ASSERT_EQ(datatool::AddClearedPlate(DataDbPath, L"CLR2", &error), 0) << error;
        ASSERT_EQ(sqlite3_open(U8(DataDbPath).c_str(), &DataDb), SQLITE_OK);
        std::string password = "update PRS set C2 = '" + LocalField(L"SECRET") + "' where C1 = 'D'";
        ASSERT_EQ(sqlite3_exec(DiaryDb, password.c_str(), NULL, NULL, NULL), SQLITE_OK);
    }
    void TearDown() override {
        BookCopyHook = NULL;
        BookMoveHook = NULL;
        BookFlushHook = NULL;
        JobStatementHook = NULL;
        BackupNameHook = NULL;
        testsupport::ReleaseHeldFile();
        StoreTest::TearDown();
    }
    // Every VLS row of the diary as "rowid|C1|C2(type)|plate|C8|C9|C10|C11".
    std::vector<std::string> DiaryRows() {
        std::vector<std::string> rows;
        Db check(DiaryDbPath);
        sqlite3_stmt *s = NULL;
        sqlite3_prepare_v2(check.handle(),
                           "select rowid, C1, C2, typeof(C2), C3, C8, C9, C10, C11 from VLS order by rowid", -1, &s,
                           NULL);
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::string line;
            for (int c = 0; c < 9; c++) {
                const char *t = (const char *)sqlite3_column_text(s, c);
                std::string text = t != NULL ? t : "";
                if (c == 4 && !text.empty()) text = U8(LocalPlain(text));
                line += (c ? "|" : "") + text;
            }
            rows.push_back(line);
        }
        sqlite3_finalize(s);
        return rows;
    }
    std::vector<std::string> Tags() {
        Db check(DiaryDbPath);
        return check.Column("select C10 from VLS order by rowid");
    }
    std::vector<std::string> Settings() {
        Db check(DiaryDbPath);
        return check.Column("select C1 || '=' || ifnull(C2, '') from PRS order by C1");
    }
    bool TempGone() { return !testsupport::FileExists(TempDiaryDbPath); }
    // A search of plate through the program's own lookup, as the main
    // window runs it: the diary gets its row, found or not.
    void Search(const wchar_t *plate) {
        StringCchCopyW(FindHistory[0], kFindHistoryChars, plate);
        char key[kMd5HexBytes] = {0};
        VehicleLookupKey(plate, key);
        WCHAR statement[128];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"select * from VLD where C1 = '%hs'", key);
        VehicleFound = 0;
        ASSERT_EQ(SelectSql(DataDb, statement, kModePlateSearch), SQLITE_OK);
    }
};

// ---- CleanUp ------------------------------------------------------------------

const std::wstring kLongLocation(255, L'L');

void PutCleanUpRows() {
    const Row rows[] = {
        {1, "2024-01-01 10:00:00", "1", L"P1", L"A", "r1"},
        {2, "2024-02-01 10:00:00", "1", L"P1", L"B", "r2"},
        {3, "2024-03-01 10:00:00", "0", L"P1", L"", "r3"},
        {4, "2024-05-01 10:00:00", "1", L"Q1", L"X", "r4"},
        {5, "2024-04-01 10:00:00", "2", L"Q1", L"Y", "r5"},
        {6, "", "0", L"", L"", "r6"},  // a blank row
        // rowid 7 is missing
        {8, "2024-01-01 10:00:00", "0", L"R1", L"", "r8"},
        {9, "2024-01-01 10:00:00", "", L"R1", L"B", "r9"},  // C2 stored as empty text
        {10, "2024-06-01 10:00:00", "1", L"P1", L"A", "r10"},
        {11, "2024-05-01 10:00:00", "1", L"Q1", L"X", "r11"},  // the same search as r4
        {12, "2024-07-01 10:00:00", "0", L"S1", kLongLocation, "r12"},
        {13, "2024-07-02 10:00:00", "0", L"S1", kLongLocation, "r13"},
        {14, "2024-08-01 10:00:00", "1", L"T1", L"Z", "r14"},
        {15, "2024-09-01 10:00:00", "1", L"T1", L"", "r15"},  // later, but no location
    };
    for (const Row &r : rows) PutRow(r);
}

TEST_F(DiaryJobsTest, CleanUpKeepsOneRowPerKeyOfEachMode) {
    struct Case {
        int mode;
        std::vector<std::string> kept;  // tags in the new rowid order
    } cases[] = {
        {0, {"r9", "r10", "r11", "r13", "r14"}},
        {1, {"r2", "r3", "r5", "r8", "r9", "r10", "r11", "r13", "r14", "r15"}},
        {2, {"r1", "r2", "r3", "r5", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(sqlite3_exec(DiaryDb, "delete from VLS", NULL, NULL, NULL), SQLITE_OK);
        PutCleanUpRows();
        std::vector<std::string> settings = Settings();
        Messages.clear();
        EntryDialog dialog;
        CleanUpDiaryDuplicates(c.mode);

        EXPECT_EQ(Tags(), c.kept);
        Db check(DiaryDbPath);
        // New rowids 1..k, every found state an integer, r9's empty one 0.
        EXPECT_EQ(check.One("select count(*) from VLS where rowid between 1 and " + std::to_string(c.kept.size())),
                  std::to_string(c.kept.size()));
        EXPECT_EQ(check.One("select count(*) from VLS where typeof(C2) <> 'integer'"), "0");
        EXPECT_EQ(check.One("select C2 from VLS where C10 = 'r9'"), "0");
        EXPECT_EQ(check.One("select C8 from VLS where C10 = 'r13'"), U8(kLongLocation));
        EXPECT_EQ(check.One("select count(*) from ZELDdb_master where type = 'index' and tbl_name = 'VLS'"), "8");
        EXPECT_EQ(check.One("select locale from android_metadata"), "en_US");
        EXPECT_EQ(Settings(), settings);
        EXPECT_EQ(dialog.Line(), L"\r\nYour diary has been cleaned up.");
        EXPECT_EQ(dialog.Title(), L"CleanUp Diary - Finished");
        EXPECT_TRUE(dialog.ButtonsGone());
        EXPECT_TRUE(TempGone());
        EXPECT_TRUE(Messages.empty());
        EXPECT_TRUE(testsupport::FileExists(DiaryBackupPath));
    }
}

TEST_F(DiaryJobsTest, CleanUpSpeaksMalayAndToleratesNoDialog) {
    PutCleanUpRows();
    UseEnglish = 0;
    {
        EntryDialog dialog;
        CleanUpDiaryDuplicates(0);
        EXPECT_EQ(dialog.Line(), L"\r\nDiary anda sudah dicuci.");
        EXPECT_EQ(dialog.Title(), L"Cuci Diary - Selesai");
    }
    PutRow({20, "2024-08-01 10:00:00", "1", L"P1", L"Z", "r20"});
    CleanUpDiaryDuplicates(0);  // no dialog at all
    EXPECT_EQ(Tags(), (std::vector<std::string>{"r9", "r11", "r13", "r14", "r20"}));
}

// ---- Update Diary ------------------------------------------------------------------

TEST_F(DiaryJobsTest, UpdateDiaryRefreshesEveryRowFromTheData) {
    PutRow({1, "2026-01-01 09:00:00", "0", L"NEW1", L"JALAN AMPANG", "not found then"}, "", "OLD", "ALI");
    PutRow({2, "2026-01-02 09:00:00", "2", L"OLD1", L"KLCC", "same version"}, "BANK", U8(kVersion), "ALI");
    PutRow({3, "2026-01-03 09:00:00", "2", L"OLD2", L"", "older version"}, "BANK", "20250101.000", "ALI");
    PutRow({5, "2026-01-04 09:00:00", "1", L"GONE1", L"IPOH", "gone"}, "BANK", "OLD", "ABU");
    PutRow({6, "2026-01-05 09:00:00", "1", L"CLR1", L"KL", "cleared"}, "AMANAH", "OLD", "ALI");
    PutRow({7, "", "0", L"", L"", ""});
    PutRow({9, "2026-01-06 09:00:00", "0", L"CLR2", L"KL", "cleared too"});
    // A gap in the settings' rowids.
    ASSERT_EQ(sqlite3_exec(DiaryDb, "delete from PRS where rowid = 3", NULL, NULL, NULL), SQLITE_OK);
    std::vector<std::string> settings = Settings();

    EntryDialog dialog;
    UpdateDiaryFromData();

    Db check(DiaryDbPath);
    EXPECT_EQ(check.Column("select C10 || ':' || C2 from VLS order by rowid"),
              (std::vector<std::string>{"not found then:2", "same version:2", "older version:1", "gone:0"}));
    EXPECT_EQ(check.One("select count(*) from VLS where C9 = '" + U8(kVersion) + "'"), "4");
    EXPECT_EQ(check.One("select group_concat(rowid) from (select rowid from VLS order by rowid)"), "1,2,3,4");
    EXPECT_EQ(check.One("select count(*) from VLS where typeof(C2) <> 'integer'"), "0");
    // Found rows carry the current vehicle values; the gone one none; the
    // time, plate, location, remark and owner stay.
    auto cell = [&](int rowid, const char *column) {
        return check.One(std::string("select ") + column + " from VLS where rowid = " + std::to_string(rowid));
    };
    EXPECT_EQ(LocalPlain(cell(1, "C4")), L"05 Mar 2025");
    EXPECT_EQ(LocalPlain(cell(1, "C5")), L"SALOON 1.6 SILVER");
    EXPECT_EQ(cell(1, "C6"), "BANK ISLAM");
    EXPECT_EQ(LocalPlain(cell(1, "C7")), L"7");
    EXPECT_EQ(cell(2, "C6"), "D'CRUZ LEASING");
    EXPECT_EQ(cell(1, "C1"), "2026-01-01 09:00:00");
    EXPECT_EQ(LocalPlain(cell(1, "C3")), L"NEW1");
    EXPECT_EQ(cell(1, "C8"), "JALAN AMPANG");
    EXPECT_EQ(cell(4, "C4") + cell(4, "C5") + cell(4, "C6") + cell(4, "C7"), "");
    EXPECT_EQ(cell(4, "C8") + "/" + cell(4, "C10") + "/" + cell(4, "C11"), "IPOH/gone/ABU");
    // Every setting kept, the password among them; the rebuilt file has
    // no android_metadata.
    EXPECT_EQ(Settings(), settings);
    EXPECT_EQ(LocalPlain(check.One("select C2 from PRS where C1 = 'D'")), L"SECRET");
    EXPECT_EQ(check.One("select count(*) from ZELDdb_master where name = 'android_metadata'"), "0");
    EXPECT_EQ(check.One("select count(*) from ZELDdb_master where type = 'index' and tbl_name = 'VLS'"), "8");

    EXPECT_EQ(dialog.Line(), L"\r\nYour diary has been updated.\r\nRow: 4 of 9.");
    EXPECT_EQ(dialog.Title(), L"Update Diary - Finished");
    EXPECT_TRUE(dialog.ButtonsGone());
    EXPECT_TRUE(TempGone());
    EXPECT_TRUE(Messages.empty());
    // The program's connection is on the new diary, and a search still logs.
    Search(L"NOPE9");
    EXPECT_EQ(check.One("select count(*) from VLS"), "5");
}

TEST_F(DiaryJobsTest, UpdateDiarySpeaksMalay) {
    PutRow({1, "2026-01-01 09:00:00", "0", L"NEW1", L"", "a"});
    UseEnglish = 0;
    EntryDialog dialog;
    UpdateDiaryFromData();
    EXPECT_EQ(dialog.Line(), L"\r\nDiary anda sudah dikemaskini.\r\nBaris: 1 daripada 1.");
    EXPECT_EQ(dialog.Title(), L"Kemaskini Diary - Selesai");
}

// ---- Faults --------------------------------------------------------------------------

sqlite3 *LockedBy;  // a connection of the test's own holding the diary locked

void LimitPages(sqlite3 *db) {
    char sql[64];
    sqlite3_stmt *s = NULL;
    sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &s, NULL);
    sqlite3_step(s);
    StringCchPrintfA(sql, sizeof sql, "PRAGMA max_page_count = %d", sqlite3_column_int(s, 0));
    sqlite3_finalize(s);
    sqlite3_exec(db, sql, NULL, NULL, NULL);
}

// The temporary diary can grow no more once its transaction begins.
int TempDiskFull(const WCHAR *statement) {
    if (wcscmp(statement, L"begin") == 0 && TempDiaryDb != NULL) LimitPages(TempDiaryDb);
    return SQLITE_OK;
}
std::function<int(const WCHAR *)> FailOn;
int FailOnHook(const WCHAR *statement) { return FailOn(statement); }
BOOL FailingMove(const WCHAR *, const WCHAR *, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// The faults of the replace itself: the test's own connection lets go
// first, since a file open elsewhere is not replaced at all. The new
// diary's flush fails; or, moved into place, it is held by another program.
void FlushFails() {
    sqlite3_close(LockedBy);
    LockedBy = NULL;
    BookFlushHook = testsupport::FailingFlush;
}
void HoldAfterMove() {
    sqlite3_close(LockedBy);
    LockedBy = NULL;
    BookMoveHook = testsupport::MoveThenHold;
}

TEST_F(DiaryJobsTest, FaultsAtEveryPhaseLeaveTheDiaryAsItWasOrSaySo) {
    // Enough rows that the books span many pages; a quarter are repeats.
    std::wstring location(120, L'K');
    for (int i = 1; i <= 400; i++) {
        WCHAR plate[16];
        StringCchPrintfW(plate, ARRAYSIZE(plate), L"W%04d", i % 300);
        PutRow({i, "2026-02-01 10:00:00", "1", plate, location, "t" + std::to_string(i)}, "BANK", "OLD", "ALI");
    }
    struct Case {
        const char *name;
        bool update;  // Update Diary, else CleanUp (mode 0)
        std::function<void()> arm;
        bool replaced = false;  // the new diary is in place, but cannot be opened again
    } cases[] = {
        {"cleanup: temporary diary full", false, [] { JobStatementHook = TempDiskFull; }},
        {"cleanup: disk full while indexing", false,
         [] {
             FailOn = [](const WCHAR *s) { return wcscmp(s, L"CREATE INDEX idxC11 ON VLS(C11)") == 0 ? SQLITE_FULL : 0; };
             JobStatementHook = FailOnHook;
         }},
        {"cleanup: commit fails", false,
         [] {
             FailOn = [](const WCHAR *s) { return wcscmp(s, L"commit") == 0 ? SQLITE_FULL : 0; };
             JobStatementHook = FailOnHook;
         }},
        {"cleanup: the replace fails", false, [] { BookMoveHook = FailingMove; }},
        {"cleanup: diary locked", false, [] { sqlite3_exec(LockedBy, "BEGIN EXCLUSIVE", NULL, NULL, NULL); }},
        {"cleanup: backup target unwritable", false, [] { BackupNameHook = UnwritableBackupName; }},
        {"update: temporary diary full", true, [] { JobStatementHook = TempDiskFull; }},
        {"update: disk full while indexing", true,
         [] {
             FailOn = [](const WCHAR *s) { return wcscmp(s, L"CREATE INDEX idxC8 ON VLS(C8)") == 0 ? SQLITE_FULL : 0; };
             JobStatementHook = FailOnHook;
         }},
        {"update: commit fails", true,
         [] {
             FailOn = [](const WCHAR *s) { return wcscmp(s, L"commit") == 0 ? SQLITE_FULL : 0; };
             JobStatementHook = FailOnHook;
         }},
        {"update: the replace fails", true, [] { BookMoveHook = FailingMove; }},
        {"update: diary locked", true, [] { sqlite3_exec(LockedBy, "BEGIN EXCLUSIVE", NULL, NULL, NULL); }},
        {"update: backup target unwritable", true, [] { BackupNameHook = UnwritableBackupName; }},
        {"cleanup: the new diary does not reach the disk", false, FlushFails},
        {"update: the new diary does not reach the disk", true, FlushFails},
        {"cleanup: the new diary is held after the move", false, HoldAfterMove, true},
        {"update: the new diary is held after the move", true, HoldAfterMove, true},
    };
    std::vector<std::string> rows = DiaryRows();
    std::vector<std::string> settings = Settings();
    ASSERT_EQ(rows.size(), 400u);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Messages.clear();
        ASSERT_EQ(sqlite3_open(U8(DiaryDbPath).c_str(), &LockedBy), SQLITE_OK);
        EntryDialog dialog;
        c.arm();
        if (c.update)
            UpdateDiaryFromData();
        else
            CleanUpDiaryDuplicates(0);
        sqlite3_exec(LockedBy, "ROLLBACK", NULL, NULL, NULL);
        sqlite3_close(LockedBy);
        JobStatementHook = NULL;
        BookMoveHook = NULL;
        BookFlushHook = NULL;
        BackupNameHook = ScratchBackupName;

        if (c.replaced) {
            // Said as it is: the job's diary is the diary now, and the
            // program's connection waits to be opened again.
            EXPECT_EQ(DiaryDb, (sqlite3 *)NULL);
            testsupport::ReleaseHeldFile();
            EXPECT_NE(DiaryRows(), rows);
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_NE(Messages[0].text.find(L"has replaced your diary, but it could not be opened again"),
                      std::wstring::npos)
                << U8(Messages[0].text);
            EXPECT_NE(dialog.Title().find(L"Finished"), std::wstring::npos) << U8(dialog.Title());
            EXPECT_EQ(dialog.Line().find(L"as it was"), std::wstring::npos) << U8(dialog.Line());
            // The old diary back from its checked backup, for the next case.
            ASSERT_TRUE(CopyFileW(DiaryBackupPath, DiaryDbPath, FALSE));
            ASSERT_EQ(OpenBookConnection(&DiaryDb, DiaryDbPath), SQLITE_OK);
        } else {
            EXPECT_FALSE(Messages.empty());
            EXPECT_EQ(dialog.Title().find(L"Finished"), std::wstring::npos) << U8(dialog.Title());
            EXPECT_NE(dialog.Title().find(L"Failed"), std::wstring::npos) << U8(dialog.Title());
            EXPECT_NE(dialog.Line().find(L"it is as it was"), std::wstring::npos) << U8(dialog.Line());
        }
        EXPECT_EQ(DiaryRows(), rows);
        EXPECT_EQ(Settings(), settings);
        EXPECT_TRUE(TempGone());
        EXPECT_TRUE(dialog.ButtonsGone());
        // The program's connection still logs a search.
        ASSERT_NE(DiaryDb, (sqlite3 *)NULL);
        Search(L"NOPE1");
        EXPECT_EQ(DiaryRows().size(), 401u);
        ASSERT_EQ(sqlite3_exec(DiaryDb, "delete from VLS where rowid > 400", NULL, NULL, NULL), SQLITE_OK);
    }
}

// ---- Purge ------------------------------------------------------------------------------

class PurgeTest : public DiaryJobsTest {
  protected:
    void PutRemark(const wchar_t *plate) {
        std::string sql = "insert into VLS values('" + LocalField(plate) + "','','','','','2026-01-01 10:00:00','NULL')";
        ASSERT_EQ(sqlite3_exec(RemarkDb, sql.c_str(), NULL, NULL, NULL), SQLITE_OK);
    }
    std::vector<std::wstring> Plates() {
        Db check(RemarkDbPath);
        std::vector<std::wstring> plates;
        for (const std::string &f : check.Column("select C1 from VLS order by rowid")) plates.push_back(LocalPlain(f));
        return plates;
    }
    std::string Flag() {
        Db check(RemarkDbPath);
        return check.One("select C2 from PRS where C1 = 'CLF'");
    }
};

TEST_F(PurgeTest, RunsOnlyWhileTheFlagIsDownAndRaisesItOnlyWhenAllWent) {
    struct Case {
        const char *name;
        const char *flag;
        std::function<int(const WCHAR *)> fault;  // null: none
        std::vector<std::wstring> left;
        const char *flagAfter;
    } cases[] = {
        {"flag up: nothing", "1", nullptr, {L"CLR1", L"KEEP1", L"CLR2"}, "1"},
        {"flag down: cleared plates go", "0", nullptr, {L"KEEP1"}, "1"},
        {"a delete fails", "0",
         [](const WCHAR *s) { return wcsncmp(s, L"DELETE", 6) == 0 ? SQLITE_FULL : 0; },
         {L"CLR1", L"KEEP1", L"CLR2"}, "0"},
        {"the commit fails", "0", [](const WCHAR *s) { return wcscmp(s, L"commit") == 0 ? SQLITE_FULL : 0; },
         {L"CLR1", L"KEEP1", L"CLR2"}, "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(sqlite3_exec(RemarkDb, "delete from VLS", NULL, NULL, NULL), SQLITE_OK);
        PutRemark(L"CLR1");
        PutRemark(L"KEEP1");
        PutRemark(L"CLR2");
        std::string set = std::string("update PRS set C2 = '") + c.flag + "' where C1 = 'CLF'";
        ASSERT_EQ(sqlite3_exec(RemarkDb, set.c_str(), NULL, NULL, NULL), SQLITE_OK);
        FailOn = c.fault;
        JobStatementHook = c.fault ? FailOnHook : NULL;
        PurgeClearedPlatesFromRemark();
        JobStatementHook = NULL;
        EXPECT_EQ(Plates(), c.left);
        EXPECT_EQ(Flag(), c.flagAfter);
        EXPECT_EQ(ClearedPlatesPurged, std::string(c.flagAfter) == "1" ? 1 : 0);
        EXPECT_NE(RemarkDb, (sqlite3 *)NULL);
    }
    // Remarks went only after a checked backup that still holds them.
    Db backup(RemarkBackupPath);
    EXPECT_EQ(backup.Count("VLS"), 3);
}

}  // namespace
