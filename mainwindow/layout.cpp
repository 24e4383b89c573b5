// Centring and layout of windows.
#include "mainwindow.h"

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
