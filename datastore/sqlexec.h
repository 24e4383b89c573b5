// Running statements and selects on the program's connections, and the one
// row handler that every select feeds by its numbered select mode.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "cipher.h"
#include "sqlite3.h"

enum {
    kStatementChars = 1500,  // a statement as formatted, and its ANSI form in bytes
    kSlotChars = 256,        // each row slot
    kSelectSlotCount = 12,
    kRemarkSlotCount = 7,
    kEncodedSlotCount = 5,
};

// The select modes (the number is what callers pass to SelectSql).
enum SelectModeNumber {
    kModePlateSearch = 0,       // VLD rows of the searched plate: show them, log the hit
    kModeDataVersion = 2,       // PRD 'DV'
    kModeDataVersionUpdate = 3, // PRD 'DVR', then DataVersionText
    kModeDataVersionPatch = 4,  // PRD 'DVP'
    kModeContactLine1 = 5,      // PRD 'CP1' .. 'CP6' are modes 5 .. 10
    kModeFindHistory1 = 11,     // PRS 'FH1' .. 'FH3' are modes 11 .. 13
    kModeSound = 17,            // PRS 'SND'
    kModeLanguage = 18,         // PRS 'B'
    kModeStoragePlace = 19,     // PRI 'DSP'
    kModeSearchUsing = 20,      // PRS 'SU'
    kModeRequiredVersion = 23,  // PRD 'CE'
    kModeDiaryVersion = 24,     // diary PRS 'DSV'
    kModeLocation = 25,         // PRS 'LOC'
    kModeDiaryPassword = 32,    // PRS 'D'
    kModeFinancierList = 35,    // FLD C1 into the Diary window's financier combo
    kModeHugeResult = 43,       // PRS 'HRS'
    kModeMultiColour = 44,      // PRS 'MCT'
    kModeImportPassword = 49,   // import PRS 'D'
    kModeRemarkVersion = 50,    // remark or import PRS 'DSV'
    kModeRemarkPassword = 51,   // remark PRS 'D'
    kModeRemarkOfPlate = 52,    // the remark row of the searched plate
    kModeEmail = 57,            // PRS 'EML'
    // Not selected by any program code: the row handler still serves them,
    // and some tests drive them.
    kModeVacuum = 22,           // "VACUUM;", no rows
    kModeDiaryLastRowId = 28,   // highest VLS rowid of a diary
    kModeCleanUpLookup = 30,    // slot 0 := C1, slot 2 := C3
    kModeDiaryRowCopy = 31,     // slots 0-10 := C1-C11
    kModeSettingsRowCopy = 40,  // slots 0-1 := C1, C2
    kModeSettingsLastRowId = 41,
    kModeImportLastRowId = 47,
    kModeImportDiaryRow = 48,   // slots 0-10 := C1-C11
    kModeImportRemarkRow = 53,  // slots 0-5 or 0-6 by RemarkSchemaVersion
    kModeReadOnly = 55,         // nothing per row
    kModeClearedPurged = 56,    // remark PRS 'CLF'
};

// sqlexec.cpp
extern int SelectMode;                                      // the mode of the select that runs
extern WCHAR SelectSlots[kSelectSlotCount][kSlotChars];     // row columns of the copying modes
extern WCHAR RemarkSlots[kRemarkSlotCount][kSlotChars];     // the remark row of mode 52
extern char EncodedSlots[kEncodedSlotCount][kCipherFieldBytes];  // cipher fields of mode 0's diary row
extern WCHAR StatementText[kStatementChars];                // error texts, diary inserts, "Last Saved at"
extern int DiaryLastRowId;     // mode 28: highest rowid of a diary's VLS
extern int SettingsLastRowId;  // mode 41: highest rowid of the diary's PRS
extern int ImportLastRowId;    // mode 47: highest rowid of the import book's VLS
extern int VehicleFound;       // mode 0 sets it to 1; the search clears it
extern int RemarkPresent;      // mode 52 sets it to 1; the search clears it
extern int RemarkToScreen;     // 1: mode 52 fills the main window; 0 during Import Remark
extern int FoundBeepCount;     // beeps sounded for hits and remarks since start
extern int StatementFailureEnding;  // 1 once a failed statement has been shown and is ending the program
extern int DiaryLogFailure;    // the engine's code of the first diary row of a plate search not written; SQLITE_OK none

// Doubles every apostrophe of text into out (outChars), so that the result
// may stand between apostrophes in a statement. Returns false, with out
// emptied, when the quoted text does not fit.
bool SqlQuote(const WCHAR *text, WCHAR *out, size_t outChars);
template <size_t N> inline bool SqlQuote(const WCHAR *text, WCHAR (&out)[N]) {
    return SqlQuote(text, out, N);
}

// Runs one statement that returns no rows. Returns the engine's code,
// SQLITE_OK on success. A null connection runs nothing and returns
// SQLITE_MISUSE quietly. A statement whose ANSI form does not fit
// kStatementChars bytes is not run and fails like one the engine refuses.
//
// On a failure a transaction left open on db is rolled back, StatementText
// := "Error in statement: %S [%S].\n", the message box "sql_stmt" is shown,
// and the main window, when there is one, is destroyed: the program ends,
// and its shutdown stores its settings and closes the connections. A
// failure while a shown one is ending the program is not shown again.
int ExecSql(sqlite3 *db, const WCHAR *statement);

// Runs "begin", the count statements and "commit" on *db through ExecSql,
// reading *db again before each (a failure may have closed it). Stops at
// the first failure; when the connection is then still open, the open
// transaction is rolled back so that nothing half-done is kept and the
// connection stays usable. Returns SQLITE_OK or the code of the failure.
int ExecTransaction(sqlite3 **db, const WCHAR *const *statements, int count);
// The same for one statement.
int ExecInTransaction(sqlite3 **db, const WCHAR *statement);

// Runs "begin", the count statements and "commit" on db like
// ExecTransaction, but shows nothing and never ends the program: the
// first failure rolls the transaction back and its code is returned. A
// null connection returns SQLITE_MISUSE; a statement whose ANSI form does
// not fit kStatementChars bytes is not run and returns SQLITE_TOOBIG.
int TryTransaction(sqlite3 *db, const WCHAR *const *statements, int count);

// The search log: everything one plate search writes into the diary (its
// find history and its rows) in one transaction, so that a search costs one
// commit and a kill or a power cut at any point keeps all of it or none.
//
// BeginSearchLog runs "begin" on DiaryDb, the diary's journal kept between
// searches (journal_mode PERSIST, the engine's full syncs unchanged).
// Returns SQLITE_OK, the engine's code (also left in DiaryLogFailure when
// that is still SQLITE_OK), or SQLITE_MISUSE for a closed diary; when a log
// is already open it stays open and its state is returned. WriteSearchLog
// runs the count statements in the open log; once one has failed the rest
// of the log is not run, and the code of that failure is returned. With no
// log open they run in a transaction of their own, as TryTransaction runs
// them. EndSearchLog commits the log, or rolls all of it back when one of
// its writes or the commit failed, and returns that code (also left in
// DiaryLogFailure when that is still SQLITE_OK); with no log open it does
// nothing and returns SQLITE_OK. None of them shows anything.
int BeginSearchLog(void);
int WriteSearchLog(const WCHAR *const *statements, int count);
int EndSearchLog(void);

// Runs a query whose rows all go to OnSelectRow under mode. Returns the
// engine's code (SQLITE_OK on success); a null connection runs nothing and
// returns SQLITE_MISUSE quietly. A failed query shows "Error in select
// statement:[%S].\n" (caption "select_stmt") and returns its code; the
// targets keep what the rows before the failure delivered. A select on DataDb that meets a
// damaged file (IsDamagedFileCode) shows StopForDamagedData's message in
// place of the technical one, and the program ends. After a successful plate search
// (mode 0) the not-found row is logged and the hit count shown; after a
// remark hit (mode 52) the beep rule applies. The diary rows of a plate
// search are written into the search log (begun here when the caller has
// not begun it) and the log is ended before the hit count is shown, or
// before a failed query is told: a search that cannot be written shows
// nothing, stops nothing (every hit is still shown) and leaves its code in
// DiaryLogFailure for the search to tell.
int SelectSql(sqlite3 *db, const WCHAR *statement, int mode);

// The engine's row callback of SelectSql: counts the row in *counter (an
// int), acts by SelectMode and returns 0: the engine goes on with the next
// row. Missing and NULL cells read as empty texts.
int OnSelectRow(void *counter, int columnCount, char **values, char **names);

// Formats DataVersionText from DataVersion, DataVersionUpdate and
// DataVersionPatch: "[update %s]" follows the version when the update
// differs from it (compared without regard to case), "[patch %s]" when the
// patch is anything but the exact text "FACTORY". Start-up (mode 3) and the
// online update both build it here.
void BuildDataVersionText(void);

// Formats the line of a found vehicle or remark: "plate | arrears | date |
// financier | description", the arrears and the date left out (with their
// separators) when empty.
void FormatVehicleLine(WCHAR *out, size_t outChars, const WCHAR *plate, const WCHAR *arrears,
                       const WCHAR *date, const WCHAR *financier, const WCHAR *description);

// Converts an ANSI text into a wide buffer of outChars, cut to fit and
// always terminated; null gives the empty text.
void AnsiToWide(const char *text, WCHAR *out, size_t outChars);
// Converts a wide text into an ANSI buffer of outBytes, without best fit:
// a character the code page lacks becomes '?'. Returns false, with out
// emptied, when it does not fit.
bool WideToAnsi(const WCHAR *text, char *out, size_t outBytes);
