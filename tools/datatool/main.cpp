// KorvaneDataTool.exe: the data tool's console program.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>

#include "datatool.h"
#include "mainwindow.h"

// The store's messages go to the console instead of a message box.
static int PrintMessage(HWND, const WCHAR *text, const WCHAR *caption, UINT) {
    fwprintf(stderr, L"%ls: %ls\n", caption, text);
    return IDOK;
}

int wmain(int argc, WCHAR **argv) {
    MessageBoxHook = PrintMessage;
    std::string out, error;
    int rc = datatool::RunDataTool(argc, argv, &out, &error);
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(out.data(), 1, out.size(), stdout);
    fflush(stdout);
    if (!error.empty()) {
        _setmode(_fileno(stderr), _O_BINARY);
        fwrite(error.data(), 1, error.size(), stderr);
        if (error.back() != '\n') fputc('\n', stderr);
    }
    return rc;
}
