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

LRESULT ClickOnDeleteKey(HWND dialog, int button, HWND list, UINT msg, WPARAM wParam, LPARAM lParam,
                         SUBCLASSPROC self) {
    if (msg == WM_KEYDOWN && (wParam == VK_DELETE || wParam == VK_F4)) {
        HWND target = dialog != NULL ? GetDlgItem(dialog, button) : NULL;
        if (target != NULL) SendMessageW(target, BM_CLICK, 0, 0);
        return 0;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(list, self, kListKeySubclassId);
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
    return ClickOnDeleteKey(FollowUpDialogHandle, IDC_FU_CANCEL, list, msg, wParam, lParam,
                            FollowUpListKeyProc);
}

LRESULT CALLBACK RemarkListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return ClickOnDeleteKey(RemarkDialogHandle, IDC_RM_DELETE_ROW, list, msg, wParam, lParam,
                            RemarkListKeyProc);
}

LRESULT CALLBACK DiaryListKeyProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return ClickOnDeleteKey(DiaryDialogHandle, IDC_DIARY_DELETE_ROW, list, msg, wParam, lParam,
                            DiaryListKeyProc);
}
