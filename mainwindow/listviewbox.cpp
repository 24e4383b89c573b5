// The list-view wrapper and its six lists.
#include "listviewbox.h"

#include <commctrl.h>

#include "resource.h"

ListViewBox ResultList;
ListViewBox DiaryList;
ListViewBox ContactList;
ListViewBox FoundVehicleList;
ListViewBox RemarkList;
ListViewBox LocationList;

namespace {

struct ListColumn {
    const WCHAR *english;
    const WCHAR *malay;
    int width;
};

struct ListKindInfo {
    int id;
    DWORD styles;        // besides the ones every kind has
    DWORD exStyles;      // extended list-view styles
    bool icons;
    const ListColumn *columns;
    int columnCount;
};

const ListColumn kResultColumns[] = {
    {L"Plate No.", L"No. Plate", 150},   {L"Arr", L"Tunggakkan", 75},
    {L"LastPayment", L"LastPayment", 160}, {L"Description", L"Penjelasan", 280},
    {L"Financier", L"Bank", 800},
};
const ListColumn kDiaryColumns[] = {
    {L"Find Date", L"Tarikh Cari", 135},   {L"PlateNo", L"No Kereta", 70},
    {L"Arr", L"Tunggakkan", 35},           {L"LastPayment", L"LastPayment", 80},
    {L"Description", L"Penjelasan", 170},  {L"Financier", L"Bank", 190},
    {L"Location", L"Lokasi", 240},         {L"Remark", L"Remark", 300},
    {L"Diary Owner", L"Diary Owner", 100}, {L"RowID", L"RowID", 0},
};
const ListColumn kContactColumns[] = {
    {L"For new data, please contact", L"Untuk data terbaru, sila hubungi", 960},
};
const ListColumn kFoundColumns[] = {
    {L"Found vehicle list", L"Kenderaan yang kena", 1800},
};
const ListColumn kRemarkColumns[] = {
    {L"Last Saved at", L"Last Saved at", 115}, {L"FollowUp", L"FollowUp", 80},
    {L"PlateNo", L"PlateNo", 70},              {L"ArrearNo", L"ArrearNo", 35},
    {L"LastPayment", L"LastPayment", 80},      {L"Bank", L"Bank", 190},
    {L"Remark", L"Remark", 300},               {L"RowID", L"RowID", 0},
};
const ListColumn kLocationColumns[] = {
    {L"List Location", L"List Lokasi", 760},
    {L"Vehicle Count", L"Bilangan Kenderaan", 150},
};

const ListKindInfo kKinds[6] = {
    {IDC_RESULT_LIST, 0, LVS_EX_FULLROWSELECT, false, kResultColumns, ARRAYSIZE(kResultColumns)},
    {IDC_DIARY_LIST, LVS_OWNERDATA | WS_VSCROLL, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES, true,
     kDiaryColumns, ARRAYSIZE(kDiaryColumns)},
    {IDC_CONTACT_LIST, 0, LVS_EX_FULLROWSELECT, false, kContactColumns, ARRAYSIZE(kContactColumns)},
    {IDC_FOUND_VEHICLE_LIST, LVS_NOCOLUMNHEADER, LVS_EX_FULLROWSELECT, false, kFoundColumns,
     ARRAYSIZE(kFoundColumns)},
    {IDC_REMARK_LIST, LVS_OWNERDATA | WS_VSCROLL, LVS_EX_FULLROWSELECT, false, kRemarkColumns,
     ARRAYSIZE(kRemarkColumns)},
    {IDC_LOCATION_LIST, LVS_OWNERDATA | WS_VSCROLL, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES,
     true, kLocationColumns, ARRAYSIZE(kLocationColumns)},
};

}  // namespace

void ListViewBox::ListViewBoxCreate(HWND parentWindow, HINSTANCE instanceHandle, int listKind,
                                    int x, int y, int width, int height, int language) {
    parent = parentWindow;
    instance = instanceHandle;
    kind = listKind;
    if (listKind < 0 || listKind > 5) return;
    const ListKindInfo &info = kKinds[listKind];

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);

    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                  LVS_SHOWSELALWAYS | info.styles;
    list = CreateWindowExW(0, WC_LISTVIEWW, L"", style, x, y, width, height, parentWindow,
                           (HMENU)(INT_PTR)info.id, instanceHandle, NULL);
    if (list == NULL) return;

    if (info.icons && !ListViewBoxAddIcons(list)) return;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, info.exStyles);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

    for (int i = 0; i < info.columnCount; i++) {
        const ListColumn &column = info.columns[i];
        int columnWidth = column.width;
        if (listKind == kListLocation && width < 801) columnWidth = i == 0 ? 650 : 110;
        LVCOLUMNW lvc;
        ZeroMemory(&lvc, sizeof lvc);
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvc.fmt = LVCFMT_LEFT;
        lvc.cx = columnWidth;
        lvc.pszText = const_cast<WCHAR *>(language == 1 ? column.english : column.malay);
        lvc.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, (LPARAM)&lvc);
    }
}

int ListViewBox::ListViewBoxAddIcons(HWND listWindow) {
    HIMAGELIST images = ImageList_Create(16, 16, 0, 3, 0);
    if (images == NULL) return 0;
    for (int n = 0; n < 3; n++) {
        HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_LIST_CROSS + n));
        if (ImageList_ReplaceIcon(images, -1, icon) == -1) {
            ImageList_Destroy(images);
            return 0;
        }
    }
    SendMessageW(listWindow, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)images);
    return 1;
}

void ListViewBox::ListViewBoxSetItemCount(int count) {
    if (list) SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

int ListViewBox::ListViewBoxInsertItem(int index, const WCHAR *text) {
    if (list == NULL) return -1;
    LVITEMW item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = 0;
    item.pszText = const_cast<WCHAR *>(text);
    return (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
}

int ListViewBox::ListViewBoxGetItemCount() {
    return list ? (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : 0;
}

void ListViewBox::ListViewBoxClear() {
    if (list) SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

void ListViewBox::ListViewBoxHide() {
    if (list) ShowWindow(list, SW_HIDE);
}

void ListViewBox::ListViewBoxShow() {
    if (list) ShowWindow(list, SW_SHOW);
}

void ListViewBox::ListViewBoxSetLanguage(int language) {
    if (list == NULL || kind < 0 || kind > 5) return;
    const ListKindInfo &info = kKinds[kind];
    for (int i = 0; i < info.columnCount; i++) {
        LVCOLUMNW lvc;
        ZeroMemory(&lvc, sizeof lvc);
        lvc.mask = LVCF_TEXT;
        lvc.pszText = const_cast<WCHAR *>(language == 1 ? info.columns[i].english : info.columns[i].malay);
        SendMessageW(list, LVM_SETCOLUMNW, i, (LPARAM)&lvc);
    }
}
