// The shared helpers of the book jobs: checked backups, the job
// transaction, the whole-file replace and the busy guard.
#include <gtest/gtest.h>

#include <strsafe.h>

#include <string>

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
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, first, ARRAYSIZE(first)));
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, second, ARRAYSIZE(second)));
    ASSERT_TRUE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, third, ARRAYSIZE(third)));
    EXPECT_EQ(std::wstring(first), FixedName);
    EXPECT_EQ(std::wstring(second), File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (2).db"));
    EXPECT_EQ(std::wstring(third), File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (3).db"));
    Db copy(first);
    EXPECT_EQ(copy.Count("VLS"), 5);

    // A copy cut short is no backup: refused and removed.
    BookCopyHook = HalfCopy;
    WCHAR cut[kPathChars];
    EXPECT_FALSE(MakeCheckedBackup(RemarkDbPath, MakeFixedName, cut, ARRAYSIZE(cut)));
    EXPECT_FALSE(testsupport::FileExists(File(L"LastRemark - BACKUP 2026-DEC-10 07_00_00 (4).db")));
    BookCopyHook = NULL;

    // A target that cannot be written (its folder is a file).
    testsupport::WriteFileBytes(File(L"blocked"), {1, 2, 3});
    FixedName = File(L"blocked\\backup.db");
    BackupNameHook = MakeFixedName;
    EXPECT_FALSE(BackUpRemarkBook(NULL));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].caption, L"Masaalah");
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
