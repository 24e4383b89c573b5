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
// the window's row button (FollowUp 1002, Remark 1204, Diary 404) and go no
// further; everything else goes to the list's own procedure.
LRESULT CALLBACK FollowUpListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
LRESULT CALLBACK RemarkListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR data);
LRESULT CALLBACK DiaryListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
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
// Opens the List Location window (1300) modally over diaryDialog, the
// Diary window, whose view (combo 406) picks the rows counted. The location
// chosen is left in VehicleDetailTexts[kDetailLocation]; returns 1 when one
// was chosen, 0 when none.
int ShowListLocationWindow(HWND diaryDialog);

// importdialogs.cpp: the dialogs that follow the main window's file choice.
// Use BackUp Diary (PendingAction 4; the chosen file in DiaryBackupPath) and
// Import Diary (5; ImportDb open on the chosen file): dialog 800.
void ShowImportDiaryDialog(HWND owner);
// Import Remark (7; ImportDb open on the chosen file): dialog 901.
void ShowImportRemarkDialog(HWND owner);

// deleteolddiary.cpp
// Delete Old Diary Data (PendingAction 9): dialog 1100 over owner, which
// asks for the diary password itself.
void ShowDeleteOldDiaryDialog(HWND owner);

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
