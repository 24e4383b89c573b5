// The main window's shared state and entry points. Each global is defined
// once, in the .cpp named beside it.
#pragma once

#include <windows.h>

// winmain.cpp
extern HINSTANCE AppInstance;   // the instance handed to wWinMain
extern int FrameAllowance;      // 10 on Windows 6.0 and later, else 0
extern int SmallScreen;         // 1 when the screen is 600 pixels high or less
extern int SmallScreenShift;    // -123 on a small screen, else 0

// mainwindow.cpp
extern HWND MainWindow;         // the main window, from WM_CREATE until WM_DESTROY

// controls.cpp: the main window's controls. Every other control is reached
// by its id (resources/resource.h) through MainControl.
extern HWND PlateEntryEdit;     // EDIT 12003, the plate entry; NULL until created
extern HWND LocationEdit;       // EDIT 12004, the current location; NULL until created
// Returns the main window's control with that id, NULL when the main window
// or the control does not exist; every use is then a harmless no-op.
HWND MainControl(int id);

// msgbox.cpp
// Every message box of the program goes through ShowMessageBox; tests set
// MessageBoxHook to record the texts instead of showing them.
typedef int (*MessageBoxFn)(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);
extern MessageBoxFn MessageBoxHook;  // null: the real MessageBoxW

// Shows a message box through MessageBoxHook or MessageBoxW and returns the
// button pressed.
int ShowMessageBox(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);

// winmain.cpp
// Returns the class atom, or 0 when registration fails.
ATOM RegisterMainWindowClass(HINSTANCE instance, const WCHAR *className);
// Returns 1 when the main window was created and shown, 0 otherwise (another
// copy runs, or the class or window could not be made).
int InitInstance(HINSTANCE instance, int showCommand);
// Returns 1 on Windows 6.0 (Vista) and later, else 0.
int IsVistaOrLater(void);
// Runs the message loop, translating accelerators for the main window,
// until WM_QUIT; returns its wParam.
int RunMessageLoop(HACCEL accelerators);

// mainwindow.cpp
LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// filters.cpp
// Installs the input filter that belongs to a main-window control (by its
// id): the entry fields, the month combos and the two lists that pass typed
// characters on to the plate entry. Returns false for a control that has no
// filter or when subclassing fails.
bool InstallInputFilter(HWND control);

// menus.cpp
// Set the seven language-dependent texts of the main window's menu.
void SetMenuTextsMalay(void);
void SetMenuTextsEnglish(void);
// Lets the user pick a "*.db" book, starting in C:\. file offers its text
// as the first name. Returns nonzero with the full path in file and the name
// in fileTitle, 0 when cancelled. Both buffers are cut to their sizes.
int ChooseDiaryFile(HWND owner, WCHAR *file, DWORD fileChars, WCHAR *fileTitle, DWORD titleChars);

// layout.cpp
// Moves window to the centre of the screen, 20 pixels high of true centre;
// size and Z order kept.
void CenterWindowOnScreen(HWND window);
