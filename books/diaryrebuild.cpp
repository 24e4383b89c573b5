// The rebuild that the whole-diary jobs share: the temporary diary made
// afresh, filled by the job, indexed and committed with the windows still
// painting, then put in the diary's place only once it is checked and on
// the disk; and the job's progress and failure in the password entry
// dialog.
#include "diaryrebuild.h"

#include <windows.h>

#include <strsafe.h>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "dbfiles.h"
#include "resource.h"
#include "sqlexec.h"
#include "statement.h"
#include "textutil.h"

namespace {

const WCHAR kVlsTable[] =
    L"CREATE TABLE VLS(C1 DATE, C2 INTEGER, C3 TEXT, C4 TEXT, C5 TEXT, C6 TEXT, C7 TEXT, C8 TEXT, "
    L"C9 TEXT, C10 TEXT, C11 TEXT)";
const WCHAR *const kVlsIndexes[] = {
    L"CREATE INDEX idxC1 ON VLS(C1)",   L"CREATE INDEX idxC2 ON VLS(C2)",  L"CREATE INDEX idxC3 ON VLS(C3)",
    L"CREATE INDEX idxC6 ON VLS(C6)",   L"CREATE INDEX idxC8 ON VLS(C8)",  L"CREATE INDEX idxC9 ON VLS(C9)",
    L"CREATE INDEX idxC10 ON VLS(C10)", L"CREATE INDEX idxC11 ON VLS(C11)",
};

void CloseTempBook() {
    CloseBookConnection(&TempDiaryDb);
}

// Pumps, at most every kRepaintMs, while one long statement of a job runs
// (an index over every row, a commit), so that the windows still paint.
int PumpDuringStatement(void *lastPump) {
    DWORD *last = (DWORD *)lastPump;
    DWORD now = GetTickCount();
    if (now - *last >= kRepaintMs) {
        *last = now;
        PumpPendingMessages();
    }
    return 0;
}

}  // namespace

HWND JobWindow() { return PasswordEntryDialogHandle; }

void ShowJobTitle(const WCHAR *english, const WCHAR *malay) {
    if (JobWindow() != NULL) SetWindowTextW(JobWindow(), Pick(english, malay));
}

// Writes the job's message line and paints it at once.
void ShowJobText(const WCHAR *text) {
    HWND line = JobWindow() != NULL ? GetDlgItem(JobWindow(), IDC_PWENTRY_MSGBOX) : NULL;
    if (line == NULL) return;
    SetWindowTextW(line, text);
    ShowWindow(line, SW_SHOW);
    UpdateWindow(line);
}

void ShowJobStep(const WCHAR *english, const WCHAR *malay) {
    ShowJobText(Pick(english, malay));
    PumpPendingMessages();
}

// OK and Cancel go for good: the user closes the dialog with its close box.
void HideJobButtons() {
    if (JobWindow() == NULL) return;
    const int ids[] = {IDC_PWENTRY_OK, IDC_PWENTRY_CANCEL};
    for (int id : ids) {
        HWND button = GetDlgItem(JobWindow(), id);
        if (button == NULL) continue;
        ShowWindow(button, SW_HIDE);
        EnableWindow(button, FALSE);
    }
}

// A statement of a job outside the prepared loops, with the job's fault
// seam; false (fault kept) when it fails.
bool RunStep(sqlite3 *db, const WCHAR *statement, JobFault *fault) {
    int rc = RunJobStatementQuietly(db, statement);
    if (rc == SQLITE_OK) return true;
    char what[64];
    WideToAnsi(statement, what, sizeof what);  // a long statement is named by nothing
    return fault->Set(rc, what[0] != 0 ? what : "statement", NULL);
}

void RemoveTempBook() {
    CloseTempBook();
    DeleteFileW(TempDiaryDbPath);
}

// Makes the temporary diary afresh: an unindexed VLS (its indexes come
// once the rows are in) and, with withSettings, an empty PRS. The connection is set up for one writer
// that need not survive a crash (the diary's own file is what counts).
bool CreateTempBook(bool withSettings, JobFault *fault) {
    RemoveTempBook();
    if (GetFileAttributesW(TempDiaryDbPath) != INVALID_FILE_ATTRIBUTES)
        return fault->Set(SQLITE_CANTOPEN, "the old temporary diary cannot be removed");
    if (OpenOrCreateBookConnection(&TempDiaryDb, TempDiaryDbPath) != SQLITE_OK) {
        CloseTempBook();
        return fault->Set(SQLITE_CANTOPEN, "the temporary diary cannot be made");
    }
    WCHAR cache[64];
    StringCchPrintfW(cache, ARRAYSIZE(cache), L"PRAGMA cache_size = -%d;", (int)kJobCacheKiB);
    const WCHAR *const setup[] = {
        L"PRAGMA synchronous = OFF;", L"PRAGMA temp_store = MEMORY;", L"PRAGMA main.locking_mode = EXCLUSIVE;",
        cache, kVlsTable,
    };
    for (const WCHAR *statement : setup) {
        if (!RunStep(TempDiaryDb, statement, fault)) return false;
    }
    return !withSettings || RunStep(TempDiaryDb, L"CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT)", fault);
}

// The temporary diary's VLS indexes and its commit, with the windows kept
// painting meanwhile.
bool IndexAndCommitTempBook(JobFault *fault) {
    DWORD lastPump = GetTickCount();
    sqlite3_progress_handler(TempDiaryDb, 20000, PumpDuringStatement, &lastPump);
    bool ok = true;
    for (size_t i = 0; ok && i < ARRAYSIZE(kVlsIndexes); i++) ok = RunStep(TempDiaryDb, kVlsIndexes[i], fault);
    if (ok) ok = RunStep(TempDiaryDb, L"commit", fault);
    sqlite3_progress_handler(TempDiaryDb, 0, NULL, NULL);
    return ok;
}

// Puts the finished temporary diary in the diary's place (ReplaceBookFile:
// checked, written through to the disk, moved in one step; its connection
// ran without syncs), and checks the diary reopened on it: rows rows in VLS
// and settings rows in PRS. *replaced tells whether the file is the diary
// now, also when the failure came after the move.
bool SwapInTempBook(long long rows, long long settings, bool *replaced, JobFault *fault) {
    CloseTempBook();
    BookReplace result = ReplaceBookFile(&DiaryDb, DiaryDbPath, TempDiaryDbPath, "select count(*) from VLS", rows);
    *replaced = result != kBookKept;
    if (result == kBookKept) {
        if (DiaryDb == NULL) OpenBookConnection(&DiaryDb, DiaryDbPath);
        return fault->Set(SQLITE_CANTOPEN, "the new diary could not replace the old one");
    }
    if (result == kBookReplacedNotOpen || QueryNumber(DiaryDb, "select count(*) from PRS") != settings) {
        // The new diary is in place but does not read back: the backup holds the old one.
        CloseBookConnection(&DiaryDb);
        return fault->Set(SQLITE_CANTOPEN, "the new diary cannot be read back");
    }
    return true;
}

// The highest rowid of the diary's VLS (0 when it is empty), read through
// db, where the diary's VLS is table.
bool DiaryHighestRowId(sqlite3 *db, const char *table, long long *m, JobFault *fault) {
    Statement last;
    char sql[96];
    StringCchPrintfA(sql, sizeof sql, "select rowid from %hs order by rowid desc limit 1", table);
    int rc = last.Prepare(db, sql);
    if (rc != SQLITE_OK) return fault->Set(rc, "highest row", db);
    rc = sqlite3_step(last.get());
    if (rc == SQLITE_ROW) {
        *m = sqlite3_column_int64(last.get(), 0);
        return true;
    }
    if (rc == SQLITE_DONE) {
        *m = 0;
        return true;
    }
    return fault->Set(rc, "highest row", db);
}

// The failure's message box over the dialog, and its text in the message
// line and the title.
void ShowDiaryJobFailure(const JobFault &fault, const WCHAR *english, const WCHAR *malay,
                         const WCHAR *titleEnglish, const WCHAR *titleMalay) {
    if (fault.failed()) {
        WCHAR reason[kTextChars];
        AnsiToWide(fault.why, reason, ARRAYSIZE(reason));
        WCHAR en[kTextChars * 2], ms[kTextChars * 2];
        StringCchPrintfW(en, ARRAYSIZE(en), L"%ls\r\n[%ls]", english, reason);
        StringCchPrintfW(ms, ARRAYSIZE(ms), L"%ls\r\n[%ls]", malay, reason);
        ShowJobFailure(JobWindow(), en, ms);
    }
    WCHAR line[kTextChars];
    StringCchPrintfW(line, ARRAYSIZE(line), L"\r\n%ls", Pick(english, malay));
    ShowJobText(line);
    ShowJobTitle(titleEnglish, titleMalay);
}
