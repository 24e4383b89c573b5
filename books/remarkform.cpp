// The remark fields and list cells that the FollowUp and Remark windows share.
#include "remarkform.h"

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "sqlexec.h"
#include "textutil.h"

namespace {

const UINT_PTR kEscapeSubclassId = 5;

LRESULT CALLBACK KeepEscapeProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, KeepEscapeProc, kEscapeSubclassId);
    if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) return 0;
    return DefSubclassProc(field, msg, wParam, lParam);
}

void DecodeCell(const char *cell, WCHAR *out, size_t outChars) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, cell != NULL ? cell : "", plain);
    plain[kPlainBytes - 1] = 0;
    TextCopyN(out, outChars, plain);
}

// Text of an edit, its cipher field, quoted for a statement.
void QuotedField(const WCHAR *plain, WCHAR *out, size_t outChars) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, plain, field);
    WCHAR wide[kCipherFieldBytes];
    AnsiToWide(field, wide, ARRAYSIZE(wide));
    SqlQuote(wide, out, outChars);
}

void QuotedControl(HWND dialog, int id, WCHAR *out, size_t outChars) {
    WCHAR text[kTextChars];
    GetDlgItemTextW(dialog, id, text, ARRAYSIZE(text));
    QuotedField(text, out, outChars);
}

}  // namespace

void KeepEscapeInField(HWND field) { SetWindowSubclass(field, KeepEscapeProc, kEscapeSubclassId, 0); }

void ShowItem(HWND dialog, int id, bool show) { ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE); }

void FillMonthCombo(HWND combo) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)L"");
    for (int m = 1; m <= 12; m++) SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)MonthName(m));
}

bool RemarkCellText(int row, int subItem, bool dayMonthYear, WCHAR *out, size_t outChars) {
    static const int kColumns[8] = {5, 6, 0, 1, 2, 3, 4, 7};
    if (outChars == 0) return false;
    out[0] = 0;
    if (subItem < 0 || subItem > 7 || RemarkRowCache == NULL) return false;
    const char *cell = RemarkRowCache->cell_text(CurrentListQuery, row, kColumns[subItem]);
    switch (subItem) {
    case 0:
    case 7:
        AnsiToWide(cell, out, outChars);
        break;
    case 1: {
        WCHAR stored[kTextChars];
        AnsiToWide(cell, stored, ARRAYSIZE(stored));
        if (_wcsicmp(stored, L"NULL") == 0) break;
        if (!dayMonthYear) {
            TextCopyN(out, outChars, stored);
            break;
        }
        WCHAR day[4], month[4], year[8];
        TextPiece(day, ARRAYSIZE(day), stored, 8, 2);
        TextPiece(month, ARRAYSIZE(month), stored, 5, 2);
        TextPiece(year, ARRAYSIZE(year), stored, 0, 4);
        const WCHAR *name = month[0] == 0 ? L"XXX" : month;
        int number = _wtoi(month);
        if (wcslen(month) == 2 && number >= 1 && number <= 12) name = MonthName(number);
        WCHAR shown[20];
        StringCchPrintfW(shown, ARRAYSIZE(shown), L"%ls %ls %ls", day, name, year);
        TextCopyN(out, outChars, shown);
        break;
    }
    default:
        DecodeCell(cell, out, outChars);
        break;
    }
    return true;
}

void ListCellText(HWND list, int row, int subItem, WCHAR *out, int outChars) {
    out[0] = 0;
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = out;
    item.cchTextMax = outChars;
    SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
    out[outChars - 1] = 0;
}

int SelectedListRow(HWND list) {
    if (list == NULL) return -1;
    int row = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    // A row the list is moving from is still the selected one until the
    // list selects another.
    if (row < 0 && list == SelectionMoveList) row = SelectionMoveFrom;
    return row;
}

void FillDateFields(HWND dialog, int day, int month, int year, const WCHAR *text, bool iso) {
    if (text[0] == 0) {
        SetDlgItemTextW(dialog, day, L"");
        SetDlgItemTextW(dialog, year, L"");
        SendDlgItemMessageW(dialog, month, CB_SETCURSEL, 0, 0);
        return;
    }
    WCHAR part[8];
    TextPiece(part, ARRAYSIZE(part), text, iso ? 8 : 0, 2);
    SetDlgItemTextW(dialog, day, part);
    TextPiece(part, ARRAYSIZE(part), text, iso ? 5 : 3, iso ? 2 : 3);
    for (int m = 1; m <= 12 && part[0] != 0; m++) {
        WCHAR number[4];
        StringCchPrintfW(number, ARRAYSIZE(number), L"%02d", m);
        if (iso ? wcscmp(part, number) == 0 : _wcsicmp(part, MonthName(m)) == 0) {
            SendDlgItemMessageW(dialog, month, CB_SETCURSEL, (WPARAM)m, 0);
            break;
        }
    }
    TextPiece(part, ARRAYSIZE(part), text, iso ? 0 : 7, 4);
    SetDlgItemTextW(dialog, year, part);
}

void FillRemarkFields(HWND dialog, HWND list, int row, const RemarkFormIds &ids, bool isoFollowUp) {
    WCHAR cell[kTextChars], line[kTextChars + 32];
    ListCellText(list, row, 0, cell, ARRAYSIZE(cell));
    StringCchPrintfW(line, ARRAYSIZE(line), L"Last Saved at : %ls", cell);
    SetDlgItemTextW(dialog, ids.lastSaved, line);
    ListCellText(list, row, 1, cell, isoFollowUp ? ARRAYSIZE(cell) : 20);
    FillDateFields(dialog, ids.followDay, ids.followMonth, ids.followYear, cell, isoFollowUp);
    ListCellText(list, row, 2, cell, ARRAYSIZE(cell));
    SetDlgItemTextW(dialog, ids.plate, cell);
    ListCellText(list, row, 3, cell, ARRAYSIZE(cell));
    SetDlgItemTextW(dialog, ids.arrears, cell);
    ListCellText(list, row, 4, cell, 20);
    FillDateFields(dialog, ids.payDay, ids.payMonth, ids.payYear, cell, false);
    ListCellText(list, row, 5, cell, ARRAYSIZE(cell));
    SetDlgItemTextW(dialog, ids.bank, cell);
    ListCellText(list, row, 6, cell, ARRAYSIZE(cell));
    SetDlgItemTextW(dialog, ids.remark, cell);
}

int SaveRemarkForm(HWND dialog, const RemarkFormIds &ids) {
    WCHAR plate[kTextChars];
    GetDlgItemTextW(dialog, ids.plate, plate, ARRAYSIZE(plate));
    if (plate[0] == 0) return 0;

    WCHAR date[32], followUp[32];
    if (!ReadCheckedDate(dialog, GetDlgItem(dialog, ids.payDay), GetDlgItem(dialog, ids.payMonth),
                         GetDlgItem(dialog, ids.payYear), L"LastPayment", false, false, date, ARRAYSIZE(date)) ||
        !ReadCheckedDate(dialog, GetDlgItem(dialog, ids.followDay), GetDlgItem(dialog, ids.followMonth),
                         GetDlgItem(dialog, ids.followYear), L"FollowUp", true, true, followUp,
                         ARRAYSIZE(followUp))) {
        return 0;
    }
    StampCurrentTime();
    WCHAR stamp[kTextChars];
    TextCopy(stamp, CurrentTimeStamp);

    enum { kQuoted = 2 * kCipherFieldBytes };
    WCHAR plateField[kQuoted], arrears[kQuoted], lastPay[kQuoted], bank[kQuoted], remark[kQuoted];
    QuotedField(plate, plateField, kQuoted);
    QuotedControl(dialog, ids.arrears, arrears, kQuoted);
    QuotedField(date, lastPay, kQuoted);
    QuotedControl(dialog, ids.bank, bank, kQuoted);
    QuotedControl(dialog, ids.remark, remark, kQuoted);

    WCHAR update[kStatementChars];
    JobBusyGuard busy;
    if (!busy.acquired()) return 0;
    if (!FormatJobStatement(update, ARRAYSIZE(update),
                            L"UPDATE VLS SET C2='%ls',C3='%ls',C4='%ls',C5='%ls',C6='%ls',C7='%ls' WHERE C1 = '%ls'",
                            arrears, lastPay, bank, remark, stamp, followUp, plateField)) {
        ShowJobFailure(dialog, L"The remark is too long to be saved.", L"Remark terlalu panjang untuk disimpan.");
        return -1;
    }
    BookJob job(&RemarkDb, dialog);
    if (!(job.Begin() && job.Run(update) && job.Run(L"update PRS set C2 = '0' where C1 = 'CLF'") && job.Commit()))
        return -1;
    WCHAR line[kTextChars + 32];
    StringCchPrintfW(line, ARRAYSIZE(line), L"Last Saved at : %ls", stamp);
    SetDlgItemTextW(dialog, ids.lastSaved, line);
    return 1;
}

bool AskBookQuestion(HWND dialog, const WCHAR *text) {
    return ShowMessageBox(dialog, text, L"", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowBookCheck(HWND dialog, const WCHAR *english, const WCHAR *malay, int focusId) {
    ShowMessageBox(dialog, Pick(english, malay), L"", MB_OK | MB_ICONEXCLAMATION);
    SetFocus(GetDlgItem(dialog, focusId));
}

void ShowDeletionFinished(HWND dialog) {
    ShowMessageBox(dialog, UseEnglish ? L"Finish deleting the data." : L"Sudah selesai padam data.",
                   UseEnglish ? L"Finish" : L"Selesai", MB_OK);
}

int ChooseDeleteBefore(HWND dialog, int monthId, int yearId, int monthFocusId, int *year, int *month) {
    int monthValue = (int)SendDlgItemMessageW(dialog, monthId, CB_GETCURSEL, 0, 0);
    if (monthValue < 1 || monthValue > 12) monthValue = 0;
    WCHAR yearText[8];
    GetDlgItemTextW(dialog, yearId, yearText, ARRAYSIZE(yearText));
    if (yearText[0] == 0) {
        ShowBookCheck(dialog, L"Please key in the year for 'Delete Before This'.",
                      L"Sila masukkan tahun untuk 'Padam Sebelum Ini'.", yearId);
        return 0;
    }
    if (wcslen(yearText) < 4) {
        ShowBookCheck(dialog, L"The year for the 'Delete Before This' must be 4 digits.",
                      L"Tahun untuk 'Padam Sebelum Ini' mestilah 4 digit.", yearId);
        return 0;
    }
    // A pasted text may hold anything: only four digits make a year.
    bool digits = true;
    for (const WCHAR *c = yearText; *c; c++) digits = digits && *c >= L'0' && *c <= L'9';
    int yearValue = digits ? _wtoi(yearText) : 0;
    if (yearValue < 1970 || yearValue > 2040) {
        ShowBookCheck(dialog, L"The year for the 'Delete Before This' must be between 1970 and 2040.",
                      L"Tahun untuk 'Padam Sebelum Ini' mestilah diantara 1970 dan 2040.", yearId);
        return 0;
    }
    if (monthValue == 0) {
        ShowBookCheck(dialog, L"Please select the month for the 'Delete Before This'.",
                      L"Sila pilih bulan untuk 'Padam Sebelum Ini'.", monthFocusId);
        return 0;
    }
    WCHAR question[kTextChars];
    StringCchPrintfW(question, ARRAYSIZE(question),
                     UseEnglish ? L"Are you sure that you want to delete all data before 01-%ls-%ls?"
                                : L"Adakah anda pasti yang anda ingin memadam semua data sebelum 01-%ls-%ls?",
                     MonthName(monthValue), yearText);
    if (!AskBookQuestion(dialog, question)) return -1;
    *year = yearValue;
    *month = monthValue;
    return 1;
}

void CollectPageRowIds(HWND list, int count, int rowIdSubItem) {
    int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);  // wholly visible rows only
    PageRowIds.SortedIdListClear();
    for (int row = top; row < top + perPage && row < count; row++) {
        WCHAR rowId[32];
        ListCellText(list, row, rowIdSubItem, rowId, ARRAYSIZE(rowId));
        PageRowIds.SortedIdListInsert(_wtoi(rowId));
    }
}

bool RunOnPageRows(sqlite3 **db, HWND dialog, const WCHAR *statementHead) {
    BookJob job(db, dialog);
    bool done = job.Begin();
    for (const SortedIdNode *node = PageRowIds.SortedIdListFirst(); done && node != NULL; node = node->next) {
        WCHAR statement[kTextChars];
        done = FormatJobStatement(statement, ARRAYSIZE(statement), L"%lsWHERE rowid = %d", statementHead,
                                  (int)node->value) &&
               job.Run(statement);
    }
    done = done && job.Commit();
    PageRowIds.SortedIdListClear();
    return done;
}
