// The Diary window: every logged search, newest first, through an
// owner-data list and the row cache, narrowed by a view, a financier or a
// find text; the location and remark of a row can be corrected at the top.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

cached_alpha_view *DiaryRowCache;
char DiaryCountQuery[kListQueryBytes];

namespace {

struct ViewName {
    const WCHAR *english, *malay;
};

// The entries of the view combo, in the order of DiaryView.
const ViewName kViews[kDiaryViewCount] = {
    {L"All", L"Semua"},
    {L"Found Only", L"Yang Kena Saja"},
    {L"Found Only [New]", L"Yang Kena Saja [Baru]"},
    {L"Find the Plate No. below", L"Cari Plate No. di bawah"},
    {L"Find the Location below", L"Cari Lokasi di bawah"},
    {L"Find the Location below [Found]", L"Cari Lokasi di bawah [Kena]"},
    {L"Find the Location below [New]", L"Cari Lokasi di bawah [Baru]"},
    {L"Find the Remark below", L"Cari Remark di bawah"},
};

const ViewName kAnyFinancier = {L"Any type of Financier", L"Apa-apa jenis Bank"};

bool IsLocationView(DiaryView view) {
    return view == kDiaryViewLocation || view == kDiaryViewLocationFound || view == kDiaryViewLocationNew;
}

bool IsFindView(DiaryView view) { return view >= kDiaryViewPlate; }

// The financier combo's text without its leading blanks.
void ChosenFinancier(HWND dialog, WCHAR *out, int outChars) {
    GetDlgItemTextW(dialog, IDC_DIARY_FINANCIER, out, outChars);
    TrimLeadingBlanks(out);
}

bool IsAnyFinancier(const WCHAR *financier) {
    return _wcsicmp(financier, kAnyFinancier.english) == 0 || _wcsicmp(financier, kAnyFinancier.malay) == 0;
}

// The condition on C6 for a financier, quoted, into out. A name with a '-'
// (a financier's branch) takes that name alone; a name without one takes
// every C6 that begins with it (from the name up to the name with its last
// character raised by one). An empty name takes the rows without one.
bool FinancierCondition(const WCHAR *name, bool listing, WCHAR *out, size_t outChars) {
    WCHAR quoted[2 * kTextChars];
    if (!SqlQuote(name, quoted)) return false;
    size_t length = wcslen(name);
    if (length == 0 || wcschr(name, L'-') != NULL || name[length - 1] == 0xFFFF)
        return FormatJobStatement(out, outChars, L"C6 = '%ls'", quoted);  // the index gives these rows by rowid
    WCHAR bound[kTextChars], quotedBound[2 * kTextChars];
    TextCopy(bound, name);
    bound[length - 1] = (WCHAR)(bound[length - 1] + 1);
    if (!SqlQuote(bound, quotedBound)) return false;
    const WCHAR *column = listing ? L"+C6" : L"C6";
    return FormatJobStatement(out, outChars, L"%ls >= '%ls' and %ls < '%ls'", column, quoted, column, quotedBound);
}

void ShowFindMessage(HWND dialog, const WCHAR *english, const WCHAR *malay) {
    ShowMessageBox(dialog, Pick(english, malay), ErrorCaption(), MB_OK);
    SetFocus(GetDlgItem(dialog, IDC_DIARY_FIND));
    if (SoundOnFound == 1) MessageBeep(MB_ICONEXCLAMATION);
}

// ---- Edit keys ------------------------------------------------------------------------

const UINT_PTR kEditSubclassId = 4;

struct EditKeys {
    int id;
    int enterClick;  // the button Enter clicks
    int tabFocus;    // where Tab puts the focus
};

const EditKeys kEditKeys[] = {
    {IDC_DIARY_FIND, IDC_DIARY_SHOW, IDC_DIARY_SHOW},
    {IDC_DIARY_LOCATION_EDIT, IDC_DIARY_SAVE, IDC_DIARY_REMARK_EDIT},
    {IDC_DIARY_REMARK_EDIT, IDC_DIARY_SAVE, IDC_DIARY_SAVE},
};

LRESULT EditKeyProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR index, SUBCLASSPROC self) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(edit, self, kEditSubclassId);
    if (index >= ARRAYSIZE(kEditKeys)) return DefSubclassProc(edit, msg, wParam, lParam);
    const EditKeys &keys = kEditKeys[index];
    switch (msg) {
    case WM_GETDLGCODE:
        return DefSubclassProc(edit, msg, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            SendMessageW(GetDlgItem(GetParent(edit), keys.enterClick), BM_CLICK, 0, 0);
            return 0;
        }
        if (wParam == VK_TAB) {
            SetFocus(GetDlgItem(GetParent(edit), keys.tabFocus));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == '\t') return 0;  // handled as keys; no beep
        break;
    }
    return DefSubclassProc(edit, msg, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK DiaryFindEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR index) {
    return EditKeyProc(edit, msg, wParam, lParam, index, DiaryFindEditProc);
}

LRESULT CALLBACK DiaryLocationEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR index) {
    return EditKeyProc(edit, msg, wParam, lParam, index, DiaryLocationEditProc);
}

LRESULT CALLBACK DiaryRemarkEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR index) {
    return EditKeyProc(edit, msg, wParam, lParam, index, DiaryRemarkEditProc);
}

DiaryView ChosenDiaryView(HWND dialog) {
    WCHAR text[kTextChars];
    GetDlgItemTextW(dialog, IDC_DIARY_VIEW, text, ARRAYSIZE(text));
    for (int i = 0; i < kDiaryViewCount; i++) {
        if (_wcsicmp(text, kViews[i].english) == 0 || _wcsicmp(text, kViews[i].malay) == 0)
            return (DiaryView)i;
    }
    return kDiaryViewPlate;
}

bool FormatDiaryQuery(DiaryView view, const WCHAR *financier, const WCHAR *findText, WCHAR *out,
                      size_t outChars) {
    return FormatDiaryQueryOf(view, financier, findText, false, out, outChars);
}

// The list's SELECT, or with counting the count of its rows. The rows of a
// financier's name prefix are listed with the indexes of C2 and C6 set
// aside ("+"), so that the engine walks the rows by rowid and stops once a
// page is full instead of sorting every row of the financier for each
// page; the count uses the index of C6.
bool FormatDiaryQueryOf(DiaryView view, const WCHAR *financier, const WCHAR *findText, bool counting, WCHAR *out,
                        size_t outChars) {
    const WCHAR *head = counting ? L"select count(*) from VLS" : L"select *,rowid from VLS";
    const WCHAR *order = counting ? L"" : L" order by RowID desc";
    if (view <= kDiaryViewFoundNew) {
        if (IsAnyFinancier(financier)) {
            static const WCHAR *const kWhole[] = {L"", L" where C2 >= 1", L" where C2 = 2"};
            return FormatJobStatement(out, outChars, L"%ls%ls%ls", head, kWhole[view], order);
        }
        static const WCHAR *const kListed[] = {L"", L"+C2 >= 1 and ", L"+C2 = 2 and "};
        static const WCHAR *const kCounted[] = {L"", L"C2 >= 1 and ", L"C2 = 2 and "};
        WCHAR condition[kStatementChars];
        if (!FinancierCondition(financier, !counting, condition, ARRAYSIZE(condition))) return false;
        return FormatJobStatement(out, outChars, L"%ls where %ls%ls%ls", head, counting ? kCounted[view] : kListed[view],
                                  condition, order);
    }
    if (view == kDiaryViewPlate) {
        char plate[kCipherFieldBytes];
        EncodeField(LocalCipher, findText, plate);
        WCHAR widePlate[kCipherFieldBytes], quoted[2 * kCipherFieldBytes];
        AnsiToWide(plate, widePlate, ARRAYSIZE(widePlate));
        if (!SqlQuote(widePlate, quoted)) return false;
        return FormatJobStatement(out, outChars, L"%ls where C3 = '%ls'%ls", head, quoted, order);
    }
    WCHAR quoted[2 * kTextChars];
    if (wcslen(findText) >= kTextChars || !SqlQuote(findText, quoted)) return false;
    const WCHAR *condition = view == kDiaryViewLocation        ? L"C8 like"
                             : view == kDiaryViewLocationFound ? L"C2 >= 1 and C8 like"
                             : view == kDiaryViewLocationNew   ? L"C2 = 2 and C8 like"
                                                               : L"C10 like";
    return FormatJobStatement(out, outChars, L"%ls where %ls '%%%ls%%'%ls", head, condition, quoted, order);
}

void ClearDiaryEdits(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_DIARY_LOCATION_EDIT, L"");
    SetDlgItemTextW(dialog, IDC_DIARY_REMARK_EDIT, L"");
}

void SetDiaryNoDataText(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, Pick(L"0 row(no data)", L"0 baris(tiada data)"));
}

int RefreshDiaryRows(void) {
    if (DiaryRowCache == NULL) return 0;
    if (DiaryCountQuery[0] == 0) return DiaryRowCache->refresh(CurrentListQuery, true);
    return DiaryRowCache->refresh_with_count(CurrentListQuery, DiaryCountQuery, true);
}

bool DiaryCellText(int row, int subItem, WCHAR *out, size_t outChars) {
    static const int kColumns[10] = {0, 2, 6, 3, 4, 5, 7, 9, 10, 11};
    if (outChars == 0) return false;
    out[0] = 0;
    if (subItem < 0 || subItem > 9 || DiaryRowCache == NULL) return false;
    const char *cell = DiaryRowCache->cell_text(CurrentListQuery, row, kColumns[subItem]);
    bool enciphered = subItem >= 1 && subItem <= 4;
    if (cell == DiaryRowCache->error_text || !enciphered) {
        AnsiToWide(cell, out, outChars);
        return true;
    }
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, cell != NULL ? cell : "", plain);
    TextCopyN(out, outChars, plain);
    return true;
}

int DiaryRowImage(int row) {
    if (DiaryRowCache == NULL) return 2;
    const char *found = DiaryRowCache->cell_text(CurrentListQuery, row, 1);
    if (found != NULL && strcmp(found, "0") == 0) return 0;
    if (found != NULL && strcmp(found, "1") == 0) return 1;
    return 2;
}

void RunDiaryShow(HWND dialog) {
    DiaryList.ListViewBoxHide();
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    ClearDiaryEdits(dialog);
    UpdateWindow(dialog);
    DiaryList.ListViewBoxClear();
    SetDiaryNoDataText(dialog);

    DiaryView view = ChosenDiaryView(dialog);
    WCHAR financier[kTextChars], find[kTextChars];
    ChosenFinancier(dialog, financier, ARRAYSIZE(financier));
    find[0] = 0;
    HWND findBox = GetDlgItem(dialog, IDC_DIARY_FIND);
    bool tooLong = false;
    if (IsFindView(view)) {
        tooLong = GetWindowTextLengthW(findBox) >= kTextChars;  // never searched for a cut text
        if (!tooLong) GetWindowTextW(findBox, find, ARRAYSIZE(find));
        if (!tooLong && find[0] == 0) {
            if (IsLocationView(view))
                ShowFindMessage(dialog, L"Please key in the Location in the find box first.",
                                L"Masukkan Lokasi di dalam kotak carian dulu.");
            else if (view == kDiaryViewRemark)
                ShowFindMessage(dialog, L"Please key in the Remark in the find box first.",
                                L"Masukkan Remark di dalam kotak carian dulu.");
            else
                ShowFindMessage(dialog, L"Please key in the Plate No. in the find box first.",
                                L"Masukkan Plate No. di dalam kotak carian dulu.");
            ShowItem(dialog, IDC_DIARY_MSGBOX, false);
            UpdateWindow(dialog);
            return;
        }
    }
    WCHAR query[kStatementChars], countQuery[kStatementChars];
    if (tooLong || !FormatDiaryQueryOf(view, financier, find, false, query, ARRAYSIZE(query)) ||
        !FormatDiaryQueryOf(view, financier, find, true, countQuery, ARRAYSIZE(countQuery)) ||
        !WideToAnsi(countQuery, DiaryCountQuery, sizeof DiaryCountQuery) || !SetListQuery(query)) {
        DiaryCountQuery[0] = 0;
        ShowFindMessage(dialog, L"The text in the find box is too long to search for.",
                        L"Teks di dalam kotak carian terlalu panjang untuk dicari.");
        ShowItem(dialog, IDC_DIARY_MSGBOX, false);
        UpdateWindow(dialog);
        return;
    }
    int count = RefreshDiaryRows();
    DiaryList.ListViewBoxSetItemCount(count);
    SetRowCountText(GetDlgItem(dialog, IDC_DIARY_COUNT), count);
    DiaryList.ListViewBoxShow();
    if (SoundOnFound == 1) MessageBeep(MB_ICONEXCLAMATION);
    ShowItem(dialog, IDC_DIARY_COUNT, true);
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    SetFocus(findBox);
    UpdateWindow(dialog);
}

namespace {

// ---- Opening ------------------------------------------------------------------------

BOOL Diary_OnInit(HWND dialog) {
    DiaryDialogHandle = dialog;
    SetWindowTextW(dialog, L"Korvane Diary");
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(dialog, NULL, 0, 0, screenWidth, screenHeight + 5, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int kBottomRow[][2] = {{IDC_DIARY_DELETE_ALL, 3},     {IDC_DIARY_DELETE_ROW, 132},
                                 {IDC_DIARY_DELETE_PAGE, 272},  {IDC_DIARY_DELETE_OWNER, 412},
                                 {IDC_DIARY_OWNER, 542},        {IDC_DIARY_DELETE_BEFORE, 709},
                                 {IDC_DIARY_BEFORE_MONTH, 839}, {IDC_DIARY_BEFORE_YEAR, 899}};
    for (const auto &place : kBottomRow)
        SetWindowPos(GetDlgItem(dialog, place[0]), NULL, place[1], screenHeight - 58, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    if (SmallScreen) {
        RECT owner;
        GetWindowRect(GetDlgItem(dialog, IDC_DIARY_OWNER), &owner);
        SetWindowPos(GetDlgItem(dialog, IDC_DIARY_OWNER), NULL, 0, 0, owner.right - owner.left - 10,
                     owner.bottom - owner.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    SendDlgItemMessageW(dialog, IDC_DIARY_BEFORE_YEAR, EM_LIMITTEXT, 4, 0);
    FillMonthCombo(GetDlgItem(dialog, IDC_DIARY_BEFORE_MONTH));
    CenterWindowOnScreen(dialog);

    struct Label {
        int id;
        const WCHAR *english, *malay;
    };
    static const Label kLabels[] = {
        {IDC_DIARY_MSGBOX, L"\r\nPlease Wait For A While ...", L"\r\nSila Tunggu Sebentar ..."},
        {IDC_DIARY_SHOW, L"Show", L"Paparkan"},
        {IDC_DIARY_DELETE_ALL, L"Delete All Data", L"Padam Semua Data"},
        {IDC_DIARY_DELETE_ROW, L"Delete This Row [F4]", L"Padam Baris Ini [F4]"},
        {IDC_DIARY_LOCATION_LABEL, L"Location", L"Lokasi"},
        {IDC_DIARY_SAVE, L"Save Changes =>", L"Save Pertukaran =>"},
        {IDC_DIARY_DELETE_OWNER, L"Delete Diary Owner =>", L"Padam Diary Owner =>"},
        {IDC_DIARY_DELETE_PAGE, L"Delete This Page", L"Padam Mukasurat Ini"},
        {IDC_DIARY_LIST_LOCATION, L"<- List Location", L"<- List Lokasi"},
        {IDC_DIARY_DELETE_BEFORE, L"Delete Before This =>", L"Padam Sebelum Ini =>"},
    };
    for (const Label &label : kLabels) SetDlgItemTextW(dialog, label.id, Pick(label.english, label.malay));
    SendDlgItemMessageW(dialog, IDC_DIARY_LOCATION_EDIT, EM_LIMITTEXT, 100, 0);
    SendDlgItemMessageW(dialog, IDC_DIARY_REMARK_EDIT, EM_LIMITTEXT, 100, 0);
    SendDlgItemMessageW(dialog, IDC_DIARY_OWNER, EM_LIMITTEXT, 20, 0);

    DiaryList.ListViewBoxCreate(dialog, GetModuleHandleW(NULL), kListDiary, 1, 60, screenWidth - 20,
                                screenHeight - 121, UseEnglish);
    SplitWideListColumns();
    DiaryList.ListViewBoxHide();
    InstallListKeyProc(DiaryList.list, DiaryListKeyProc);

    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    ShowItem(dialog, IDC_DIARY_LIST_LOCATION, false);
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");

    HWND views = GetDlgItem(dialog, IDC_DIARY_VIEW);
    for (const ViewName &view : kViews) SendMessageW(views, CB_ADDSTRING, 0, (LPARAM)Pick(view.english, view.malay));
    SendMessageW(views, CB_SETCURSEL, 0, 0);
    HWND financiers = GetDlgItem(dialog, IDC_DIARY_FINANCIER);
    SendMessageW(financiers, CB_ADDSTRING, 0, (LPARAM)Pick(kAnyFinancier.english, kAnyFinancier.malay));
    SelectSql(DataDb, L"select C1 from FLD", kModeFinancierList);
    SendMessageW(financiers, CB_SETCURSEL, 0, 0);
    ShowItem(dialog, IDC_DIARY_FINANCIER, true);
    ShowItem(dialog, IDC_DIARY_FIND, false);

    SetWindowSubclass(GetDlgItem(dialog, IDC_DIARY_FIND), DiaryFindEditProc, kEditSubclassId, 0);
    SetWindowSubclass(GetDlgItem(dialog, IDC_DIARY_LOCATION_EDIT), DiaryLocationEditProc, kEditSubclassId, 1);
    SetWindowSubclass(GetDlgItem(dialog, IDC_DIARY_REMARK_EDIT), DiaryRemarkEditProc, kEditSubclassId, 2);

    delete DiaryRowCache;
    DiaryRowCache = new cached_alpha_view(DiaryDb, "VLS");
    CurrentListQuery[0] = 0;
    DiaryCountQuery[0] = 0;
    SetFocus(GetDlgItem(dialog, IDC_DIARY_SHOW));
    return FALSE;
}

// ---- Views and rows ---------------------------------------------------------------------

void Diary_OnViewChange(HWND dialog) {
    DiaryView view = ChosenDiaryView(dialog);
    if (IsFindView(view)) {
        ShowItem(dialog, IDC_DIARY_FINANCIER, false);
        ShowItem(dialog, IDC_DIARY_FIND, true);
        ShowItem(dialog, IDC_DIARY_LIST_LOCATION, IsLocationView(view));
        SetFocus(GetDlgItem(dialog, IDC_DIARY_FIND));
        return;
    }
    DiaryList.ListViewBoxHide();
    SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");
    ShowItem(dialog, IDC_DIARY_FINANCIER, true);
    ShowItem(dialog, IDC_DIARY_FIND, false);
    ShowItem(dialog, IDC_DIARY_LIST_LOCATION, false);
}

// Fills the find box (by the view), the location and the remark edits
// from row of the list.
void RowToEdits(HWND dialog, int row) {
    HWND list = DiaryList.list;
    WCHAR location[kTextChars], remark[kTextChars];
    ListCellText(list, row, 6, location, ARRAYSIZE(location));
    ListCellText(list, row, 7, remark, ARRAYSIZE(remark));
    DiaryView view = ChosenDiaryView(dialog);
    if (IsLocationView(view)) {
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, location);
    } else if (view == kDiaryViewRemark) {
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, remark);
    } else {
        WCHAR plate[kTextChars];
        ListCellText(list, row, 1, plate, ARRAYSIZE(plate));
        SetDlgItemTextW(dialog, IDC_DIARY_FIND, plate);
    }
    SetDlgItemTextW(dialog, IDC_DIARY_LOCATION_EDIT, location);
    SetDlgItemTextW(dialog, IDC_DIARY_REMARK_EDIT, remark);
}

void Diary_OnDoubleClick(HWND dialog) {
    HWND list = DiaryList.list;
    int row = SelectedListRow(list);
    if (row < 0) return;
    WCHAR financier[kTextChars];
    ChosenFinancier(dialog, financier, ARRAYSIZE(financier));
    if (ChosenDiaryView(dialog) == kDiaryViewAll && IsAnyFinancier(financier)) {
        for (int i = 0; i < kVehicleDetailCount; i++)
            ListCellText(list, row, i + 1, VehicleDetailTexts[i], kVehicleDetailChars);
        DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_VEHICLE_DETAILS), dialog,
                        VehicleDetailsDialogProc, 0);
        return;
    }
    WCHAR rowId[32];
    ListCellText(list, row, 9, rowId, ARRAYSIZE(rowId));
    ResetDiaryFilters(_wtoi(rowId));
}

BOOL Diary_OnNotify(HWND dialog, int id, NMHDR *header) {
    if (id != IDC_DIARY_LIST || header->hwndFrom != DiaryList.list) return FALSE;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, ColourDiaryRows(reinterpret_cast<NMLVCUSTOMDRAW *>(header)));
        return TRUE;
    case LVN_GETDISPINFOW: {
        LVITEMW &item = reinterpret_cast<NMLVDISPINFOW *>(header)->item;
        if (item.mask & LVIF_IMAGE) item.iImage = item.iSubItem == 0 ? DiaryRowImage(item.iItem) : -1;  // icons in the first column only
        if ((item.mask & LVIF_TEXT) && item.pszText != NULL && item.cchTextMax > 0)
            DiaryCellText(item.iItem, item.iSubItem, item.pszText, (size_t)item.cchTextMax);
        return FALSE;
    }
    case LVN_ODCACHEHINT: {
        NMLVCACHEHINT *hint = reinterpret_cast<NMLVCACHEHINT *>(header);
        if (DiaryRowCache != NULL) DiaryRowCache->ensure_rows(CurrentListQuery, hint->iFrom, hint->iTo);
        return FALSE;
    }
    case NM_CLICK: {
        int row = SelectedListRow(DiaryList.list);
        if (row >= 0) RowToEdits(dialog, row);
        return FALSE;
    }
    case LVN_KEYDOWN: {
        WORD key = reinterpret_cast<NMLVKEYDOWN *>(header)->wVKey;
        if (key != VK_UP && key != VK_DOWN) return FALSE;
        int selected = SelectedListRow(DiaryList.list);
        if (selected < 0) return FALSE;
        int row = selected + (key == VK_UP ? -1 : 1);
        if (row >= 0 && row < DiaryList.ListViewBoxGetItemCount()) RowToEdits(dialog, row);
        return FALSE;
    }
    case NM_DBLCLK:
        Diary_OnDoubleClick(dialog);
        return FALSE;
    }
    return FALSE;
}

BOOL Diary_OnCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_DIARY_SHOW: {
        JobBusyGuard busy;
        if (busy.acquired()) RunDiaryShow(dialog);
        return TRUE;
    }
    case IDC_DIARY_SAVE: DiarySaveChanges(dialog); return TRUE;
    case IDC_DIARY_DELETE_ALL: DiaryDeleteAll(dialog); return TRUE;
    case IDC_DIARY_DELETE_ROW: DiaryDeleteThisRow(dialog); return TRUE;
    case IDC_DIARY_DELETE_PAGE: DiaryDeleteThisPage(dialog); return TRUE;
    case IDC_DIARY_DELETE_OWNER: DiaryDeleteOwner(dialog); return TRUE;
    case IDC_DIARY_DELETE_BEFORE: DiaryDeleteBefore(dialog); return TRUE;
    case IDC_DIARY_LIST_LOCATION: DiaryListLocation(dialog); return TRUE;
    case IDC_DIARY_PRINT: return FALSE;  // the button does nothing
    case IDC_DIARY_VIEW:
        if (code == CBN_SELCHANGE) Diary_OnViewChange(dialog);
        return FALSE;
    case IDC_DIARY_FINANCIER:
        if (code == CBN_SELCHANGE) {
            DiaryList.ListViewBoxHide();
            SetDlgItemTextW(dialog, IDC_DIARY_COUNT, L"");
        }
        return FALSE;
    case IDC_DIARY_FIND:
    case IDC_DIARY_LOCATION_EDIT:
    case IDC_DIARY_REMARK_EDIT:
        if (code != EN_SETFOCUS) return FALSE;
        PostMessageW(GetDlgItem(dialog, id), EM_SETSEL, 0, -1);
        return TRUE;
    }
    return FALSE;  // IDCANCEL too: the window ends by its close box only
}

void Diary_OnDestroy(void) {
    DiaryDialogHandle = NULL;
    DiaryList.ListViewBoxReset();
    delete DiaryRowCache;
    DiaryRowCache = NULL;
    CurrentListQuery[0] = 0;
    DiaryCountQuery[0] = 0;
}

}  // namespace

void ResetDiaryFilters(int rowId) {
    HWND dialog = DiaryDialogHandle;
    if (dialog == NULL) return;
    SendDlgItemMessageW(dialog, IDC_DIARY_VIEW, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, IDC_DIARY_FINANCIER, CB_SETCURSEL, 0, 0);
    ShowItem(dialog, IDC_DIARY_FINANCIER, true);
    ShowItem(dialog, IDC_DIARY_FIND, false);
    ShowItem(dialog, IDC_DIARY_MSGBOX, true);
    UpdateWindow(dialog);
    DiaryList.ListViewBoxClear();
    SetDiaryNoDataText(dialog);
    SetListQuery(L"select *,rowid from VLS order by RowID desc");
    DiaryCountQuery[0] = 0;
    int count = RefreshDiaryRows();
    DiaryList.ListViewBoxSetItemCount(count);
    SetRowCountText(GetDlgItem(dialog, IDC_DIARY_COUNT), count);
    // The row's place among all rows, newest first: the rows above it are
    // those of a higher rowid (rowids need not run 1 to n once rows went).
    int index = -1;
    if (DiaryRowCache != NULL) {
        char countSql[96];
        StringCchPrintfA(countSql, ARRAYSIZE(countSql), "select count(*) from VLS where rowid > %d", rowId);
        int lastCount = DiaryRowCache->last_count;
        index = DiaryRowCache->count_with_sql(countSql);
        DiaryRowCache->last_count = lastCount;
    }
    if (index >= 0 && index < count) {
        HWND list = DiaryList.list;
        SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)index, TRUE);
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)index, (LPARAM)&state);
    }
    if (SoundOnFound == 1) MessageBeep(MB_ICONEXCLAMATION);
    DiaryList.ListViewBoxShow();
    ShowItem(dialog, IDC_DIARY_COUNT, true);
    ShowItem(dialog, IDC_DIARY_MSGBOX, false);
    UpdateWindow(dialog);
}

INT_PTR CALLBACK DiaryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return Diary_OnInit(dialog);
    case WM_COMMAND:
        return Diary_OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return Diary_OnNotify(dialog, (int)wParam, reinterpret_cast<NMHDR *>(lParam));
    case WM_SIZE:
        ResizeDialogEditBoxes();
        return 0;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        Diary_OnDestroy();
        return FALSE;
    }
    return FALSE;
}

void ShowDiaryWindow(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_DIARY), owner, DiaryDialogProc, 0);
}
