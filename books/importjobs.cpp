// The book imports and the restore of a backup diary. The imports read the
// chosen book through ImportDb and write the own book through prepared
// statements whose every cell is bound, all inside one job transaction.
#include <windows.h>

#include <strsafe.h>
#include <wchar.h>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "statement.h"
#include "textutil.h"

WCHAR ImportOwnerName[256];
int KeepOwnRemark = 1;

namespace {

enum {
    kProgressMs = 40,           // the progress line is rewritten at most this often
    kDiaryColumns = 11,
    kRemarkColumns = 7,
};

// The "Row: %d of %d." line of a job in a dialog control. The text is
// rewritten and the queue pumped at most every kProgressMs, so a long
// import is not slowed by painting; the last row is always shown.
class Progress {
  public:
    Progress(HWND dialog, int controlId, const WCHAR *english, const WCHAR *malay)
        : dialog_(dialog), controlId_(controlId), format_(Pick(english, malay)), last_(0), shown_(false) {}
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    void Row(int row, int count) {
        DWORD now = GetTickCount();
        if (shown_ && row != count && now - last_ < kProgressMs) return;
        last_ = now;
        shown_ = true;
        WCHAR text[kTextChars];
        StringCchPrintfW(text, ARRAYSIZE(text), format_, row, count);
        HWND control = GetDlgItem(dialog_, controlId_);
        if (control != NULL) {
            SetWindowTextW(control, text);
            UpdateWindow(control);
        }
        PumpPendingMessages();
    }

  private:
    HWND dialog_;
    int controlId_;
    const WCHAR *format_;
    DWORD last_;
    bool shown_;
};

void ShowText(HWND dialog, int id, const WCHAR *english, const WCHAR *malay) {
    HWND control = GetDlgItem(dialog, id);
    if (control == NULL) return;
    SetWindowTextW(control, Pick(english, malay));
    UpdateWindow(control);
}

void ShowFinalText(HWND dialog, int id, const WCHAR *english, const WCHAR *malay, int count) {
    WCHAR text[kTextChars];
    StringCchPrintfW(text, ARRAYSIZE(text), Pick(english, malay), count, count);
    SetDlgItemTextW(dialog, id, text);
}

// Shows a failure of the import of book ("Diary" / "Remark") with the
// engine's reason.
void ShowImportFailure(HWND dialog, const WCHAR *englishBook, const WCHAR *malayBook, const char *why) {
    WCHAR reason[kTextChars];
    AnsiToWide(why, reason, ARRAYSIZE(reason));
    WCHAR english[kTextChars * 2], malay[kTextChars * 2];
    StringCchPrintfW(english, ARRAYSIZE(english),
                     L"The %ls could not be imported; your %ls is as it was.\r\n[%ls]", englishBook, englishBook,
                     reason);
    StringCchPrintfW(malay, ARRAYSIZE(malay), L"%ls tidak dapat diimport; %ls anda kekal seperti asal.\r\n[%ls]",
                     malayBook, malayBook, reason);
    ShowJobFailure(dialog, english, malay);
}

bool SameFileByHandle(const WCHAR *a, const WCHAR *b, bool *known) {
    *known = false;
    HANDLE files[2];
    const WCHAR *paths[2] = {a, b};
    BY_HANDLE_FILE_INFORMATION info[2];
    for (int i = 0; i < 2; i++) {
        files[i] = CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    bool same = false;
    if (files[0] != INVALID_HANDLE_VALUE && files[1] != INVALID_HANDLE_VALUE &&
        GetFileInformationByHandle(files[0], &info[0]) && GetFileInformationByHandle(files[1], &info[1])) {
        *known = true;
        same = info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
               info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
    }
    for (HANDLE file : files)
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return same;
}

// True when the two paths name the same file: the same file of the same
// volume, or, where that cannot be asked, the same full path.
bool IsSameFile(const WCHAR *a, const WCHAR *b) {
    bool known;
    bool same = SameFileByHandle(a, b, &known);
    if (known) return same;
    WCHAR fullA[MAX_PATH], fullB[MAX_PATH];
    if (GetFullPathNameW(a, MAX_PATH, fullA, NULL) == 0 || GetFullPathNameW(b, MAX_PATH, fullB, NULL) == 0)
        return _wcsicmp(a, b) == 0;
    return _wcsicmp(fullA, fullB) == 0;
}

// The file ImportDb is open on into path (MAX_PATH); false when none.
bool ImportBookPath(WCHAR *path) {
    const char *name = ImportDb != NULL ? sqlite3_db_filename(ImportDb, "main") : NULL;
    path[0] = 0;
    if (name == NULL || name[0] == 0) return false;
    return MultiByteToWideChar(CP_UTF8, 0, name, -1, path, MAX_PATH) != 0;
}

// True when ImportDb is open on the file at ownPath.
bool ImportIsOwnBook(const WCHAR *ownPath) {
    WCHAR path[MAX_PATH];
    return ImportBookPath(path) && IsSameFile(path, ownPath);
}

// What an import walks: its rows of rowid 1 and up, in rowid order, and
// the empty rows that stand for the rowids missing between them. A missing
// rowid is an empty row, but there are never more of those than rows: a
// file of a few rows with one huge rowid (up to the largest there is) makes
// no billions of rows, and costs no more than twice its own rows. In a
// file whose missing rowids are no more than its rows, each rowid up to
// the highest is one step, as if nothing were bounded.
struct ImportSpan {
    int rows;   // rows of rowid 1 and up
    int steps;  // rows plus the empty rows of the gaps: the "of %d" of the progress
    // The step of the row that is the n-th (1-based) and has rowid; the
    // empty rows before it are the steps between the previous row's and it.
    int StepOf(int n, sqlite3_int64 rowid) const {
        sqlite3_int64 gaps = rowid - n;
        return n + (int)(gaps < rows ? gaps : rows);
    }
};

// Reads the span of the import book's VLS. Returns the engine's code;
// SQLITE_TOOBIG for a table of more rows than the steps can count.
int ReadImportSpan(ImportSpan *span) {
    span->rows = span->steps = 0;
    ImportLastRowId = 0;
    Statement highest;
    int rc = highest.Prepare(ImportDb, "select rowid from VLS order by rowid desc limit 1");
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_step(highest.get());
    if (rc == SQLITE_DONE) return SQLITE_OK;
    if (rc != SQLITE_ROW) return rc;
    sqlite3_int64 last = sqlite3_column_int64(highest.get(), 0);
    if (last < 1) return SQLITE_OK;
    Statement counted;
    rc = counted.Prepare(ImportDb, "select count(*) from VLS where rowid >= 1");
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_step(counted.get());
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_CORRUPT : rc;
    sqlite3_int64 rows = sqlite3_column_int64(counted.get(), 0);
    if (rows < 1 || rows > last) return SQLITE_CORRUPT;
    if (rows > 0x3fffffff) return SQLITE_TOOBIG;
    span->rows = (int)rows;
    span->steps = span->StepOf(span->rows, last);
    ImportLastRowId = span->steps;
    return SQLITE_OK;
}

// Binds cell column of the import row (a NULL or missing cell as the empty
// text) to parameter of insert, byte for byte.
int BindCell(sqlite3_stmt *insert, int parameter, sqlite3_stmt *row, int column) {
    if (column >= sqlite3_column_count(row)) return sqlite3_bind_text(insert, parameter, "", 0, SQLITE_STATIC);
    const unsigned char *text = sqlite3_column_text(row, column);
    if (text == NULL) return sqlite3_bind_text(insert, parameter, "", 0, SQLITE_STATIC);
    return sqlite3_bind_text(insert, parameter, (const char *)text, sqlite3_column_bytes(row, column),
                             SQLITE_TRANSIENT);
}

int StepWrite(sqlite3_stmt *stmt) {
    int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

const char *Reason(sqlite3 *db, int rc) {
    if (db != NULL && sqlite3_errcode(db) == rc) return sqlite3_errmsg(db);
    return sqlite3_errstr(rc);
}

const WCHAR kDiaryProgressEnglish[] = L"\r\nPlease wait. Importing the Diary now.\r\nRow: %d of %d.";
const WCHAR kDiaryProgressMalay[] = L"\r\nSila tunggu. Import Diary sedang dijalankan.\r\nBaris: %d daripada %d.";
const WCHAR kRemarkProgressEnglish[] = L"\r\nPlease wait. Importing the Remark now.\r\nRow: %d of %d.";
const WCHAR kRemarkProgressMalay[] =
    L"\r\nSila tunggu. Import Remark sedang dijalankan.\r\nBaris: %d daripada %d.";

// The rows of Import Diary; *count receives the highest rowid.
bool ImportDiaryRows(HWND dialog, int *count) {
    *count = 0;
    if (ImportDb == NULL) {
        ShowImportFailure(dialog, L"Diary", L"Diary", "the chosen diary is not open");
        return false;
    }
    if (ImportIsOwnBook(DiaryDbPath)) {
        ShowJobFailure(dialog, L"You can't import your own Diary because it will create duplicate data.",
                       L"Anda tidak boleh import Diary anda sendiri kerana akan menyebabkan masaalah data duplicate.");
        return false;
    }
    WCHAR chosen[MAX_PATH];
    ImportBookPath(chosen);
    if (!BackUpDiaryBook(dialog, chosen)) return false;  // the chosen file, a backup maybe, stays
    ForgetLastSearchRows();

    ImportSpan span;
    int rc = ReadImportSpan(&span);
    if (rc != SQLITE_OK) {
        ShowImportFailure(dialog, L"Diary", L"Diary", Reason(ImportDb, rc));
        return false;
    }
    char owner[kTextChars * 2];
    if (!WideToAnsi(ImportOwnerName, owner, sizeof owner)) owner[0] = 0;

    BookJob job(&DiaryDb, dialog);
    if (!job.Begin()) return false;
    Statement read, insert;
    rc = read.Prepare(ImportDb, "select rowid, * from VLS where rowid >= 1 order by rowid");
    sqlite3 *failedOn = ImportDb;
    if (rc == SQLITE_OK) {
        failedOn = DiaryDb;
        rc = insert.Prepare(DiaryDb, "insert into VLS values (?,?,?,?,?,?,?,?,?,?,?)");
    }
    if (rc != SQLITE_OK) {
        ShowImportFailure(dialog, L"Diary", L"Diary", Reason(failedOn, rc));
        return false;
    }
    sqlite3_stmt *row = read.get();
    sqlite3_stmt *put = insert.get();
    sqlite3_bind_text(put, kDiaryColumns, owner, -1, SQLITE_STATIC);
    Progress progress(dialog, IDC_ID_MSGBOX, kDiaryProgressEnglish, kDiaryProgressMalay);

    // The rows come in rowid order; before each, the empty rows of the
    // owner that stand for the rowids missing below it.
    int step = 0;
    for (int n = 1; n <= span.rows; n++) {
        int readRc = sqlite3_step(row);
        if (readRc != SQLITE_ROW) {
            ShowImportFailure(dialog, L"Diary", L"Diary",
                              readRc == SQLITE_DONE ? "the diary changed while it was read" : Reason(ImportDb, readRc));
            return false;
        }
        int rowStep = span.StepOf(n, sqlite3_column_int64(row, 0));
        while (step < rowStep) {
            step++;
            progress.Row(step, span.steps);
            bool present = step == rowStep;
            for (int column = 1; column < kDiaryColumns && rc == SQLITE_OK; column++)
                rc = present ? BindCell(put, column, row, column) : sqlite3_bind_text(put, column, "", 0, SQLITE_STATIC);
            if (rc == SQLITE_OK) rc = StepWrite(put);
            if (rc != SQLITE_OK) {
                ShowImportFailure(dialog, L"Diary", L"Diary", Reason(DiaryDb, rc));
                return false;
            }
        }
    }
    *count = span.steps;
    return job.Commit();
}

// The rows of Import Remark; *count receives the highest rowid.
bool ImportRemarkRows(HWND dialog, int *count) {
    *count = 0;
    if (ImportDb == NULL) {
        ShowImportFailure(dialog, L"Remark", L"Remark", "the chosen remark book is not open");
        return false;
    }
    if (ImportIsOwnBook(RemarkDbPath)) {
        ShowJobFailure(dialog, L"You can't import your own Remark because it will create duplicate data.",
                       L"Anda tidak boleh import Remark anda sendiri kerana akan menyebabkan masaalah data duplicate.");
        return false;
    }
    WCHAR chosen[MAX_PATH];
    ImportBookPath(chosen);
    if (!BackUpRemarkBook(dialog, chosen)) return false;  // the chosen file, a backup maybe, stays

    ImportSpan span;
    int rc = ReadImportSpan(&span);
    if (rc == SQLITE_OK) {
        Statement version;
        rc = version.Prepare(ImportDb, "select C2 from PRS where C1 ='DSV'");
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(version.get());
            if (rc == SQLITE_ROW) RemarkSchemaVersion = sqlite3_column_double(version.get(), 0);
            if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK) {
        ShowImportFailure(dialog, L"Remark", L"Remark", Reason(ImportDb, rc));
        return false;
    }
    // A book of version 1000 has no follow-up column: its rows get 'NULL'.
    bool noFollowUp = RemarkSchemaVersion == 1000;

    BookJob job(&RemarkDb, dialog);
    if (!job.Begin()) return false;
    Statement read, lookup, insert, update;
    sqlite3 *failedOn = ImportDb;
    rc = read.Prepare(ImportDb, "select rowid, * from VLS where rowid >= 1 order by rowid");
    if (rc == SQLITE_OK) {
        failedOn = RemarkDb;
        rc = lookup.Prepare(RemarkDb, "select * from VLS where C1 = ?1");
    }
    if (rc == SQLITE_OK) rc = insert.Prepare(RemarkDb, "insert into VLS values (?1,?2,?3,?4,?5,?6,?7)");
    if (rc == SQLITE_OK)
        rc = update.Prepare(RemarkDb, "update VLS set C2=?2,C3=?3,C4=?4,C5=?5,C6=?6,C7=?7 where C1 = ?1");
    if (rc != SQLITE_OK) {
        ShowImportFailure(dialog, L"Remark", L"Remark", Reason(failedOn, rc));
        return false;
    }
    sqlite3_stmt *row = read.get();
    Progress progress(dialog, IDC_IR_MSGBOX, kRemarkProgressEnglish, kRemarkProgressMalay);

    int readRc;
    for (int n = 1; (readRc = sqlite3_step(row)) == SQLITE_ROW; n++) {
        if (n > span.rows) {
            readRc = SQLITE_CORRUPT;  // more rows than were counted
            break;
        }
        progress.Row(span.StepOf(n, sqlite3_column_int64(row, 0)), span.steps);
        const unsigned char *plate = sqlite3_column_text(row, 1);
        if (plate == NULL || plate[0] == 0) continue;

        // The own remark of the plate, through the remark select mode: it
        // sets RemarkPresent, and fills nothing while RemarkToScreen is 0.
        RemarkPresent = 0;
        sqlite3_stmt *own = lookup.get();
        sqlite3_bind_text(own, 1, (const char *)plate, sqlite3_column_bytes(row, 1), SQLITE_TRANSIENT);
        int savedMode = SelectMode;
        SelectMode = kModeRemarkOfPlate;
        while ((rc = sqlite3_step(own)) == SQLITE_ROW) {
            char *cells[kRemarkColumns];
            int columns = sqlite3_column_count(own);
            if (columns > kRemarkColumns) columns = kRemarkColumns;
            for (int i = 0; i < columns; i++) cells[i] = (char *)sqlite3_column_text(own, i);
            OnSelectRow(NULL, columns, cells, NULL);
        }
        SelectMode = savedMode;
        sqlite3_reset(own);
        if (rc != SQLITE_DONE) {
            ShowImportFailure(dialog, L"Remark", L"Remark", Reason(RemarkDb, rc));
            return false;
        }
        if (RemarkPresent == 1 && KeepOwnRemark == 1) continue;

        sqlite3_stmt *put = RemarkPresent == 1 ? update.get() : insert.get();
        rc = SQLITE_OK;
        for (int column = 1; column <= kRemarkColumns && rc == SQLITE_OK; column++) {
            if (column == kRemarkColumns && noFollowUp)
                rc = sqlite3_bind_text(put, column, "NULL", 4, SQLITE_STATIC);
            else
                rc = BindCell(put, column, row, column);
        }
        if (rc == SQLITE_OK) rc = StepWrite(put);
        if (rc != SQLITE_OK) {
            ShowImportFailure(dialog, L"Remark", L"Remark", Reason(RemarkDb, rc));
            return false;
        }
    }
    if (readRc != SQLITE_DONE) {
        ShowImportFailure(dialog, L"Remark", L"Remark", Reason(ImportDb, readRc));
        return false;
    }
    progress.Row(span.steps, span.steps);
    if (!job.Run(L"update PRS set C2 = '0' where C1 = 'CLF'") || !job.Commit()) return false;
    ClearedPlatesPurged = 0;
    *count = span.steps;
    return true;
}

// A copy of the chosen file made beside the own diary, then checked and
// moved over it by ReplaceBookFile. The copy takes no read-only mark from
// a backup kept on a CD or a write-protected drive: it is to be written.
bool CopyForRestore(const WCHAR *from, const WCHAR *to) {
    DeleteFileW(to);
    if ((BookCopyHook != NULL ? BookCopyHook(from, to, FALSE) : CopyFileW(from, to, FALSE)) == FALSE) return false;
    DWORD attributes = GetFileAttributesW(to);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ((attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
            SetFileAttributesW(to, attributes & ~FILE_ATTRIBUTE_READONLY) != FALSE);
}

// The VLS row count of a diary file, through a read-only connection.
bool CountDiaryRows(const WCHAR *path, long long *rows) {
    char name[kPathChars * 3];
    if (!EngineFileName(path, name)) return false;
    sqlite3 *db = NULL;
    bool ok = sqlite3_open_v2(name, &db, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK;
    if (ok) {
        sqlite3_stmt *stmt = NULL;
        ok = sqlite3_prepare_v2(db, "select count(*) from VLS", -1, &stmt, NULL) == SQLITE_OK &&
             sqlite3_step(stmt) == SQLITE_ROW;
        if (ok) *rows = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        if (ok) {
            ok = sqlite3_prepare_v2(db, "select C2 from PRS where C1 = 'DSV'", -1, &stmt, NULL) == SQLITE_OK &&
                 sqlite3_step(stmt) == SQLITE_ROW;
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    return ok;
}

}  // namespace

void CloseImportBook(void) {
    CloseBookConnection(&ImportDb);
}

bool ImportDiary(void) {
    HWND dialog = ImportDiaryDialogHandle;
    ShowText(dialog, IDC_ID_MSGBOX, L"\r\nPlease wait. Diary backup is being done",
             L"\r\nSila tunggu. Diary backup sedang dijalankan.");
    int count = 0;
    bool ok;
    {
        JobBusyGuard busy;
        ok = busy.acquired() && ImportDiaryRows(dialog, &count);
    }
    CloseImportBook();
    if (!ok) {
        SetDlgItemTextW(dialog, IDC_ID_MSGBOX,
                        Pick(L"\r\nThe Diary was not imported.\r\nYour diary is as it was.",
                             L"\r\nDiary tidak diimport.\r\nDiary anda kekal seperti asal."));
        return false;
    }
    ShowFinalText(dialog, IDC_ID_MSGBOX, L"\r\nThe Diary has been imported.\r\nRow: %d of %d.",
                  L"\r\nDiary sudah pun diimport.\r\nBaris: %d daripada %d.", count);
    if (dialog != NULL) SetWindowTextW(dialog, Pick(L"Import Diary - Finished", L"Import Diary - Selesai"));
    return true;
}

bool ImportRemark(void) {
    HWND dialog = ImportRemarkDialogHandle;
    int count = 0;
    bool ok;
    {
        JobBusyGuard busy;
        ok = busy.acquired() && ImportRemarkRows(dialog, &count);
    }
    CloseImportBook();
    if (!ok) {
        SetDlgItemTextW(dialog, IDC_IR_MSGBOX,
                        Pick(L"\r\nThe Remark was not imported.\r\nYour Remark is as it was.",
                             L"\r\nRemark tidak diimport.\r\nRemark anda kekal seperti asal."));
        return false;
    }
    ShowFinalText(dialog, IDC_IR_MSGBOX, L"\r\nThe Remark has been imported.\r\nRow: %d of %d.",
                  L"\r\nRemark sudah pun diimport.\r\nBaris: %d daripada %d.", count);
    if (dialog != NULL) SetWindowTextW(dialog, Pick(L"Import Remark - Finished", L"Import Remark - Selesai"));
    return true;
}

bool RestoreBackUpDiary(const WCHAR *chosenPath) {
    HWND dialog = ImportDiaryDialogHandle;
    // The backup of the own diary below writes DiaryBackupPath, which may
    // be where the chosen path was given.
    WCHAR chosen[kPathChars];
    if (chosenPath == NULL || FAILED(StringCchCopyW(chosen, ARRAYSIZE(chosen), chosenPath))) chosen[0] = 0;
    JobBusyGuard busy;
    if (!busy.acquired()) return false;
    if (chosen[0] == 0 || IsSameFile(chosen, DiaryDbPath)) {
        ShowJobFailure(dialog, L"This is the Diary you are using now; nothing was changed.",
                       L"Ini ialah Diary yang sedang anda gunakan; tiada apa-apa yang diubah.");
        return false;
    }
    long long rows = 0;
    if (!CountDiaryRows(chosen, &rows)) {
        ShowJobFailure(dialog, L"The BackUp Diary cannot be read; your diary is as it was.",
                       L"Diary BackUp tidak dapat dibaca; diary anda kekal seperti asal.");
        return false;
    }
    if (!BackUpDiaryBook(dialog, chosen)) return false;  // the backup being restored stays

    WCHAR copy[kPathChars];
    BookReplace replaced = kBookKept;
    if (SUCCEEDED(StringCchPrintfW(copy, ARRAYSIZE(copy), L"%ls.restore", DiaryDbPath)) && CopyForRestore(chosen, copy))
        replaced = ReplaceBookFile(&DiaryDb, DiaryDbPath, copy, "select count(*) from VLS", rows);
    if (replaced == kBookKept) {
        DeleteFileW(copy);
        if (DiaryDb == NULL) OpenBookConnection(&DiaryDb, DiaryDbPath);
        ShowJobFailure(dialog, L"The BackUp Diary could not be copied whole; your diary is as it was.",
                       L"Diary BackUp tidak dapat disalin sepenuhnya; diary anda kekal seperti asal.");
        return false;
    }
    // The BackUp Diary is the diary now, with its own password.
    StringCchCopyW(DiaryPassword, ARRAYSIZE(DiaryPassword), ImportFilePassword);
    if (replaced == kBookReplacedNotOpen) ShowDiaryNotReopened(dialog);
    return true;
}
