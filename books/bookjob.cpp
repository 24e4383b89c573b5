// Checked backups, job transactions, whole-file replace and the busy guard.
#include "bookjob.h"

#include <stdarg.h>
#include <strsafe.h>
#include <wchar.h>

#include "books.h"
#include "datastore.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "schema.h"
#include "sqlexec.h"
#include "textutil.h"

CopyFileFn BookCopyHook;
MoveFileFn BookMoveHook;
FlushFileFn BookFlushHook;
StatementFaultFn JobStatementHook;
PauseFn JobPauseHook;
ShellOpenFn ShellOpenHook;
BackupNameFn BackupNameHook;
int BookJobBusy;

namespace {

enum { kMaxBackupSuffix = 99 };

bool Exists(const WCHAR *path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// name with " (n)" before its ".db" (or at its end when it has none).
bool SuffixedName(const WCHAR *name, int n, WCHAR *out, size_t outChars) {
    size_t length = wcslen(name);
    size_t stem = length;
    if (length >= 3 && _wcsicmp(name + length - 3, L".db") == 0) stem = length - 3;
    return SUCCEEDED(StringCchPrintfW(out, outChars, L"%.*ls (%d)%ls", (int)stem, name, n, name + stem));
}

const WCHAR *ErrorCaption() { return UseEnglish ? L"Error" : L"Masaalah"; }

bool BackUpBook(HWND window, const WCHAR *source, void (*clockName)(WCHAR *, int), WCHAR *backup,
                size_t backupChars) {
    if (MakeCheckedBackup(source, BackupNameHook != NULL ? BackupNameHook : clockName, backup, backupChars))
        return true;
    ShowJobFailure(window, L"The backup copy of the book could not be made; nothing was changed.",
                   L"Salinan backup buku tidak dapat dibuat; tiada apa-apa yang diubah.");
    return false;
}

void CloseConnection(sqlite3 **db) {
    if (*db != NULL) sqlite3_close_v2(*db);
    *db = NULL;
}

// True when the first column of countSql's first row on db is expected.
bool CountIs(sqlite3 *db, const char *countSql, long long expected) {
    sqlite3_stmt *stmt = NULL;
    bool ok = sqlite3_prepare_v2(db, countSql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
              sqlite3_column_int64(stmt, 0) == expected;
    sqlite3_finalize(stmt);
    return ok;
}

}  // namespace

// ---- Busy guard --------------------------------------------------------------------

JobBusyGuard::JobBusyGuard() : held_(BookJobBusy == 0) {
    if (held_) BookJobBusy = 1;
}

JobBusyGuard::~JobBusyGuard() {
    if (!held_) return;
    BookJobBusy = 0;
    RepostTakenQuit();
}

void JobPause(DWORD ms) {
    if (JobPauseHook != NULL)
        JobPauseHook(ms);
    else
        Sleep(ms);
}

// ---- Checked backup ----------------------------------------------------------------

bool MakeCheckedBackup(const WCHAR *source, BackupNameFn makeName, WCHAR *backupPath, size_t backupChars) {
    if (backupChars == 0) return false;
    WCHAR name[kPathChars];
    makeName(name, ARRAYSIZE(name));
    WCHAR chosen[kPathChars];
    if (FAILED(StringCchCopyW(chosen, ARRAYSIZE(chosen), name))) return false;
    for (int n = 2; Exists(chosen); n++) {
        if (n > kMaxBackupSuffix || !SuffixedName(name, n, chosen, ARRAYSIZE(chosen))) return false;
    }
    if (FAILED(StringCchCopyW(backupPath, backupChars, chosen))) return false;

    bool ok;
    if (BookCopyHook != NULL) {
        ok = BookCopyHook(source, chosen, TRUE) != FALSE;
        WIN32_FILE_ATTRIBUTE_DATA from, to;
        ok = ok && GetFileAttributesExW(source, GetFileExInfoStandard, &from) &&
             GetFileAttributesExW(chosen, GetFileExInfoStandard, &to) &&
             from.nFileSizeHigh == to.nFileSizeHigh && from.nFileSizeLow == to.nFileSizeLow;
    } else {
        ok = BackUpBookFile(source, chosen);
    }
    if (!ok) DeleteFileW(chosen);  // a partial copy is no backup
    return ok;
}

bool BackUpRemarkBook(HWND window) {
    return BackUpBook(window, RemarkDbPath, MakeRemarkBackupPath, RemarkBackupPath, ARRAYSIZE(RemarkBackupPath));
}

bool BackUpDiaryBook(HWND window) {
    return BackUpBook(window, DiaryDbPath, MakeDiaryBackupPath, DiaryBackupPath, ARRAYSIZE(DiaryBackupPath));
}

// ---- Job transaction ---------------------------------------------------------------

void ShowJobFailure(HWND window, const WCHAR *english, const WCHAR *malay) {
    ShowMessageBox(window, UseEnglish ? english : malay, ErrorCaption(), MB_OK | MB_ICONERROR);
}

BookJob::BookJob(sqlite3 **db, HWND window)
    : db_(db), window_(window), open_(false), failed_(false), code_(SQLITE_OK) {}

BookJob::~BookJob() {
    if (open_ && *db_ != NULL && !sqlite3_get_autocommit(*db_)) sqlite3_exec(*db_, "rollback", NULL, NULL, NULL);
}

void BookJob::Fail(int rc, const char *why) {
    failed_ = true;
    code_ = rc != SQLITE_OK ? rc : SQLITE_ERROR;
    if (open_ && *db_ != NULL && !sqlite3_get_autocommit(*db_)) sqlite3_exec(*db_, "rollback", NULL, NULL, NULL);
    open_ = false;
    WCHAR reason[kTextChars];
    AnsiToWide(why, reason, ARRAYSIZE(reason));
    WCHAR english[kTextChars * 2], malay[kTextChars * 2];
    StringCchPrintfW(english, ARRAYSIZE(english), L"The change could not be made; the book is as it was.\r\n[%ls]",
                     reason);
    StringCchPrintfW(malay, ARRAYSIZE(malay), L"Perubahan tidak dapat dibuat; buku kekal seperti asal.\r\n[%ls]",
                     reason);
    ShowJobFailure(window_, english, malay);
}

bool BookJob::Exec(const WCHAR *statement) {
    if (failed_) return false;
    if (*db_ == NULL) {
        Fail(SQLITE_MISUSE, "the book is not open");
        return false;
    }
    int rc = RunJobStatementQuietly(*db_, statement);
    if (rc != SQLITE_OK) {
        const char *why = rc == SQLITE_TOOBIG ? "statement too long" : sqlite3_errstr(rc);
        Fail(rc, why);
        return false;
    }
    return true;
}

bool BookJob::Begin() {
    if (failed_) return false;
    if (open_) return true;
    if (!Exec(L"begin")) return false;
    open_ = true;
    return true;
}

bool BookJob::Run(const WCHAR *statement) {
    if (!open_ && !failed_) Fail(SQLITE_MISUSE, "no transaction");
    return Exec(statement);
}

bool BookJob::Commit() {
    if (!open_ && !failed_) Fail(SQLITE_MISUSE, "no transaction");
    if (!Exec(L"commit")) return false;
    open_ = false;
    return true;
}

int RunJobStatementQuietly(sqlite3 *db, const WCHAR *statement) {
    if (db == NULL || statement == NULL) return SQLITE_MISUSE;
    if (JobStatementHook != NULL) {
        int injected = JobStatementHook(statement);
        if (injected != SQLITE_OK) return injected;
    }
    char ansi[kStatementChars];
    if (!WideToAnsi(statement, ansi, sizeof ansi)) return SQLITE_TOOBIG;
    return sqlite3_exec(db, ansi, NULL, NULL, NULL);
}

bool FormatJobStatement(WCHAR *out, size_t outChars, const WCHAR *format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT hr = StringCchVPrintfW(out, outChars, format, args);
    va_end(args);
    if (FAILED(hr)) {
        if (outChars > 0) out[0] = 0;
        return false;
    }
    return true;
}

// ---- Whole-file replace --------------------------------------------------------------

int OpenBookConnection(sqlite3 **db, const WCHAR *path) {
    *db = NULL;
    char name[kPathChars * 3];
    if (!EngineFileName(path, name)) return SQLITE_CANTOPEN;
    int rc = sqlite3_open_v2(name, db, SQLITE_OPEN_READWRITE, NULL);
    if (rc != SQLITE_OK) CloseConnection(db);
    return rc;
}

bool VerifyBookFile(const WCHAR *path, const char *countSql, long long expectedCount) {
    sqlite3 *db = NULL;
    if (OpenBookConnection(&db, path) != SQLITE_OK) return false;
    bool ok = false;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *result = sqlite3_column_text(stmt, 0);
        ok = result != NULL && strcmp((const char *)result, "ok") == 0;
    }
    sqlite3_finalize(stmt);
    stmt = NULL;
    ok = ok && CountIs(db, countSql, expectedCount);
    sqlite3_close(db);
    return ok;
}

bool FlushBookFile(const WCHAR *path) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = (BookFlushHook != NULL ? BookFlushHook(file) : FlushFileBuffers(file)) != FALSE;
    CloseHandle(file);
    return ok;
}

BookReplace ReplaceBookFile(sqlite3 **db, const WCHAR *bookPath, const WCHAR *newPath, const char *countSql,
                            long long expectedCount) {
    if (db == &DiaryDb) ForgetLastSearchRows();
    // A copy that the system still holds only in its cache is no complete
    // copy: a power cut after the move would leave a book without its pages.
    if (!VerifyBookFile(newPath, countSql, expectedCount) || !FlushBookFile(newPath)) {
        DeleteFileW(newPath);
        if (*db == NULL) OpenBookConnection(db, bookPath);
        return kBookKept;
    }
    CloseConnection(db);
    DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    bool moved = (BookMoveHook != NULL ? BookMoveHook(newPath, bookPath, flags)
                                       : MoveFileExW(newPath, bookPath, flags)) != FALSE;
    if (!moved) DeleteFileW(newPath);
    OpenBookConnection(db, bookPath);
    if (!moved) return kBookKept;
    // A connection that opens but cannot read the new book is no use to
    // anyone: it goes, and the users of *db see that the book is not open.
    if (*db != NULL && !CountIs(*db, countSql, expectedCount)) CloseConnection(db);
    return *db != NULL ? kBookReplaced : kBookReplacedNotOpen;
}

void ShowDiaryNotReopened(HWND window) {
    ShowJobFailure(window,
                   L"The new diary has replaced your diary, but it could not be opened again. Please close "
                   L"Korvane and start it again.",
                   L"Diary baru sudah menggantikan diary anda, tetapi ia tidak dapat dibuka semula. Sila tutup "
                   L"Korvane dan mulakan semula.");
}

int CompactDiary(void) {
    ForgetLastSearchRows();
    return RunJobStatementQuietly(DiaryDb, L"VACUUM;");
}
