// The remark and follow-up fields under the plate entry: Save with its date
// rules, and the buttons that delete.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "bookrows.h"
#include "cipher.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

namespace {

// Reads a field of digits only; returns false when it holds anything else.
bool ReadNumber(HWND edit, WCHAR *text, size_t chars, int *value) {
    GetWindowTextW(edit, text, (int)chars);
    *value = 0;
    for (const WCHAR *p = text; *p; p++) {
        if (*p < L'0' || *p > L'9') return false;
        *value = *value * 10 + (*p - L'0');
    }
    return true;
}

void Warn(HWND owner, HWND field, const WCHAR *english, const WCHAR *malay, const WCHAR *name,
          const WCHAR *month = NULL, int lastDay = 0) {
    WCHAR text[kTextChars];
    if (month != NULL) {
        StringCchPrintfW(text, ARRAYSIZE(text), Pick(english, malay), month, name, lastDay);
    } else {
        StringCchPrintfW(text, ARRAYSIZE(text), Pick(english, malay), name);
    }
    ShowMessageBox(owner, text, L"", MB_OK | MB_ICONEXCLAMATION);
    SetFocus(field);
}

void InvalidateRemarkFields() {
    for (int id : {IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_MONTH, IDC_LASTPAY_YEAR, IDC_FINANCIER, IDC_REMARK,
                   IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_MONTH, IDC_FOLLOWUP_YEAR}) {
        InvalidateRect(MainControl(id), NULL, TRUE);
    }
}

void EncodeControl(int id, char *field) {
    WCHAR text[kTextChars];
    GetWindowTextW(MainControl(id), text, ARRAYSIZE(text));
    EncodeField(LocalCipher, text, field);
}

bool Ask(const WCHAR *english, const WCHAR *malay, const WCHAR *plate) {
    WCHAR text[kTextChars * 2];
    if (plate != NULL) {
        StringCchPrintfW(text, ARRAYSIZE(text), Pick(english, malay), plate);
    } else {
        StringCchCopyW(text, ARRAYSIZE(text), Pick(english, malay));
    }
    return ShowMessageBox(MainWindow, text, L"", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace

bool ReadCheckedDate(HWND owner, HWND dayEdit, HWND monthCombo, HWND yearEdit, const WCHAR *name, bool isoForm,
                     bool nullWhenEmpty, WCHAR *out, size_t outChars) {
    WCHAR dayText[10], yearText[10];
    int day = 0, year = 0;
    bool dayDigits = ReadNumber(dayEdit, dayText, ARRAYSIZE(dayText), &day);
    bool yearDigits = ReadNumber(yearEdit, yearText, ARRAYSIZE(yearText), &year);
    int month = (int)SendMessageW(monthCombo, CB_GETCURSEL, 0, 0);
    if (month < 1 || month > 12) month = 0;

    if (dayText[0] == 0 && month == 0 && yearText[0] == 0) {
        StringCchCopyW(out, outChars, nullWhenEmpty ? L"NULL" : L"");
        return true;
    }
    if (yearText[0] == 0) {
        Warn(owner, yearEdit, L"Please key in the year for the %ls.", L"Sila masukkan tahun untuk %ls.", name);
        return false;
    }
    if (wcslen(yearText) < 4) {
        Warn(owner, yearEdit, L"The year for the %ls must be 4 digits.", L"Tahun untuk %ls mestilah 4 digit.", name);
        return false;
    }
    if (!yearDigits || year < 1970 || year > 2040) {
        Warn(owner, yearEdit, L"The year for the %ls must be between 1970 and 2040.",
             L"Tahun untuk %ls mestilah diantara 1970 dan 2040.", name);
        return false;
    }
    if (month == 0) {
        Warn(owner, monthCombo, L"Please select the month for the %ls.", L"Sila pilih bulan untuk %ls.", name);
        return false;
    }
    if (dayText[0] == 0) {
        Warn(owner, dayEdit, L"Please key in the day for the %ls.", L"Sila masukkan hari untuk %ls.", name);
        return false;
    }
    int lastDay = LastDayOfMonth(month, year);
    if (!dayDigits || day < 1 || day > lastDay) {
        Warn(owner, dayEdit, L"The day for month '%ls' for %ls must be between 1 and %d.",
             L"Hari untuk bulan '%ls' untuk %ls mestilah diantara 1 dan %d.", name, MonthName(month), lastDay);
        return false;
    }
    // Formed from the numbers read, never from the texts keyed.
    if (isoForm) {
        StringCchPrintfW(out, outChars, L"%04d-%02d-%02d", year, month, day);
    } else {
        StringCchPrintfW(out, outChars, L"%02d %ls %04d", day, MonthName(month), year);
    }
    return true;
}

void ClearRemarkFields(void) {
    for (int id : {IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_YEAR, IDC_FINANCIER, IDC_REMARK, IDC_LAST_SAVED,
                   IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_YEAR}) {
        SetWindowTextW(MainControl(id), L"");
    }
    SendMessageW(MainControl(IDC_LASTPAY_MONTH), CB_SETCURSEL, 0, 0);
    SendMessageW(MainControl(IDC_FOLLOWUP_MONTH), CB_SETCURSEL, 0, 0);
    ShowWindow(MainControl(IDC_DELETE_REMARK), SW_HIDE);
}

void SaveRemarkFields(void) {
    WCHAR plate[kTextChars];
    GetWindowTextW(MainControl(IDC_PLATE), plate, ARRAYSIZE(plate));
    if (plate[0] == 0) {
        SetFocus(PlateEntryEdit);
        return;
    }
    char plateField[kCipherFieldBytes], arrears[kCipherFieldBytes], lastPay[kCipherFieldBytes];
    char financier[kCipherFieldBytes], remark[kCipherFieldBytes];
    EncodeField(LocalCipher, plate, plateField);
    StampCurrentTime();
    WCHAR stamp[kTextChars];
    StringCchCopyW(stamp, ARRAYSIZE(stamp), CurrentTimeStamp);
    EncodeControl(IDC_ARREARS, arrears);

    WCHAR date[32], followUp[32];
    if (!ReadCheckedDate(MainWindow, MainControl(IDC_LASTPAY_DAY), MainControl(IDC_LASTPAY_MONTH),
                         MainControl(IDC_LASTPAY_YEAR), L"LastPayment", false, false, date, ARRAYSIZE(date))) {
        return;
    }
    EncodeField(LocalCipher, date, lastPay);
    if (!ReadCheckedDate(MainWindow, MainControl(IDC_FOLLOWUP_DAY), MainControl(IDC_FOLLOWUP_MONTH),
                         MainControl(IDC_FOLLOWUP_YEAR), L"FollowUp", true, true, followUp, ARRAYSIZE(followUp))) {
        return;
    }
    EncodeControl(IDC_FINANCIER, financier);
    EncodeControl(IDC_REMARK, remark);

    WCHAR saved[kTextChars];
    StringCchPrintfW(saved, ARRAYSIZE(saved), L"Last Saved at : %ls", stamp);
    SetWindowTextW(MainControl(IDC_LAST_SAVED), saved);

    // Update the row, and insert it when there is none: a row removed or
    // added meanwhile (another window, an update) is handled either way.
    WCHAR update[kStatementChars], insert[kStatementChars];
    StringCchPrintfW(update, ARRAYSIZE(update),
                     L"UPDATE VLS SET C2='%hs',C3='%hs',C4='%hs',C5='%hs',C6='%ls',C7='%ls' WHERE C1 = '%hs'",
                     arrears, lastPay, financier, remark, stamp, followUp, plateField);
    StringCchPrintfW(insert, ARRAYSIZE(insert),
                     L"INSERT INTO VLS SELECT '%hs','%hs','%hs','%hs','%hs','%ls','%ls' "
                     L"WHERE NOT EXISTS (SELECT 1 FROM VLS WHERE C1 = '%hs')",
                     plateField, arrears, lastPay, financier, remark, stamp, followUp, plateField);
    const WCHAR *statements[] = {update, insert, L"update PRS set C2 = '0' where C1 = 'CLF'"};
    if (ExecTransaction(&RemarkDb, statements, ARRAYSIZE(statements)) != SQLITE_OK) return;
    RemarkPresent = 1;
    SearchCounter = 0;
    InvalidateRemarkFields();
    ShowWindow(MainControl(IDC_DELETE_REMARK), SW_SHOW);
    SetFocus(PlateEntryEdit);
}

void DeleteRemarkOfPlate(void) {
    if (Ask(L"Are you sure that you want to delete the remark for this vehicle?\r\nPlateNo = %ls",
            L"Adakah anda pasti yang anda ingin memadam remark untuk kenderaan ini?\r\nPlateNo = %ls",
            FindHistory[0])) {
        char plateField[kCipherFieldBytes];
        EncodeField(LocalCipher, FindHistory[0], plateField);
        DeleteRemarkByPlate(plateField);
        ClearRemarkFields();
        RemarkPresent = 0;
        InvalidateRemarkFields();
    }
    SetFocus(PlateEntryEdit);
}

void UndoLastSearch(void) {
    // F4 reaches here through the hidden button, which takes the focus: the
    // plate entry gets it back on every way out.
    if (FindHistory[0][0] == 0 ||
        !Ask(L"Are you sure that you want to delete this row?\r\nPlateNo = %ls",
             L"Adakah anda pasti yang anda ingin memadam baris ini?\r\nPlateNo = %ls", FindHistory[0])) {
        SetFocus(PlateEntryEdit);
        return;
    }
    // Only the diary rows this run's last search wrote are taken back, and
    // only while they still hold its plate; after a restart, a second F4 or
    // a job that replaced or renumbered the diary there are none.
    if (LastSearchFirstRowId != 0) {
        BlankDiaryRowsOfPlate(LastSearchFirstRowId, LastSearchLastRowId, LastSearchPlate);
        if (MainWindow == NULL) return;  // a failed statement ended the program
    }
    ForgetLastSearchRows();
    ClearRemarkFields();
    RemarkPresent = 0;
    InvalidateRemarkFields();

    char plateField[kCipherFieldBytes];
    EncodeField(LocalCipher, FindHistory[0], plateField);
    WCHAR statement[kStatementChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE C1 = '%hs'", plateField);
    ExecInTransaction(&RemarkDb, statement);
    FindHistory[0][0] = 0;
    ExecInTransaction(&DiaryDb, L"update PRS set C2 = '' where C1 = 'FH1'");

    WCHAR text[kTextChars];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls\r\n%ls\r\n%ls\r\n", FindHistory[0], FindHistory[1], FindHistory[2]);
    SetWindowTextW(MainControl(IDC_FIND_HISTORY), text);
    UpdateWindow(MainControl(IDC_FIND_HISTORY));
    PaintFindHistory();
    SetFocus(PlateEntryEdit);
}

void DeleteFoundVehicleRow(void) {
    HWND list = FoundVehicleList.list;
    int selected = list ? (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED) : -1;
    if (selected >= 0 && selected < FoundVehicleList.ListViewBoxGetItemCount()) {
        SendMessageW(list, LVM_DELETEITEM, selected, 0);
        SetFocus(PlateEntryEdit);
        return;
    }
    ShowMessageBox(MainWindow,
                   UseEnglish ? L"Please select the row to be deleted first." : L"Sila pilih baris yang hendak dipadam dahulu.",
                   ErrorCaption(), MB_OK);
}

void DeleteAllFoundVehicles(void) {
    if (Ask(L"Are you sure that you want to delete all the data?", L"Adakah anda pasti yang anda ingin memadam semua data?",
            NULL)) {
        FoundVehicleList.ListViewBoxClear();
        SetFocus(PlateEntryEdit);
    }
}
