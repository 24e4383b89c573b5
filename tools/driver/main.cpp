// KorvaneDriver: the GUI driver as a console program for scripts.
//
//   KorvaneDriver wait-window CLASS TITLE TIMEOUT_MS   exit 0 once it is visible,
//                                                      3 when a message box came
//                                                      up instead, 1 on time-out
//   KorvaneDriver close-window CLASS TITLE             posts WM_CLOSE
//   KorvaneDriver get-text CLASS TITLE ID              prints a control's text
//   KorvaneDriver message-box TIMEOUT_MS               prints caption and text of
//                                                      a message box, presses OK
#include <stdio.h>
#include <stdlib.h>

#include "driver.h"

static int Usage() {
    fwprintf(stderr, L"usage: KorvaneDriver wait-window|close-window|get-text|message-box ...\n");
    return 2;
}

static void PrintLine(const std::wstring &text) {
    // Console output in UTF-8, so scripts on the host read it as it is.
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    printf("%s\n", out.c_str());
    fflush(stdout);
}

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) return Usage();
    std::wstring command = argv[1];
    if (command == L"wait-window" && argc == 5) {
        DWORD timeout = (DWORD)_wtoi(argv[4]);
        DWORD start = GetTickCount();
        for (;;) {
            if (driver::WaitForWindow(0, argv[2], argv[3], 0) != NULL) {
                PrintLine(L"visible");
                return 0;
            }
            if (driver::WaitForWindow(0, L"#32770", NULL, 0) != NULL) {
                PrintLine(L"message box");
                return 3;
            }
            if (GetTickCount() - start >= timeout) return 1;
            Sleep(100);
        }
    }
    if (command == L"close-window" && argc == 4) {
        std::vector<HWND> windows = driver::FindTopWindows(0, argv[2], argv[3]);
        for (HWND window : windows) PostMessageW(window, WM_CLOSE, 0, 0);
        return windows.empty() ? 1 : 0;
    }
    if (command == L"get-text" && argc == 5) {
        HWND window = driver::WaitForWindow(0, argv[2], argv[3], 0);
        HWND control = window ? driver::FindControl(window, _wtoi(argv[4])) : NULL;
        if (control == NULL) return 1;
        PrintLine(driver::GetText(control));
        return 0;
    }
    if (command == L"message-box" && argc == 3) {
        driver::MessageBoxInfo box;
        if (!driver::WaitForMessageBox(0, (DWORD)_wtoi(argv[2]), &box)) return 1;
        PrintLine(box.caption);
        PrintLine(box.text);
        driver::AnswerMessageBox(box, IDOK);
        return 0;
    }
    return Usage();
}
