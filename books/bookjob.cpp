// Checked backups, job transactions, whole-file replace and the busy guard.
#include "bookjob.h"

#include <stdarg.h>
#include <string.h>
#include <strsafe.h>
#include <wchar.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

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

enum {
    kMaxBackupSuffix = 99,
    kHeaderBytes = 100,       // the engine's file header: change counter, page count, schema cookie ...
    kBookRecords = 4,         // books whose last verified backup is remembered
    kVerifyCacheKiB = 65536,  // page cache of the connection that checks a finished book
};

// A book file as it was when a backup was verified: its length, time of
// last writing and the engine's header, whose change counter moves with
// every committed change. A book whose stamp is the same has not changed.
struct FileStamp {
    ULONGLONG size;
    FILETIME written;
    unsigned char header[kHeaderBytes];
};

// The last verified backup of one book in this run.
struct BackupRecord {
    WCHAR source[kPathChars];  // the book; empty: the slot is free
    WCHAR backup[kPathChars];
    FileStamp stamp;           // of the book then
    FILETIME backupWritten;    // of the backup once it was verified
};
BackupRecord LastBackups[kBookRecords];
int NextRecord;  // the slot a new book takes when all are used

bool Exists(const WCHAR *path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// name with " (n)" before its ".db" (or at its end when it has none).
bool SuffixedName(const WCHAR *name, int n, WCHAR *out, size_t outChars) {
    size_t length = wcslen(name);
    size_t stem = length;
    if (length >= 3 && _wcsicmp(name + length - 3, L".db") == 0) stem = length - 3;
    return SUCCEEDED(StringCchPrintfW(out, outChars, L"%.*ls (%d)%ls", (int)stem, name, n, name + stem));
}

bool BackUpBook(HWND window, const WCHAR *source, void (*clockName)(WCHAR *, int), WCHAR *backup,
                size_t backupChars, const WCHAR *spare) {
    if (MakeCheckedBackup(source, BackupNameHook != NULL ? BackupNameHook : clockName, backup, backupChars, spare))
        return true;
    ShowJobFailure(window, L"The backup copy of the book could not be made; nothing was changed.",
                   L"Salinan backup buku tidak dapat dibuat; tiada apa-apa yang diubah.");
    return false;
}

// A change that was not made, and why (the engine's words).
void ShowUnchangedBook(HWND window, const char *why) {
    WCHAR reason[kTextChars];
    AnsiToWide(why, reason, ARRAYSIZE(reason));
    WCHAR english[kTextChars * 2], malay[kTextChars * 2];
    StringCchPrintfW(english, ARRAYSIZE(english), L"The change could not be made; the book is as it was.\r\n[%ls]",
                     reason);
    StringCchPrintfW(malay, ARRAYSIZE(malay), L"Perubahan tidak dapat dibuat; buku kekal seperti asal.\r\n[%ls]",
                     reason);
    ShowJobFailure(window, english, malay);
}

// True when the first column of countSql's first row on db is expected.
bool CountIs(sqlite3 *db, const char *countSql, long long expected) {
    sqlite3_stmt *stmt = NULL;
    bool ok = sqlite3_prepare_v2(db, countSql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
              sqlite3_column_int64(stmt, 0) == expected;
    sqlite3_finalize(stmt);
    return ok;
}

// ---- Backup stamps and names ----------------------------------------------------------

// Reads the stamp of the file at path; false when it cannot be read whole.
bool ReadStamp(const WCHAR *path, FileStamp *stamp) {
    ZeroMemory(stamp, sizeof *stamp);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    DWORD read = 0;
    bool ok = GetFileInformationByHandle(file, &info) && ReadFile(file, stamp->header, kHeaderBytes, &read, NULL) &&
              read == kHeaderBytes;
    CloseHandle(file);
    if (!ok) return false;
    stamp->size = ((ULONGLONG)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    stamp->written = info.ftLastWriteTime;
    return true;
}

bool SameTime(const FILETIME &a, const FILETIME &b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameStamp(const FileStamp &a, const FileStamp &b) {
    return a.size == b.size && SameTime(a.written, b.written) && memcmp(a.header, b.header, kHeaderBytes) == 0;
}

BackupRecord *RecordOf(const WCHAR *source) {
    for (BackupRecord &r : LastBackups)
        if (r.source[0] != 0 && _wcsicmp(r.source, source) == 0) return &r;
    return NULL;
}

// A backup name taken apart: "<stem> YYYY-MON-DD hh_mm_ss[ (n)].db", the
// stem being the folder and the book's base name. order grows with the
// time in the name, then with n.
struct BackupName {
    size_t stemChars;
    ULONGLONG order;
};

bool ReadNumber(const WCHAR *text, int digits, int *value) {
    *value = 0;
    for (int i = 0; i < digits; i++) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        *value = *value * 10 + (text[i] - L'0');
    }
    return true;
}

bool ParseBackupName(const WCHAR *name, BackupName *out) {
    size_t length = wcslen(name);
    if (length < 3 || _wcsicmp(name + length - 3, L".db") != 0) return false;
    size_t end = length - 3;  // the name without ".db"
    int copy = 1;
    if (end >= 4 && name[end - 1] == L')') {
        size_t open = end - 2;
        while (open > 0 && name[open] >= L'0' && name[open] <= L'9') open--;
        if (open < 1 || name[open] != L'(' || name[open - 1] != L' ' || end - 2 - open > 2 ||
            !ReadNumber(name + open + 1, (int)(end - 2 - open), &copy) || copy < 2)
            return false;
        end = open - 1;
    }
    // " YYYY-MON-DD hh_mm_ss": 21 characters.
    if (end < 22) return false;
    const WCHAR *t = name + end - 21;
    int year, day, hour, minute, second, month = 0;
    if (t[0] != L' ' || t[5] != L'-' || t[9] != L'-' || t[12] != L' ' || t[15] != L'_' || t[18] != L'_') return false;
    if (!ReadNumber(t + 1, 4, &year) || !ReadNumber(t + 10, 2, &day) || !ReadNumber(t + 13, 2, &hour) ||
        !ReadNumber(t + 16, 2, &minute) || !ReadNumber(t + 19, 2, &second))
        return false;
    for (int m = 1; m <= 12 && month == 0; m++) {
        WCHAR text[8];
        MonthAbbreviation(m, text, ARRAYSIZE(text));
        if (_wcsnicmp(t + 6, text, 3) == 0) month = m;
    }
    if (month == 0) return false;
    out->stemChars = end - 21;
    out->order = ((((((ULONGLONG)year * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second) * 100 +
                 (ULONGLONG)copy;
    return true;
}

// The stem of a backup name: what precedes its time, or for a name
// without one, the name without ".db".
size_t StemChars(const WCHAR *name) {
    BackupName parsed;
    if (ParseBackupName(name, &parsed)) return parsed.stemChars;
    size_t length = wcslen(name);
    if (length >= 3 && _wcsicmp(name + length - 3, L".db") == 0) length -= 3;
    return length;
}

bool SameStem(const WCHAR *a, const WCHAR *b) {
    size_t n = StemChars(a);
    return n == StemChars(b) && _wcsnicmp(a, b, n) == 0;
}

// The last verified backup of source when the book has not changed since
// and that backup is still whole where name's backups go: copied into
// backupPath. Costs two header reads.
bool ReuseLastBackup(const WCHAR *source, const WCHAR *name, WCHAR *backupPath, size_t backupChars) {
    BackupRecord *record = RecordOf(source);
    FileStamp now, kept;
    if (record == NULL || !SameStem(record->backup, name) || !ReadStamp(source, &now) ||
        !SameStamp(now, record->stamp) || !ReadStamp(record->backup, &kept))
        return false;
    // The backup is the book's copy: the same length and header, and not
    // written since it was checked.
    if (kept.size != now.size || memcmp(kept.header, now.header, kHeaderBytes) != 0 ||
        !SameTime(kept.written, record->backupWritten))
        return false;
    return SUCCEEDED(StringCchCopyW(backupPath, backupChars, record->backup));
}

void RememberBackup(const WCHAR *source, const FileStamp &stamp, const WCHAR *backup, const FILETIME &backupWritten) {
    BackupRecord *record = RecordOf(source);
    if (record == NULL) {
        record = &LastBackups[NextRecord];
        NextRecord = (NextRecord + 1) % kBookRecords;
    }
    if (FAILED(StringCchCopyW(record->source, ARRAYSIZE(record->source), source)) ||
        FAILED(StringCchCopyW(record->backup, ARRAYSIZE(record->backup), backup))) {
        record->source[0] = 0;
        return;
    }
    record->stamp = stamp;
    record->backupWritten = backupWritten;
}

// True when a and b name the same path once made full.
bool SamePath(const WCHAR *a, const WCHAR *b) {
    WCHAR fullA[MAX_PATH], fullB[MAX_PATH];
    DWORD n = GetFullPathNameW(a, MAX_PATH, fullA, NULL), m = GetFullPathNameW(b, MAX_PATH, fullB, NULL);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return _wcsicmp(a, b) == 0;
    return _wcsicmp(fullA, fullB) == 0;
}

// Removes the older backups beside newest (those of its stem), keeping
// newest and the kKeptBackups - 1 newest others by the time in their names;
// spare, when given, is never removed. Names not of the backup form are
// left alone, and so is everything when newest is not of it.
void RemoveOldBackups(const WCHAR *newest, const WCHAR *spare) {
    BackupName parsed;
    if (!ParseBackupName(newest, &parsed)) return;
    size_t folderChars = 0;
    for (size_t i = 0; i < parsed.stemChars; i++)
        if (newest[i] == L'\\' || newest[i] == L'/') folderChars = i + 1;
    WCHAR pattern[kPathChars];
    if (FAILED(StringCchPrintfW(pattern, ARRAYSIZE(pattern), L"%.*ls *.db", (int)parsed.stemChars, newest))) return;

    struct Found {
        std::wstring path;
        ULONGLONG order;
    };
    std::vector<Found> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        WCHAR path[kPathChars];
        BackupName other;
        if (FAILED(StringCchPrintfW(path, ARRAYSIZE(path), L"%.*ls%ls", (int)folderChars, newest, data.cFileName)) ||
            !ParseBackupName(path, &other) || other.stemChars != parsed.stemChars ||
            _wcsnicmp(path, newest, parsed.stemChars) != 0 || _wcsicmp(path, newest) == 0 ||
            (spare != NULL && spare[0] != 0 && SamePath(path, spare)))
            continue;
        try {
            found.push_back({path, other.order});
        } catch (const std::bad_alloc &) {
            break;  // the rest wait for the next backup
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);

    std::sort(found.begin(), found.end(), [](const Found &x, const Found &y) { return x.order > y.order; });
    for (size_t i = kKeptBackups - 1; i < found.size(); i++) DeleteFileW(found[i].path.c_str());
}

}  // namespace

// ---- Busy guard --------------------------------------------------------------------

JobBusyGuard::JobBusyGuard() : held_(BookJobBusy == 0) {
    if (held_) BookJobBusy = 1;
}

JobBusyGuard::~JobBusyGuard() {
    if (!held_) return;
    BookJobBusy = 0;
    ReleaseShutdownBlock();
    RepostTakenQuit();
}

void JobPause(DWORD ms) {
    if (JobPauseHook != NULL)
        JobPauseHook(ms);
    else
        Sleep(ms);
}

// ---- Checked backup ----------------------------------------------------------------

bool MakeCheckedBackup(const WCHAR *source, BackupNameFn makeName, WCHAR *backupPath, size_t backupChars,
                       const WCHAR *spare) {
    if (backupChars == 0) return false;
    WCHAR name[kPathChars];
    makeName(name, ARRAYSIZE(name));
    if (ReuseLastBackup(source, name, backupPath, backupChars)) return true;
    FileStamp stamp;
    bool stamped = ReadStamp(source, &stamp);
    // The first suffix above every one taken, so that a later backup of
    // the same second never sorts before an earlier one.
    WCHAR chosen[kPathChars];
    int taken = 0;
    for (int n = 1; n <= kMaxBackupSuffix; n++) {
        if (n == 1 ? FAILED(StringCchCopyW(chosen, ARRAYSIZE(chosen), name))
                   : !SuffixedName(name, n, chosen, ARRAYSIZE(chosen)))
            return false;
        if (Exists(chosen)) taken = n;
    }
    if (taken >= kMaxBackupSuffix) return false;
    if (taken == 0 ? FAILED(StringCchCopyW(chosen, ARRAYSIZE(chosen), name))
                   : !SuffixedName(name, taken + 1, chosen, ARRAYSIZE(chosen)))
        return false;
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
    // Where the book's stamp was read, the copy has its length and header.
    FileStamp copy;
    if (ok && stamped)
        ok = ReadStamp(chosen, &copy) && copy.size == stamp.size && memcmp(copy.header, stamp.header, kHeaderBytes) == 0;
    if (!ok) {
        DeleteFileW(chosen);  // a partial copy is no backup
        return false;
    }
    if (stamped) RememberBackup(source, stamp, chosen, copy.written);
    RemoveOldBackups(chosen, spare);
    return true;
}

bool BackUpRemarkBook(HWND window, const WCHAR *spare) {
    return BackUpBook(window, RemarkDbPath, MakeRemarkBackupPath, RemarkBackupPath, ARRAYSIZE(RemarkBackupPath),
                      spare);
}

bool BackUpDiaryBook(HWND window, const WCHAR *spare) {
    return BackUpBook(window, DiaryDbPath, MakeDiaryBackupPath, DiaryBackupPath, ARRAYSIZE(DiaryBackupPath), spare);
}

// ---- Job transaction ---------------------------------------------------------------

void ShowJobFailure(HWND window, const WCHAR *english, const WCHAR *malay) {
    ShowMessageBox(window, Pick(english, malay), ErrorCaption(), MB_OK | MB_ICONERROR);
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
    ShowUnchangedBook(window_, why);
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

bool RunBookStatement(sqlite3 **db, HWND window, const WCHAR *statement) {
    if (statement == NULL || statement[0] == 0) {
        ShowUnchangedBook(window, "statement too long");
        return false;
    }
    BookJob job(db, window);
    return job.Begin() && job.Run(statement) && job.Commit();
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

bool VerifyBookFile(const WCHAR *path, const char *countSql, long long expectedCount) {
    sqlite3 *db = NULL;
    if (OpenBookConnection(&db, path) != SQLITE_OK) return false;
    // The check walks every index beside the table, which with the usual
    // small cache rereads the index pages for every row: two and a half
    // times as long on a diary of a million rows. The cache goes with the
    // connection. (No memory map: a bad sector under a map would end the
    // program, and finding one is what the check is for.)
    char cache[48];
    StringCchPrintfA(cache, ARRAYSIZE(cache), "PRAGMA cache_size = %d", -kVerifyCacheKiB);
    sqlite3_exec(db, cache, NULL, NULL, NULL);
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
    CloseBookConnection(db);
    DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    bool moved = (BookMoveHook != NULL ? BookMoveHook(newPath, bookPath, flags)
                                       : MoveFileExW(newPath, bookPath, flags)) != FALSE;
    if (!moved) DeleteFileW(newPath);
    OpenBookConnection(db, bookPath);
    if (!moved) return kBookKept;
    // A connection that opens but cannot read the new book is no use to
    // anyone: it goes, and the users of *db see that the book is not open.
    if (*db != NULL && !CountIs(*db, countSql, expectedCount)) CloseBookConnection(db);
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
