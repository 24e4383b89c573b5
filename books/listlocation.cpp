// The List Location window: the distinct locations of the diary with the
// number of rows at each, for the Diary window's location views to search.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

LocationQueryTexts LocationListQuery;
int LocationListVariant;
cached_alpha_view *LocationRowCache;
HWND ListLocationDialogHandle;
HBRUSH ListLocationBrush;

namespace {

enum {
    kViewChars = 256,
    kLocationChars = 256,  // a location as it is handed back
};

// One variant: the Diary views that choose it (English and Malay), its
// queries and the image its rows show (-1: none given).
struct LocationVariant {
    const WCHAR *englishView;
    const WCHAR *malayView;
    const char *rows;
    const char *count;
    int image;
};

// Grouping and ordering compare the stored text exactly, so locations that
// differ in letter case are listed apart; empty locations are left out.
// The unary + on C2 (a no-op on its values) keeps the engine off the C2
// index, which matches most of a large diary: the count then reads the
// table once instead of jumping from the index to each row, and the rows
// come in location order straight from the C8 index, so a page of the
// list stops as soon as it has its rows instead of sorting every group.
const LocationVariant kVariants[3] = {
    {NULL, NULL, "select C8, count(C8) from VLS where C8 <> '' group by C8 order by C8 asc",
     "select count(distinct C8) from VLS where C8 <> ''", -1},
    {L"Find the Location below [Found]", L"Cari Lokasi di bawah [Kena]",
     "select C8, count(C8) from VLS where +C2 >= 1 and C8 <> '' group by C8 order by C8 asc",
     "select count(distinct C8) from VLS where +C2 >= 1 and C8 <> ''", 1},
    {L"Find the Location below [New]", L"Cari Lokasi di bawah [Baru]",
     "select C8, count(C8) from VLS where +C2 = 2 and C8 <> '' group by C8 order by C8 asc",
     "select count(distinct C8) from VLS where +C2 = 2 and C8 <> ''", 2},
};

HWND LocationItem(int id) { return GetDlgItem(ListLocationDialogHandle, id); }

// The variant of a Diary view, its text compared without regard to case.
int VariantOfView(const WCHAR *view) {
    for (int v = 1; v < (int)ARRAYSIZE(kVariants); v++) {
        if (_wcsicmp(view, kVariants[v].englishView) == 0 || _wcsicmp(view, kVariants[v].malayView) == 0) return v;
    }
    return 0;
}

// The location of the list's selected row becomes the chosen one. Returns
// false when no row is selected.
bool TakeSelectedLocation(void) {
    int row = SelectedListRow(LocationList.list);
    if (row < 0) return false;
    ListCellText(LocationList.list, row, 0, VehicleDetailTexts[kDetailLocation], kLocationChars);
    return true;
}

// ---- Opening --------------------------------------------------------------------------------

BOOL ListLocation_OnInit(HWND dialog) {
    ListLocationDialogHandle = dialog;
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    SetWindowPos(dialog, NULL, 0, 0, SmallScreen ? 788 : 938, 537, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterWindowOnScreen(dialog);
    ListLocationBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    SetWindowTextW(dialog, Pick(L"List Location", L"List Lokasi"));
    SetDlgItemTextW(dialog, IDC_LL_MSGBOX, Pick(L"\r\nPlease Wait For A While ...", L"\r\nSila Tunggu Sebentar ..."));
    SetDlgItemTextW(dialog, IDC_LL_INFO,
                    Pick(L"Please click at the location that you want to choose and close this dialog box OR just "
                         L"double click at the row that you want to choose.",
                         L"Sila klik pada lokasi yang dikehendaki dan tutup dialog box ini ATAU double klik pada "
                         L"baris yang dikehendaki."));
    LocationList.ListViewBoxCreate(dialog, GetModuleHandleW(NULL), kListLocation, 1, 28, SmallScreen ? 780 : 930, 484,
                                   UseEnglish);
    InstallListKeyProc(LocationList.list, LocationListKeyProc);
    delete LocationRowCache;
    LocationRowCache = new cached_alpha_view(DiaryDb, "VLS");
    ShowWindow(LocationItem(IDC_LL_MSGBOX), SW_SHOW);
    LocationList.ListViewBoxClear();

    int count = LocationRowCache->refresh_with_count(LocationListQuery.rows, LocationListQuery.count, true);
    LocationList.ListViewBoxSetItemCount(count);
    if (count <= 0) {  // nothing to choose from: never shown
        EndDialog(dialog, 0);
        return TRUE;
    }
    SetRowCountText(LocationItem(IDC_LL_COUNT), count);
    LocationList.ListViewBoxShow();
    ShowWindow(LocationItem(IDC_LL_COUNT), SW_SHOW);
    ShowWindow(LocationItem(IDC_LL_MSGBOX), SW_HIDE);
    InvalidateRect(dialog, NULL, TRUE);
    return TRUE;
}

// ---- The list -------------------------------------------------------------------------------

void ListLocation_OnDisplayInfo(LVITEMW &item) {
    if ((item.mask & LVIF_IMAGE) && item.iSubItem == 0 && kVariants[LocationListVariant].image >= 0)
        item.iImage = kVariants[LocationListVariant].image;
    if (!(item.mask & LVIF_TEXT) || item.pszText == NULL || item.cchTextMax <= 0) return;
    if (item.iSubItem != 0 && item.iSubItem != 1) {
        item.pszText[0] = 0;
        return;
    }
    const char *cell = LocationRowCache != NULL
                           ? LocationRowCache->cell_text(LocationListQuery.rows, item.iItem, item.iSubItem)
                           : NULL;
    size_t room = (size_t)item.cchTextMax;
    if (room > (size_t)kLocationChars) room = kLocationChars;
    AnsiToWide(cell, item.pszText, room);
}

BOOL ListLocation_OnNotify(HWND dialog, NMHDR *header) {
    if (header->idFrom != IDC_LOCATION_LIST || header->hwndFrom != LocationList.list) return FALSE;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT,
                          ColourListLocationRows(reinterpret_cast<NMLVCUSTOMDRAW *>(header)));
        return TRUE;
    case LVN_GETDISPINFOW:
        ListLocation_OnDisplayInfo(reinterpret_cast<NMLVDISPINFOW *>(header)->item);
        return FALSE;
    case LVN_ODCACHEHINT: {
        NMLVCACHEHINT *hint = reinterpret_cast<NMLVCACHEHINT *>(header);
        if (LocationRowCache != NULL) LocationRowCache->ensure_rows(LocationListQuery.rows, hint->iFrom, hint->iTo);
        return FALSE;
    }
    case NM_CLICK:
        TakeSelectedLocation();  // the window stays open
        return FALSE;
    case NM_DBLCLK:
        if (!TakeSelectedLocation()) return FALSE;
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;  // LVN_KEYDOWN too: moving the selection chooses nothing
}

INT_PTR ListLocation_OnColourStatic(HDC dc, HWND control) {
    int id = GetDlgCtrlID(control);
    if (id != IDC_LL_COUNT && id != IDC_LL_INFO) return FALSE;
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(ListLocationBrush);
}

// Whatever way the window ends (unseen, double click, close box).
void ListLocation_OnDestroy(void) {
    if (ListLocationBrush != NULL) DeleteObject(ListLocationBrush);
    ListLocationBrush = NULL;
    delete LocationRowCache;
    LocationRowCache = NULL;
    LocationList.ListViewBoxReset();
    ListLocationDialogHandle = NULL;
}

}  // namespace

INT_PTR CALLBACK ListLocationDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return ListLocation_OnInit(dialog);
    case WM_NOTIFY:
        return ListLocation_OnNotify(dialog, reinterpret_cast<NMHDR *>(lParam));
    case WM_CTLCOLORSTATIC:
        return ListLocation_OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CLOSE:
        EndDialog(dialog, 0);  // the location clicked last stays chosen
        return TRUE;
    case WM_DESTROY:
        ListLocation_OnDestroy();
        return FALSE;
    }
    return FALSE;
}

void ChooseLocationListView(HWND diaryDialog) {
    WCHAR view[kViewChars] = {0};
    if (diaryDialog != NULL) GetDlgItemTextW(diaryDialog, IDC_LL_DIARY_VIEW, view, ARRAYSIZE(view));
    LocationListVariant = VariantOfView(view);
    const LocationVariant &variant = kVariants[LocationListVariant];
    StringCchCopyA(LocationListQuery.rows, ARRAYSIZE(LocationListQuery.rows), variant.rows);
    StringCchCopyA(LocationListQuery.count, ARRAYSIZE(LocationListQuery.count), variant.count);
}

int ShowListLocationWindow(HWND diaryDialog) {
    VehicleDetailTexts[kDetailLocation][0] = 0;
    ChooseLocationListView(diaryDialog);
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_LIST_LOCATION), diaryDialog,
                    ListLocationDialogProc, 0);
    return VehicleDetailTexts[kDetailLocation][0] != 0 ? 1 : 0;
}
