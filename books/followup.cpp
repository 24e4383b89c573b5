// The FollowUp window: the remarks whose follow-up date has come, shown at
// every start of the program.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include <initializer_list>

#include "bookjob.h"
#include "bookrows.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "textutil.h"

LocalTimeFn LocalTimeHook;

namespace {

const RemarkFormIds kFields = {
    IDC_FU_PLATE,       IDC_FU_ARREARS,       IDC_FU_LASTPAY_DAY,  IDC_FU_LASTPAY_MONTH,
    IDC_FU_LASTPAY_YEAR, IDC_FU_BANK,         IDC_FU_REMARK,       IDC_FU_LAST_SAVED,
    IDC_FU_FOLLOWUP_DAY, IDC_FU_FOLLOWUP_MONTH, IDC_FU_FOLLOWUP_YEAR,
};

void MoveItem(HWND dialog, int id, int x, int y) {
    SetWindowPos(GetDlgItem(dialog, id), NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Re-counts and redraws the list after a change; returns the row count.
int RefreshList(HWND dialog, bool withCount) {
    int count = RemarkRowCache != NULL ? RemarkRowCache->refresh(CurrentListQuery, true) : 0;
    RemarkList.ListViewBoxSetItemCount(count);
    InvalidateRect(RemarkList.list, NULL, TRUE);
    UpdateWindow(RemarkList.list);
    if (withCount) SetRowCountText(GetDlgItem(dialog, IDC_FU_COUNT), count);
    return count;
}

void ClearFields(HWND dialog) {
    for (int id : {IDC_FU_PLATE, IDC_FU_ARREARS, IDC_FU_LASTPAY_DAY, IDC_FU_LASTPAY_YEAR, IDC_FU_BANK,
                   IDC_FU_REMARK, IDC_FU_FOLLOWUP_DAY, IDC_FU_FOLLOWUP_YEAR}) {
        SetDlgItemTextW(dialog, id, L"");
    }
    SendDlgItemMessageW(dialog, IDC_FU_LASTPAY_MONTH, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, IDC_FU_FOLLOWUP_MONTH, CB_SETCURSEL, 0, 0);
}

BOOL FollowUp_OnInit(HWND dialog) {
    FollowUpDialogHandle = dialog;
    SetWindowTextW(dialog, L"Korvane FollowUp");
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    bool small = SmallScreen == 1;
    SetWindowPos(dialog, NULL, 0, 0, small ? 788 : 938, small ? 570 : 495,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    MoveItem(dialog, IDC_FU_CANCEL, small ? 50 : 125, small ? 287 : 410);
    MoveItem(dialog, IDC_FU_CANCEL_DELETE, small ? 350 : 469, small ? 287 : 410);
    CenterWindowOnScreen(dialog);

    SetDlgItemTextW(dialog, IDC_FU_MSGBOX,
                    Pick(L"\r\nPlease Wait For A While ...", L"\r\nSila Tunggu Sebentar ..."));
    SetDlgItemTextW(dialog, IDC_FU_DATE_LABEL,
                    Pick(L"[Day    -   Month   -    Year]", L"[Hari   -   Bulan   -   Tahun]"));
    SetDlgItemTextW(dialog, IDC_FU_CANCEL_DELETE,
                    Pick(L"Cancel FollowUp && Delete from Remark", L"Cancel FollowUp && Padam dalam Remark"));

    RemarkList.ListViewBoxCreate(dialog, GetModuleHandleW(NULL), kListRemark, 1, 1, small ? 770 : 920,
                                 small ? 284 : 330, UseEnglish);
    SendMessageW(RemarkList.list, LVM_SETCOLUMNWIDTH, 6, 500);
    InstallListKeyProc(RemarkList.list, FollowUpListKeyProc);
    SetDlgItemTextW(dialog, IDC_FU_COUNT, L"");
    NewRemarkRowCache();

    RemarkList.ListViewBoxHide();
    ShowItem(dialog, IDC_FU_MSGBOX, true);
    RemarkList.ListViewBoxClear();
    SetDlgItemTextW(dialog, IDC_FU_COUNT, Pick(L"0 row(no data)", L"0 baris(tiada data)"));

    SYSTEMTIME now;
    if (LocalTimeHook != NULL)
        LocalTimeHook(&now);
    else
        GetLocalTime(&now);
    WCHAR query[256];
    FormatDueQuery(query, ARRAYSIZE(query), &now);
    SetListQuery(query);
    int count = RemarkRowCache->refresh(CurrentListQuery, true);
    RemarkList.ListViewBoxSetItemCount(count);
    if (count <= 0) EndDialog(dialog, 0);  // never shown

    SetRowCountText(GetDlgItem(dialog, IDC_FU_COUNT), count);
    RemarkList.ListViewBoxShow();
    ShowItem(dialog, IDC_FU_COUNT, true);
    ShowItem(dialog, IDC_FU_MSGBOX, false);
    FillMonthCombo(GetDlgItem(dialog, IDC_FU_LASTPAY_MONTH));
    FillMonthCombo(GetDlgItem(dialog, IDC_FU_FOLLOWUP_MONTH));
    static const int kLimits[][2] = {{IDC_FU_ARREARS, 6},   {IDC_FU_LASTPAY_DAY, 2},  {IDC_FU_LASTPAY_YEAR, 4},
                                     {IDC_FU_BANK, 100},     {IDC_FU_REMARK, 132},     {IDC_FU_FOLLOWUP_DAY, 2},
                                     {IDC_FU_FOLLOWUP_YEAR, 4}};
    for (const auto &limit : kLimits) SendDlgItemMessageW(dialog, limit[0], EM_LIMITTEXT, limit[1], 0);
    KeepEscapeInField(GetDlgItem(dialog, IDC_FU_REMARK));
    UpdateWindow(dialog);
    return TRUE;
}

BOOL FollowUp_OnNotify(HWND dialog, int id, NMHDR *header) {
    if (id != IDC_REMARK_LIST || header->hwndFrom != RemarkList.list) return FALSE;
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW &item = reinterpret_cast<NMLVDISPINFOW *>(header)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText != NULL && item.cchTextMax > 0)
            RemarkCellText(item.iItem, item.iSubItem, true, item.pszText, (size_t)item.cchTextMax);
        return FALSE;
    }
    case LVN_ODCACHEHINT: {
        NMLVCACHEHINT *hint = reinterpret_cast<NMLVCACHEHINT *>(header);
        if (RemarkRowCache != NULL) RemarkRowCache->ensure_rows(CurrentListQuery, hint->iFrom, hint->iTo);
        return FALSE;
    }
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, ColourRemarkRows(reinterpret_cast<NMLVCUSTOMDRAW *>(header)));
        return TRUE;
    case NM_CLICK: {
        int row = SelectedListRow(RemarkList.list);
        if (row >= 0) FillRemarkFields(dialog, RemarkList.list, row, kFields, false);
        return FALSE;
    }
    }
    return FALSE;
}

// Cancel FollowUp (1002) and Cancel FollowUp & Delete from Remark (1003, 1030).
void FollowUp_OnCancel(HWND dialog, bool deleteRemark) {
    int row = SelectedListRow(RemarkList.list);
    if (row < 0) {
        ShowMessageBox(dialog,
                       deleteRemark ? Pick(L"Please select the row to cancel the FollowUp & delete from Remark first.",
                                           L"Sila pilih baris yang anda ingin cancel FollowUp & padam dalam Remark dahulu.")
                                    : Pick(L"Please select the row to cancel the FollowUp first.",
                                           L"Sila pilih baris yang anda ingin cancel FollowUp dahulu."),
                       ErrorCaption(), MB_OK);
        return;
    }
    WCHAR plate[kTextChars], question[kTextChars * 2];
    ListCellText(RemarkList.list, row, 2, plate, ARRAYSIZE(plate));
    StringCchPrintfW(question, ARRAYSIZE(question),
                     deleteRemark
                         ? Pick(L"Are you sure that you want to cancel the FollowUp & delete from Remark for this row?\r\nPlateNo = %ls",
                                L"Adakah anda pasti yang anda ingin cancel FollowUp & padam dalam Remark untuk baris ini?\r\nPlateNo = %ls")
                         : Pick(L"Are you sure that you want to cancel the FollowUp for this row?\r\nPlateNo = %ls",
                                L"Adakah anda pasti yang anda ingin cancel FollowUp untuk baris ini?\r\nPlateNo = %ls"),
                     plate);
    if (ShowMessageBox(dialog, question, L"", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    WCHAR rowId[32], statement[kTextChars];
    ListCellText(RemarkList.list, row, 7, rowId, ARRAYSIZE(rowId));
    if (deleteRemark)
        FormatDeleteRemarkRow(_wtoi(rowId), statement, ARRAYSIZE(statement));
    else
        FormatCancelFollowUp(_wtoi(rowId), statement, ARRAYSIZE(statement));
    if (!RunBookStatement(&RemarkDb, dialog, statement)) return;  // shown; the row and its fields stay
    RefreshList(dialog, true);
    ClearFields(dialog);
    // Never the button that deletes: Enter there would delete the next row.
    SetFocus(deleteRemark ? RemarkList.list : GetDlgItem(dialog, IDC_FU_CANCEL));
}

void FollowUp_OnSave(HWND dialog) {
    if (SelectedListRow(RemarkList.list) < 0) {
        ShowMessageBox(dialog, Pick(L"Please select the row to save first.", L"Sila pilih baris yang anda ingin save dahulu."),
                       ErrorCaption(), MB_OK);
        return;
    }
    if (GetWindowTextLengthW(GetDlgItem(dialog, IDC_FU_PLATE)) == 0) {
        SetFocus(GetDlgItem(dialog, IDC_FU_ARREARS));
        return;
    }
    if (SaveRemarkForm(dialog, kFields) != 1) return;
    RemarkList.ListViewBoxHide();
    int count = RefreshList(dialog, false);
    if (count <= 0) EndDialog(dialog, 0);  // the last due row was saved
    SetRowCountText(GetDlgItem(dialog, IDC_FU_COUNT), count);
    RemarkList.ListViewBoxShow();
    ClearFields(dialog);
    SetFocus(GetDlgItem(dialog, IDC_FU_ARREARS));
}

BOOL FollowUp_OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_FU_CANCEL:
        FollowUp_OnCancel(dialog, false);
        return TRUE;
    case IDC_FU_CANCEL_DELETE:
    case IDC_FU_DELETE_X:
        FollowUp_OnCancel(dialog, true);
        return TRUE;
    case IDC_FU_SAVE:
        FollowUp_OnSave(dialog);
        return TRUE;
    }
    return FALSE;  // IDCANCEL too: Esc does nothing
}

}  // namespace

void FormatDueQuery(WCHAR *out, size_t outChars, const SYSTEMTIME *now) {
    StringCchPrintfW(out, outChars,
                     L"select *,rowid from VLS where C7 <> 'NULL' and C7 <= '%04d-%02d-%02d' order by C7 asc",
                     now->wYear, now->wMonth, now->wDay);
}

INT_PTR CALLBACK FollowUpDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return FollowUp_OnInit(dialog);
    case WM_NOTIFY:
        return FollowUp_OnNotify(dialog, (int)wParam, reinterpret_cast<NMHDR *>(lParam));
    case WM_COMMAND:
        return FollowUp_OnCommand(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        FollowUpDialogHandle = NULL;
        RemarkList.ListViewBoxReset();
        return FALSE;
    }
    return FALSE;
}

void ShowFollowUpWindow(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_FOLLOWUP), owner, FollowUpDialogProc, 0);
}
