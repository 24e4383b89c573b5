// The setup window: class, creation, painting, colours and the run of the
// "Copy To PC" button.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include "iconbutton.h"
#include "setup.h"
#include "setup_resource.h"

HINSTANCE SetupInstance;
HWND SetupWindow;
char SetupTitle[100];
char SetupClassName[100];
HBITMAP SetupBanner;
HFONT SetupFont;
HBRUSH SetupLineBrush;
HICON SetupButtonIcon;
HWND SetupProgressBar;

namespace {

const char kSetupTitle[] = "KorvaneSetup 3.0";
const char kDriveCMessage[] = "Program ini sepatutnya berada di Pen Drive bukannya di PC.";
const char kErrorCaption[] = "Masaalah";

enum {
    kWindowWidth = 775,
    kWindowHeight = 492,
    kWindowHeightVista = 488,
};

const COLORREF kBackground = RGB(235, 235, 235);
const COLORREF kLineDone = RGB(0, 0, 255);
const COLORREF kLineFailed = RGB(255, 0, 0);
const COLORREF kClosingColour = RGB(0, 0, 0);

struct ControlLayout {
    int id;
    const char *className;
    DWORD style;
    const char *text;
    int x, y, width, height;
};

const ControlLayout kControls[] = {
    {IDC_SETUP_COPY, "BUTTON", BS_OWNERDRAW, "Copy To PC", 370, 40, 130, 100},
    {IDC_SETUP_LINE1, "STATIC", SS_NOTIFY, "", 115, 180, 650, 60},
    {IDC_SETUP_LINE2, "STATIC", SS_NOTIFY, "", 115, 240, 650, 60},
    {IDC_SETUP_LINE3, "STATIC", SS_NOTIFY, "", 115, 300, 650, 60},
    {IDC_SETUP_CLOSING, "STATIC", SS_NOTIFY, "", 115, 400, 650, 60},
    {IDC_SETUP_PROGRESS, PROGRESS_CLASSA, WS_BORDER, "", 115, 400, 650, 60},
};

// Returns true when the program runs from drive C, where it must not.
bool RunsFromDriveC(void) {
    GetSetupFolder(SetupFolder);
    return SetupFolder[0] == 'C' || SetupFolder[0] == 'c';
}

void CreateSetupFont(void) {
    LOGFONTA font;
    ZeroMemory(&font, sizeof font);
    font.lfHeight = 24;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = OEM_CHARSET;
    StringCchCopyA(font.lfFaceName, ARRAYSIZE(font.lfFaceName), "Arial");
    SetupFont = CreateFontIndirectA(&font);
}

void ClearRunTexts(void) {
    for (int n = 0; n < kSetupCopyCount; n++) StatusTexts[n][0] = 0;
    ClosingText[0] = 0;
    SetupFolder[0] = 0;
    SourcePath[0] = 0;
    DesktopPath[0] = 0;
}

LRESULT SetupWindow_OnCreate(HWND window) {
    SetupWindow = window;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    SetupCenterWindow(window);
    SetupBanner = (HBITMAP)LoadImageA(SetupInstance, MAKEINTRESOURCEA(IDB_SETUP_BANNER),
                                      IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    CreateSetupFont();
    SetupLineBrush = (HBRUSH)GetStockObject(NULL_BRUSH);
    if (SetupButtonIcon == NULL) {
        SetupButtonIcon = (HICON)LoadImageA(SetupInstance, MAKEINTRESOURCEA(IDI_SETUP_LAPTOP),
                                            IMAGE_ICON, kButtonIconSize, kButtonIconSize,
                                            LR_DEFAULTCOLOR);
    }
    for (const ControlLayout &c : kControls) {
        HWND control = CreateWindowExA(0, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style,
                                       c.x, c.y, c.width, c.height, window,
                                       (HMENU)(INT_PTR)c.id, SetupInstance, NULL);
        if (c.id != IDC_SETUP_PROGRESS && control != NULL)
            SendMessageA(control, WM_SETFONT, (WPARAM)SetupFont, FALSE);
    }
    SetupProgressBar = GetDlgItem(window, IDC_SETUP_PROGRESS);
    SendMessageA(SetupProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(SetupProgressBar, PBM_SETSTEP, 1, 0);
    SendMessageA(SetupProgressBar, PBM_SETPOS, 0, 0);
    ShowWindow(SetupProgressBar, SW_HIDE);

    ClearRunTexts();
    if (RunsFromDriveC()) {
        SetupMessageBox(window, kDriveCMessage, kErrorCaption, MB_OK);
        return -1;   // the creation fails and the program ends
    }
    return 0;
}

void SetupWindow_OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (SetupBanner != NULL) {
        HDC memory = CreateCompatibleDC(dc);
        if (memory != NULL) {
            HGDIOBJ old = SelectObject(memory, SetupBanner);
            BITMAP info;
            if (GetObjectA(SetupBanner, sizeof info, &info) != 0)
                BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
    }
    EndPaint(window, &paint);
}

LRESULT SetupWindow_OnCtlColorStatic(HDC dc, HWND control) {
    int id = GetDlgCtrlID(control);
    COLORREF colour;
    if (id >= IDC_SETUP_LINE1 && id <= IDC_SETUP_LINE3)
        colour = CopyStatus[id - IDC_SETUP_LINE1] ? kLineDone : kLineFailed;
    else if (id == IDC_SETUP_CLOSING)
        colour = kClosingColour;
    else
        return 0;
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    return (LRESULT)SetupLineBrush;
}

// The run of the button: stop the programs, reset the lines, check the user
// and the drive, copy.
void RunSetup(HWND window) {
    KillRunningPrograms();

    ShowWindow(SetupProgressBar, SW_SHOW);
    SendMessageA(SetupProgressBar, PBM_SETPOS, 0, 0);
    for (int id = IDC_SETUP_LINE1; id <= IDC_SETUP_CLOSING; id++)
        SetDlgItemTextA(window, id, "");
    ShowWindow(GetDlgItem(window, IDC_SETUP_CLOSING), SW_HIDE);

    ClearRunTexts();
    SetupUserName[0] = 0;
    DWORD size = kSetupUserNameBytes;
    if (!GetUserNameA(SetupUserName, &size)) {
        ShowLastErrorBox("GetUserName");
        return;
    }
    if (RunsFromDriveC()) {
        SetupMessageBox(window, kDriveCMessage, kErrorCaption, MB_OK);
        return;
    }
    CopyFilesToDesktop();
}

LRESULT SetupWindow_OnCommand(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_SETUP_EXIT:
        DestroyWindow(window);
        return 0;
    case IDC_SETUP_COPY:   // any notification: a double click runs twice
        RunSetup(window);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

void SetupWindow_OnDestroy(void) {
    if (SetupFont != NULL) DeleteObject(SetupFont);
    if (SetupBanner != NULL) DeleteObject(SetupBanner);
    if (SetupButtonIcon != NULL) DestroyIcon(SetupButtonIcon);
    SetupFont = NULL;
    SetupBanner = NULL;
    SetupButtonIcon = NULL;
    SetupProgressBar = NULL;
    SetupWindow = NULL;
    PostQuitMessage(0);
}

OSVERSIONINFOA WindowsVersion(void) {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info;
}

}  // namespace

int IsPreWindows2000(void) { return WindowsVersion().dwMajorVersion < 5 ? 1 : 0; }

int SetupIsVistaOrLater(void) { return WindowsVersion().dwMajorVersion >= 6 ? 1 : 0; }

int SetupMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    return MessageBoxA(owner, text, caption, type);
}

void SetupCenterWindow(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void SetupDrawIconButton(const DRAWITEMSTRUCT *draw, HWND button, HICON icon) {
    DrawIconButton(draw, button, icon);
}

void SetupDrawButtonIcon(HWND button, HICON icon, HDC dc, BOOL hasCaption, const RECT *item,
                         BOOL pushed, BOOL disabled) {
    DrawButtonIcon(button, icon, dc, hasCaption, item, pushed, disabled);
}

void SetupComputeButtonIconRect(HWND button, BOOL hasCaption, const RECT *item, BOOL pushed,
                                int iconWidth, RECT *iconRect) {
    ComputeButtonIconRect(button, hasCaption, item, pushed, iconWidth, iconRect);
}

ATOM RegisterSetupWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SetupWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP_SMALL));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(kBackground);
    wc.lpszClassName = SetupClassName;
    return RegisterClassExA(&wc);
}

int CreateSetupWindow(HINSTANCE instance, int showCommand) {
    SetupInstance = instance;
    HWND running = FindWindowA(SetupClassName, SetupTitle);
    if (running != NULL) {
        SetForegroundWindow(running);
        return 0;
    }
    int height = SetupIsVistaOrLater() ? kWindowHeightVista : kWindowHeight;
    HWND window = CreateWindowExA(0, SetupClassName, SetupTitle,
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, 0,
                                  kWindowWidth, height, NULL, NULL, instance, NULL);
    if (window == NULL) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

LRESULT CALLBACK SetupWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return SetupWindow_OnCreate(window);
    case WM_PAINT:
        SetupWindow_OnPaint(window);
        return 0;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *draw = (const DRAWITEMSTRUCT *)lParam;
        if (draw->CtlID != IDC_SETUP_COPY) return 0;
        SetupDrawIconButton(draw, draw->hwndItem, SetupButtonIcon);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        return SetupWindow_OnCtlColorStatic((HDC)wParam, (HWND)lParam);
    case WM_COMMAND:
        return SetupWindow_OnCommand(window, msg, wParam, lParam);
    case WM_DESTROY:
        SetupWindow_OnDestroy();
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
