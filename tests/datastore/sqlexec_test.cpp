// ExecSql and SelectSql with their failure rules, and the select modes:
// key-value settings, row copies, the plate search and the remark of a
// plate, on real books and on real controls of a stand-in main window.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include <functional>

#include "bookrows.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "storetest.h"

using namespace storetest;

namespace {

class SqlExec : public StoreTest {
  protected:
    SqlExec() : StoreTest(L"sqlexec") {}

    // A connection of the store's kind on a scratch file of its own.
    sqlite3 *OpenScratch(const wchar_t *name, const char *sql) {
        sqlite3 *db = NULL;
        EXPECT_EQ(sqlite3_open(U8(File(name)).c_str(), &db), SQLITE_OK);
        if (sql != NULL) {
            EXPECT_EQ(sqlite3_exec(db, sql, NULL, NULL, NULL), SQLITE_OK);
        }
        return db;
    }
};

std::wstring ListItem(HWND list, int index) {
    wchar_t text[512] = {0};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    SendMessageW(list, LVM_GETITEMTEXTW, index, (LPARAM)&item);
    return text;
}

// The control's own visibility (the stand-in main window is never shown).
bool Shown(const FakeMainWindow &window, int id) {
    return (GetWindowLongW(GetDlgItem(window.hwnd(), id), GWL_STYLE) & WS_VISIBLE) != 0;
}

TEST_F(SqlExec, AFailedStatementIsShownOnceAndEndsTheProgram) {
    DiaryDb = OpenScratch(L"exec.db", "CREATE TABLE T(C1)");
    EXPECT_EQ(ExecSql(NULL, L"insert into T values (1)"), SQLITE_MISUSE);
    EXPECT_EQ(ExecSql(DiaryDb, L"insert into T values (1)"), SQLITE_OK);
    EXPECT_TRUE(Messages.empty());

    FakeMainWindow window;
    EXPECT_EQ(ExecSql(DiaryDb, L"begin"), SQLITE_OK);
    EXPECT_EQ(ExecSql(DiaryDb, L"insert into NOPE values (1)"), SQLITE_ERROR);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, L"Error in statement: insert into NOPE values (1) [no such table: NOPE].\n");
    EXPECT_EQ(Messages[0].caption, L"sql_stmt");
    EXPECT_EQ(Messages[0].type, (UINT)MB_ICONINFORMATION);
    EXPECT_EQ(StatementText, Messages[0].text);
    EXPECT_FALSE(window.alive());
    EXPECT_EQ(DiaryDb, nullptr);  // the shutdown closed it
    // The caller's "commit" reaches no connection and shows nothing.
    EXPECT_EQ(ExecSql(DiaryDb, L"commit"), SQLITE_MISUSE);
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(SqlExec, TransactionsStopAtAFailureAndKeepNothingOfIt) {
    DiaryDb = OpenScratch(L"tx.db", "CREATE TABLE T(C1 PRIMARY KEY)");
    const WCHAR *failing[] = {L"insert into T values ('a')", L"insert into T values ('a')",
                              L"insert into T values ('b')"};
    EXPECT_EQ(ExecTransaction(&DiaryDb, failing, 3), SQLITE_CONSTRAINT);
    EXPECT_EQ(Messages.size(), 1u);
    ASSERT_NE(DiaryDb, nullptr);
    EXPECT_NE(sqlite3_get_autocommit(DiaryDb), 0);  // usable again
    const WCHAR *good[] = {L"insert into T values ('c')"};
    EXPECT_EQ(ExecTransaction(&DiaryDb, good, 1), SQLITE_OK);
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    Db db(File(L"tx.db"));
    EXPECT_EQ(db.Column("SELECT C1 FROM T"), std::vector<std::string>{"c"});

    // A statement longer than the engine's buffer is refused, not cut.
    DiaryDb = OpenScratch(L"tx.db", NULL);
    Messages.clear();
    std::wstring huge = L"insert into T values ('" + std::wstring(1600, L'x') + L"')";
    EXPECT_EQ(ExecSql(DiaryDb, huge.c_str()), SQLITE_TOOBIG);
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_EQ(db.Count("T"), 1);

    // A failure inside "begin" leaves no transaction open: the shutdown
    // that follows must be able to store its settings.
    for (const WCHAR *failing : {huge.c_str(), L"insert into NOPE values (1)"}) {
        ASSERT_EQ(ExecSql(DiaryDb, L"begin"), SQLITE_OK);
        EXPECT_NE(ExecSql(DiaryDb, failing), SQLITE_OK);
        EXPECT_NE(sqlite3_get_autocommit(DiaryDb), 0) << U8(failing).substr(0, 30);
    }
}

TEST_F(SqlExec, AFailedSelectIsShownAndTheProgramGoesOn) {
    sqlite3 *db = OpenScratch(L"select.db", "CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT)");
    FakeMainWindow window;
    EXPECT_EQ(SelectSql(NULL, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion), SQLITE_MISUSE);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(SelectSql(db, L"select C2 from NOPE", kModeDiaryVersion), SQLITE_ERROR);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, L"Error in select statement:[no such table: NOPE].\n");
    EXPECT_EQ(Messages[0].caption, L"select_stmt");
    EXPECT_TRUE(window.alive());
    EXPECT_EQ(SelectSql(db, L"VACUUM;", kModeVacuum), SQLITE_OK);
    sqlite3_close(db);
}

TEST(SqlQuoteTest, DoublesApostrophesWithinItsBuffer) {
    WCHAR out[16];
    EXPECT_TRUE(SqlQuote(L"D'Cruz", out));
    EXPECT_STREQ(out, L"D''Cruz");
    EXPECT_TRUE(SqlQuote(L"''", out));
    EXPECT_STREQ(out, L"''''");
    WCHAR small[7];
    EXPECT_FALSE(SqlQuote(L"D'Cruz", small));  // needs 8 with the NUL
    EXPECT_STREQ(small, L"");
}

TEST_F(SqlExec, KeyValueModesFillTheirSettings) {
    sqlite3 *db = OpenScratch(L"keys.db",
                              "CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT);"
                              "CREATE TABLE PRD(C1 TEXT PRIMARY KEY, C2 TEXT);"
                              "CREATE TABLE PRI(C1 TEXT PRIMARY KEY, C2 TEXT);");
    std::wstring longPlate(60, L'W');
    struct Case {
        int mode;
        const char *table, *key;
        std::string stored;
        std::function<std::wstring()> target;
        std::wstring expected;
    } cases[] = {
        {2, "PRD", "DV", DataField(L"20260105.000"), [] { return std::wstring(DataVersion); }, L"20260105.000"},
        {4, "PRD", "DVP", DataField(L"20260201"), [] { return std::wstring(DataVersionPatch); }, L"20260201.000"},
        {5, "PRD", "CP1", DataField(L"Tel: 03-2100"), [] { return std::wstring(ContactLines[0]); }, L"Tel: 03-2100"},
        {10, "PRD", "CP6", DataField(L"-akan dilantik-"), [] { return std::wstring(ContactLines[5]); },
         L"-akan dilantik-"},
        {23, "PRD", "CE", DataField(L"14.91"), [] { return std::to_wstring(RequiredProgramVersion); }, L"14.910000"},
        {11, "PRS", "FH1", LocalField(L"WA1234B"), [] { return std::wstring(FindHistory[0]); }, L"WA1234B"},
        {13, "PRS", "FH3", LocalField(longPlate), [] { return std::wstring(FindHistory[2]); },
         std::wstring(50, L'W')},
        {17, "PRS", "SND", "1", [] { return std::to_wstring(SoundOnFound); }, L"1"},
        {17, "PRS", "SND", "0", [] { return std::to_wstring(SoundOnFound); }, L"0"},
        {18, "PRS", "B", "1", [] { return std::to_wstring(UseEnglish); }, L"1"},
        {19, "PRI", "DSP", LocalField(L"D:\\Diary"), [] { return std::wstring(DiaryStoragePlace); }, L"D:\\Diary"},
        {20, "PRS", "SU", LocalField(L"Papan Kekunci/KeyBoard"), [] { return std::wstring(SearchUsing); },
         L"Papan Kekunci/KeyBoard"},
        {24, "PRS", "DSV", "14", [] { return std::to_wstring(DiarySchemaVersion); }, L"14.000000"},
        {25, "PRS", "LOC", LocalField(L"Jalan Ampang"), [] { return std::wstring(LocationText); }, L"Jalan Ampang"},
        {32, "PRS", "D", LocalField(L"rahsia"), [] { return std::wstring(DiaryPassword); }, L"rahsia"},
        {43, "PRS", "HRS", "1", [] { return std::to_wstring(HugeResultSize); }, L"1"},
        {44, "PRS", "MCT", "2", [] { return std::to_wstring(MultiColourText); }, L"0"},
        {49, "PRS", "D", LocalField(L"import"), [] { return std::wstring(ImportFilePassword); }, L"import"},
        {50, "PRS", "DSV", "1001", [] { return std::to_wstring(RemarkSchemaVersion); }, L"1001.000000"},
        {51, "PRS", "D", LocalField(L"remark"), [] { return std::wstring(RemarkPassword); }, L"remark"},
        {56, "PRS", "CLF", "1", [] { return std::to_wstring(ClearedPlatesPurged); }, L"1"},
        {57, "PRS", "EML", LocalField(L"agent@example.com"), [] { return std::wstring(EmailText); },
         L"agent@example.com"},
        // A new diary's 'EML' of '1' is no cipher field and reads as empty.
        {57, "PRS", "EML", "1", [] { return std::wstring(EmailText); }, L""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        char *put = sqlite3_mprintf("INSERT OR REPLACE INTO %s VALUES(%Q,%Q)", c.table, c.key, c.stored.c_str());
        ASSERT_EQ(sqlite3_exec(db, put, NULL, NULL, NULL), SQLITE_OK);
        sqlite3_free(put);
        WCHAR statement[128];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"select C2 from %hs where C1 ='%hs'", c.table, c.key);
        EXPECT_EQ(SelectSql(db, statement, c.mode), SQLITE_OK);
        EXPECT_EQ(c.target(), c.expected);
    }
    // A missing key delivers no row: the target keeps its value. A NULL
    // value reads as empty.
    StringCchCopyW(DiaryPassword, kTextChars, L"kept");
    EXPECT_EQ(SelectSql(db, L"select C2 from PRS where C1 ='NOKEY'", kModeDiaryPassword), SQLITE_OK);
    EXPECT_STREQ(DiaryPassword, L"kept");
    ASSERT_EQ(sqlite3_exec(db, "UPDATE PRS SET C2 = NULL", NULL, NULL, NULL), SQLITE_OK);
    EXPECT_EQ(SelectSql(db, L"select C2 from PRS where C1 ='D'", kModeDiaryPassword), SQLITE_OK);
    EXPECT_STREQ(DiaryPassword, L"");
    EXPECT_EQ(SelectSql(db, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion), SQLITE_OK);
    EXPECT_EQ(DiarySchemaVersion, 0);
    EXPECT_TRUE(Messages.empty());
    sqlite3_close(db);
}

TEST_F(SqlExec, DataVersionTextByUpdateAndPatch) {
    sqlite3 *db = OpenScratch(L"dv.db", "CREATE TABLE PRD(C1 TEXT PRIMARY KEY, C2 TEXT)");
    struct Case {
        const wchar_t *dv, *dvr, *dvp, *text;
    } cases[] = {
        {L"20260105.000", L"20260105.000", L"FACTORY", L"20260105.000"},
        {L"V1A", L"v1a", L"20260201.000", L"V1A[patch 20260201.000]"},
        {L"20260105.000", L"20260301.000", L"FACTORY", L"20260105.000[update 20260301.000]"},
        {L"20260105.000", L"20260301.000", L"20260302.000",
         L"20260105.000[update 20260301.000][patch 20260302.000]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        char *put = sqlite3_mprintf("INSERT OR REPLACE INTO PRD VALUES('DVR',%Q)", DataField(c.dvr).c_str());
        sqlite3_exec(db, put, NULL, NULL, NULL);
        sqlite3_free(put);
        StringCchCopyW(DataVersion, kTextChars, c.dv);
        StringCchCopyW(DataVersionPatch, kTextChars, c.dvp);
        EXPECT_EQ(SelectSql(db, L"select C2 from PRD where C1 ='DVR'", kModeDataVersionUpdate), SQLITE_OK);
        EXPECT_STREQ(DataVersionUpdate, c.dvr);
        EXPECT_STREQ(DataVersionText, c.text);
    }
    sqlite3_close(db);
}

TEST_F(SqlExec, RowCopyingModesTakeEveryColumnAndReadMissingOnesAsEmpty) {
    sqlite3 *db = OpenScratch(L"rows.db",
                              "CREATE TABLE VLS(C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11);"
                              "INSERT INTO VLS VALUES('c1','c2','c3','c4','c5','c6','c7','c8','c9','c10','c11');"
                              "INSERT INTO VLS VALUES('n1',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL);"
                              "CREATE TABLE R6(C1,C2,C3,C4,C5,C6); INSERT INTO R6 VALUES('r1','r2','r3','r4','r5','r6');"
                              "CREATE TABLE R7(C1,C2,C3,C4,C5,C6,C7);"
                              "INSERT INTO R7 VALUES('r1','r2','r3','r4','r5','r6','r7');"
                              "CREATE TABLE PRS(C1,C2); INSERT INTO PRS VALUES('DSV','15');");
    auto slots = [](int n) {
        std::vector<std::wstring> out;
        for (int i = 0; i < n; i++) out.push_back(SelectSlots[i]);
        return out;
    };
    auto mark = [] {
        for (auto &slot : SelectSlots) StringCchCopyW(slot, kSlotChars, L"old");
    };
    struct Case {
        int mode;
        const wchar_t *statement;
        double remarkVersion;
        std::vector<std::wstring> expected;  // slots 0 .. size-1
    } cases[] = {
        {31, L"select *,rowid from VLS where rowid = 1", 0,
         {L"c1", L"c2", L"c3", L"c4", L"c5", L"c6", L"c7", L"c8", L"c9", L"c10", L"c11", L"old"}},
        {48, L"select * from VLS where rowid = 1", 0,
         {L"c1", L"c2", L"c3", L"c4", L"c5", L"c6", L"c7", L"c8", L"c9", L"c10", L"c11", L"old"}},
        {48, L"select * from VLS where rowid = 2", 0,
         {L"n1", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"old"}},
        {31, L"select C1 from VLS where rowid = 1", 0,  // a short row
         {L"c1", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"old"}},
        {30, L"select * from VLS where C3 = 'c3'", 0, {L"c1", L"old", L"c3", L"old"}},
        {40, L"select * from PRS where rowid = 1", 0, {L"DSV", L"15", L"old"}},
        {53, L"select * from R6 where rowid = 1", 1000, {L"r1", L"r2", L"r3", L"r4", L"r5", L"r6", L"old"}},
        {53, L"select * from R7 where rowid = 1", 1002, {L"r1", L"r2", L"r3", L"r4", L"r5", L"r6", L"r7", L"old"}},
        {55, L"SELECT C1 from VLS", 0, {L"old"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.statement);
        mark();
        RemarkSchemaVersion = c.remarkVersion;
        EXPECT_EQ(SelectSql(db, c.statement, c.mode), SQLITE_OK);
        EXPECT_EQ(slots((int)c.expected.size()), c.expected);
    }
    EXPECT_EQ(SelectSql(db, L"select rowid from VLS order by rowid desc limit 1", kModeDiaryLastRowId), SQLITE_OK);
    EXPECT_EQ(SelectSql(db, L"select rowid from PRS order by rowid desc limit 1", kModeSettingsLastRowId), SQLITE_OK);
    EXPECT_EQ(SelectSql(db, L"select rowid from R7 order by rowid desc limit 1", kModeImportLastRowId), SQLITE_OK);
    EXPECT_EQ(DiaryLastRowId, 2);
    EXPECT_EQ(SettingsLastRowId, 1);
    EXPECT_EQ(ImportLastRowId, 1);
    sqlite3_close(db);
}

// ---- The plate search (mode 0) ------------------------------------------------------

class PlateSearch : public SqlExec {
  protected:
    void SetUp() override {
        SqlExec::SetUp();
        std::string error;
        ASSERT_EQ(datatool::AddVehicles(DataDbPath,
                                        {{L"WA1234B", L"7", L"09 Dec 2025", L"SALOON 1.6 SILVER 2017", L"D'CRUZ LEASING"},
                                         {L"WA1234B", L"", L"", L"MPV 2.0 WHITE 2020", L"CAHAYA FINANCE BHD"},
                                         {L"BJK9921", L"12", L"01 Feb 2024", L"PICKUP 2.5 BLACK", L"EMAS AUTO CREDIT"}},
                                        &error),
                  0)
            << error;
        ASSERT_EQ(sqlite3_open(U8(DataDbPath).c_str(), &DataDb), SQLITE_OK);
        ASSERT_EQ(CreateDiaryDatabase(NULL), kSchemaDone);
        StringCchCopyW(DataVersionUpdate, kTextChars, L"20260105.000");
    }

    // Searches a plate the way Find does.
    int Search(const wchar_t *plate) {
        StringCchCopyW(FindHistory[0], kFindHistoryChars, plate);
        char key[kMd5HexBytes] = {0};
        VehicleLookupKey(plate, key);
        WCHAR statement[256];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"select * from VLD where C1 = '%hs'", key);
        VehicleFound = 0;
        return SelectSql(DataDb, statement, kModePlateSearch);
    }

    std::vector<std::string> DiaryRow(int rowid) {
        Db db(DiaryDbPath);
        std::vector<std::string> row;
        for (int c = 1; c <= 11; c++)
            row.push_back(db.One("SELECT C" + std::to_string(c) + " FROM VLS WHERE rowid = " + std::to_string(rowid)));
        return row;
    }
};

TEST_F(PlateSearch, HitsFillTheMainWindowAndAreLogged) {
    FakeMainWindow window;
    window.AddResultControls();
    for (int id = IDC_BIG_BUTTON_FIRST; id <= IDC_BIG_BUTTON_FRAME; id++) window.Add(L"BUTTON", id);
    SetWindowTextW(LocationEdit, L"Jalan O'Connor, KL");
    ShowWindow(GetDlgItem(window.hwnd(), IDC_RESULT), SW_HIDE);
    UseEnglish = 1;
    SoundOnFound = 1;
    HugeResultSize = 1;
    int beeps = FoundBeepCount;

    EXPECT_EQ(Search(L"WA1234B"), SQLITE_OK);
    EXPECT_TRUE(Messages.empty());  // the apostrophes of financier and location end nothing
    EXPECT_EQ(VehicleFound, 1);
    EXPECT_EQ(FoundBeepCount, beeps + 1);
    ASSERT_EQ(FoundVehicleList.ListViewBoxGetItemCount(), 2);
    // The row delivered last stands on top; its arrears and date are empty.
    const std::wstring second = L"WA1234B | CAHAYA FINANCE BHD | MPV 2.0 WHITE 2020";
    EXPECT_EQ(ListItem(FoundVehicleList.list, 0), second);
    EXPECT_EQ(ListItem(FoundVehicleList.list, 1), L"WA1234B | 7 | 09 Dec 2025 | D'CRUZ LEASING | SALOON 1.6 SILVER 2017");
    EXPECT_EQ(window.Text(IDC_RESULT), second);
    EXPECT_EQ(window.Text(IDC_HIT_COUNT), L"Found: 2 rows");
    EXPECT_EQ(window.Text(IDC_ARREARS), L"");
    EXPECT_EQ(window.Text(IDC_FINANCIER), L"CAHAYA FINANCE BHD");
    // The empty date of the second hit left the first one's date.
    EXPECT_EQ(window.Text(IDC_LASTPAY_DAY), L"09");
    EXPECT_EQ(window.ComboSelection(IDC_LASTPAY_MONTH), 12);
    EXPECT_EQ(window.Text(IDC_LASTPAY_YEAR), L"2025");
    EXPECT_FALSE(Shown(window, IDC_BIG_BUTTON_FIRST + 3));
    EXPECT_FALSE(Shown(window, IDC_BIG_BUTTON_FRAME));
    EXPECT_TRUE(Shown(window, IDC_RESULT));

    std::vector<std::string> row = DiaryRow(1);
    EXPECT_EQ(row[0].size(), 19u);  // YYYY-MM-DD hh:mm:ss
    EXPECT_EQ(row[1], "1");
    EXPECT_EQ(LocalPlain(row[2]), L"WA1234B");
    EXPECT_EQ(LocalPlain(row[3]), L"09 Dec 2025");
    EXPECT_EQ(LocalPlain(row[4]), L"SALOON 1.6 SILVER 2017");
    EXPECT_EQ(row[5], "D'CRUZ LEASING");
    EXPECT_EQ(LocalPlain(row[6]), L"7");
    EXPECT_EQ(row[7], "Jalan OConnor, KL");
    EXPECT_EQ(row[8], "20260105.000");
    EXPECT_EQ(row[9], "");
    EXPECT_EQ(row[10], "");
    EXPECT_EQ(DiaryRow(2)[5], "CAHAYA FINANCE BHD");
    EXPECT_EQ(LocalPlain(DiaryRow(2)[6]), L"");
}

TEST_F(PlateSearch, HitCountTextsByLanguage) {
    FakeMainWindow window;
    window.AddResultControls();
    struct Case {
        int english;
        const wchar_t *plate, *text;
    } cases[] = {
        {1, L"BJK9921", L"Found: 1 row"},
        {1, L"WA1234B", L"Found: 2 rows"},
        {0, L"BJK9921", L"Jumpa: 1 baris"},
        {0, L"WA1234B", L"Jumpa: 2 baris"},
    };
    for (const Case &c : cases) {
        UseEnglish = c.english;
        EXPECT_EQ(Search(c.plate), SQLITE_OK);
        EXPECT_EQ(window.Text(IDC_HIT_COUNT), c.text);
    }
}

TEST_F(PlateSearch, AMissIsLoggedOnceWithoutAHitCount) {
    FakeMainWindow window;
    window.AddResultControls();
    StringCchCopyW(LocationText, kTextChars, L"stale");
    SetWindowTextW(LocationEdit, L"Kg. Baru");
    SoundOnFound = 1;
    int beeps = FoundBeepCount;
    EXPECT_EQ(Search(L"XYZ1"), SQLITE_OK);
    EXPECT_EQ(VehicleFound, 0);
    EXPECT_EQ(FoundBeepCount, beeps);
    EXPECT_EQ(window.Text(IDC_HIT_COUNT), L"");
    EXPECT_EQ(FoundVehicleList.ListViewBoxGetItemCount(), 0);
    Db db(DiaryDbPath);
    EXPECT_EQ(db.Count("VLS"), 1);
    std::vector<std::string> row = DiaryRow(1);
    EXPECT_EQ(row[1], "0");
    EXPECT_EQ(LocalPlain(row[2]), L"XYZ1");
    EXPECT_EQ(std::vector<std::string>(row.begin() + 3, row.begin() + 7),
              (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(row[7], "Kg. Baru");
    EXPECT_EQ(row[8], "20260105.000");
}

TEST_F(PlateSearch, WithoutAnyWindowTheSearchStillLogs) {
    StringCchCopyW(LocationText, kTextChars, L"Jalan D'Lima");
    EXPECT_EQ(Search(L"WA1234B"), SQLITE_OK);
    EXPECT_EQ(Search(L"NONE1"), SQLITE_OK);
    EXPECT_TRUE(Messages.empty());
    Db db(DiaryDbPath);
    EXPECT_EQ(db.Column("SELECT C2 FROM VLS ORDER BY rowid"), (std::vector<std::string>{"1", "1", "0"}));
    EXPECT_EQ(db.One("SELECT C8 FROM VLS WHERE rowid = 3"), "Jalan DLima");
}

// Characters that the Western code page would "best fit" to an apostrophe
// (fullwidth apostrophe, modifier letter apostrophe, prime) reach the books
// as '?', after the quoting as before it; the right single quotation mark
// has a byte of its own. Pasted into a location or a remark, none ends a
// statement.
TEST_F(PlateSearch, LookAlikeApostrophesNeverEndAStatement) {
    ASSERT_EQ(GetACP(), 1252u) << "the cases are those of the Western code page";
    const std::wstring text = L"JALAN \xFF07" L"A\x02BC" L"B\x2032" L"C\x2019" L"D'E";
    const std::string location = "JALAN ?A?B?C\x92" "DE";     // apostrophes dropped from locations
    const std::string remark = "JALAN ?A?B?C\x92" "D'E";
    StringCchCopyW(LocationText, kTextChars, text.c_str());
    EXPECT_EQ(Search(L"WA1234B"), SQLITE_OK);
    EXPECT_EQ(Search(L"NONE1"), SQLITE_OK);
    EXPECT_EQ(SetDiaryLocationRemark(3, text.c_str(), text.c_str()), SQLITE_OK);
    EXPECT_TRUE(Messages.empty()) << (Messages.empty() ? "" : U8(Messages[0].text));
    Db db(DiaryDbPath);
    EXPECT_EQ(db.Column("SELECT C8 FROM VLS ORDER BY rowid"),
              (std::vector<std::string>{location, location, remark}));
    EXPECT_EQ(db.One("SELECT C10 FROM VLS WHERE rowid = 3"), remark);
}

// A diary that refuses the search's rows (a trigger here; a full disk or
// another program's lock alike) stops neither the select nor the program:
// every hit is shown, nothing is said here, and the code is left for the
// search to tell.
TEST_F(PlateSearch, ARefusedDiaryRowStopsNothing) {
    {
        Db db(DiaryDbPath);
        ASSERT_EQ(db.Exec("CREATE TRIGGER refuse BEFORE INSERT ON VLS BEGIN SELECT RAISE(ABORT, 'full'); END"),
                  SQLITE_OK);
    }
    FakeMainWindow window;
    window.AddResultControls();
    UseEnglish = 1;
    struct Case {
        const wchar_t *plate;
        int lines;  // on the found list afterwards
    } cases[] = {{L"WA1234B", 2}, {L"NONE1", 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(U8(c.plate));
        DiaryLogFailure = SQLITE_OK;
        EXPECT_EQ(Search(c.plate), SQLITE_OK);
        EXPECT_EQ(DiaryLogFailure, SQLITE_CONSTRAINT);
        EXPECT_TRUE(Messages.empty()) << U8(Messages.empty() ? L"" : Messages[0].text);
        EXPECT_TRUE(window.alive());
        EXPECT_EQ(FoundVehicleList.ListViewBoxGetItemCount(), c.lines);
        ASSERT_NE(DiaryDb, nullptr);
        EXPECT_NE(sqlite3_get_autocommit(DiaryDb), 0) << "no transaction left open";
    }
    EXPECT_EQ(window.Text(IDC_HIT_COUNT), L"Found: 2 rows");

    // Once the diary takes rows again, the next search is logged.
    {
        Db db(DiaryDbPath);
        ASSERT_EQ(db.Exec("DROP TRIGGER refuse"), SQLITE_OK);
    }
    DiaryLogFailure = SQLITE_OK;
    EXPECT_EQ(Search(L"BJK9921"), SQLITE_OK);
    EXPECT_EQ(DiaryLogFailure, SQLITE_OK);
    Db db(DiaryDbPath);
    EXPECT_EQ(db.Count("VLS"), 1);
}

TEST(FormatVehicleLineTest, EmptyArrearsAndDateAreLeftOut) {
    struct Case {
        const wchar_t *arrears, *date, *line;
    } cases[] = {
        {L"", L"", L"P | F | D"},
        {L"", L"09 Dec 2025", L"P | 09 Dec 2025 | F | D"},
        {L"7", L"", L"P | 7 | F | D"},
        {L"7", L"09 Dec 2025", L"P | 7 | 09 Dec 2025 | F | D"},
    };
    for (const Case &c : cases) {
        WCHAR line[256];
        FormatVehicleLine(line, ARRAYSIZE(line), L"P", c.arrears, c.date, L"F", L"D");
        EXPECT_STREQ(line, c.line);
    }
}

// ---- The remark of a plate (mode 52) ------------------------------------------------

class RemarkOfPlate : public SqlExec {
  protected:
    void SetUp() override {
        SqlExec::SetUp();
        ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
        Db db(RemarkDbPath);
        Put(db, L"WA1234B", L"3", L"15 Mar 2026", L"D'CRUZ LEASING", L"CALL O'NEIL", "2026-01-05 09:00:00", "2026-04-07");
        Put(db, L"BJK9921", L"", L"", L"EMAS", L"GONE", "2026-01-06 10:00:00", "null");
    }
    static void Put(Db &db, const wchar_t *plate, const wchar_t *arrears, const wchar_t *date, const wchar_t *bank,
                    const wchar_t *remark, const char *saved, const char *followUp) {
        char *sql = sqlite3_mprintf("INSERT INTO VLS VALUES(%Q,%Q,%Q,%Q,%Q,%Q,%Q)", LocalField(plate).c_str(),
                                    LocalField(arrears).c_str(), LocalField(date).c_str(), LocalField(bank).c_str(),
                                    LocalField(remark).c_str(), saved, followUp);
        ASSERT_EQ(db.Exec(sql), SQLITE_OK);
        sqlite3_free(sql);
    }
    int Read(const wchar_t *plate) {
        WCHAR statement[256];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"select * from VLS where C1 = '%hs'",
                         LocalField(plate).c_str());
        RemarkPresent = 0;
        return SelectSql(RemarkDb, statement, kModeRemarkOfPlate);
    }
};

TEST_F(RemarkOfPlate, FillsTheRemarkFieldsOfTheMainWindow) {
    FakeMainWindow window;
    window.AddResultControls();
    SoundOnFound = 1;
    int beeps = FoundBeepCount;
    EXPECT_EQ(Read(L"WA1234B"), SQLITE_OK);
    EXPECT_EQ(RemarkPresent, 1);
    EXPECT_EQ(FoundBeepCount, beeps + 1);  // no vehicle hit before it
    EXPECT_EQ(ListItem(FoundVehicleList.list, 0), L"WA1234B | 3 | 15 Mar 2026 | D'CRUZ LEASING | CALL O'NEIL");
    EXPECT_TRUE(Shown(window, IDC_DELETE_REMARK));
    EXPECT_EQ(window.Text(IDC_PLATE), L"WA1234B");
    EXPECT_EQ(window.Text(IDC_ARREARS), L"3");
    EXPECT_EQ(window.Text(IDC_LASTPAY_DAY), L"15");
    EXPECT_EQ(window.ComboSelection(IDC_LASTPAY_MONTH), 3);
    EXPECT_EQ(window.Text(IDC_LASTPAY_YEAR), L"2026");
    EXPECT_EQ(window.Text(IDC_FOLLOWUP_DAY), L"07");
    EXPECT_EQ(window.ComboSelection(IDC_FOLLOWUP_MONTH), 4);
    EXPECT_EQ(window.Text(IDC_FOLLOWUP_YEAR), L"2026");
    EXPECT_EQ(window.Text(IDC_FINANCIER), L"D'CRUZ LEASING");
    EXPECT_EQ(window.Text(IDC_REMARK), L"CALL O'NEIL");
    EXPECT_EQ(window.Text(IDC_LAST_SAVED), L"Last Saved at : 2026-01-05 09:00:00");

    // A follow-up of 'null' (any case) clears the follow-up fields; a hit
    // before the remark means no second beep.
    VehicleFound = 1;
    EXPECT_EQ(Read(L"BJK9921"), SQLITE_OK);
    EXPECT_EQ(FoundBeepCount, beeps + 1);
    EXPECT_EQ(window.Text(IDC_FOLLOWUP_DAY), L"");
    EXPECT_EQ(window.Text(IDC_FOLLOWUP_YEAR), L"");
    EXPECT_EQ(window.ComboSelection(IDC_FOLLOWUP_MONTH), 0);
    EXPECT_EQ(window.Text(IDC_LASTPAY_DAY), L"15");  // an empty date leaves the fields
    EXPECT_EQ(ListItem(FoundVehicleList.list, 0), L"BJK9921 | EMAS | GONE");
}

TEST_F(RemarkOfPlate, DuringImportOnlyTheSlotsChange) {
    FakeMainWindow window;
    window.AddResultControls();
    SetWindowTextW(GetDlgItem(window.hwnd(), IDC_REMARK), L"typed");
    RemarkToScreen = 0;
    SoundOnFound = 1;
    int beeps = FoundBeepCount;
    EXPECT_EQ(Read(L"WA1234B"), SQLITE_OK);
    EXPECT_EQ(RemarkPresent, 1);
    EXPECT_EQ(FoundBeepCount, beeps + 1);  // the beep rule still holds
    std::vector<std::wstring> slots(RemarkSlots, RemarkSlots + kRemarkSlotCount);
    EXPECT_EQ(slots, (std::vector<std::wstring>{L"WA1234B", L"3", L"15 Mar 2026", L"D'CRUZ LEASING", L"CALL O'NEIL",
                                                L"2026-01-05 09:00:00", L"2026-04-07"}));
    EXPECT_EQ(window.Text(IDC_REMARK), L"typed");
    EXPECT_EQ(FoundVehicleList.ListViewBoxGetItemCount(), 0);
    EXPECT_EQ(Read(L"NOREMARK"), SQLITE_OK);  // no row: nothing at all
    EXPECT_EQ(RemarkPresent, 0);
    EXPECT_EQ(FoundBeepCount, beeps + 1);
}

// ---- Modes that fill the Diary window ------------------------------------------------

TEST_F(SqlExec, FinancierListAndRowCountGoToAnOpenDiaryWindow) {
    sqlite3 *db = OpenScratch(L"diarywin.db", "CREATE TABLE FLD(C1); CREATE TABLE VLS(C1)");
    for (const wchar_t *name : {L"xxBINTANG LEASING - SHAH ALAMyy", L"xxCAHAYA FINANCE BHDyy", L"xx-AKAN DATANGyy"}) {
        char *sql = sqlite3_mprintf("INSERT INTO FLD VALUES(%Q)", DataField(name).c_str());
        sqlite3_exec(db, sql, NULL, NULL, NULL);
        sqlite3_free(sql);
    }
    // No Diary window: the modes have no target and harm nothing.
    EXPECT_EQ(SelectSql(db, L"select C1 from FLD", kModeFinancierList), SQLITE_OK);
    EXPECT_STREQ(SelectSlots[0], L"-AKAN DATANG");

    HWND diaryWindow = CreateWindowExW(0, L"STATIC", L"diary", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, NULL, NULL,
                                       GetModuleHandleW(NULL), NULL);
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 100, 20, diaryWindow, (HMENU)405, NULL, NULL);
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 200, diaryWindow,
                                 (HMENU)407, NULL, NULL);
    DiaryList.ListViewBoxCreate(diaryWindow, GetModuleHandleW(NULL), kListDiary, 0, 40, 700, 400, 1);
    ASSERT_NE(DiaryList.list, (HWND)NULL);

    EXPECT_EQ(SelectSql(db, L"select C1 from FLD", kModeFinancierList), SQLITE_OK);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    std::vector<std::wstring> items;
    for (int i = 0; i < 3; i++) {
        wchar_t text[128] = {0};
        SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)text);
        items.push_back(text);
    }
    EXPECT_EQ(items, (std::vector<std::wstring>{L"      BINTANG LEASING - SHAH ALAM", L"CAHAYA FINANCE BHD",
                                                L"-AKAN DATANG"}));

    struct Case {
        int rows, english;
        const wchar_t *text;
    } cases[] = {{1, 1, L"1 row"}, {3, 1, L"3 rows"}, {3, 0, L"3 baris"}};
    for (const Case &c : cases) {
        sqlite3_exec(db, "DELETE FROM VLS", NULL, NULL, NULL);
        for (int i = 0; i < c.rows; i++) sqlite3_exec(db, "INSERT INTO VLS VALUES('x')", NULL, NULL, NULL);
        UseEnglish = c.english;
        EXPECT_EQ(SelectSql(db, L"select rowid from VLS order by rowid desc limit 1", kModeDiaryLastRowId), SQLITE_OK);
        wchar_t text[64] = {0};
        GetWindowTextW(label, text, ARRAYSIZE(text));
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(DiaryList.ListViewBoxGetItemCount(), c.rows);
    }
    DiaryList.ListViewBoxReset();
    DestroyWindow(diaryWindow);
    sqlite3_close(db);
}

}  // namespace
