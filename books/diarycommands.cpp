// The Diary window's commands: the correction of a row's location and
// remark, the ways of removing diary data, and List Location. Deletions
// (Delete All Data, Delete Before This) take a checked backup first and
// change the diary in one job transaction; blanking (a row, a page, an
// owner) empties rows in place so that rowids do not move, a page and an
// owner after a checked backup too.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include "bookjob.h"
#include "bookrows.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

namespace {

enum { kDiaryRowIdCell = 9 };  // the list's RowID column

const WCHAR kBlankRow[] = L"UPDATE VLS SET C1='',C2='0',C3='',C4='',C5='',C6='',C7='',C8='',C9='',C10='',C11='' ";

void ShowError(HWND dialog, const WCHAR *english, const WCHAR *malay) {
    ShowMessageBox(dialog, Pick(english, malay), ErrorCaption(), MB_OK);
}

int RowIdOf(HWND list, int row) {
    WCHAR rowId[32];
    ListCellText(list, row, kDiaryRowIdCell, rowId, ARRAYSIZE(rowId));
    return _wtoi(rowId);
}

void SelectRow(HWND list, int row) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&state);
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

// After a job that failed (shown): the wait box goes, the list stays
// hidden until Show.
void EndFailedJob(HWND dialog) {
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    ShowItem(dialog, IDC_DIARY_COUNT, false);
    UpdateWindow(dialog);
}

// A checked backup, then the statements in one transaction; with compact,
// VACUUM once the change was committed. Returns false (shown) when nothing
// changed.
bool RunDiaryJob(HWND dialog, const WCHAR *const *statements, int count, bool compact) {
    if (!BackUpDiaryBook(dialog)) return false;
    BookJob job(&DiaryDb, dialog);
    bool done = job.Begin();
    for (int i = 0; done && i < count; i++) done = job.Run(statements[i]);
    if (!(done && job.Commit())) return false;
    if (compact) CompactDiary();  // only compacts; the change stands either way
    return true;
}

}  // namespace

void DiarySaveChanges(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    HWND list = DiaryList.list;
    int row = SelectedListRow(list);
    if (row < 0) {
        ShowError(dialog, L"Please choose the data row that you want to change first.",
                  L"Sila pilih baris data yang anda ingin tukar dahulu.");
        SetFocus(GetDlgItem(dialog, IDC_DIARY_SAVE));
        return;
    }
    WCHAR location[kTextChars], remark[kTextChars];
    GetDlgItemTextW(dialog, IDC_DIARY_LOCATION_EDIT, location, ARRAYSIZE(location));
    GetDlgItemTextW(dialog, IDC_DIARY_REMARK_EDIT, remark, ARRAYSIZE(remark));
    WCHAR statement[kStatementChars];
    FormatDiaryLocationRemark(RowIdOf(list, row), location, remark, statement, ARRAYSIZE(statement));  // quoted
    if (!RunBookStatement(&DiaryDb, dialog, statement)) return;  // shown; what was typed stays
    DiaryView view = ChosenDiaryView(dialog);
    if (view == kDiaryViewRemark || view == kDiaryViewLocation || view == kDiaryViewLocationFound ||
        view == kDiaryViewLocationNew) {
        RunDiaryShow(dialog);  // the row may no longer belong to the view
        return;
    }
    RefreshDiaryRows();
    InvalidateRect(list, NULL, TRUE);
    SendMessageW(list, LVM_UPDATE, (WPARAM)row, 0);
    SetFocus(list);
}

void DiaryDeleteAll(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    DiaryList.ListViewBoxHide();
    if (!AskBookQuestion(dialog, Pick(L"Are you sure that you want to delete all the data?",
                          L"Adakah anda pasti yang anda ingin memadam semua data?"))) {
        ShowItem(dialog, IDC_DIARY_COUNT, false);
        return;
    }
    ClearDiaryEdits(dialog);
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    UpdateWindow(dialog);
    PumpPendingMessages();
    const WCHAR *const statements[] = {L"DELETE FROM VLS"};
    if (!RunDiaryJob(dialog, statements, 1, true)) {
        EndFailedJob(dialog);
        return;
    }
    SetDiaryNoDataText(dialog);
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    DiaryList.ListViewBoxSetItemCount(0);
    RefreshDiaryRows();
    UpdateWindow(dialog);
    PumpPendingMessages();
    ShowDeletionFinished(dialog);
}

void DiaryDeleteThisRow(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    HWND list = DiaryList.list;
    int row = SelectedListRow(list);
    if (row < 0) {
        ShowError(dialog, L"Please select the row to be deleted first.", L"Sila pilih baris yang hendak dipadam dahulu.");
        return;
    }
    WCHAR plate[kTextChars], question[kTextChars * 2];
    ListCellText(list, row, 1, plate, ARRAYSIZE(plate));
    StringCchPrintfW(question, ARRAYSIZE(question),
                     Pick(L"Are you sure that you want to delete this row?\r\nPlateNo = %ls",
                          L"Adakah anda pasti yang anda ingin memadam baris ini?\r\nPlateNo = %ls"),
                     plate);
    if (!AskBookQuestion(dialog, question)) return;
    WCHAR statement[kTextChars];
    FormatBlankDiaryRow(RowIdOf(list, row), statement, ARRAYSIZE(statement));
    if (!RunBookStatement(&DiaryDb, dialog, statement)) return;  // shown; the row and the edits stay
    ClearDiaryEdits(dialog);
    int oldCount = DiaryList.ListViewBoxGetItemCount();
    int count = RefreshDiaryRows();
    DiaryList.ListViewBoxSetItemCount(count);
    InvalidateRect(list, NULL, TRUE);
    SendMessageW(list, LVM_UPDATE, (WPARAM)row, 0);
    // The row that was below the blanked one: one further down where the
    // blank row stays in the view, in its place where it left the view.
    int next = count < oldCount ? row : row + 1;
    if (next < count) SelectRow(list, next);
    SetFocus(list);
}

void DiaryDeleteThisPage(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    if (!AskBookQuestion(dialog, Pick(L"Are you sure that you want to delete data on this page?",
                          L"Adakah anda pasti yang anda ingin memadam data di mukasurat ini?")))
        return;
    HWND list = DiaryList.list;
    DiaryList.ListViewBoxHide();
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    UpdateWindow(dialog);
    int count = DiaryList.ListViewBoxGetItemCount();
    auto showList = [&]() {
        DiaryList.ListViewBoxShow();
        ShowItem(dialog, IDC_DIARY_MSGBOX, false);
        SetFocus(list);
        UpdateWindow(dialog);
    };
    if (count <= 0) {
        showList();
        return;
    }
    ClearDiaryEdits(dialog);
    CollectPageRowIds(list, count, kDiaryRowIdCell);
    if (BackUpDiaryBook(dialog)) RunOnPageRows(&DiaryDb, dialog, kBlankRow);  // a failure was shown
    PageRowIds.SortedIdListClear();
    count = RefreshDiaryRows();
    DiaryList.ListViewBoxSetItemCount(count);
    SetRowCountText(GetDlgItem(dialog, IDC_DIARY_COUNT), count);
    InvalidateRect(list, NULL, TRUE);
    showList();
}

void DiaryDeleteOwner(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    WCHAR owner[32];
    GetDlgItemTextW(dialog, IDC_DIARY_OWNER, owner, ARRAYSIZE(owner));
    if (owner[0] == 0) {
        ShowError(dialog,
                  L"Please key in the 'Diary Owner' in the input box next to the 'Delete Diary Owner' button first.",
                  L"Masukkan 'Diary Owner' di dalam kotak sebelah button 'Padam Diary Owner' dahulu.");
        SetFocus(GetDlgItem(dialog, IDC_DIARY_OWNER));
        return;
    }
    WCHAR text[kStatementChars];
    StringCchPrintfW(text, ARRAYSIZE(text),
                     Pick(L"Are you sure that you want to delete data with this 'Diary Owner'?\r\n'Diary Owner' = %ls",
                          L"Adakah anda pasti yang anda ingin memadam data dengan 'Diary Owner' ini?\r\n'Diary Owner' = %ls"),
                     owner);
    if (!AskBookQuestion(dialog, text)) {
        SetFocus(GetDlgItem(dialog, IDC_DIARY_OWNER));
        return;
    }
    DiaryList.ListViewBoxHide();
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    UpdateWindow(dialog);
    SetDlgItemTextW(dialog, IDC_DIARY_OWNER, L"");
    WCHAR quoted[2 * ARRAYSIZE(owner)], statement[kStatementChars];
    bool formed = SqlQuote(owner, quoted) &&
                  FormatJobStatement(statement, ARRAYSIZE(statement), L"%lsWHERE C11 = '%ls'", kBlankRow, quoted);
    const WCHAR *const statements[] = {statement};
    if (!formed || !RunDiaryJob(dialog, statements, 1, false)) {
        SetDlgItemTextW(dialog, IDC_DIARY_OWNER, owner);  // nothing changed: the name stays for another try
        EndFailedJob(dialog);
        return;
    }
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    StringCchPrintfW(text, ARRAYSIZE(text),
                     Pick(L"Data with 'Diary Owner' = '%ls' has been deleted.\r\nNOTE : When you do the 'Update Diary' "
                          L"the empty rows will disappear.",
                          L"Data dengan 'Diary Owner' = '%ls' sudah pun dipadam.\r\nNOTA : Bila anda melakukan "
                          L"'Kemaskini Diary' baris yang kosong itu akan hilang."),
                     owner);
    ShowMessageBox(dialog, text, L"", MB_OK);
    SetFocus(DiaryList.list);
}

void DiaryDeleteBefore(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    DiaryList.ListViewBoxHide();
    int year = 0, month = 0;
    int choice =
        ChooseDeleteBefore(dialog, IDC_DIARY_BEFORE_MONTH, IDC_DIARY_BEFORE_YEAR, IDC_DIARY_DELETE_BEFORE, &year, &month);
    if (choice == 0) return;
    if (choice < 0) {
        ShowItem(dialog, IDC_DIARY_COUNT, false);
        return;
    }
    ClearDiaryEdits(dialog);
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    UpdateWindow(dialog);
    PumpPendingMessages();
    WCHAR statement[128];
    // The year is four digits checked above; the cut is formed from numbers.
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE C1 < '%04d-%02d-01'", year, month);
    const WCHAR *const statements[] = {statement};
    if (!RunDiaryJob(dialog, statements, 1, true)) {
        EndFailedJob(dialog);
        return;
    }
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");
    UpdateWindow(dialog);
    PumpPendingMessages();
    ShowDeletionFinished(dialog);
}

void DiaryListLocation(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    DiaryList.ListViewBoxHide();
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");
    VehicleDetailTexts[kDetailLocation][0] = 0;
    ShowListLocationWindow(dialog);
    if (!IsWindow(dialog)) return;
    if (VehicleDetailTexts[kDetailLocation][0] != 0)
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, VehicleDetailTexts[kDetailLocation]);
    SetFocus(GetDlgItem(dialog, IDC_DIARY_SHOW));
}
