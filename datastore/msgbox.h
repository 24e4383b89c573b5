// The program's one road to a message box, below every window: the data
// store and the windows above it all show their messages through here.
#pragma once

#include <windows.h>

// Every message box of the program goes through ShowMessageBox; tests set
// MessageBoxHook to record the texts instead of showing them.
typedef int (*MessageBoxFn)(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);
extern MessageBoxFn MessageBoxHook;  // null: the real MessageBoxW

// Shows a message box through MessageBoxHook or MessageBoxW and returns the
// button pressed.
int ShowMessageBox(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);
