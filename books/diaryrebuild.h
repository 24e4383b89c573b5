// The rebuild that the whole-diary jobs (CleanUp and Update Diary, in
// diaryjobs.cpp) share: their fault record, their progress in the password
// entry dialog, and the temporary diary that is filled, indexed, committed
// and swapped in for the diary. Defined in diaryrebuild.cpp; for those jobs
// alone (the books' interface is books.h).
#pragma once

#include <windows.h>

#include <strsafe.h>

#include "books.h"
#include "datastore.h"
#include "sqlite3.h"
#include "textutil.h"

enum {
    kProgressStep = 100,     // rows between two looks at the clock and the queue
    kRepaintMs = 40,         // the progress line is repainted at most this often
    kJobCacheKiB = 65536,    // page cache of the job's connections
};

// What went wrong in a job: the engine's code and a short reason, kept
// for the failure message.
struct JobFault {
    int rc = SQLITE_OK;
    char why[160] = "";
    bool failed() const { return rc != SQLITE_OK; }
    // Records the first fault only; returns false for the caller to stop.
    bool Set(int code, const char *reason, sqlite3 *db = NULL) {
        if (failed()) return false;
        rc = code != SQLITE_OK ? code : SQLITE_ERROR;
        const char *detail = db != NULL ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        StringCchPrintfA(why, sizeof why, "%hs: %hs", reason, detail);
        return false;
    }
};

// The dialog the jobs run in: the password entry dialog.
HWND JobWindow();
// Sets the dialog's title in the agent's language.
void ShowJobTitle(const WCHAR *english, const WCHAR *malay);
// Writes the job's message line and paints it at once.
void ShowJobText(const WCHAR *text);
// The line in the agent's language, then the queue pumped.
void ShowJobStep(const WCHAR *english, const WCHAR *malay);

// "...Row: %d of %d." of a long pass, repainted at most every kRepaintMs.
struct ProgressLine {
    DWORD lastPaint = 0;
    bool painted = false;
    void Show(const WCHAR *english, const WCHAR *malay, long long n, long long m) {
        DWORD now = GetTickCount();
        if (!painted || now - lastPaint >= kRepaintMs) {
            WCHAR text[kTextChars];
            StringCchPrintfW(text, ARRAYSIZE(text), Pick(english, malay), (int)n, (int)m);
            ShowJobText(text);
            lastPaint = now;
            painted = true;
        }
        PumpPendingMessages();
    }
};

// OK and Cancel go for good: the user closes the dialog with its close box.
void HideJobButtons();
// A statement of a job outside the prepared loops, with the job's fault
// seam; false (fault kept) when it fails.
bool RunStep(sqlite3 *db, const WCHAR *statement, JobFault *fault);
// Closes the temporary diary and removes its file.
void RemoveTempBook();
// Makes the temporary diary afresh: an unindexed VLS (its indexes come
// once the rows are in) and, with withSettings, an empty PRS; its
// connection runs without syncs, for one writer.
bool CreateTempBook(bool withSettings, JobFault *fault);
// The temporary diary's VLS indexes and its commit, with the windows kept
// painting meanwhile.
bool IndexAndCommitTempBook(JobFault *fault);
// Puts the finished temporary diary in the diary's place (checked, written
// through to the disk, moved in one step) and checks the diary reopened on
// it: rows rows in VLS and settings rows in PRS. *replaced tells whether
// the file is the diary now, also when the failure came after the move.
bool SwapInTempBook(long long rows, long long settings, bool *replaced, JobFault *fault);
// The highest rowid of the diary's VLS (0 when it is empty), read through
// db, where the diary's VLS is table.
bool DiaryHighestRowId(sqlite3 *db, const char *table, long long *m, JobFault *fault);
// The failure's message box over the dialog (when fault holds one), and its
// text in the message line and the title.
void ShowDiaryJobFailure(const JobFault &fault, const WCHAR *english, const WCHAR *malay,
                         const WCHAR *titleEnglish, const WCHAR *titleMalay);
