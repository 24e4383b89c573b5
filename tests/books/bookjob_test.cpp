// The shared helpers of the book jobs: checked backups, the job
// transaction, the whole-file replace and the busy guard.
#include <gtest/gtest.h>

#include <strsafe.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "schema.h"
#include "sqlexec.h"
#include "storetest.h"
#include "testsupport.h"

namespace {

using storetest::Db;
using storetest::Messages;

std::wstring FixedName;
void MakeFixedName(WCHAR *buf, int count) { StringCchCopyW(buf, (size_t)count, FixedName.c_str()); }

// A copy that stops half-way but reports success.
BOOL HalfCopy(const WCHAR *from, const WCHAR *to, BOOL) {
    std::vector<unsigned char> bytes;
    if (!testsupport::ReadFileBytes(from, &bytes)) return FALSE;
    bytes.resize(bytes.size() / 2);
    return testsupport::WriteFileBytes(to, bytes) ? TRUE : FALSE;
}

BOOL FailingMove(const WCHAR *, const WCHAR *, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

int FailSecond(const WCHAR *statement) {
    return wcsstr(statement, L"DELETE") != NULL ? SQLITE_FULL : SQLITE_OK;
}

class BookJobTest : public storetest::StoreTest {
  protected:
    BookJobTest() : StoreTest(L"bookjob") {}
    void SetUp() override {
        StoreTest::SetUp();
        PutRemarkBook();
    }
    // A new remark book of five rows, open as RemarkDb.
    void PutRemarkBook() {
        ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
        for (int i = 0; i < 5; i++) {
            char sql[160];
            StringCchPrintfA(sql, sizeof sql, "INSERT INTO VLS VALUES('P%d','','','','','2026-01-0%d 10:00:00','NULL')", i,
                             i + 1);
            ASSERT_EQ(sqlite3_exec(RemarkDb, sql, NULL, NULL, NULL), SQLITE_OK);
        }
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
    int Rows() {
        Db check(RemarkDbPath);
        return check.Count("VLS");
    }
};

TEST_F(BookJobTest, BackupsOfOneSecondGetSuffixesAndAreChecked) {
    FixedName = File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00.db");
    WCHAR first[kPathChars], second[kPathChars], third[kPathChars];
    // The book changes between the backups, so each is a copy of its own.
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, first, ARRAYSIZE(first)));
    ASSERT_EQ(sqlite3_exec(RemarkDb, "UPDATE VLS SET C2 = 'B' WHERE C1 = 'P0'", NULL, NULL, NULL), SQLITE_OK);
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, second, ARRAYSIZE(second)));
    ASSERT_EQ(sqlite3_exec(RemarkDb, "UPDATE VLS SET C2 = 'C' WHERE C1 = 'P0'", NULL, NULL, NULL), SQLITE_OK);
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, third, ARRAYSIZE(third)));
    EXPECT_EQ(std::wstring(first), FixedName);
    EXPECT_EQ(std::wstring(second), File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (2).db"));
    EXPECT_EQ(std::wstring(third), File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (3).db"));
    {
        Db copy(first);
        EXPECT_EQ(copy.Count("VLS"), 5);
    }

    // A copy cut short is no backup: refused and removed.
    ASSERT_EQ(sqlite3_exec(RemarkDb, "UPDATE VLS SET C2 = 'D' WHERE C1 = 'P0'", NULL, NULL, NULL), SQLITE_OK);
    BookCopyHook = HalfCopy;
    WCHAR cut[kPathChars];
    EXPECT_FALSE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, cut, ARRAYSIZE(cut)));
    EXPECT_FALSE(testsupport::FileExists(File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (4).db")));
    BookCopyHook = NULL;

    // With the first of that second gone, the next still comes after the
    // others, never in the first one's place.
    ASSERT_TRUE(DeleteFileW(first));
    WCHAR fourth[kPathChars];
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, fourth, ARRAYSIZE(fourth)));
    EXPECT_EQ(std::wstring(fourth), File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (4).db"));

    // A target that cannot be written (its folder is a file).
    testsupport::WriteFileBytes(File(L"blocked"), {1, 2, 3});
    FixedName = File(L"blocked\\backup.db");
    BackupNameHook = MakeFixedName;
    EXPECT_FALSE(BackUpRemarkBook(NULL));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].caption, L"Masaalah");
}

// Backup names of one clock second after another, in the scratch folder.
int BackupSecond;
std::wstring BackupFolder;
void NextSecondName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsLastRemark - BACKUP 2026-DEC-10 08_00_%02d.db", BackupFolder.c_str(),
                     ++BackupSecond);
}

// The names of the files in folder that match pattern, sorted.
std::vector<std::wstring> FilesLike(const std::wstring &folder, const wchar_t *pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(BookJobTest, BackupsAreBoundedAndAnUnchangedBookIsCopiedOnce) {
    BackupFolder = File(L"");
    BackupSecond = 0;
    // Files beside the backups that are none of this book's: other names,
    // another book, a set-aside book; and two older backups of the book,
    // one of them named by a clock that was ahead.
    const wchar_t *const kOthers[] = {L"LastRemark - BACKUP.db", L"LastRemark - BACKUP copy.db",
                                      L"LastRemark - BACKUP 2026-DEC-10 08_00_99.db.txt",
                                      L"KorvaneDiary - BACKUP 2020-JAN-01 00_00_00.db",
                                      L"LastRemark - DAMAGED 2020-JAN-01 00_00_00.db"};
    for (const wchar_t *name : kOthers) ASSERT_TRUE(testsupport::WriteFileBytes(File(name), {1, 2, 3}));
    ASSERT_TRUE(testsupport::WriteFileBytes(File(L"LastRemark - BACKUP 2025-JAN-01 07_00_00.db"), {1}));
    ASSERT_TRUE(testsupport::WriteFileBytes(File(L"LastRemark - BACKUP 2030-JAN-01 07_00_00.db"), {1}));
    ASSERT_TRUE(testsupport::WriteFileBytes(File(L"LastRemark - BACKUP 2025-FEB-01 07_00_00 (2).db"), {1}));

    // The first backup; the book unchanged, the second is the same file.
    WCHAR path[kPathChars];
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path)));
    std::wstring first = path;
    EXPECT_EQ(first, File(L"LastRemark - BACKUP 2026-DEC-10 08_00_01.db"));
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path)));
    EXPECT_EQ(std::wstring(path), first) << "an unchanged book is not copied again";
    EXPECT_FALSE(testsupport::FileExists(File(L"LastRemark - BACKUP 2026-DEC-10 08_00_02.db")));

    // Each change, then a backup: the new one holds the book, and of the
    // older ones only the newest by name stay.
    std::vector<std::wstring> made = {first};
    for (int change = 1; change <= 4; change++) {
        char sql[96];
        StringCchPrintfA(sql, sizeof sql, "INSERT INTO VLS VALUES('N%d','','','','','2026-02-01 10:00:00','NULL')",
                         change);
        ASSERT_EQ(sqlite3_exec(RemarkDb, sql, NULL, NULL, NULL), SQLITE_OK);
        ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path))) << change;
        EXPECT_NE(std::wstring(path), made.back()) << change;
        made.push_back(path);
        Db copy(path);
        EXPECT_EQ(copy.Count("VLS"), 5 + change) << "the copy of the book as it is";
    }
    std::vector<std::wstring> kept = FilesLike(File(L""), L"LastRemark - BACKUP *");
    std::vector<std::wstring> expected = {L"LastRemark - BACKUP 2026-DEC-10 08_00_05.db",
                                          L"LastRemark - BACKUP 2026-DEC-10 08_00_06.db",
                                          L"LastRemark - BACKUP 2026-DEC-10 08_00_99.db.txt",
                                          L"LastRemark - BACKUP 2030-JAN-01 07_00_00.db",
                                          L"LastRemark - BACKUP copy.db"};
    EXPECT_EQ(kept, expected) << "three backups of the book, whatever their names' times; other names stay";
    EXPECT_EQ(made.back(), File(L"LastRemark - BACKUP 2026-DEC-10 08_00_06.db"));
    for (const wchar_t *name : kOthers) EXPECT_TRUE(testsupport::FileExists(File(name))) << testsupport::Utf8(name);

    // Faults: a backup of the book that was removed or written since is not
    // taken for one, a failed copy removes nothing, and the file a job is
    // about to read stays.
    DeleteFileW(made.back().c_str());
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path)));
    EXPECT_EQ(std::wstring(path), File(L"LastRemark - BACKUP 2026-DEC-10 08_00_07.db")) << "a gone backup is made again";
    {
        Db check(path);
        EXPECT_EQ(check.Count("VLS"), 9);
    }
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    bytes[200] ^= 1;
    ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path)));
    EXPECT_EQ(std::wstring(path), File(L"LastRemark - BACKUP 2026-DEC-10 08_00_08.db"))
        << "a backup written since is not the book's copy";

    ASSERT_EQ(sqlite3_exec(RemarkDb, "DELETE FROM VLS WHERE C1 = 'N1'", NULL, NULL, NULL), SQLITE_OK);
    kept = FilesLike(File(L""), L"LastRemark - BACKUP 2*.db");
    BookCopyHook = HalfCopy;
    EXPECT_FALSE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path)));
    BookCopyHook = NULL;
    EXPECT_EQ(FilesLike(File(L""), L"LastRemark - BACKUP 2*.db"), kept) << "nothing removed for a failed copy";

    std::wstring spare = File(L"LastRemark - BACKUP 2026-DEC-10 08_00_07.db");
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, NextSecondName, path, ARRAYSIZE(path), spare.c_str()));
    expected = {L"LastRemark - BACKUP 2026-DEC-10 08_00_07.db", L"LastRemark - BACKUP 2026-DEC-10 08_00_08.db",
                L"LastRemark - BACKUP 2026-DEC-10 08_00_10.db", L"LastRemark - BACKUP 2030-JAN-01 07_00_00.db"};
    EXPECT_EQ(FilesLike(File(L""), L"LastRemark - BACKUP 2*.db"), expected) << "the spare file stays beside three";
}

TEST_F(BookJobTest, FailedStatementRollsBackAndShowsWithoutEndingTheProgram) {
    storetest::FakeMainWindow main;
    JobStatementHook = FailSecond;
    {
        BookJob job(&RemarkDb, main.hwnd());
        EXPECT_TRUE(job.Begin());
        EXPECT_TRUE(job.Run(L"UPDATE VLS SET C2 = 'X'"));
        EXPECT_FALSE(job.Run(L"DELETE FROM VLS"));
        EXPECT_FALSE(job.Run(L"UPDATE VLS SET C3 = 'Y'")) << "nothing runs after a failure";
        EXPECT_FALSE(job.Commit());
        EXPECT_EQ(job.code(), SQLITE_FULL);
    }
    EXPECT_TRUE(main.alive()) << "a job's failure never ends the program";
    ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
    EXPECT_TRUE(sqlite3_get_autocommit(RemarkDb)) << "rolled back";
    Db check(RemarkDbPath);
    EXPECT_EQ(check.Count("VLS"), 5);
    EXPECT_EQ(check.One("select count(*) from VLS where C2 = 'X'"), "0");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].text.find(L"Perubahan tidak dapat dibuat"), std::wstring::npos);

    // A closed book runs nothing; a statement too long is refused.
    JobStatementHook = NULL;
    sqlite3 *none = NULL;
    BookJob closed(&none, main.hwnd());
    EXPECT_FALSE(closed.Begin());
    std::wstring longStatement = L"UPDATE VLS SET C2 = '" + std::wstring(2000, L'A') + L"'";
    BookJob tooLong(&RemarkDb, main.hwnd());
    EXPECT_TRUE(tooLong.Begin());
    EXPECT_FALSE(tooLong.Run(longStatement.c_str()));
    EXPECT_EQ(tooLong.code(), SQLITE_TOOBIG);
    EXPECT_EQ(Messages.size(), 3u);
    WCHAR formatted[32];
    EXPECT_FALSE(FormatJobStatement(formatted, ARRAYSIZE(formatted), L"DELETE FROM VLS WHERE C1 = '%ls'",
                                    L"A PLATE TOO LONG FOR THE BUFFER"));
    EXPECT_EQ(formatted[0], 0);
}

TEST_F(BookJobTest, ReplaceTakesOnlyACheckedCompleteFile) {
    std::wstring fresh = File(L"new.db");
    auto makeNew = [&](int rows) {
        DeleteFileW(fresh.c_str());
        Db db(fresh);
        db.Exec("CREATE TABLE VLS(C1 TEXT)");
        for (int i = 0; i < rows; i++) db.Exec("INSERT INTO VLS VALUES('N')");
    };
    // Wrong row count: refused, the old book open again.
    makeNew(2);
    EXPECT_EQ(ReplaceBookFile(&RemarkDb, RemarkDbPath, fresh.c_str(), "select count(*) from VLS", 3), kBookKept);
    EXPECT_FALSE(testsupport::FileExists(fresh));
    EXPECT_EQ(Rows(), 5);
    ASSERT_NE(RemarkDb, (sqlite3 *)NULL);

    // Not a book at all.
    testsupport::WriteFileBytes(fresh, std::vector<unsigned char>(4096, 'x'));
    EXPECT_EQ(ReplaceBookFile(&RemarkDb, RemarkDbPath, fresh.c_str(), "select count(*) from VLS", 0), kBookKept);
    EXPECT_EQ(Rows(), 5);

    // The move fails: the old book stays and is reopened.
    makeNew(2);
    BookMoveHook = FailingMove;
    EXPECT_EQ(ReplaceBookFile(&RemarkDb, RemarkDbPath, fresh.c_str(), "select count(*) from VLS", 2), kBookKept);
    BookMoveHook = NULL;
    EXPECT_EQ(Rows(), 5);
    ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
    EXPECT_EQ(sqlite3_exec(RemarkDb, "select * from PRS", NULL, NULL, NULL), SQLITE_OK);

    makeNew(2);
    EXPECT_EQ(ReplaceBookFile(&RemarkDb, RemarkDbPath, fresh.c_str(), "select count(*) from VLS", 2), kBookReplaced);
    EXPECT_EQ(Rows(), 2);
    ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
    EXPECT_EQ(sqlite3_exec(RemarkDb, "select count(*) from VLS", NULL, NULL, NULL), SQLITE_OK);
}

// What a replace reports is what happened to the file and the connection:
// a new book that is in place but cannot be opened again is never reported
// as the old one kept.
TEST_F(BookJobTest, ReplaceSaysWhatBecameOfTheBook) {
    std::wstring fresh = File(L"new.db");
    struct Case {
        const char *name;
        MoveFileFn move;
        FlushFileFn flush;
        BookReplace result;
        int rows;  // of the book at RemarkDbPath afterwards
        bool open;
    } cases[] = {
        {"the new file does not reach the disk", testsupport::RecordedMove, testsupport::FailingFlush, kBookKept, 5,
         true},
        {"moved, but held by another program", testsupport::MoveThenHold, NULL, kBookReplacedNotOpen, 2, false},
        {"moved and open", testsupport::RecordedMove, NULL, kBookReplaced, 2, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (RemarkDb != NULL) sqlite3_close(RemarkDb);
        RemarkDb = NULL;
        ASSERT_TRUE(DeleteFileW(RemarkDbPath));
        PutRemarkBook();
        DeleteFileW(fresh.c_str());
        {
            Db db(fresh);
            db.Exec("CREATE TABLE VLS(C1 TEXT)");
            db.Exec("INSERT INTO VLS VALUES('N')");
            db.Exec("INSERT INTO VLS VALUES('N')");
        }
        testsupport::LastMoveFlags = 0;
        BookMoveHook = c.move;
        BookFlushHook = c.flush;
        EXPECT_EQ(ReplaceBookFile(&RemarkDb, RemarkDbPath, fresh.c_str(), "select count(*) from VLS", 2), c.result);
        BookMoveHook = NULL;
        BookFlushHook = NULL;
        EXPECT_EQ(RemarkDb != NULL, c.open);
        if (c.flush != NULL) {
            EXPECT_EQ(testsupport::LastMoveFlags, 0u) << "nothing moves before the file is on the disk";
        }
        if (c.result != kBookKept) {
            EXPECT_EQ(testsupport::LastMoveFlags, (DWORD)(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        }
        EXPECT_FALSE(testsupport::FileExists(fresh));
        testsupport::ReleaseHeldFile();
        EXPECT_EQ(Rows(), c.rows);
    }
}

TEST(JobBusyGuardTest, SecondJobRefusedAndTakenQuitPostedAgain) {
    {
        JobBusyGuard first;
        ASSERT_TRUE(first.acquired());
        JobBusyGuard second;
        EXPECT_FALSE(second.acquired());
        PostQuitMessage(7);
        EXPECT_EQ(PumpPendingMessages(), 1);
    }
    EXPECT_EQ(BookJobBusy, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit is posted again";
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
