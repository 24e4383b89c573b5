// The record books and the diary maintenance jobs: their shared state and
// entry points. Each global is defined once, in the .cpp named beside it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "rowcache.h"
#include "sortedidlist.h"

enum {
    // The longest SELECT a book window shows: the Diary's filtered query
    // with a quoted find text. The row cache appends its LIMIT and OFFSET
    // within kRowCacheQueryBytes, so this leaves room for them.
    kListQueryBytes = 1400,
};

// booklists.cpp: the lists of the record-book windows.
extern char CurrentListQuery[kListQueryBytes];  // ANSI SELECT of the open Diary, Remark or FollowUp list
extern cached_alpha_view *RemarkRowCache;       // row cache slot shared by the FollowUp and Remark windows
extern SortedIdList PageRowIds;                 // rowids of the page that "Delete This Page" walks
extern HWND FollowUpDialogHandle;               // the FollowUp window while it is open, else NULL
extern HWND RemarkDialogHandle;                 // the Remark window while it is open, else NULL
extern HWND DiaryDialogHandle;                  // the Diary window while it is open, else NULL
extern HWND SelectionMoveList;                  // a book list while a key or click moves its selected row, else NULL
extern int SelectionMoveFrom;                   // the row that move starts from, while SelectionMoveList is set
extern BYTE LocationBandFlag;                   // Diary Location band: 0 or 1, for the whole run
extern WCHAR LocationBandText[256];             // the Location of the last band cell drawn

// Sets CurrentListQuery to the ANSI form of query. Returns false, leaving
// it unchanged, when the query does not fit.
bool SetListQuery(const WCHAR *query);

// The row count of a book list into its label: "%d row" (1 or less) or
// "%d rows" in English, "%d baris" in Malay.
void SetRowCountText(HWND label, int count);

// Replaces RemarkRowCache with a new cache over the remark book.
void NewRemarkRowCache(void);

// Row colours of the book lists: each takes the list's NM_CUSTOMDRAW record
// and returns the custom-draw result for it. Every odd row gets the pale
// colour of its list, every even row white; the Diary's Location column is
// banded, switching colour each time the Location drawn changes.
LRESULT ColourListLocationRows(NMLVCUSTOMDRAW *draw);
LRESULT ColourRemarkRows(NMLVCUSTOMDRAW *draw);
LRESULT ColourDiaryRows(NMLVCUSTOMDRAW *draw);

// Key filters of the book lists (subclass procedures): Delete and F4 click
// the window's row button (FollowUp 1002, Remark 1204, Diary 404; List
// Location has none) and go no further. A key or click that moves the
// selected row deselects it first, so that the list has no other row's
// selection to clear, whatever its length; everything goes on to the
// list's own procedure.
LRESULT CALLBACK FollowUpListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
LRESULT CALLBACK RemarkListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR data);
LRESULT CALLBACK DiaryListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR data);
LRESULT CALLBACK LocationListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
// Puts a key filter on a list for the life of the list. Returns false when
// subclassing fails.
bool InstallListKeyProc(HWND list, SUBCLASSPROC proc);

// pump.cpp
// Dispatches what waits in this thread's queue while a long job runs,
// dropping every close request (WM_CLOSE, WM_DESTROY, WM_SYSCOMMAND, and
// any message whose wParam is SC_CLOSE). Returns 1 when it took WM_QUIT
// from the queue (QuitTakenDuringJob then holds it, for the job to post
// again when it ends), 0 once the queue is empty.
int PumpPendingMessages(void);
extern int QuitTakenDuringJob;  // 1 once the pump took a WM_QUIT that is not yet posted again
extern int QuitExitCode;        // the wParam of that WM_QUIT
// Posts a WM_QUIT that the pump took during a job again, so that the
// program still ends once the job is over.
void RepostTakenQuit(void);

// followup.cpp
typedef void (*LocalTimeFn)(SYSTEMTIME *now);
extern LocalTimeFn LocalTimeHook;  // null: GetLocalTime; tests set the agent's clock
// Formats the due-follow-up query for the local date of now into out.
void FormatDueQuery(WCHAR *out, size_t outChars, const SYSTEMTIME *now);
// Opens the FollowUp window modally over owner; it lists the follow-ups
// that are due by the local date and closes itself when there are none.
void ShowFollowUpWindow(HWND owner);
INT_PTR CALLBACK FollowUpDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// remarkwindow.cpp
extern HBRUSH RemarkFaceBrush;  // COLOR_3DFACE behind the Remark window's coloured labels
extern HFONT RemarkEntryFont;   // Arial 20 of the Remark window's fields
extern HFONT RemarkLabelFont;   // Arial 16 of its labels
// Opens the Remark window modally over owner, once its password is right.
void ShowRemarkWindow(HWND owner);
INT_PTR CALLBACK RemarkDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Empties the Remark window's plate, arrears, last payment, bank and
// remark fields; the saved-at label and the follow-up fields stay.
void ClearRemarkWindowFields(void);
// Fills the Remark window's fields from row of its list.
void RemarkRowToFields(int row);
// Shows the row count of the Remark window's list in its count label.
void ShowRemarkCount(int count);

// remarkcommands.cpp: the Remark window's delete and print commands.
extern const WCHAR kPrintOutPath[];  // "c:\KorvanePrintOut.txt"
void RemarkDeleteThisRow(HWND dialog);
void RemarkDeleteThisPage(HWND dialog);
void RemarkDeleteAll(HWND dialog);
void RemarkDeleteBefore(HWND dialog);
// Print This Page (allRows false) and Print All: writes the print-out and
// opens it with the shell once it is complete.
void RemarkPrint(HWND dialog, bool allRows);
// Formats one print-out row of the seven cells into line (lineChars), each
// but the last padded to its width and followed by "|", the last by CR LF;
// a cell longer than its width is not cut. Returns false when it does not
// fit.
bool FormatPrintRow(const WCHAR *const cells[7], WCHAR *line, size_t lineChars);

// passwords.cpp: the guarded actions and their password dialogs.
extern int PendingAction;                 // what follows the next password dialog: 0 Diary ... 10 Get IP [ALL]
extern HWND PasswordEntryDialogHandle;    // the password entry dialog (600) while open; the jobs write into it
extern HWND PasswordSetupDialogHandle;    // the password set-up dialog (500) while open
extern int CleanUpMode;                   // the clean-up choice of dialog 600: 0, 1 or 2

// The codes of PendingAction.
enum PendingActionCode {
    kActionDiary = 0,
    kActionChangeDiaryPassword = 1,
    kActionChangeRemarkPassword = 2,
    kActionUpdateDiary = 3,
    kActionUseBackUpDiary = 4,
    kActionImportDiary = 5,
    kActionRemark = 6,
    kActionImportRemark = 7,
    kActionCleanUp = 8,
    kActionDeleteOldDiary = 9,
    kActionGetIpAll = 10,
};

// The steps that follow a password or a file choice. Every one is started
// through RunGuardedStep, so that tests can record them (GuardedStepHook)
// in place of the windows and jobs they open.
enum GuardedStep {
    kStepDiaryWindow,      // ShowDiaryWindow(owner)
    kStepRemarkWindow,     // ShowRemarkWindow(owner)
    kStepUpdateDiary,      // UpdateDiaryFromData()
    kStepCleanUp,          // CleanUpDiaryDuplicates(arg)
    kStepImportDiary,      // ShowImportDiaryDialog(owner): codes 4 and 5
    kStepImportRemark,     // ShowImportRemarkDialog(owner)
    kStepDeleteOldDiary,   // ShowDeleteOldDiaryDialog(owner)
};
typedef void (*GuardedStepFn)(int step, int arg, HWND owner);
extern GuardedStepFn GuardedStepHook;  // null: the real windows and jobs
// Runs step (arg: the clean-up mode) over owner, or hands it to
// GuardedStepHook when one is set.
void RunGuardedStep(int step, int arg, HWND owner);

// Opens the password dialog of PendingAction over owner: the set-up dialog
// (500) when setUp (the guarding password is still empty), else the entry
// dialog (600). Returns once the dialog, and whatever it opened, has ended.
void OpenPasswordDialog(HWND owner, bool setUp);
INT_PTR CALLBACK PasswordSetupDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordEntryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// Stores password, enciphered, as the 'D' key of the book on *db, in one
// transaction: the row is updated, or added when the book has none. A
// failure is shown over window, rolled back, and returns false: the book
// keeps its old password.
bool StoreBookPassword(sqlite3 **db, const WCHAR *password, HWND window);

// diarywindow.cpp
extern cached_alpha_view *DiaryRowCache;  // the Diary list's row cache while the window is open, else NULL
extern char DiaryCountQuery[kListQueryBytes];  // ANSI count of CurrentListQuery's rows in the Diary; "" counts from it
// Opens the Diary window (400) modally over owner, once its password is right.
void ShowDiaryWindow(HWND owner);
INT_PTR CALLBACK DiaryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Key procedures of the find box, the location and the remark edits:
// Enter clicks Show or Save Changes, Tab moves the focus on.
LRESULT CALLBACK DiaryFindEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR index);
LRESULT CALLBACK DiaryLocationEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR index);
LRESULT CALLBACK DiaryRemarkEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR index);
// The views of the Diary window's view combo, in its order.
enum DiaryView {
    kDiaryViewAll, kDiaryViewFound, kDiaryViewFoundNew, kDiaryViewPlate, kDiaryViewLocation,
    kDiaryViewLocationFound, kDiaryViewLocationNew, kDiaryViewRemark, kDiaryViewCount
};
// The view chosen in dialog's view combo, told by its text in either
// language; an unknown text is the plate view.
DiaryView ChosenDiaryView(HWND dialog);
// Forms the SELECT of a view into out: financier (leading blanks removed)
// narrows the first three views, findText is what the find views look
// for. Every text is quoted. Returns false, out emptied, when the
// statement does not fit or findText is longer than a field.
bool FormatDiaryQuery(DiaryView view, const WCHAR *financier, const WCHAR *findText, WCHAR *out,
                      size_t outChars);
// The same, or with counting the count SELECT of those rows.
bool FormatDiaryQueryOf(DiaryView view, const WCHAR *financier, const WCHAR *findText, bool counting, WCHAR *out,
                        size_t outChars);
// Show: runs the chosen view's query into the list and its count.
void RunDiaryShow(HWND dialog);
// Back to "All" with any financier, the row of rowId selected.
void ResetDiaryFilters(int rowId);
// Empties the location and remark edits; sets the count label to "0
// row(no data)"; recounts (DiaryCountQuery, or CurrentListQuery when that
// is empty) and reloads the list's rows, returning the new count.
void ClearDiaryEdits(HWND dialog);
void SetDiaryNoDataText(HWND dialog);
int RefreshDiaryRows(void);

// diarycommands.cpp: the Diary window's commands.
void DiarySaveChanges(HWND dialog);
void DiaryDeleteAll(HWND dialog);
void DiaryDeleteThisRow(HWND dialog);
void DiaryDeleteThisPage(HWND dialog);
void DiaryDeleteOwner(HWND dialog);
void DiaryDeleteBefore(HWND dialog);
void DiaryListLocation(HWND dialog);

// listlocation.cpp
enum { kLocationQueryBytes = 256 };
// The two SELECTs of the List Location list, in the ANSI code page: the
// distinct locations with their row counts, and the number of them.
struct LocationQueryTexts {
    char rows[kLocationQueryBytes];
    char count[kLocationQueryBytes];
};
extern LocationQueryTexts LocationListQuery;  // chosen at each opening by the Diary window's view
extern int LocationListVariant;               // 0 all rows, 1 found, 2 found after an Update Diary
extern cached_alpha_view *LocationRowCache;   // the list's rows; made at each opening, freed at its end
extern HWND ListLocationDialogHandle;         // the List Location window while it is open, else NULL
extern HBRUSH ListLocationBrush;              // COLOR_BTNFACE behind its blue labels; freed at its end
// Opens the List Location window (1300) modally over diaryDialog, the
// Diary window, whose view (combo 406) picks the rows counted. The location
// chosen is left in VehicleDetailTexts[kDetailLocation]; returns 1 when one
// was chosen, 0 when none. With no location to list the window ends before
// it is shown.
int ShowListLocationWindow(HWND diaryDialog);
// Sets LocationListVariant and LocationListQuery by the text of the view
// combo (406) of diaryDialog, compared without regard to case; any view
// but the [Found] and [New] location views lists every row.
void ChooseLocationListView(HWND diaryDialog);
// The procedure of dialog 1300; LocationListQuery must be chosen first.
INT_PTR CALLBACK ListLocationDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// importdialogs.cpp: the dialogs that follow the main window's file choice.
extern HWND ImportDiaryDialogHandle;   // dialog 800 while open; Import Diary writes into it
extern HWND ImportRemarkDialogHandle;  // dialog 901 while open; Import Remark writes into it
// Use BackUp Diary (PendingAction 4; the chosen file in DiaryBackupPath) and
// Import Diary (5; ImportDb open on the chosen file): dialog 800.
// ImportDb is closed when the dialog ends.
void ShowImportDiaryDialog(HWND owner);
// Import Remark (7; ImportDb open on the chosen file): dialog 901.
// ImportDb is closed and RemarkToScreen is 1 when the dialog ends.
void ShowImportRemarkDialog(HWND owner);

// importjobs.cpp: the book imports and the restore of a backup diary. Each
// shows its progress and its failures over the dialog that runs it (which
// may be NULL), and a failure leaves the own book as it was.
extern WCHAR ImportOwnerName[256];  // 'Diary Owner' name that Import Diary writes into C11
extern int KeepOwnRemark;           // Import Remark: 1 the own remark of a plate wins, 0 the imported one
// Closes ImportDb when it is open.
void CloseImportBook(void);
// Appends every row of the diary open as ImportDb to the own diary, in
// rowid order, with ImportOwnerName as C11; a missing rowid adds an empty
// row of the owner. A checked backup comes first, and the rows go in one
// transaction that any failure rolls back. ImportDb is closed at the end.
// Returns true when the diary was imported.
bool ImportDiary(void);
// Merges the remark book open as ImportDb into the own remark book (its
// version in RemarkSchemaVersion: 1000 has no follow-up column, which
// becomes 'NULL'). A plate without an own remark is added; one with an own
// remark keeps it (KeepOwnRemark 1) or takes the imported row. Then 'CLF'
// is '0'. Checked backup, one transaction, ImportDb closed as ImportDiary.
bool ImportRemark(void);
// Puts a complete copy of the diary file chosen (not the own diary) in the
// place of the own diary, after a checked backup of the own diary; then
// DiaryPassword := ImportFilePassword. On any failure before the copy is
// in place the own diary stays, open, and DiaryPassword is unchanged.
// Returns true when replaced; a copy in place that will not open again is
// said over the dialog (DiaryDb stays NULL, the password is the copy's).
bool RestoreBackUpDiary(const WCHAR *chosen);

// deleteolddiary.cpp
extern HWND DeleteOldDiaryDialogHandle;  // dialog 1100 while it is open, else NULL; its key filters use it
extern HBRUSH DeleteOldDiaryBrush;       // COLOR_BTNFACE behind its coloured labels; freed at its end
// Delete Old Diary Data (PendingAction 9): dialog 1100 over owner, which
// asks for the diary password itself. OK checks the password and the date,
// takes a checked backup of the diary, deletes the rows found before that
// date in one job transaction and compacts the diary; the dialog stays open.
void ShowDeleteOldDiaryDialog(HWND owner);
// The procedure of dialog 1100.
INT_PTR CALLBACK DeleteOldDiaryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// diaryjobs.cpp: the jobs that rewrite the whole diary, run inside the
// password entry dialog, which shows their progress.
// CleanUp of repeated plates: mode 0 keeps one row per plate, 1 one per
// plate and location, 2 one per plate, location and time.
void CleanUpDiaryDuplicates(int mode);
// Update Diary: every diary row looked up again in the current data.
void UpdateDiaryFromData(void);
// Removes from the remark book the plates that are no longer wanted (VLC),
// while the remark book's 'CLF' is not '1'.
void PurgeClearedPlatesFromRemark(void);
