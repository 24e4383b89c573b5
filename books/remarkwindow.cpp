// The Remark window: the agent's remark book, newest saved first, with
// the fields to change a row and save it back.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include <initializer_list>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "textutil.h"

HBRUSH RemarkFaceBrush;
HFONT RemarkEntryFont;
HFONT RemarkLabelFont;

namespace {

const RemarkFormIds kFields = {
    IDC_RM_PLATE,        IDC_RM_ARREARS,        IDC_RM_LASTPAY_DAY,  IDC_RM_LASTPAY_MONTH,
    IDC_RM_LASTPAY_YEAR, IDC_RM_BANK,           IDC_RM_REMARK,       IDC_RM_LAST_SAVED,
    IDC_RM_FOLLOWUP_DAY, IDC_RM_FOLLOWUP_MONTH, IDC_RM_FOLLOWUP_YEAR,
};

const WCHAR kShowQuery[] = L"select *,rowid from VLS order by C6 desc";

HWND RemarkItem(int id) { return GetDlgItem(RemarkDialogHandle, id); }

// ---- Key filters of the fields ------------------------------------------------

enum FieldChars { kDigits, kArrearChars, kMonthDigits, kFreeText };

struct FieldFilter {
    int id;
    FieldChars chars;
    bool deselect;  // EM_SETSEL(0, 0) on Tab or Enter
    int focusId;    // where Tab or Enter moves the focus; 0: stays
    int enterClick; // button that Enter clicks first; 0: none
};

const FieldFilter kFilters[] = {
    {IDC_RM_ARREARS, kArrearChars, true, IDC_RM_LASTPAY_DAY, 0},
    {IDC_RM_LASTPAY_DAY, kDigits, true, IDC_RM_LASTPAY_MONTH, 0},
    {IDC_RM_LASTPAY_MONTH, kMonthDigits, false, IDC_RM_LASTPAY_YEAR, 0},
    {IDC_RM_LASTPAY_YEAR, kDigits, true, IDC_RM_BANK, 0},
    {IDC_RM_BANK, kFreeText, true, IDC_RM_FOLLOWUP_DAY, 0},
    {IDC_RM_REMARK, kFreeText, true, 0, IDC_RM_SAVE},
    {IDC_RM_FOLLOWUP_DAY, kDigits, true, IDC_RM_FOLLOWUP_MONTH, 0},
    {IDC_RM_FOLLOWUP_MONTH, kMonthDigits, false, IDC_RM_FOLLOWUP_YEAR, 0},
    {IDC_RM_FOLLOWUP_YEAR, kDigits, true, IDC_RM_BANK, 0},
};

const UINT_PTR kFieldSubclassId = 3;

// Returns true when the character may reach the field.
bool Passes(FieldChars chars, WPARAM c) {
    bool digit = c >= '0' && c <= '9';
    switch (chars) {
    case kDigits: return digit || c == VK_BACK;
    case kArrearChars: return digit || c == VK_BACK || c == '.';
    case kMonthDigits: return !(c >= '1' && c <= '9');
    case kFreeText: return c != '|' && c != '\'';
    }
    return true;
}

LRESULT CALLBACK RemarkFieldFilterProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR index) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, RemarkFieldFilterProc, kFieldSubclassId);
    if (index >= ARRAYSIZE(kFilters)) return DefSubclassProc(field, msg, wParam, lParam);
    const FieldFilter &filter = kFilters[index];
    // The multi-line remark field would also press the default button
    // (Show) on Enter; its character alone clicks Save.
    if (msg == WM_KEYDOWN && wParam == VK_RETURN && filter.enterClick != 0) return 0;
    if (msg != WM_CHAR) return DefSubclassProc(field, msg, wParam, lParam);
    if (wParam == '\t' || wParam == '\r') {
        if (wParam == '\r' && filter.enterClick != 0) SendMessageW(RemarkItem(filter.enterClick), BM_CLICK, 0, 0);
        if (filter.deselect) SendMessageW(field, EM_SETSEL, 0, 0);
        if (filter.focusId != 0) SetFocus(RemarkItem(filter.focusId));
        return 0;
    }
    if (filter.chars == kMonthDigits && wParam >= '1' && wParam <= '9') {
        SendMessageW(field, CB_SETCURSEL, wParam - '0', 0);
        return 0;
    }
    if (!Passes(filter.chars, wParam)) return 0;
    return DefSubclassProc(field, msg, wParam, lParam);
}

// ---- Opening ------------------------------------------------------------------------

HFONT MakeArial(int height) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, OEM_CHARSET, 0, 0, 0, 0, L"Arial");
}

BOOL Remark_OnInit(HWND dialog) {
    RemarkDialogHandle = dialog;
    SetWindowTextW(dialog, L"Korvane Remark");
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(dialog, NULL, 0, 0, screenWidth, screenHeight + 5, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    static const int kBottomRow[][2] = {{IDC_RM_DELETE_ALL, 3},     {IDC_RM_DELETE_ROW, 132},
                                        {IDC_RM_DELETE_PAGE, 272},  {IDC_RM_DELETE_BEFORE, 412},
                                        {IDC_RM_BEFORE_MONTH, 542}, {IDC_RM_BEFORE_YEAR, 602},
                                        {IDC_RM_COUNT, 662}};
    for (const auto &place : kBottomRow)
        SetWindowPos(RemarkItem(place[0]), NULL, place[1], screenHeight - 58, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendDlgItemMessageW(dialog, IDC_RM_BEFORE_YEAR, EM_LIMITTEXT, 4, 0);
    FillMonthCombo(RemarkItem(IDC_RM_BEFORE_MONTH));
    CenterWindowOnScreen(dialog);

    RemarkFaceBrush = CreateSolidBrush(GetSysColor(COLOR_3DFACE));
    RemarkEntryFont = MakeArial(20);
    RemarkLabelFont = MakeArial(16);
    for (int id : {IDC_RM_PLATE_LABEL, IDC_RM_ARREARS_LABEL, IDC_RM_DATE_LABEL, IDC_RM_BANK_LABEL, IDC_RM_REMARK_LABEL,
                   IDC_RM_LAST_SAVED, IDC_RM_FOLLOWUP_LABEL})
        SendMessageW(RemarkItem(id), WM_SETFONT, (WPARAM)RemarkLabelFont, TRUE);
    for (int id : {IDC_RM_PLATE, IDC_RM_ARREARS, IDC_RM_LASTPAY_DAY, IDC_RM_LASTPAY_MONTH, IDC_RM_LASTPAY_YEAR,
                   IDC_RM_BANK, IDC_RM_REMARK, IDC_RM_FOLLOWUP_DAY, IDC_RM_FOLLOWUP_MONTH, IDC_RM_FOLLOWUP_YEAR})
        SendMessageW(RemarkItem(id), WM_SETFONT, (WPARAM)RemarkEntryFont, TRUE);

    struct Label {
        int id;
        const WCHAR *english, *malay;
    };
    static const Label kLabels[] = {
        {IDC_RM_MSGBOX, L"\r\nPlease Wait For A While ...", L"\r\nSila Tunggu Sebentar ..."},
        {IDC_RM_SHOW, L"Show", L"Paparkan"},
        {IDC_RM_DELETE_ALL, L"Delete All Data", L"Padam Semua Data"},
        {IDC_RM_PRINT_PAGE, L"Print This Page", L"Print Mukasurat Ini"},
        {IDC_RM_PRINT_ALL, L"Print All", L"Print Semua"},
        {IDC_RM_DELETE_ROW, L"Delete This Row [F4]", L"Padam Baris Ini [F4]"},
        {IDC_RM_DELETE_PAGE, L"Delete This Page", L"Padam Mukasurat Ini"},
        {IDC_RM_DELETE_BEFORE, L"Delete Before This =>", L"Padam Sebelum Ini =>"},
        {IDC_RM_DATE_LABEL, L"[Day  -  Month  -  Year]", L"[Hari -  Bulan  -  Tahun]"},
        {IDC_RM_BANK_LABEL, L"Financier", L"Bank"},
    };
    for (const Label &label : kLabels) SetDlgItemTextW(dialog, label.id, Pick(label.english, label.malay));
    static const int kLimits[][2] = {{IDC_RM_ARREARS, 6},   {IDC_RM_LASTPAY_DAY, 2},  {IDC_RM_LASTPAY_YEAR, 4},
                                     {IDC_RM_BANK, 100},     {IDC_RM_REMARK, 132},     {IDC_RM_FOLLOWUP_DAY, 2},
                                     {IDC_RM_FOLLOWUP_YEAR, 4}};
    for (const auto &limit : kLimits) SendDlgItemMessageW(dialog, limit[0], EM_LIMITTEXT, limit[1], 0);

    RemarkList.ListViewBoxCreate(dialog, GetModuleHandleW(NULL), kListRemark, 1, 100, screenWidth - 20,
                                 screenHeight - 162, UseEnglish);
    FitListColumnsToWindow();
    RemarkList.ListViewBoxHide();
    InstallListKeyProc(RemarkList.list, RemarkListKeyProc);

    ShowWindow(RemarkItem(IDC_RM_MSGBOX), SW_HIDE);
    SetDlgItemTextW(dialog, IDC_RM_COUNT, L"");
    FillMonthCombo(RemarkItem(IDC_RM_LASTPAY_MONTH));
    FillMonthCombo(RemarkItem(IDC_RM_FOLLOWUP_MONTH));
    for (size_t i = 0; i < ARRAYSIZE(kFilters); i++)
        SetWindowSubclass(RemarkItem(kFilters[i].id), RemarkFieldFilterProc, kFieldSubclassId, i);
    KeepEscapeInField(RemarkItem(IDC_RM_REMARK));
    NewRemarkRowCache();
    return TRUE;
}

// ---- Commands ---------------------------------------------------------------------

void Remark_OnShow(HWND dialog) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    RemarkList.ListViewBoxHide();
    ShowWindow(RemarkItem(IDC_RM_MSGBOX), SW_SHOW);
    ClearRemarkWindowFields();
    UpdateWindow(dialog);
    RemarkList.ListViewBoxClear();
    SetDlgItemTextW(dialog, IDC_RM_COUNT, Pick(L"0 row(no data)", L"0 baris(tiada data)"));
    SetListQuery(kShowQuery);
    int count = RemarkRowCache->refresh(CurrentListQuery, true);
    RemarkList.ListViewBoxSetItemCount(count);
    ShowRemarkCount(count);
    RemarkList.ListViewBoxShow();
    if (SoundOnFound == 1) MessageBeep(MB_ICONEXCLAMATION);
    ShowWindow(RemarkItem(IDC_RM_COUNT), SW_SHOW);
    ShowWindow(RemarkItem(IDC_RM_MSGBOX), SW_HIDE);
    UpdateWindow(dialog);
}

void Remark_OnSave(HWND dialog) {
    int selected = SelectedListRow(RemarkList.list);
    if (selected < 0) {
        ShowMessageBox(dialog,
                       Pick(L"Please choose the data row that you want to change first.",
                            L"Sila pilih baris data yang anda ingin tukar dahulu."),
                       ErrorCaption(), MB_OK);
        SetFocus(RemarkItem(IDC_RM_SAVE));
        return;
    }
    if (SaveRemarkForm(dialog, kFields) != 1) return;
    RemarkRowCache->refresh(CurrentListQuery, true);
    InvalidateRect(RemarkList.list, NULL, TRUE);
    SendMessageW(RemarkList.list, LVM_UPDATE, (WPARAM)selected, 0);
    SetFocus(RemarkItem(IDC_RM_SAVE));
}

BOOL Remark_OnCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_RM_SHOW: Remark_OnShow(dialog); return TRUE;
    case IDC_RM_SAVE: Remark_OnSave(dialog); return TRUE;
    case IDC_RM_DELETE_ROW: RemarkDeleteThisRow(dialog); return TRUE;
    case IDC_RM_DELETE_PAGE: RemarkDeleteThisPage(dialog); return TRUE;
    case IDC_RM_DELETE_ALL: RemarkDeleteAll(dialog); return TRUE;
    case IDC_RM_DELETE_BEFORE: RemarkDeleteBefore(dialog); return TRUE;
    case IDC_RM_PRINT_PAGE: RemarkPrint(dialog, false); return TRUE;
    case IDC_RM_PRINT_ALL: RemarkPrint(dialog, true); return TRUE;
    case IDC_RM_ARREARS:
    case IDC_RM_LASTPAY_DAY:
    case IDC_RM_LASTPAY_YEAR:
    case IDC_RM_BANK:
    case IDC_RM_REMARK:
        if (code != EN_SETFOCUS) return FALSE;
        PostMessageW(RemarkItem(id), EM_SETSEL, 0, -1);
        return TRUE;
    }
    return FALSE;  // IDCANCEL too: Esc does not close the window
}

BOOL Remark_OnNotify(HWND dialog, int id, NMHDR *header) {
    if (id != IDC_REMARK_LIST || header->hwndFrom != RemarkList.list) return FALSE;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, ColourRemarkRows(reinterpret_cast<NMLVCUSTOMDRAW *>(header)));
        return TRUE;
    case LVN_GETDISPINFOW: {
        LVITEMW &item = reinterpret_cast<NMLVDISPINFOW *>(header)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText != NULL && item.cchTextMax > 0)
            RemarkCellText(item.iItem, item.iSubItem, false, item.pszText, (size_t)item.cchTextMax);
        return FALSE;
    }
    case LVN_ODCACHEHINT: {
        NMLVCACHEHINT *hint = reinterpret_cast<NMLVCACHEHINT *>(header);
        RemarkRowCache->ensure_rows(CurrentListQuery, hint->iFrom, hint->iTo);
        return FALSE;
    }
    case NM_CLICK: {
        int row = SelectedListRow(RemarkList.list);
        if (row >= 0) RemarkRowToFields(row);
        return FALSE;
    }
    case LVN_KEYDOWN: {
        WORD key = reinterpret_cast<NMLVKEYDOWN *>(header)->wVKey;
        if (key != VK_UP && key != VK_DOWN) return FALSE;
        int row = SelectedListRow(RemarkList.list) + (key == VK_UP ? -1 : 1);
        if (row >= 0 && row < RemarkRowCache->row_count) RemarkRowToFields(row);
        return FALSE;
    }
    }
    return FALSE;
}

INT_PTR Remark_OnColourStatic(HDC dc, HWND control) {
    COLORREF colour;
    switch (GetDlgCtrlID(control)) {
    case IDC_RM_PLATE_LABEL: case IDC_RM_DATE_LABEL: case IDC_RM_REMARK_LABEL: case IDC_RM_FOLLOWUP_LABEL:
        colour = RGB(255, 0, 0);
        break;
    case IDC_RM_ARREARS_LABEL: case IDC_RM_BANK_LABEL: case IDC_RM_LAST_SAVED:
        colour = RGB(0, 0, 255);
        break;
    default:
        return FALSE;
    }
    SetTextColor(dc, colour);
    SetBkColor(dc, GetSysColor(COLOR_3DFACE));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(RemarkFaceBrush);
}

void Remark_OnClose(HWND dialog) {
    for (HGDIOBJ *object : {reinterpret_cast<HGDIOBJ *>(&RemarkFaceBrush), reinterpret_cast<HGDIOBJ *>(&RemarkEntryFont),
                            reinterpret_cast<HGDIOBJ *>(&RemarkLabelFont)}) {
        if (*object != NULL) DeleteObject(*object);
        *object = NULL;
    }
    EndDialog(dialog, 0);
}

}  // namespace

void ClearRemarkWindowFields(void) {
    for (int id : {IDC_RM_PLATE, IDC_RM_ARREARS, IDC_RM_LASTPAY_DAY, IDC_RM_LASTPAY_YEAR, IDC_RM_BANK, IDC_RM_REMARK})
        SetWindowTextW(RemarkItem(id), L"");
    SendMessageW(RemarkItem(IDC_RM_LASTPAY_MONTH), CB_SETCURSEL, 0, 0);
}

void RemarkRowToFields(int row) { FillRemarkFields(RemarkDialogHandle, RemarkList.list, row, kFields, true); }

void ShowRemarkCount(int count) { SetRowCountText(RemarkItem(IDC_RM_COUNT), count); }

INT_PTR CALLBACK RemarkDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return Remark_OnInit(dialog);
    case WM_COMMAND:
        return Remark_OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return Remark_OnNotify(dialog, (int)wParam, reinterpret_cast<NMHDR *>(lParam));
    case WM_CTLCOLORSTATIC:
        return Remark_OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CLOSE:
        Remark_OnClose(dialog);
        return TRUE;
    case WM_DESTROY:
        RemarkDialogHandle = NULL;
        RemarkList.ListViewBoxReset();
        return FALSE;
    }
    return FALSE;
}

void ShowRemarkWindow(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_REMARK), owner, RemarkDialogProc, 0);
}
