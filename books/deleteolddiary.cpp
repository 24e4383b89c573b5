// Delete Old Diary Data: every diary row found before a date the agent
// keys in is deleted, after a checked backup, and the diary is compacted.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "textutil.h"

HWND DeleteOldDiaryDialogHandle;
HBRUSH DeleteOldDiaryBrush;

namespace {

enum {
    kDeleteStatementChars = 256,  // the one DELETE of the job
    kDateFieldChars = 11,         // day and year are read up to 10 characters
    kLongestYearDigits = 4,
};

const UINT_PTR kKeyFilterId = 4;

// What the date check found, in the order it checks.
enum DateFault { kDateOk, kYearEmpty, kYearNotFourDigits, kYearOutOfRange, kMonthEmpty, kDayEmpty, kDayOutOfRange };

HWND DeleteOldItem(int id) { return GetDlgItem(DeleteOldDiaryDialogHandle, id); }

bool AllDigits(const WCHAR *text) {
    for (; *text != 0; text++) {
        if (*text < L'0' || *text > L'9') return false;
    }
    return true;
}

// The value of a text of digits, stopping early once past limit (so that no
// length of text can overflow).
int DigitsValue(const WCHAR *text, int limit) {
    int value = 0;
    for (; *text != 0 && value <= limit; text++) value = value * 10 + (*text - L'0');
    return value;
}

// Checks day, month (1-12, 0 for none) and year as keyed in. Only texts of
// digits pass, the year of exactly four of them: the date is then taken
// from the numbers, never from the texts, so nothing typed or pasted into
// a field reaches the statement. On kDateOk *dayOut, *yearOut are set.
DateFault CheckDate(const WCHAR *day, int month, const WCHAR *year, int *dayOut, int *yearOut) {
    if (year[0] == 0) return kYearEmpty;
    size_t yearLength = wcslen(year);
    if (yearLength < kLongestYearDigits || !AllDigits(year)) return kYearNotFourDigits;
    int yearValue = DigitsValue(year, 9999);
    if (yearLength > kLongestYearDigits || yearValue < 1970 || yearValue > 2040) return kYearOutOfRange;
    if (month < 1 || month > 12) return kMonthEmpty;
    if (day[0] == 0) return kDayEmpty;
    if (!AllDigits(day)) return kDayOutOfRange;
    int dayValue = DigitsValue(day, 99);
    if (dayValue < 1 || dayValue > LastDayOfMonth(month, yearValue)) return kDayOutOfRange;
    *dayOut = dayValue;
    *yearOut = yearValue;
    return kDateOk;
}

// An input check: a box with an empty caption, then the focus on the field
// at fault.
void Refuse(HWND dialog, const WCHAR *text, int focusId) {
    ShowMessageBox(dialog, text, L"", MB_OK | MB_ICONEXCLAMATION);
    SetFocus(DeleteOldItem(focusId));
}

void ShowDateFault(HWND dialog, DateFault fault, int month, const WCHAR *year) {
    switch (fault) {
    case kYearEmpty: Refuse(dialog, Pick(L"Please key in the year.", L"Sila masukkan tahun."), IDC_DO_YEAR); return;
    case kYearNotFourDigits:
        Refuse(dialog, Pick(L"The year must be 4 digits.", L"Tahun mestilah 4 digit."), IDC_DO_YEAR);
        return;
    case kYearOutOfRange:
        Refuse(dialog, Pick(L"The year must be between 1970 and 2040.", L"Tahun mestilah diantara 1970 dan 2040."),
               IDC_DO_YEAR);
        return;
    case kMonthEmpty: Refuse(dialog, Pick(L"Please select the month.", L"Sila pilih bulan."), IDC_DO_MONTH); return;
    case kDayEmpty: Refuse(dialog, Pick(L"Please key in the day.", L"Sila masukkan hari."), IDC_DO_DAY); return;
    case kDayOutOfRange: {
        WCHAR text[kTextChars];
        StringCchPrintfW(text, ARRAYSIZE(text),
                         Pick(L"The day for month '%ls' must be between 1 and %d.",
                              L"Hari untuk bulan '%ls' mestilah diantara 1 dan %d."),
                         MonthName(month), LastDayOfMonth(month, DigitsValue(year, 9999)));
        Refuse(dialog, text, IDC_DO_DAY);
        return;
    }
    case kDateOk: return;
    }
}

// ---- Key filters ----------------------------------------------------------------------

// Tab and Enter move the focus on from a field, with its caret at the start.
bool MoveFocusOn(HWND field, WPARAM c, int nextId, bool deselect) {
    if (c != '\t' && c != '\r') return false;
    if (deselect) SendMessageW(field, EM_SETSEL, 0, 0);
    SetFocus(DeleteOldItem(nextId));
    return true;
}

LRESULT DigitFieldChar(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, int nextId) {
    if (msg != WM_CHAR) return DefSubclassProc(field, msg, wParam, lParam);
    if (MoveFocusOn(field, wParam, nextId, true)) return 0;
    if ((wParam >= '0' && wParam <= '9') || wParam == VK_BACK) return DefSubclassProc(field, msg, wParam, lParam);
    return 0;
}

LRESULT CALLBACK DeleteOldDayEditProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, DeleteOldDayEditProc, kKeyFilterId);
    return DigitFieldChar(field, msg, wParam, lParam, IDC_DO_MONTH);
}

LRESULT CALLBACK DeleteOldYearEditProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, DeleteOldYearEditProc, kKeyFilterId);
    return DigitFieldChar(field, msg, wParam, lParam, IDC_DO_OK);
}

LRESULT CALLBACK DeleteOldMonthComboProc(HWND combo, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(combo, DeleteOldMonthComboProc, kKeyFilterId);
    if (msg != WM_CHAR) return DefSubclassProc(combo, msg, wParam, lParam);
    if (wParam >= '1' && wParam <= '9') {
        SendMessageW(combo, CB_SETCURSEL, wParam - '0', 0);
        return 0;
    }
    if (MoveFocusOn(combo, wParam, IDC_DO_YEAR, false)) return 0;
    return DefSubclassProc(combo, msg, wParam, lParam);
}

// ---- Opening ----------------------------------------------------------------------------

BOOL DeleteOld_OnInit(HWND dialog) {
    DeleteOldDiaryDialogHandle = dialog;
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    CenterWindowOnScreen(dialog);
    DeleteOldDiaryBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    SetWindowTextW(dialog, Pick(L"Delete Old Diary Data", L"Padam Data Diary Lama"));
    SetDlgItemTextW(dialog, IDC_DO_PASSWORD_LABEL,
                    Pick(L"Please enter your diary password:", L"Sila masukkan password diary anda:"));
    SetDlgItemTextW(dialog, IDC_DO_MSGBOX,
                    Pick(L"All data before the date below will be deleted!",
                         L"Semua data sebelum tarikh dibawah akan dipadamkan!"));
    SetDlgItemTextW(dialog, IDC_DO_DATE_LABEL,
                    Pick(L"[ Day -   Month     -   Year ]", L"[Hari  -   Bulan     -  Tahun ]"));
    FillMonthCombo(DeleteOldItem(IDC_DO_MONTH));
    SendMessageW(DeleteOldItem(IDC_DO_MONTH), CB_SETCURSEL, (WPARAM)-1, 0);
    SetWindowSubclass(DeleteOldItem(IDC_DO_DAY), DeleteOldDayEditProc, kKeyFilterId, 0);
    SetWindowSubclass(DeleteOldItem(IDC_DO_MONTH), DeleteOldMonthComboProc, kKeyFilterId, 0);
    SetWindowSubclass(DeleteOldItem(IDC_DO_YEAR), DeleteOldYearEditProc, kKeyFilterId, 0);
    UpdateWindow(dialog);
    return TRUE;
}

// ---- OK -----------------------------------------------------------------------------------

// While the job runs: no close command, no buttons, the wait text.
void ShowRunning(HWND dialog, bool running, const WCHAR *status) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (running ? (MF_GRAYED | MF_DISABLED) : MF_ENABLED));
    ShowWindow(DeleteOldItem(IDC_DO_OK), running ? SW_HIDE : SW_SHOW);
    ShowWindow(DeleteOldItem(IDC_DO_CANCEL), running ? SW_HIDE : SW_SHOW);
    SetDlgItemTextW(dialog, IDC_DO_MSGBOX, status);
    UpdateWindow(dialog);
    PumpPendingMessages();
}

// The backup, the deletion in one job transaction and the compaction.
// Returns false (shown) when the diary was not changed.
bool DeleteRowsBefore(HWND dialog, int year, int month, int day) {
    WCHAR statement[kDeleteStatementChars];
    if (!FormatJobStatement(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE C1 < '%04d-%02d-%02d'", year,
                            month, day))
        return false;
    if (!BackUpDiaryBook(dialog)) return false;
    BookJob job(&DiaryDb, dialog);
    if (!(job.Begin() && job.Run(statement) && job.Commit())) return false;
    CompactDiary();  // only compacts; the deletion stands either way
    return true;
}

void DeleteOld_OnOk(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    WCHAR password[kTextChars];
    GetDlgItemTextW(dialog, IDC_DO_PASSWORD, password, ARRAYSIZE(password));
    if (password[0] == 0) {
        MessageBeep(MB_ICONEXCLAMATION);
        ShowMessageBox(dialog, Pick(L"Please keyin your diary password.", L"Sila masukkan password diary anda."),
                       ErrorCaption(), MB_OK | MB_ICONEXCLAMATION);
        SetFocus(DeleteOldItem(IDC_DO_PASSWORD));
        return;
    }
    if (_wcsicmp(password, DiaryPassword) != 0) {
        ShowMessageBox(dialog,
                       Pick(L"The password entered is not correct.", L"Password yang dimasukkan adalah tidak betul."),
                       ErrorCaption(), MB_OK | MB_ICONEXCLAMATION);
        EndDialog(dialog, 0);
        return;
    }
    WCHAR day[kDateFieldChars], year[kDateFieldChars];
    GetDlgItemTextW(dialog, IDC_DO_DAY, day, ARRAYSIZE(day));
    GetDlgItemTextW(dialog, IDC_DO_YEAR, year, ARRAYSIZE(year));
    int month = (int)SendMessageW(DeleteOldItem(IDC_DO_MONTH), CB_GETCURSEL, 0, 0);
    int dayValue = 0, yearValue = 0;
    DateFault fault = CheckDate(day, month, year, &dayValue, &yearValue);
    if (fault != kDateOk) {
        ShowDateFault(dialog, fault, month, year);
        return;
    }

    ShowRunning(dialog, true,
                Pick(L"Please wait... deleting the old data now...", L"Sila tunggu... sedang padam data lama sekarang..."));
    bool deleted = DeleteRowsBefore(dialog, yearValue, month, dayValue);
    ShowRunning(dialog, false,
                deleted ? Pick(L"Old data has been deleted. Press the 'Cancel' button to exit.",
                               L"Data lama sudah dipadam. Tekan button 'Cancel' untuk keluar.")
                        : Pick(L"Nothing was deleted.", L"Tiada data yang dipadam."));
}

BOOL DeleteOld_OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_DO_OK: DeleteOld_OnOk(dialog); return TRUE;
    case IDC_DO_CANCEL: EndDialog(dialog, 0); return TRUE;
    }
    return FALSE;
}

INT_PTR DeleteOld_OnColourStatic(HDC dc, HWND control) {
    COLORREF colour;
    switch (GetDlgCtrlID(control)) {
    case IDC_DO_MSGBOX: colour = RGB(255, 0, 0); break;
    case IDC_DO_DATE_LABEL: colour = RGB(0, 0, 255); break;
    default: return FALSE;
    }
    SetTextColor(dc, colour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(DeleteOldDiaryBrush);
}

}  // namespace

INT_PTR CALLBACK DeleteOldDiaryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return DeleteOld_OnInit(dialog);
    case WM_COMMAND:
        return DeleteOld_OnCommand(dialog, LOWORD(wParam));
    case WM_CTLCOLORSTATIC:
        return DeleteOld_OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:  // every way out ends here
        if (DeleteOldDiaryBrush != NULL) DeleteObject(DeleteOldDiaryBrush);
        DeleteOldDiaryBrush = NULL;
        DeleteOldDiaryDialogHandle = NULL;
        return FALSE;
    }
    return FALSE;
}

void ShowDeleteOldDiaryDialog(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_DELETE_OLD_DIARY), owner,
                    DeleteOldDiaryDialogProc, 0);
}
