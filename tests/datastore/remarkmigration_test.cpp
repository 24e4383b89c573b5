// The remark migrations, whose timestamped backups lie in the root of
// drive C (this program takes the drive_c lock).
#include <strsafe.h>

#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "storetest.h"

using namespace storetest;

namespace {

class RemarkMigration : public StoreTest {
  protected:
    RemarkMigration() : StoreTest(L"remark-migration") {}
    void TearDown() override {
        StoreTest::TearDown();
        RemoveBackups();
    }

    // Makes a remark book of version, opens it as start-up does and reads
    // its version.
    void Prepare(int version, int rows) {
        std::string error;
        ASSERT_EQ(datatool::MakeRemarkFile(RemarkDbPath, version, rows, {}, &error), 0) << error;
        ASSERT_EQ(sqlite3_open(U8(RemarkDbPath).c_str(), &RemarkDb), SQLITE_OK);
        RemarkSchemaVersion = 0;
        ASSERT_EQ(SelectSql(RemarkDb, L"select C2 from PRS where C1 ='DSV'", kModeRemarkVersion), SQLITE_OK);
        ASSERT_EQ(RemarkSchemaVersion, version);
    }
    static void RemoveBackups() {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(L"c:\\LastRemark - BACKUP *", &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            std::wstring path = std::wstring(L"c:\\") + data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    static std::wstring Backup() { return RemarkBackupPath; }
};

TEST_F(RemarkMigration, From1000AddsTheFollowUpColumnAfterABackup) {
    Prepare(1000, 4);
    ASSERT_EQ(MigrateRemarkToCurrent(NULL), kSchemaDone);
    EXPECT_TRUE(Messages.empty());
    ASSERT_NE(RemarkDb, nullptr);  // reopened in place
    EXPECT_EQ(SelectSql(RemarkDb, L"select C2 from PRS where C1 ='DSV'", kModeRemarkVersion), SQLITE_OK);
    EXPECT_EQ(RemarkSchemaVersion, 1002);
    CloseAllConnections();
    {
        Db db(RemarkDbPath);
        EXPECT_EQ(db.Column("SELECT DISTINCT C7 FROM VLS"), std::vector<std::string>{"NULL"});
        EXPECT_EQ(db.Count("VLS"), 4);
        EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE name = 'idxC7'"), "1");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'CLF'"), "0");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "1002");
    }
    // The backup is the book as it was.
    EXPECT_EQ(Backup().rfind(L"c:\\LastRemark - BACKUP ", 0), 0u);
    ASSERT_TRUE(testsupport::FileExists(Backup()));
    Db backup(Backup());
    EXPECT_EQ(backup.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "1000");
    EXPECT_EQ(backup.One("SELECT count(*) FROM pragma_table_info('VLS')"), "6");
    EXPECT_EQ(backup.Count("VLS"), 4);
}

TEST_F(RemarkMigration, From1001KeepsTheFollowUps) {
    Prepare(1001, 3);
    ASSERT_EQ(MigrateRemarkToCurrent(NULL), kSchemaDone);
    CloseAllConnections();
    Db db(RemarkDbPath);
    EXPECT_EQ(db.Column("SELECT C7 FROM VLS ORDER BY rowid"),
              (std::vector<std::string>{"2026-01-01", "NULL", "2026-03-03"}));
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'CLF'"), "0");
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "1002");
    Db backup(Backup());
    EXPECT_EQ(backup.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "1001");
}

TEST_F(RemarkMigration, WithoutABackupTheBookStaysAsItWas) {
    Prepare(1000, 2);
    // Folders in the way of every backup name of the next seconds.
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME base;
    SystemTimeToFileTime(&now, &base);
    ULARGE_INTEGER t;
    t.LowPart = base.dwLowDateTime;
    t.HighPart = base.dwHighDateTime;
    for (int s = 0; s < 20; s++) {
        ULARGE_INTEGER u;
        u.QuadPart = t.QuadPart + (ULONGLONG)s * 10000000ull;
        FILETIME ft = {u.LowPart, u.HighPart};
        SYSTEMTIME st;
        FileTimeToSystemTime(&ft, &st);
        WCHAR name[kPathChars];
        FormatBackupPath(name, ARRAYSIZE(name), L"LastRemark - BACKUP", &st);
        CreateDirectoryW(name, NULL);
    }
    EXPECT_EQ(MigrateRemarkFrom1000(NULL), kSchemaBackupFailed);
    EXPECT_TRUE(Messages.empty());
    ASSERT_NE(RemarkDb, nullptr);  // reopened, usable at its old version
    EXPECT_EQ(SelectSql(RemarkDb, L"select C2 from PRS where C1 ='DSV'", kModeRemarkVersion), SQLITE_OK);
    EXPECT_EQ(RemarkSchemaVersion, 1000);
    CloseAllConnections();
    Db db(RemarkDbPath);
    EXPECT_EQ(db.One("SELECT count(*) FROM pragma_table_info('VLS')"), "6");
    EXPECT_EQ(db.One("SELECT count(*) FROM PRS WHERE C1 = 'CLF'"), "0");
}

TEST_F(RemarkMigration, AMissingBookIsShownWithoutDestroyingTheWindow) {
    StringCchCopyW(RemarkDbPath, kPathChars, File(L"gone\\LastRemark.db").c_str());
    FakeMainWindow window;
    UseEnglish = 1;
    EXPECT_EQ(MigrateRemarkFrom1001(window.hwnd()), kSchemaNoFile);
    EXPECT_TRUE(window.alive());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, L"File[" + std::wstring(RemarkDbPath) + L"] does not exist");
    EXPECT_EQ(RemarkDb, nullptr);
}

}  // namespace
