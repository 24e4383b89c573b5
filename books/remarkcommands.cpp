// The Remark window's delete and print commands. The bulk deletions take a
// checked backup first and change the book in one job transaction: a
// failure leaves the book as it was.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
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

const WCHAR kPrintOutPath[] = L"c:\\KorvanePrintOut.txt";

namespace {

enum {
    kRemarkRowIdCell = 7,  // the list's RowID column
    kPrintCells = 7,
    kPrintLineChars = kPrintCells * kTextChars + 64,  // seven whole cells always fit
    kDashes = 108,
};

const int kPrintWidths[kPrintCells - 1] = {20, 11, 14, 9, 12, 30};

const WCHAR kColumnLine[] =
    L"Last Saved at       |FollowUp   |PlateNo       |ArrearNo |LastPayment |Bank                          |Remark\r\n";

int RefreshCount(void) { return RemarkRowCache != NULL ? RemarkRowCache->refresh(CurrentListQuery, true) : 0; }

// After a bulk job that failed: the wait box goes, the list stays hidden
// until Show, as after a No.
void EndFailedBulk(HWND dialog) {
    ShowItem(dialog, IDC_RM_MSGBOX, false);
    ShowItem(dialog, IDC_RM_COUNT, false);
    UpdateWindow(dialog);
}

// Backup, the statement and VACUUM; the book compacted only when the change
// was committed. Returns false (shown) when nothing changed.
bool RunBulkDelete(HWND dialog, const WCHAR *statement) {
    if (!BackUpRemarkBook(dialog)) return false;
    BookJob job(&RemarkDb, dialog);
    if (!(job.Begin() && job.Run(statement) && job.Commit())) return false;
    RunJobStatementQuietly(RemarkDb, L"VACUUM;");  // only compacts; the deletion stands either way
    return true;
}

// Writes bytes to file; false when any of them could not be written.
bool WriteAll(HANDLE file, const WCHAR *text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (bytes <= 1) return bytes == 1;
    char *ansi = new char[(size_t)bytes];
    bool ok = WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, bytes, NULL, NULL) == bytes;
    DWORD written = 0;
    ok = ok && WriteFile(file, ansi, (DWORD)(bytes - 1), &written, NULL) && written == (DWORD)(bytes - 1);
    delete[] ansi;
    return ok;
}

bool WritePrintRows(HANDLE file, HWND list, int first, int end) {
    WCHAR dashes[kDashes + 3];
    for (int i = 0; i < kDashes; i++) dashes[i] = L'-';
    StringCchCopyW(dashes + kDashes, 3, L"\r\n");
    StampCurrentTime();
    WCHAR head[kTextChars];
    StringCchPrintfW(head, ARRAYSIZE(head), Pick(L"[Remark] Print Date : %ls\r\n\r\n", L"[Remark] Tarikh Print : %ls\r\n\r\n"),
                     CurrentTimeStamp);
    if (!WriteAll(file, head) || !WriteAll(file, kColumnLine) || !WriteAll(file, dashes)) return false;
    static const int kListColumns[kPrintCells] = {0, 1, 2, 3, 4, 5, 6};
    for (int row = first; row < end; row++) {
        WCHAR cells[kPrintCells][kTextChars];
        const WCHAR *cellPointers[kPrintCells];
        for (int i = 0; i < kPrintCells; i++) {
            ListCellText(list, row, kListColumns[i], cells[i], i == 1 ? 20 : kTextChars);
            cellPointers[i] = cells[i];
        }
        WCHAR line[kPrintLineChars];
        if (!FormatPrintRow(cellPointers, line, ARRAYSIZE(line)) || !WriteAll(file, line)) return false;
    }
    return WriteAll(file, dashes);
}

}  // namespace

bool FormatPrintRow(const WCHAR *const cells[kPrintCells], WCHAR *line, size_t lineChars) {
    if (lineChars == 0) return false;
    line[0] = 0;
    size_t expected = 0;
    for (int i = 0; i < kPrintCells; i++) {
        size_t length = wcslen(cells[i]);
        if (FAILED(StringCchCatW(line, lineChars, cells[i]))) return false;
        if (i < kPrintCells - 1) {
            AppendPaddedColumn(line, lineChars, cells[i], kPrintWidths[i], L"|");
            expected += (length > (size_t)kPrintWidths[i] ? length : (size_t)kPrintWidths[i]) + 1;
        } else {
            AppendPaddedColumn(line, lineChars, cells[i], 0, L"\r\n");
            expected += length + 2;
        }
    }
    return wcslen(line) == expected;  // a cut line is refused, never printed
}

void RemarkDeleteThisRow(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    HWND list = RemarkList.list;
    int row = SelectedListRow(list);
    if (row < 0) {
        ShowMessageBox(dialog, Pick(L"Please select the row to be deleted first.", L"Sila pilih baris yang hendak dipadam dahulu."),
                       ErrorCaption(), MB_OK);
        return;
    }
    WCHAR plate[kTextChars], question[kTextChars * 2];
    ListCellText(list, row, 2, plate, ARRAYSIZE(plate));
    StringCchPrintfW(question, ARRAYSIZE(question),
                     Pick(L"Are you sure that you want to delete this row?\r\nPlateNo = %ls",
                          L"Adakah anda pasti yang anda ingin memadam baris ini?\r\nPlateNo = %ls"),
                     plate);
    if (!AskBookQuestion(dialog, question)) return;
    WCHAR rowId[32], statement[kTextChars];
    ListCellText(list, row, kRemarkRowIdCell, rowId, ARRAYSIZE(rowId));
    FormatDeleteRemarkRow(_wtoi(rowId), statement, ARRAYSIZE(statement));
    if (!RunBookStatement(&RemarkDb, dialog, statement)) return;  // shown; the row and its fields stay
    ClearRemarkWindowFields();
    int count = RefreshCount();
    RemarkList.ListViewBoxSetItemCount(count);
    InvalidateRect(list, NULL, TRUE);
    UpdateWindow(list);
    ShowRemarkCount(count);
    SetFocus(GetDlgItem(dialog, IDC_RM_SHOW));
    if (row < count) RemarkRowToFields(row);  // the row that moved up into its place
}

void RemarkDeleteThisPage(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    if (!AskBookQuestion(dialog, Pick(L"Are you sure that you want to delete data on this page?",
                          L"Adakah anda pasti yang anda ingin memadam data di mukasurat ini?")))
        return;
    HWND list = RemarkList.list;
    ClearRemarkWindowFields();
    RemarkList.ListViewBoxHide();
    ShowItem(dialog, IDC_RM_MSGBOX, true);
    UpdateWindow(dialog);
    int count = RemarkList.ListViewBoxGetItemCount();
    auto showList = [&]() {
        RemarkList.ListViewBoxShow();
        ShowItem(dialog, IDC_RM_MSGBOX, false);
        SetFocus(list);
        UpdateWindow(dialog);
    };
    if (count <= 0) {
        showList();
        return;
    }
    CollectPageRowIds(list, count, kRemarkRowIdCell);
    bool done = BackUpRemarkBook(dialog) && RunOnPageRows(&RemarkDb, dialog, L"DELETE FROM VLS ");
    PageRowIds.SortedIdListClear();
    count = RefreshCount();
    RemarkList.ListViewBoxSetItemCount(count);
    ShowRemarkCount(count);
    showList();
    PumpPendingMessages();
    if (done) ShowDeletionFinished(dialog);
}

void RemarkDeleteAll(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    RemarkList.ListViewBoxHide();
    if (!AskBookQuestion(dialog, Pick(L"Are you sure that you want to delete all the data?",
                          L"Adakah anda pasti yang anda ingin memadam semua data?"))) {
        ShowItem(dialog, IDC_RM_COUNT, false);
        return;
    }
    ClearRemarkWindowFields();
    ShowItem(dialog, IDC_RM_MSGBOX, true);
    UpdateWindow(dialog);
    if (!RunBulkDelete(dialog, L"DELETE FROM VLS")) {
        EndFailedBulk(dialog);
        return;
    }
    SetDlgItemTextW(dialog, IDC_RM_COUNT, Pick(L"0 row(no data)", L"0 baris(tiada data)"));
    ShowItem(dialog, IDC_RM_MSGBOX, false);
    RemarkList.ListViewBoxSetItemCount(0);
    UpdateWindow(dialog);
    PumpPendingMessages();
    ShowDeletionFinished(dialog);
}

void RemarkDeleteBefore(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    RemarkList.ListViewBoxHide();
    ClearRemarkWindowFields();
    int year = 0, month = 0;
    int choice = ChooseDeleteBefore(dialog, IDC_RM_BEFORE_MONTH, IDC_RM_BEFORE_YEAR, IDC_RM_DELETE_BEFORE, &year, &month);
    if (choice == 0) return;
    if (choice < 0) {
        ShowItem(dialog, IDC_RM_COUNT, false);
        return;
    }
    ShowItem(dialog, IDC_RM_MSGBOX, true);
    UpdateWindow(dialog);
    PumpPendingMessages();
    WCHAR statement[128];
    // The year is four digits checked above; the cut is formed from numbers.
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"DELETE FROM VLS WHERE C6 < '%04d-%02d-01'", year, month);
    if (!RunBulkDelete(dialog, statement)) {
        EndFailedBulk(dialog);
        return;
    }
    ShowItem(dialog, IDC_RM_MSGBOX, false);
    SetDlgItemTextW(dialog, IDC_RM_COUNT, L"");
    UpdateWindow(dialog);
    PumpPendingMessages();
    ShowDeletionFinished(dialog);
}

void RemarkPrint(HWND dialog, bool allRows) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    HWND list = RemarkList.list;
    int listCount = RemarkList.ListViewBoxGetItemCount();
    int first = 0, end = listCount;
    if (allRows) {
        int cached = RemarkRowCache != NULL ? RemarkRowCache->row_count : 0;
        if (cached <= 0) return;
        if (cached < end) end = cached;  // never a row the list does not hold
    } else {
        if (listCount <= 0) return;
        first = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
        if (first + perPage < end) end = first + perPage;
    }
    HANDLE file = CreateFileW(kPrintOutPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ShowMessageBox(dialog, Pick(L"Can't create the printout file", L"Tidak dapat membuat fail printout"),
                       ErrorCaption(), MB_OK);
        return;  // nothing to open: an older print-out is not shown as this one
    }
    bool complete = WritePrintRows(file, list, first, end);
    if (!CloseHandle(file)) complete = false;
    if (!complete) {
        DeleteFileW(kPrintOutPath);
        ShowMessageBox(dialog, Pick(L"Can't write the printout file", L"Tidak dapat menulis fail printout"),
                       ErrorCaption(), MB_OK);
        return;
    }
    if (ShellOpenHook != NULL)
        ShellOpenHook(MainWindow, L"open", kPrintOutPath, NULL, NULL, SW_SHOWNORMAL);
    else
        ShellExecuteW(MainWindow, L"open", kPrintOutPath, NULL, NULL, SW_SHOWNORMAL);
}
