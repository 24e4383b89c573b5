// What the FollowUp and Remark windows share: both show the remark book in
// RemarkList through RemarkRowCache, fill the same kind of fields from a
// row, and save them back by plate.
#pragma once

#include <windows.h>

#include <stddef.h>

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

// The month combos: an empty item, then "Jan" .. "Dec".
void FillMonthCombo(HWND combo);
// The month name "Jan" .. "Dec" of month 1..12, "" otherwise.
const WCHAR *MonthName(int month);

// The text of a RemarkList cell: row of the list's query and sub-item 0..7
// (Last Saved at, FollowUp, PlateNo, ArrearNo, LastPayment, Bank, Remark,
// RowID), deciphered where stored enciphered. The FollowUp cell is empty
// for 'NULL'; as stored ("YYYY-MM-DD") or, when dayMonthYear, "DD Mon
// YYYY". Returns false for a sub-item outside 0..7.
bool RemarkCellText(int row, int subItem, bool dayMonthYear, WCHAR *out, size_t outChars);

// Reads the text of a list cell into out.
void ListCellText(HWND list, int row, int subItem, WCHAR *out, int outChars);
// The index of the selected row of list, -1 when none.
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
