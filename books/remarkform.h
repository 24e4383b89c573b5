// What the book windows share: the FollowUp and Remark windows both show
// the remark book in RemarkList through RemarkRowCache, fill the same kind
// of fields from a row, and save them back by plate; the Remark and Diary
// windows ask and check their deletions alike.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "sqlite3.h"

// The controls of one window's remark fields.
struct RemarkFormIds {
    int plate;          // STATIC: plate of the chosen row
    int arrears;        // EDIT
    int payDay, payMonth, payYear;
    int bank;           // EDIT
    int remark;         // EDIT, multi-line
    int lastSaved;      // STATIC: "Last Saved at : %s"
    int followDay, followMonth, followYear;
};

// A multi-line edit of a dialog closes the dialog on Esc, and what was
// typed is lost: a remark field given this keeps Esc to itself.
void KeepEscapeInField(HWND field);

// Shows (show true) or hides the control id of dialog.
void ShowItem(HWND dialog, int id, bool show);

// The month combos: an empty item, then "Jan" .. "Dec".
void FillMonthCombo(HWND combo);

// The text of a RemarkList cell: row of the list's query and sub-item 0..7
// (Last Saved at, FollowUp, PlateNo, ArrearNo, LastPayment, Bank, Remark,
// RowID), deciphered where stored enciphered. The FollowUp cell is empty
// for 'NULL'; as stored ("YYYY-MM-DD") or, when dayMonthYear, "DD Mon
// YYYY". Returns false for a sub-item outside 0..7.
bool RemarkCellText(int row, int subItem, bool dayMonthYear, WCHAR *out, size_t outChars);

// Reads the text of a list cell into out.
void ListCellText(HWND list, int row, int subItem, WCHAR *out, int outChars);
// The index of the selected row of list, -1 when none. While a key or
// click moves the selection, that is the row it moves from until the list
// has selected the new one.
int SelectedListRow(HWND list);

// Fills day, month and year of one date from a displayed text: "DD Mon
// YYYY" (by character positions) or, when iso, "YYYY-MM-DD". An empty text
// empties the fields and selects the empty month.
void FillDateFields(HWND dialog, int day, int month, int year, const WCHAR *text, bool iso);

// Fills the fields of ids from row of list (its display texts); the
// FollowUp cell is read as "DD Mon YYYY" or, when isoFollowUp, as stored.
void FillRemarkFields(HWND dialog, HWND list, int row, const RemarkFormIds &ids, bool isoFollowUp);

// Saves the fields of ids back to the remark row of their plate, with the
// date checks of the remark fields (a fault is shown and saves nothing), in
// one job transaction with the 'CLF' reset; never inserts a row. Returns 1
// when saved, 0 when the plate was empty or a check stopped it, -1 when the
// book refused the change (shown).
int SaveRemarkForm(HWND dialog, const RemarkFormIds &ids);

// ---- The deletions of the Remark and Diary windows --------------------------

// Asks text with Yes and No (question icon, empty caption) over dialog;
// true on Yes.
bool AskBookQuestion(HWND dialog, const WCHAR *text);
// Shows a refused input (english or its malay twin; exclamation icon, empty
// caption) over dialog and puts the focus on control focusId.
void ShowBookCheck(HWND dialog, const WCHAR *english, const WCHAR *malay, int focusId);
// "Finish deleting the data." (or its Malay twin) with caption "Finish".
void ShowDeletionFinished(HWND dialog);

// Delete This Page: puts into PageRowIds the rowids (list cell
// rowIdSubItem) of the rows of list that are wholly visible, of the count
// rows it shows.
void CollectPageRowIds(HWND list, int count, int rowIdSubItem);
// Runs statementHead followed by "WHERE rowid = %d" for each rowid of
// PageRowIds, in ascending order, in one job transaction on *db, and
// empties PageRowIds. Returns true once all were committed; a failure is
// shown over dialog and leaves the book as it was.
bool RunOnPageRows(sqlite3 **db, HWND dialog, const WCHAR *statementHead);

// The choice of a "Delete Before This": the checks of the year edit
// (yearId: given, four characters, all digits, 1970..2040) before the month
// combo (monthId: an entry 1..12; a fault focuses monthFocusId), each shown
// with its message, then the question. Returns 1 with *year and *month set
// when the user said Yes, 0 when a check failed (shown), -1 on No.
int ChooseDeleteBefore(HWND dialog, int monthId, int yearId, int monthFocusId, int *year, int *month);
