// The book imports on large books: Import Diary of a diary into a large own
// diary, and Import Remark of a remark book into an own remark book of the
// same size (half the plates shared, the imported remark winning), each with
// its progress line written into a shown window. Rows per second are of the
// whole job, its checked backup of the own book included; the backup's own
// time is shown beside.
//
//   bench_imports FOLDER [OWN_DIARY_ROWS] [IMPORT_DIARY_ROWS] [REMARK_ROWS]
//
// The books are made in FOLDER by the data tool (the large own diary once,
// kept as "imports-diary-N.db"; each run works on a copy).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <strsafe.h>

#include <string>

#include "benchutil.h"
#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "resource.h"
#include "sqlexec.h"

namespace {

std::wstring Folder;

void BenchBackupName(WCHAR *buf, int count) {
    static int n;
    std::wstring name = Folder + L"\\imports-backup-" + std::to_wstring(++n) + L".db";
    lstrcpynW(buf, name.c_str(), count);
}

// A shown window with the message line of the import dialogs.
HWND MakeProgressWindow(int controlId) {
    HWND window = CreateWindowExW(0, L"STATIC", L"Import", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 320, 200,
                                  NULL, NULL, GetModuleHandleW(NULL), NULL);
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | WS_BORDER, 4, 60, 300, 80, window,
                    (HMENU)(INT_PTR)controlId, GetModuleHandleW(NULL), NULL);
    return window;
}

bool Make(int rc, const std::string &error) {
    if (rc != 0) fprintf(stderr, "bench_imports: %s\n", error.c_str());
    return rc == 0;
}

long long CountRows(sqlite3 *db) {
    sqlite3_stmt *stmt = NULL;
    long long n = -1;
    if (sqlite3_prepare_v2(db, "select count(*) from VLS", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        n = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return n;
}

double TimeBackup(const WCHAR *book) {
    WCHAR backup[kPathChars];
    double start = bench::Now();
    bool ok = MakeCheckedBackup(book, BenchBackupName, backup, ARRAYSIZE(backup));
    double seconds = bench::Now() - start;
    DeleteFileW(backup);
    return ok ? seconds : -1;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_imports FOLDER [OWN_DIARY_ROWS] [IMPORT_DIARY_ROWS] [REMARK_ROWS]\n");
        return 2;
    }
    Folder = argv[1];
    int ownRows = argc > 2 ? _wtoi(argv[2]) : 1000000;
    int importRows = argc > 3 ? _wtoi(argv[3]) : 100000;
    int remarkRows = argc > 4 ? _wtoi(argv[4]) : 100000;
    KeyCipherContexts();
    bench::WatchAddressSpace();
    UseEnglish = 1;
    SoundOnFound = 0;
    BackupNameHook = BenchBackupName;
    std::string error;

    // ---- Import Diary ----
    std::wstring base = Folder + L"\\imports-diary-" + std::to_wstring(ownRows) + L".db";
    if (GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES) {
        double t0 = bench::Now();
        std::wstring part = base + L".part";
        if (!Make(datatool::MakeDiaryFile(part.c_str(), 15, ownRows, false, {}, &error), error)) return 1;
        MoveFileExW(part.c_str(), base.c_str(), MOVEFILE_REPLACE_EXISTING);
        printf("imports: own diary of %d rows made in %.1f s (once)\n", ownRows, bench::Now() - t0);
    }
    std::wstring own = Folder + L"\\imports-own-diary.db";
    std::wstring other = Folder + L"\\imports-other-diary.db";
    if (!CopyFileW(base.c_str(), own.c_str(), FALSE)) return 1;
    if (!Make(datatool::MakeDiaryFile(other.c_str(), 15, importRows, false, {}, &error), error)) return 1;
    StringCchCopyW(DiaryDbPath, ARRAYSIZE(DiaryDbPath), own.c_str());
    if (OpenBookConnection(&DiaryDb, own.c_str()) != SQLITE_OK) return 1;
    if (OpenBookConnection(&ImportDb, other.c_str()) != SQLITE_OK) return 1;
    StringCchCopyW(ImportOwnerName, ARRAYSIZE(ImportOwnerName), L"BENCH AGENT");
    ImportDiaryDialogHandle = MakeProgressWindow(IDC_ID_MSGBOX);
    double backup = TimeBackup(own.c_str());
    double start = bench::Now();
    bool ok = ImportDiary();
    double seconds = bench::Now() - start;
    long long after = CountRows(DiaryDb);
    WCHAR text[256] = {0};
    GetDlgItemTextW(ImportDiaryDialogHandle, IDC_ID_MSGBOX, text, ARRAYSIZE(text));
    printf("imports: Import Diary of %d rows into %d rows: %s, %.2f s, %.0f rows/s "
           "(its checked backup alone %.2f s; rows %.0f/s without it); diary now %lld rows\n",
           importRows, ownRows, ok ? "done" : "FAILED", seconds, importRows / seconds, backup,
           importRows / (seconds - backup), after);
    DeleteFileW(DiaryBackupPath);
    DestroyWindow(ImportDiaryDialogHandle);
    ImportDiaryDialogHandle = NULL;
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    DeleteFileW(own.c_str());
    DeleteFileW(other.c_str());

    // ---- Import Remark ----
    std::wstring ownRemark = Folder + L"\\imports-own-remark.db";
    std::wstring otherRemark = Folder + L"\\imports-other-remark.db";
    if (!Make(datatool::MakeRemarkFile(ownRemark.c_str(), 1002, remarkRows, {}, &error), error)) return 1;
    if (!Make(datatool::MakeRemarkFile(otherRemark.c_str(), 1002, remarkRows, {}, &error), error)) return 1;
    // Half the imported plates are new to the own book.
    sqlite3 *db = NULL;
    if (OpenBookConnection(&db, otherRemark.c_str()) != SQLITE_OK) return 1;
    sqlite3_exec(db, "update VLS set C1 = C1 || 'N' where rowid % 2 = 0", NULL, NULL, NULL);
    sqlite3_close(db);
    StringCchCopyW(RemarkDbPath, ARRAYSIZE(RemarkDbPath), ownRemark.c_str());
    if (OpenBookConnection(&RemarkDb, ownRemark.c_str()) != SQLITE_OK) return 1;
    if (OpenBookConnection(&ImportDb, otherRemark.c_str()) != SQLITE_OK) return 1;
    RemarkSchemaVersion = 1002;
    KeepOwnRemark = 0;
    RemarkToScreen = 0;
    ImportRemarkDialogHandle = MakeProgressWindow(IDC_IR_MSGBOX);
    backup = TimeBackup(ownRemark.c_str());
    start = bench::Now();
    ok = ImportRemark();
    seconds = bench::Now() - start;
    RemarkToScreen = 1;
    after = CountRows(RemarkDb);
    printf("imports: Import Remark of %d rows into %d rows (half shared, imported wins): %s, %.2f s, %.0f rows/s "
           "(its checked backup alone %.2f s); remark book now %lld rows\n",
           remarkRows, remarkRows, ok ? "done" : "FAILED", seconds, remarkRows / seconds, backup, after);
    DeleteFileW(RemarkBackupPath);
    DestroyWindow(ImportRemarkDialogHandle);
    sqlite3_close(RemarkDb);
    RemarkDb = NULL;
    DeleteFileW(ownRemark.c_str());
    DeleteFileW(otherRemark.c_str());
    (void)text;
    bench::ReportMemory("imports: ");
    return ok ? 0 : 1;
}
