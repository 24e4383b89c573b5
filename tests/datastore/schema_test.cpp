// Creation of the books with their defaults, and the diary migrations from
// every old schema version, on diaries that the data tool makes.
#include <strsafe.h>

#include <algorithm>
#include <map>

#include "datastore.h"
#include "datatool.h"
#include "mainwindow.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "storetest.h"

using namespace storetest;

namespace {

class Schema : public StoreTest {
  protected:
    Schema() : StoreTest(L"schema") {}

    // Opens DiaryDb on the diary as start-up does and reads its 'DSV'.
    void OpenDiaryAndReadVersion() {
        ASSERT_EQ(sqlite3_open(U8(DiaryDbPath).c_str(), &DiaryDb), SQLITE_OK);
        DiarySchemaVersion = 0;
        ASSERT_EQ(SelectSql(DiaryDb, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion), SQLITE_OK);
    }
    void MakeDiary(int version, int rows, bool phone, std::vector<datatool::BookSetting> settings = {}) {
        std::string error;
        ASSERT_EQ(datatool::MakeDiaryFile(DiaryDbPath, version, rows, phone, settings, &error), 0) << error;
    }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST_F(Schema, NewDiaryHoldsItsEighteenDefaults) {
    ASSERT_EQ(CreateDiaryDatabase(NULL), kSchemaDone);
    ASSERT_NE(DiaryDb, nullptr);
    CloseAllConnections();

    Db db(DiaryDbPath);
    std::string su = LocalField(L"Papan Kekunci/KeyBoard");
    EXPECT_EQ(db.Column("SELECT C1 || '=' || C2 FROM PRS ORDER BY rowid"),
              (std::vector<std::string>{"SND=1", "FH1=", "FH2=", "FH3=", "D=", "B=0", "SU=" + su, "DSV=15",
                                        "LOC=", "VLANG=0", "VMIC=0", "SOVN=1", "NAC=2", "HRS=0", "MCT=1",
                                        "HSS=0", "KPV=1", "EML=1"}));
    EXPECT_EQ(LocalPlain(su), L"Papan Kekunci/KeyBoard");
    EXPECT_EQ(db.Column("SELECT locale FROM android_metadata"), std::vector<std::string>{"en_US"});
    EXPECT_EQ(db.One("SELECT count(*) FROM pragma_table_info('VLS')"), "11");
    EXPECT_EQ(db.Column("SELECT name FROM ZELDdb_master WHERE type = 'index' AND tbl_name = 'VLS' ORDER BY name"),
              (std::vector<std::string>{"idxC1", "idxC10", "idxC11", "idxC2", "idxC3", "idxC6", "idxC8",
                                        "idxC9"}));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Schema, NewRemarkInitAndTemporaryBooks) {
    // The remark password starts as the diary's, even one with an apostrophe.
    StringCchCopyW(DiaryPassword, kTextChars, L"Ra'hsia 1");
    ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
    ASSERT_EQ(CreateInitDatabase(NULL), kSchemaDone);
    ASSERT_EQ(CreateTempDiaryDatabase(NULL), kSchemaDone);
    CloseAllConnections();
    {
        Db db(RemarkDbPath);
        EXPECT_EQ(db.Column("SELECT C1 FROM PRS ORDER BY rowid"), (std::vector<std::string>{"D", "DSV", "CLF"}));
        EXPECT_EQ(LocalPlain(db.One("SELECT C2 FROM PRS WHERE C1 = 'D'")), L"Ra'hsia 1");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "1002");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'CLF'"), "1");
        EXPECT_EQ(db.One("SELECT count(*) FROM pragma_table_info('VLS')"), "7");
        EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE type = 'index' AND name LIKE 'idxC_'"), "7");
    }
    {
        Db db(InitDbPath);
        EXPECT_EQ(db.Count("PRI"), 1);
        EXPECT_EQ(LocalPlain(db.One("SELECT C2 FROM PRI WHERE C1 = 'DSP'")), L"C:\\");
    }
    {
        Db db(TempDiaryDbPath);
        EXPECT_EQ(db.Count("PRS"), 0);
        EXPECT_EQ(db.One("SELECT count(*) FROM pragma_table_info('VLS')"), "11");
        EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE type = 'index' AND name LIKE 'idx%'"), "8");
        EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE name = 'android_metadata'"), "0");
    }
    // A new remark book without a diary password keeps an empty field.
    DiaryPassword[0] = 0;
    DeleteFileW(RemarkDbPath);
    ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
    CloseAllConnections();
    Db db(RemarkDbPath);
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'D'"), "");
}

TEST_F(Schema, CreationInAMissingFolderShowsTheFileAndDestroysTheWindow) {
    struct Case {
        int (*create)(HWND);
        WCHAR *path;
        sqlite3 **db;
        bool shortName;  // the init database is named alone, the others by path
    } cases[] = {
        {CreateInitDatabase, InitDbPath, &InitDb, true},
        {CreateDiaryDatabase, DiaryDbPath, &DiaryDb, false},
        {CreateRemarkDatabase, RemarkDbPath, &RemarkDb, false},
        {CreateTempDiaryDatabase, TempDiaryDbPath, &TempDiaryDb, false},
    };
    for (int english = 0; english <= 1; english++) {
        for (const Case &c : cases) {
            std::wstring path = File(L"missing\\book.db");
            StringCchCopyW(c.path, kPathChars, path.c_str());
            UseEnglish = english;
            Messages.clear();
            FakeMainWindow window;
            EXPECT_EQ(c.create(window.hwnd()), kSchemaNoFile);
            EXPECT_FALSE(window.alive());
            EXPECT_EQ(*c.db, nullptr);
            ASSERT_EQ(Messages.size(), 1u);
            std::wstring name = c.shortName ? L"KorvaneInit.db" : path;
            EXPECT_EQ(Messages[0].text, english ? L"File[" + name + L"] does not exist"
                                                : L"File[" + name + L"] tidak wujud");
            EXPECT_EQ(Messages[0].caption, english ? L"Error" : L"Masaalah");
            EXPECT_TRUE(Messages[0].type & MB_ICONERROR);
        }
    }
}

// The keys each step adds, in its order (the migration table of the diary).
const std::map<int, std::vector<std::string>> kAddedKeys = {
    {14, {"GMIN"}},
    {13, {"EML", "GMIN"}},
    {12, {"KPV", "EML", "GMIN"}},
    {11, {"KPV", "EML", "GMIN"}},
    {10, {"KPV", "EML", "GMIN"}},
    {9, {"HSS", "KPV", "EML", "GMIN"}},
    {8, {"MCT", "HSS", "KPV", "EML", "GMIN"}},
    {7, {"HRS", "MCT", "HSS", "KPV", "EML", "GMIN"}},
    {6, {"HRS", "MCT", "HSS", "KPV", "EML", "GMIN"}},
    {5, {"NAC", "HRS", "MCT", "HSS", "KPV", "EML", "GMIN"}},
    {4, {"VLANG", "VMIC", "SOVN", "NAC", "HRS", "MCT", "HSS", "KPV", "EML", "GMIN"}},
};

TEST_F(Schema, EveryOldDiaryMigratesToFifteen) {
    const std::vector<std::string> allKeys =
        Sorted({"SND", "FH1", "FH2", "FH3", "D", "B", "SU", "DSV", "LOC", "VLANG", "VMIC", "SOVN", "NAC",
                "HRS", "MCT", "HSS", "KPV", "EML", "GMIN"});
    for (int version = 4; version <= 14; version++) {
        SCOPED_TRACE(version);
        CloseAllConnections();
        MakeDiary(version, 3, false, {{L"B", L"1"}, {L"LOC", L"Jalan Tun Razak"}});
        OpenDiaryAndReadVersion();
        EXPECT_EQ(DiarySchemaVersion, version);

        ASSERT_EQ(MigrateDiaryToCurrent(NULL), kSchemaDone);
        EXPECT_TRUE(Messages.empty());
        ASSERT_NE(DiaryDb, nullptr);  // reopened in place
        EXPECT_EQ(SelectSql(DiaryDb, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion), SQLITE_OK);
        EXPECT_EQ(DiarySchemaVersion, 15);
        CloseAllConnections();

        Db db(DiaryDbPath);
        EXPECT_EQ(db.Column("SELECT C1 FROM PRS ORDER BY C1"), allKeys);
        std::vector<std::string> byRowid = db.Column("SELECT C1 FROM PRS ORDER BY rowid");
        const std::vector<std::string> &added = kAddedKeys.at(version);
        ASSERT_GE(byRowid.size(), added.size());
        EXPECT_EQ(std::vector<std::string>(byRowid.end() - added.size(), byRowid.end()), added);
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "15");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'GMIN'"), "10");
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'EML'"), version <= 13 ? "" : "1");
        // What the diary held stays.
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'B'"), "1");
        EXPECT_EQ(LocalPlain(db.One("SELECT C2 FROM PRS WHERE C1 = 'LOC'")), L"Jalan Tun Razak");
        EXPECT_EQ(db.Count("VLS"), 3);
        EXPECT_EQ(db.Column("SELECT locale FROM android_metadata"), std::vector<std::string>{"en_US"});
    }
}

TEST_F(Schema, APhoneMadeDiaryAndARepeatedStepDoNotFail) {
    // A diary made on a handphone has android_metadata at any version.
    MakeDiary(9, 2, true);
    OpenDiaryAndReadVersion();
    EXPECT_EQ(MigrateDiaryToCurrent(NULL), kSchemaDone);
    CloseAllConnections();
    {
        Db db(DiaryDbPath);
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "15");
        EXPECT_EQ(db.Count("android_metadata"), 1);
    }
    // A version-12 diary that already holds two of the keys of its step
    // keeps their values and still comes to 15.
    MakeDiary(12, 0, false, {{L"KPV", L"0"}, {L"EML", L"agent@example.com"}});
    OpenDiaryAndReadVersion();
    EXPECT_EQ(MigrateDiaryToCurrent(NULL), kSchemaDone);
    EXPECT_TRUE(Messages.empty());
    CloseAllConnections();
    Db db(DiaryDbPath);
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "15");
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'KPV'"), "0");
    EXPECT_EQ(LocalPlain(db.One("SELECT C2 FROM PRS WHERE C1 = 'EML'")), L"agent@example.com");
    EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'GMIN'"), "10");
}

TEST_F(Schema, AFailedStepStopsAndKeepsTheOldVersion) {
    for (bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "main window" : "no main window");
        CloseAllConnections();
        MakeDiary(10, 1, false);
        {
            Db db(DiaryDbPath);
            ASSERT_EQ(db.Exec("CREATE TRIGGER refuse BEFORE INSERT ON PRS WHEN NEW.C1 = 'GMIN' "
                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"),
                      SQLITE_OK);
        }
        OpenDiaryAndReadVersion();
        Messages.clear();
        FakeMainWindow window;
        if (!withWindow) MainWindow = NULL;

        EXPECT_EQ(MigrateDiaryToCurrent(withWindow ? window.hwnd() : NULL), kSchemaStatementFailed);
        ASSERT_EQ(Messages.size(), 1u);  // nothing ran after the failure
        EXPECT_EQ(Messages[0].caption, L"sql_stmt");
        EXPECT_EQ(Messages[0].text,
                  L"Error in statement: INSERT OR IGNORE INTO PRS VALUES('GMIN','10') [refused].\n");
        EXPECT_EQ(window.alive(), !withWindow);
        EXPECT_EQ(DiaryDb == nullptr, withWindow);
        if (!withWindow) {
            // The connection stays usable: no transaction is left open.
            EXPECT_NE(sqlite3_get_autocommit(DiaryDb), 0);
            EXPECT_EQ(SelectSql(DiaryDb, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion), SQLITE_OK);
            EXPECT_EQ(DiarySchemaVersion, 10);
        }
        CloseAllConnections();
        Db db(DiaryDbPath);
        EXPECT_EQ(db.One("SELECT C2 FROM PRS WHERE C1 = 'DSV'"), "10");
        EXPECT_EQ(db.One("SELECT count(*) FROM PRS WHERE C1 IN ('KPV', 'EML', 'GMIN')"), "0");
        EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE name = 'android_metadata'"), "0");
    }
}

TEST_F(Schema, VersionsWithoutAStepAreShownAndLeftAlone) {
    struct Case {
        double version;
        const wchar_t *message;  // NULL: nothing shown
        int result;
    } cases[] = {
        {3, L"Diary Version not correct => 3.000000", kSchemaNotMigrated},
        {0, L"Diary Version not correct => 0.000000", kSchemaNotMigrated},
        {9.5, L"Diary Version not correct => 9.500000", kSchemaNotMigrated},
        {15, NULL, kSchemaDone},
        {16, NULL, kSchemaDone},
    };
    MakeDiary(15, 1, false);
    ASSERT_EQ(sqlite3_open(U8(DiaryDbPath).c_str(), &DiaryDb), SQLITE_OK);
    sqlite3 *opened = DiaryDb;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        Messages.clear();
        DiarySchemaVersion = c.version;
        EXPECT_EQ(MigrateDiaryToCurrent(NULL), c.result);
        EXPECT_EQ(DiaryDb, opened);  // neither closed nor reopened
        if (c.message == NULL) {
            EXPECT_TRUE(Messages.empty());
        } else {
            ASSERT_EQ(Messages.size(), 1u);
            EXPECT_EQ(Messages[0].text, c.message);
            EXPECT_EQ(Messages[0].caption, L"Error");
        }
    }
    // A remark version without a step runs nothing either.
    for (double version : {0.0, 999.0, 1002.0}) {
        RemarkSchemaVersion = version;
        EXPECT_EQ(MigrateRemarkToCurrent(NULL), kSchemaDone);
    }
    EXPECT_EQ(MigrateDiaryFromVersion(NULL, 15), kSchemaNotMigrated);
    EXPECT_EQ(MigrateDiaryFromVersion(NULL, 3), kSchemaNotMigrated);
}

TEST_F(Schema, BackUpBookFileChecksItsCopy) {
    std::wstring source = File(L"book.db"), copy = File(L"copy.db");
    ASSERT_TRUE(testsupport::WriteFileBytes(source, std::vector<unsigned char>(3000, 'x')));
    EXPECT_TRUE(BackUpBookFile(source.c_str(), copy.c_str()));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(copy, &bytes));
    EXPECT_EQ(bytes.size(), 3000u);
    EXPECT_FALSE(BackUpBookFile(source.c_str(), File(L"no-folder\\copy.db").c_str()));
    EXPECT_FALSE(BackUpBookFile(File(L"absent.db").c_str(), copy.c_str()));
}

}  // namespace
