// Centring and layout of windows.
#include <windows.h>

#include <commctrl.h>

#include <initializer_list>

#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"

void CenterWindowOnScreen(HWND window) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    int x = screenWidth / 2 - w / 2;
    int y = (screenHeight - 40) / 2 - h / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

static void Place(HWND control, int x, int y, int w, int h) {
    if (control != NULL) SetWindowPos(control, NULL, x, y, w, h, SWP_NOZORDER);
}

void LayoutMainWindow(void) {
    RECT rect;
    if (MainWindow == NULL || !GetWindowRect(MainWindow, &rect)) return;
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    int W = w > 790 ? w - 10 : 778;
    int H = h > 738 ? h : 738;
    int F = FrameAllowance;
    int S = SmallScreenShift;
    if (HugeResultSize == 1 && SmallScreen == 0) {
        Place(ResultList.list, 1, 1, W - 2 - F, 215);
    } else {
        Place(ResultList.list, 1, S + 124, W - 2 - F, 92);
    }
    Place(MainControl(IDC_LINK_STATUS), 495, S + 300, W - 496 - F, 18);
    Place(LocationEdit, 356, S + 318, W - 357 - F, 25);
    Place(MainControl(IDC_REMARK), 550, S + 240, W - 602 - F, 60);
    Place(MainControl(IDC_SAVE), W - 50 - F, S + 260, 50, 40);
    Place(MainControl(IDC_DELETE_REMARK), W - 50 - F, S + 240, 50, 19);
    if (SmallScreen == 0) {
        Place(PlateEntryEdit, 2, S + 412, 573 - F, 104);
        Place(MainControl(IDC_FIND), 471 - F, S + 518, 104, 104);
        Place(FoundVehicleList.list, 566, 369, W - 566 - F, H - 441);
    } else {
        Place(PlateEntryEdit, 2, S + 412, 403 - F, 104);
        Place(MainControl(IDC_FIND), 301 - F, S + 518, 104, 104);
    }
}

static int WindowWidth(HWND window) {
    RECT rect;
    if (window == NULL || !GetWindowRect(window, &rect)) return 0;
    return rect.right - rect.left;
}

static int ColumnWidth(HWND list, int column) {
    return (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
}

static void SetColumnWidth(HWND list, int column, int width) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
}

// The sum of the widths of the listed columns.
static int ColumnsWidth(HWND list, std::initializer_list<int> columns) {
    int sum = 0;
    for (int c : columns) sum += ColumnWidth(list, c);
    return sum;
}

void FitListColumnsFixed(void) {
    HWND list = RemarkList.list;
    if (list == NULL) return;
    SetColumnWidth(list, 6, 930 - (ColumnsWidth(list, {0, 1, 2, 3, 4, 5, 7}) + 30));
}

void FitListColumnsToWindow(void) {
    HWND list = RemarkList.list;
    if (list == NULL) return;
    int w = WindowWidth(RemarkList.parent);
    SetColumnWidth(list, 6, w - (ColumnsWidth(list, {0, 1, 2, 3, 4, 5, 7}) + 40));
}

void SplitWideListColumns(void) {
    HWND list = DiaryList.list;
    if (list == NULL) return;
    int w = WindowWidth(DiaryList.parent);
    if (w <= 1360) return;
    int half = (w - (ColumnsWidth(list, {0, 1, 2, 3, 4, 5, 8, 9}) + 40)) / 2;
    SetColumnWidth(list, 6, half);
    SetColumnWidth(list, 7, half);
}

void ResizeDialogEditBoxes(void) {
    HWND diary = DiaryList.parent;
    if (diary == NULL) return;
    int w = WindowWidth(diary);
    int e = w > 788 ? w - 775 : 208;
    for (int id : {IDC_DIARY_LOCATION_EDIT, IDC_DIARY_REMARK_EDIT}) {
        HWND edit = GetDlgItem(diary, id);
        if (edit != NULL) SetWindowPos(edit, NULL, 0, 0, e, 25, SWP_NOMOVE | SWP_NOZORDER);
    }
}
