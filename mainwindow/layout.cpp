// Centring and layout of windows.
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
