// The one safe way a job changes a book: a checked backup first, then the
// job's statements in one transaction that a failure rolls back, or a whole
// new file that replaces the book only once it is complete and checked.
// Jobs run on the user-interface thread; a busy guard keeps a second command
// from starting while one pumps messages.
//
// A job uses them in this order:
//
//     JobBusyGuard busy;                    // refuse a second job
//     if (!busy.acquired()) return;
//     if (!BackUpRemarkBook(window)) return;  // shown; nothing changed
//     BookJob job(&RemarkDb, window);
//     job.Begin() && job.Run(statement) && job.Commit();
//     if (job.failed()) return;             // shown; the book as it was
//
// Values that come from the user, a file, the phone or the server reach a
// statement only through SqlQuote (sqlexec.h) or a bound parameter, and a
// statement that does not fit its buffer is refused (FormatJobStatement).
#pragma once

#include <windows.h>

#include <stddef.h>

#include "sqlite3.h"

// ---- Test seams: null means the real call -------------------------------------
typedef BOOL (*CopyFileFn)(const WCHAR *from, const WCHAR *to, BOOL failIfExists);
typedef BOOL (*MoveFileFn)(const WCHAR *from, const WCHAR *to, DWORD flags);
typedef BOOL (*FlushFileFn)(HANDLE file);
typedef int (*StatementFaultFn)(const WCHAR *statement);  // SQLITE_OK lets the statement run
typedef void (*PauseFn)(DWORD milliseconds);
typedef HINSTANCE (*ShellOpenFn)(HWND owner, const WCHAR *verb, const WCHAR *file, const WCHAR *parameters,
                                 const WCHAR *directory, INT show);
typedef void (*BackupNameFn)(WCHAR *buf, int count);
extern CopyFileFn BookCopyHook;            // the copy of a checked backup
extern MoveFileFn BookMoveHook;            // the move that replaces a book
extern FlushFileFn BookFlushHook;          // the flush of a new book file before its move
extern StatementFaultFn JobStatementHook;  // asked before each statement of a job runs
extern PauseFn JobPauseHook;               // the pauses of the jobs
extern ShellOpenFn ShellOpenHook;          // the shell's "open" of the print-out
extern BackupNameFn BackupNameHook;        // makes the backup names in place of the clock's

// ---- Busy guard ------------------------------------------------------------------
extern int BookJobBusy;  // 1 while a job of a book window runs

// Takes the busy flag for the life of the guard when it is free; acquired()
// tells whether it was. When the guard that held it goes, a WM_QUIT that
// the pump took meanwhile is posted again, and an end of the session that
// was refused meanwhile is let go (ReleaseShutdownBlock).
class JobBusyGuard {
  public:
    JobBusyGuard();
    ~JobBusyGuard();
    JobBusyGuard(const JobBusyGuard &) = delete;
    JobBusyGuard &operator=(const JobBusyGuard &) = delete;
    bool acquired() const { return held_; }

  private:
    bool held_;
};

// Waits ms milliseconds, or whatever JobPauseHook does.
void JobPause(DWORD ms);

// ---- Checked backup ----------------------------------------------------------------

enum { kKeptBackups = 3 };  // the newest backups of a book that stay; older ones are removed

// Copies the book at source to a new backup name made by makeName, and
// checks that the copy is whole (BackUpBookFile's test: it exists with the
// source's size; and it begins with the source's engine header). When that name is taken (a backup of the same second, or
// anything else of that name) " (2)", " (3)" ... up to " (99)" goes before
// ".db", the first above every one taken; an earlier backup is never
// replaced. backupPath receives the name
// used. Returns false when no complete copy was made; a partial copy is
// deleted. Shows nothing.
//
// The space the backups take is bounded. When the book has not changed
// since the last backup this run verified of it (the same length, time of
// last writing and engine header, whose change counter moves with every
// commit), and that backup is still whole where makeName's backups go, no
// copy is made: backupPath receives that backup's name. After a new copy
// is verified, and only then, the older backups of its kind (same folder
// and base name, "<base> YYYY-MON-DD hh_mm_ss[ (n)].db") are removed but
// the kKeptBackups newest by the time in their names, the new one always
// among them; spare, when not NULL, is never removed (the file a job is
// about to read). Names of any other form are never removed.
bool MakeCheckedBackup(const WCHAR *source, BackupNameFn makeName, WCHAR *backupPath, size_t backupChars,
                       const WCHAR *spare = NULL);

// The remark book (RemarkDbPath into RemarkBackupPath) and the diary
// (DiaryDbPath into DiaryBackupPath), named by the clock (or
// BackupNameHook), as MakeCheckedBackup. On failure each shows "The backup
// copy of the book could not be made; nothing was changed." (or its Malay
// twin) over window and returns false: the job must stop.
bool BackUpRemarkBook(HWND window, const WCHAR *spare = NULL);
bool BackUpDiaryBook(HWND window, const WCHAR *spare = NULL);

// ---- Job transaction ---------------------------------------------------------------

// One transaction of a job on *db. Begin, Run and Commit each return false
// once anything failed: a failed statement rolls the transaction back at
// once and shows the failure over window (caption "Error" / "Masaalah");
// later calls do nothing. A null or closed connection fails Begin. A
// statement whose ANSI form does not fit kStatementChars bytes is refused
// as a failure. A transaction neither committed nor failed is rolled back
// when the object goes. ExecSql is never used here: a job's failure does
// not end the program.
class BookJob {
  public:
    BookJob(sqlite3 **db, HWND window);
    ~BookJob();
    BookJob(const BookJob &) = delete;
    BookJob &operator=(const BookJob &) = delete;

    bool Begin();
    bool Run(const WCHAR *statement);
    bool Commit();
    bool failed() const { return failed_; }
    int code() const { return code_; }  // the engine's code of the failure, SQLITE_OK when none

  private:
    bool Exec(const WCHAR *statement);
    void Fail(int rc, const char *why);

    sqlite3 **db_;
    HWND window_;
    bool open_;
    bool failed_;
    int code_;
};

// Runs one statement alone in a job transaction on *db (Begin, Run,
// Commit). Returns true once it was committed; a failure, or an empty
// statement (one that did not fit when it was formed), is shown over
// window and leaves the book as it was.
bool RunBookStatement(sqlite3 **db, HWND window, const WCHAR *statement);

// Runs one statement outside any transaction (VACUUM, PRAGMA) on db with
// the job's fault seam; returns the engine's code and shows nothing.
int RunJobStatementQuietly(sqlite3 *db, const WCHAR *statement);

// Formats a job's statement into out (outChars). Returns false, with out
// emptied, when it does not fit: the job must refuse it, never run it cut.
bool FormatJobStatement(WCHAR *out, size_t outChars, const WCHAR *format, ...);

// Shows a job's failure over window: text, or its Malay twin.
void ShowJobFailure(HWND window, const WCHAR *english, const WCHAR *malay);

// ---- Whole-file replace --------------------------------------------------------------

// What ReplaceBookFile did.
enum BookReplace {
    kBookKept = 0,         // the old book is in place; *db is open on it again, or NULL when it would not open
    kBookReplaced,         // newPath is the book now and *db is open on it
    kBookReplacedNotOpen,  // newPath is the book now, but *db could not be opened on it and is NULL
};

// Replaces the book at bookPath, whose connection is *db, with the complete
// file newPath. newPath must open, pass "PRAGMA integrity_check" and give
// expectedCount as the first column of countSql, and its bytes must reach
// the disk (FlushFileBuffers); only then is *db closed and newPath moved
// over bookPath in one step (MoveFileExW with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH), and *db reopened on bookPath. On a failure
// before the move the old book stays in place, *db is opened on it again,
// and newPath is deleted. A replace of the diary makes the main window
// forget the rows of its last search (the rowids are not the same rows
// any more). Shows nothing; the caller tells the agent which of the three
// came about.
BookReplace ReplaceBookFile(sqlite3 **db, const WCHAR *bookPath, const WCHAR *newPath, const char *countSql,
                            long long expectedCount);

// Shows over window that the diary's file was replaced but could not be
// opened again: the agent is to close the program and start it again.
void ShowDiaryNotReopened(HWND window);

// Writes what the system still holds of the file at path through to the
// disk (BookFlushHook, else FlushFileBuffers). Returns false when it could
// not be opened for writing or the flush failed.
bool FlushBookFile(const WCHAR *path);

// VACUUM on the diary with the job's fault seam; returns the engine's code
// and shows nothing. VACUUM may give the rows new rowids, so the main
// window forgets the rows of its last search.
int CompactDiary(void);

// Checks a finished book file as ReplaceBookFile does, without moving it.
bool VerifyBookFile(const WCHAR *path, const char *countSql, long long expectedCount);
