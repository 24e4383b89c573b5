// Book creation and the schema migrations.
#include "schema.h"

#include <stdarg.h>
#include <strsafe.h>

#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "msgbox.h"
#include "sqlexec.h"
#include "textutil.h"

namespace {

const WCHAR kInitFileName[] = L"KorvaneInit.db";
const WCHAR kDiaryFileName[] = L"KorvaneDiary.db";

const WCHAR kCreatePrs[] = L"CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT)";

// The diary's VLS and its eight indexes, in their order.
const WCHAR *const kDiaryVlsStatements[] = {
    L"CREATE TABLE VLS(C1 DATE, C2 INTEGER, C3 TEXT, C4 TEXT, C5 TEXT, C6 TEXT, C7 TEXT, C8 TEXT, "
    L"C9 TEXT, C10 TEXT, C11 TEXT)",
    L"CREATE INDEX idxC1 ON VLS(C1)",  L"CREATE INDEX idxC2 ON VLS(C2)",
    L"CREATE INDEX idxC3 ON VLS(C3)",  L"CREATE INDEX idxC6 ON VLS(C6)",
    L"CREATE INDEX idxC8 ON VLS(C8)",  L"CREATE INDEX idxC9 ON VLS(C9)",
    L"CREATE INDEX idxC10 ON VLS(C10)", L"CREATE INDEX idxC11 ON VLS(C11)",
};

const WCHAR *const kAndroidMetadataStatements[] = {
    L"CREATE TABLE android_metadata (locale TEXT DEFAULT 'en_US')",
    L"INSERT INTO android_metadata VALUES ('en_US')",
};

// The same for a diary that may already have the table (made on a phone):
// the table and its one row only when missing.
const WCHAR *const kAndroidMetadataIfMissing[] = {
    L"CREATE TABLE IF NOT EXISTS android_metadata (locale TEXT DEFAULT 'en_US')",
    L"INSERT INTO android_metadata SELECT 'en_US' WHERE NOT EXISTS (SELECT 1 FROM android_metadata)",
};

const WCHAR *const kRemarkVlsStatements[] = {
    L"CREATE TABLE VLS(C1 TEXT PRIMARY KEY, C2 TEXT, C3 TEXT, C4 TEXT, C5 TEXT, C6 DATE, C7 DATE)",
    L"CREATE INDEX idxC1 ON VLS(C1)", L"CREATE INDEX idxC2 ON VLS(C2)",
    L"CREATE INDEX idxC3 ON VLS(C3)", L"CREATE INDEX idxC4 ON VLS(C4)",
    L"CREATE INDEX idxC5 ON VLS(C5)", L"CREATE INDEX idxC6 ON VLS(C6)",
    L"CREATE INDEX idxC7 ON VLS(C7)",
};

// The diary settings that migrations add: a diary of version v lacks every
// key whose addedAfter is v or more. In the order the steps insert them.
struct MigratedKey {
    const WCHAR *key;
    const WCHAR *value;
    int addedAfter;  // the newest version that lacks the key
};
const MigratedKey kMigratedKeys[] = {
    {L"VLANG", L"0", 4}, {L"VMIC", L"0", 4}, {L"SOVN", L"1", 4}, {L"NAC", L"2", 5},
    {L"HRS", L"0", 7},   {L"MCT", L"1", 8},  {L"HSS", L"0", 9},  {L"KPV", L"1", 12},
    {L"EML", L"", 13},   {L"GMIN", L"10", 14},
};

template <size_t N> constexpr int CountOf(const WCHAR *const (&)[N]) { return (int)N; }

// The open of every step: the book's connection on its path, then the
// test that the file exists. A missing file is shown with shownName and,
// when destroyOnMissing, the window destroyed; the connection is then
// closed and nothing is written.
int OpenBook(sqlite3 **db, const WCHAR *path, const WCHAR *shownName, HWND window,
             bool destroyOnMissing) {
    CloseBookConnection(db);
    OpenOrCreateBookConnection(db, path);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES || *db == NULL) {
        CloseBookConnection(db);
        WCHAR text[kPathChars + 64];
        StringCchPrintfW(text, ARRAYSIZE(text),
                         UseEnglish ? L"File[%ls] does not exist" : L"File[%ls] tidak wujud", shownName);
        ShowMessageBox(window, text, ErrorCaption(), MB_OK | MB_ICONERROR);
        if (destroyOnMissing && window != NULL) DestroyWindow(window);
        return kSchemaNoFile;
    }
    return kSchemaDone;
}

int RunTransaction(sqlite3 **db, const WCHAR *const *statements, int count) {
    return ExecTransaction(db, statements, count) == SQLITE_OK ? kSchemaDone : kSchemaStatementFailed;
}

// Fixed-size statement texts for one step; the values are the program's own
// (numbers, cipher fields, fixed keys). A text that does not fit spoils the
// list, which then runs nothing.
struct StatementList {
    enum { kMax = 24, kChars = 512 };
    WCHAR text[kMax][kChars];
    const WCHAR *items[kMax];
    int count = 0;
    bool spoiled = false;

    void Add(const WCHAR *format, ...) {
        if (count >= kMax) {
            spoiled = true;
            return;
        }
        va_list args;
        va_start(args, format);
        if (FAILED(StringCchVPrintfW(text[count], kChars, format, args))) spoiled = true;
        va_end(args);
        items[count] = text[count];
        count++;
    }
    void AddAll(const WCHAR *const *statements, int n) {
        for (int i = 0; i < n; i++) Add(L"%ls", statements[i]);
    }
};

int RunList(sqlite3 **db, const StatementList &list) {
    if (list.spoiled) return kSchemaStatementFailed;
    return RunTransaction(db, list.items, list.count);
}

bool VlsHasColumn(sqlite3 *db, const char *column) {
    char sql[64];
    StringCchPrintfA(sql, ARRAYSIZE(sql), "SELECT %s FROM VLS LIMIT 0", column);
    sqlite3_stmt *stmt = NULL;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK;
    sqlite3_finalize(stmt);
    return ok;
}

int MigrateRemark(HWND window, int from) {
    CloseBookConnection(&RemarkDb);
    MakeRemarkBackupPath(RemarkBackupPath, ARRAYSIZE(RemarkBackupPath));
    bool backedUp = BackUpBookFile(RemarkDbPath, RemarkBackupPath);
    int rc = OpenBook(&RemarkDb, RemarkDbPath, RemarkDbPath, window, false);
    if (rc != kSchemaDone) return rc;
    if (!backedUp) return kSchemaBackupFailed;

    StatementList list;
    if (from == 1000) {
        if (!VlsHasColumn(RemarkDb, "C7")) list.Add(L"ALTER TABLE VLS ADD COLUMN C7 DATE");
        list.Add(L"UPDATE VLS SET C7 = 'NULL' WHERE C7 IS NULL");
        list.Add(L"CREATE INDEX IF NOT EXISTS idxC7 ON VLS(C7)");
    }
    list.Add(L"INSERT OR REPLACE INTO PRS VALUES('CLF','0')");
    list.Add(L"update PRS set C2 = '%d' where C1 = 'DSV'", (int)kRemarkSchemaCurrent);
    return RunList(&RemarkDb, list);
}

}  // namespace

bool BackUpBookFile(const WCHAR *source, const WCHAR *backup) {
    if (!CopyFileW(source, backup, FALSE)) return false;
    WIN32_FILE_ATTRIBUTE_DATA from, to;
    if (!GetFileAttributesExW(source, GetFileExInfoStandard, &from) ||
        !GetFileAttributesExW(backup, GetFileExInfoStandard, &to))
        return false;
    return from.nFileSizeHigh == to.nFileSizeHigh && from.nFileSizeLow == to.nFileSizeLow;
}

int CreateInitDatabase(HWND window) {
    int rc = OpenBook(&InitDb, InitDbPath, kInitFileName, window, true);
    if (rc != kSchemaDone) return rc;
    char place[kCipherFieldBytes];
    EncodeField(LocalCipher, L"C:\\", place);
    StatementList list;
    list.Add(L"CREATE TABLE PRI(C1 TEXT PRIMARY KEY, C2 TEXT)");
    list.Add(L"INSERT INTO PRI VALUES('DSP','%hs')", place);
    return RunList(&InitDb, list);
}

int CreateDiaryDatabase(HWND window) {
    int rc = OpenBook(&DiaryDb, DiaryDbPath, DiaryDbPath, window, true);
    if (rc != kSchemaDone) return rc;
    char searchUsing[kCipherFieldBytes];
    EncodeField(LocalCipher, L"Papan Kekunci/KeyBoard", searchUsing);
    StatementList settings;
    settings.Add(L"%ls", kCreatePrs);
    settings.Add(L"INSERT INTO PRS VALUES('SND','1')");
    settings.Add(L"INSERT INTO PRS VALUES('FH1','')");
    settings.Add(L"INSERT INTO PRS VALUES('FH2','')");
    settings.Add(L"INSERT INTO PRS VALUES('FH3','')");
    settings.Add(L"INSERT INTO PRS VALUES('D','')");
    settings.Add(L"INSERT INTO PRS VALUES('B','0')");
    settings.Add(L"INSERT INTO PRS VALUES('SU','%hs')", searchUsing);
    settings.Add(L"INSERT INTO PRS VALUES('DSV','%d')", (int)kDiarySchemaCurrent);
    settings.Add(L"INSERT INTO PRS VALUES('LOC','')");
    settings.Add(L"INSERT INTO PRS VALUES('VLANG','0')");
    settings.Add(L"INSERT INTO PRS VALUES('VMIC','0')");
    settings.Add(L"INSERT INTO PRS VALUES('SOVN','1')");
    settings.Add(L"INSERT INTO PRS VALUES('NAC','2')");
    settings.Add(L"INSERT INTO PRS VALUES('HRS','0')");
    settings.Add(L"INSERT INTO PRS VALUES('MCT','1')");
    settings.Add(L"INSERT INTO PRS VALUES('HSS','0')");
    settings.Add(L"INSERT INTO PRS VALUES('KPV','1')");
    settings.Add(L"INSERT INTO PRS VALUES('EML','1')");
    rc = RunList(&DiaryDb, settings);
    if (rc == kSchemaDone)
        rc = RunTransaction(&DiaryDb, kAndroidMetadataStatements, CountOf(kAndroidMetadataStatements));
    if (rc == kSchemaDone)
        rc = RunTransaction(&DiaryDb, kDiaryVlsStatements, CountOf(kDiaryVlsStatements));
    return rc;
}

int CreateRemarkDatabase(HWND window) {
    int rc = OpenBook(&RemarkDb, RemarkDbPath, RemarkDbPath, window, true);
    if (rc != kSchemaDone) return rc;
    char password[kCipherFieldBytes];
    EncodeField(LocalCipher, DiaryPassword, password);
    StatementList settings;
    settings.Add(L"%ls", kCreatePrs);
    settings.Add(L"INSERT INTO PRS VALUES('D','%hs')", password);
    settings.Add(L"INSERT INTO PRS VALUES('DSV','%d')", (int)kRemarkSchemaCurrent);
    settings.Add(L"INSERT INTO PRS VALUES('CLF','1')");
    rc = RunList(&RemarkDb, settings);
    if (rc == kSchemaDone)
        rc = RunTransaction(&RemarkDb, kRemarkVlsStatements, CountOf(kRemarkVlsStatements));
    return rc;
}

int CreateTempDiaryDatabase(HWND window) {
    int rc = OpenBook(&TempDiaryDb, TempDiaryDbPath, TempDiaryDbPath, window, true);
    if (rc != kSchemaDone) return rc;
    const WCHAR *settings[] = {kCreatePrs};
    rc = RunTransaction(&TempDiaryDb, settings, 1);
    if (rc == kSchemaDone)
        rc = RunTransaction(&TempDiaryDb, kDiaryVlsStatements, CountOf(kDiaryVlsStatements));
    return rc;
}

int MigrateDiaryFromVersion(HWND window, int version) {
    if (version < kDiarySchemaOldest || version >= kDiarySchemaCurrent) return kSchemaNotMigrated;
    int rc = OpenBook(&DiaryDb, DiaryDbPath, kDiaryFileName, window, true);
    if (rc != kSchemaDone) return rc;
    StatementList list;
    for (const MigratedKey &k : kMigratedKeys) {
        if (k.addedAfter >= version)
            list.Add(L"INSERT OR IGNORE INTO PRS VALUES('%ls','%ls')", k.key, k.value);
    }
    if (version <= 11) list.AddAll(kAndroidMetadataIfMissing, CountOf(kAndroidMetadataIfMissing));
    list.Add(L"update PRS set C2 = '%d' where C1 = 'DSV'", (int)kDiarySchemaCurrent);
    return RunList(&DiaryDb, list);
}

int MigrateDiaryFrom4(HWND window) { return MigrateDiaryFromVersion(window, 4); }
int MigrateDiaryFrom5(HWND window) { return MigrateDiaryFromVersion(window, 5); }
int MigrateDiaryFrom6(HWND window) { return MigrateDiaryFromVersion(window, 6); }
int MigrateDiaryFrom7(HWND window) { return MigrateDiaryFromVersion(window, 7); }
int MigrateDiaryFrom8(HWND window) { return MigrateDiaryFromVersion(window, 8); }
int MigrateDiaryFrom9(HWND window) { return MigrateDiaryFromVersion(window, 9); }
int MigrateDiaryFrom10(HWND window) { return MigrateDiaryFromVersion(window, 10); }
int MigrateDiaryFrom11(HWND window) { return MigrateDiaryFromVersion(window, 11); }
int MigrateDiaryFrom12(HWND window) { return MigrateDiaryFromVersion(window, 12); }
int MigrateDiaryFrom13(HWND window) { return MigrateDiaryFromVersion(window, 13); }
int MigrateDiaryFrom14(HWND window) { return MigrateDiaryFromVersion(window, 14); }

int MigrateRemarkFrom1001(HWND window) { return MigrateRemark(window, 1001); }
int MigrateRemarkFrom1000(HWND window) { return MigrateRemark(window, 1000); }

int MigrateDiaryToCurrent(HWND window) {
    typedef int (*Step)(HWND);
    static const Step kSteps[] = {MigrateDiaryFrom4,  MigrateDiaryFrom5,  MigrateDiaryFrom6,
                                  MigrateDiaryFrom7,  MigrateDiaryFrom8,  MigrateDiaryFrom9,
                                  MigrateDiaryFrom10, MigrateDiaryFrom11, MigrateDiaryFrom12,
                                  MigrateDiaryFrom13, MigrateDiaryFrom14};
    double version = DiarySchemaVersion;
    if (version >= kDiarySchemaCurrent) return kSchemaDone;
    int whole = (int)version;
    if ((double)whole == version && whole >= kDiarySchemaOldest) {
        CloseBookConnection(&DiaryDb);
        return kSteps[whole - kDiarySchemaOldest](window);
    }
    WCHAR text[64];
    StringCchPrintfW(text, ARRAYSIZE(text), L"Diary Version not correct => %f", version);
    ShowMessageBox(window, text, L"Error", MB_OK | MB_ICONERROR);
    return kSchemaNotMigrated;
}

int MigrateRemarkToCurrent(HWND window) {
    if (RemarkSchemaVersion == 1000) return MigrateRemarkFrom1000(window);
    if (RemarkSchemaVersion == 1001) return MigrateRemarkFrom1001(window);
    return kSchemaDone;
}
