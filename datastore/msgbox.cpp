// The program's one road to a message box.
#include "msgbox.h"

MessageBoxFn MessageBoxHook;

int ShowMessageBox(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type) {
    if (MessageBoxHook != NULL) return MessageBoxHook(owner, text, caption, type);
    return MessageBoxW(owner, text, caption, type);
}
