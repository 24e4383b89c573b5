// Entry point, single-instance test, window class and message loop.
#include <strsafe.h>

#include "mainwindow.h"
#include "resource.h"

HINSTANCE AppInstance;
int FrameAllowance;
int SmallScreen;
int SmallScreenShift;

enum {
    kWindowWidth = 973,
    kWindowHeight = 743,
    kSmallScreenLimit = 600,   // screens this high or lower are small
    kSmallScreenCut = 123,
};

int IsVistaOrLater(void) {
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return 0;
#pragma GCC diagnostic pop
    return info.dwMajorVersion >= 6 ? 1 : 0;
}

ATOM RegisterMainWindowClass(HINSTANCE instance, const WCHAR *className) {
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KORVANE));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KORVANE));
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = className;
    return RegisterClassExW(&wc);
}

int InitInstance(HINSTANCE instance, int showCommand) {
    AppInstance = instance;

    WCHAR title[100];
    WCHAR className[100];
    StringCchPrintfW(title, ARRAYSIZE(title), L"%ls", kProgramTitle);
    if (LoadStringW(instance, IDS_WINDOW_CLASS, className, ARRAYSIZE(className)) == 0) return 0;

    HWND running = FindWindowW(className, title);
    if (running != NULL) {
        SetForegroundWindow(running);
        return 0;
    }

    if (RegisterMainWindowClass(instance, className) == 0) return 0;

    FrameAllowance = IsVistaOrLater() ? 10 : 0;
    int width = kWindowWidth + FrameAllowance;
    int height = kWindowHeight + FrameAllowance;
    if (GetSystemMetrics(SM_CYSCREEN) > kSmallScreenLimit) {
        SmallScreen = 0;
        SmallScreenShift = 0;
    } else {
        SmallScreen = 1;
        SmallScreenShift = -kSmallScreenCut;
        height -= kSmallScreenCut;
    }

    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  width, height, NULL, NULL, instance, NULL);
    if (window == NULL) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

int RunMessageLoop(HACCEL accelerators) {
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        // The plate entry holds the focus nearly always; the table is
        // translated for the main window so Ctrl+D and Ctrl+S reach it from
        // any of its controls.
        HWND target = MainWindow != NULL ? MainWindow : msg.hwnd;
        if (accelerators != NULL && target != NULL &&
            (msg.hwnd == target || IsChild(target, msg.hwnd)) &&
            TranslateAcceleratorW(target, accelerators, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}
