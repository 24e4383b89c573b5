// The lists of the record-book windows: their shared state, row colours and
// delete keys.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include "books.h"
#include "datastore.h"
#include "resource.h"
#include "sqlexec.h"

char CurrentListQuery[kListQueryBytes];
cached_alpha_view *RemarkRowCache;
SortedIdList PageRowIds;
HWND FollowUpDialogHandle;
HWND RemarkDialogHandle;
HWND DiaryDialogHandle;
HWND SelectionMoveList;
int SelectionMoveFrom = -1;
BYTE LocationBandFlag;
WCHAR LocationBandText[256];

namespace {

const COLORREF kWhite = 0xFFFFFF;
const COLORREF kLocationOdd = 0xF4F0C0;  // red 192, green 240, blue 244
const COLORREF kRemarkOdd = 0xD2FFD2;
const COLORREF kDiaryOdd = 0xAAFFFF;
const COLORREF kBandFlag1 = 0xFFDCDC;
const COLORREF kBandFlag0 = 0xE0EEF4;

enum { kDiaryLocationColumn = 6 };

// The stages every handler shares; true when the cell stage set the row
// colour (and *result is CDRF_NEWFONT).
bool ColourRow(NMLVCUSTOMDRAW *draw, COLORREF odd, LRESULT *result) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW;
        return false;
    case CDDS_ITEMPREPAINT:
        *result = CDRF_NOTIFYSUBITEMDRAW;
        return false;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        draw->clrTextBk = (draw->nmcd.dwItemSpec % 2 == 0) ? kWhite : odd;
        *result = CDRF_NEWFONT;
        return true;
    default:
        *result = CDRF_DODEFAULT;
        return false;
    }
}

const UINT_PTR kListKeySubclassId = 2;

bool KeyIsDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// True for the keys and clicks by which the list itself moves its one
// selected row: the arrows up and down, Page Up, Page Down, Home and End,
// and the left button on a row, each without Shift or Ctrl.
bool MovesSelection(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN) {
        switch (wParam) {
        case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END:
            return !KeyIsDown(VK_SHIFT) && !KeyIsDown(VK_CONTROL);
        default:
            return false;
        }
    }
    if (msg != WM_LBUTTONDOWN || (wParam & (MK_SHIFT | MK_CONTROL)) != 0) return false;
    LVHITTESTINFO hit = {};
    hit.pt.x = (short)LOWORD(lParam);
    hit.pt.y = (short)HIWORD(lParam);
    return SendMessageW(list, LVM_SUBITEMHITTEST, 0, (LPARAM)&hit) >= 0 && hit.iItem >= 0;
}

void SetRowSelected(HWND list, int row, bool selected) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

// When a key or click moves the one selected row of a list, the list
// control first clears the selection of every row but the new one. Some
// controls (Wine's among them) walk every row of an owner-data list to do
// that: a third of a second for each key on a million rows. Here the
// selected row is deselected first, so there is nothing to clear and the
// move costs the same at any length. Meanwhile that row still counts as
// the selected one (SelectedListRow, for the windows' key handlers), and
// it is selected again when the list moved nowhere (Down on the last row).
LRESULT MoveSelectionQuickly(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    int from = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    if (from < 0 || SelectionMoveList != NULL) return DefSubclassProc(list, msg, wParam, lParam);
    SetRowSelected(list, from, false);
    SelectionMoveList = list;
    SelectionMoveFrom = from;
    LRESULT result = DefSubclassProc(list, msg, wParam, lParam);
    SelectionMoveList = NULL;
    SelectionMoveFrom = -1;
    if (IsWindow(list) && SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED) < 0 &&
        from < (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) {
        SetRowSelected(list, from, true);
    }
    return result;
}

// The key filter every book list shares: Delete and F4 click the row
// button of dialog (none when dialog is NULL), the moves of the selection
// go through MoveSelectionQuickly, and the rest to the list.
LRESULT BookListMessage(HWND dialog, int button, HWND list, UINT msg, WPARAM wParam, LPARAM lParam,
                        SUBCLASSPROC self) {
    if (msg == WM_KEYDOWN && dialog != NULL && (wParam == VK_DELETE || wParam == VK_F4)) {
        HWND target = GetDlgItem(dialog, button);
        if (target != NULL) SendMessageW(target, BM_CLICK, 0, 0);
        return 0;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(list, self, kListKeySubclassId);
    if (MovesSelection(list, msg, wParam, lParam)) return MoveSelectionQuickly(list, msg, wParam, lParam);
    return DefSubclassProc(list, msg, wParam, lParam);
}

}  // namespace

bool SetListQuery(const WCHAR *query) {
    char ansi[kListQueryBytes];
    if (!WideToAnsi(query, ansi, sizeof ansi)) return false;
    memcpy(CurrentListQuery, ansi, sizeof ansi);
    return true;
}

void SetRowCountText(HWND label, int count) {
    WCHAR text[64];
    if (UseEnglish)
        StringCchPrintfW(text, ARRAYSIZE(text), count <= 1 ? L"%d row" : L"%d rows", count);
    else
        StringCchPrintfW(text, ARRAYSIZE(text), L"%d baris", count);
    SetWindowTextW(label, text);
}

void NewRemarkRowCache(void) {
    delete RemarkRowCache;
    RemarkRowCache = new cached_alpha_view(RemarkDb, "VLS");
}

LRESULT ColourListLocationRows(NMLVCUSTOMDRAW *draw) {
    LRESULT result;
    ColourRow(draw, kLocationOdd, &result);
    return result;
}

LRESULT ColourRemarkRows(NMLVCUSTOMDRAW *draw) {
    LRESULT result;
    ColourRow(draw, kRemarkOdd, &result);
    return result;
}

LRESULT ColourDiaryRows(NMLVCUSTOMDRAW *draw) {
    LRESULT result;
    if (!ColourRow(draw, kDiaryOdd, &result) || draw->iSubItem != kDiaryLocationColumn) return result;
    WCHAR location[ARRAYSIZE(LocationBandText)] = {0};
    LVITEMW item = {};
    item.iSubItem = kDiaryLocationColumn;
    item.pszText = location;
    item.cchTextMax = ARRAYSIZE(location);
    SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETITEMTEXTW, draw->nmcd.dwItemSpec, (LPARAM)&item);
    location[ARRAYSIZE(location) - 1] = 0;
    if (_wcsicmp(location, LocationBandText) != 0) {
        memcpy(LocationBandText, location, sizeof location);
        LocationBandFlag = LocationBandFlag ? 0 : 1;
    }
    draw->clrTextBk = LocationBandFlag ? kBandFlag1 : kBandFlag0;
    return result;
}

bool InstallListKeyProc(HWND list, SUBCLASSPROC proc) {
    return list != NULL && SetWindowSubclass(list, proc, kListKeySubclassId, 0) != FALSE;
}

LRESULT CALLBACK FollowUpListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return BookListMessage(FollowUpDialogHandle, IDC_FU_CANCEL, list, msg, wParam, lParam, FollowUpListKeyProc);
}

LRESULT CALLBACK RemarkListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return BookListMessage(RemarkDialogHandle, IDC_RM_DELETE_ROW, list, msg, wParam, lParam, RemarkListKeyProc);
}

LRESULT CALLBACK DiaryListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return BookListMessage(DiaryDialogHandle, IDC_DIARY_DELETE_ROW, list, msg, wParam, lParam, DiaryListKeyProc);
}

LRESULT CALLBACK LocationListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return BookListMessage(NULL, 0, list, msg, wParam, lParam, LocationListKeyProc);
}
