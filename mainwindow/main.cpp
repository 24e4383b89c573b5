// The program's entry point.
#include <winsock2.h>  // before windows.h: the online update's header takes it

#include "filelayer.h"
#include "mainwindow.h"
#include "resource.h"
#include "update.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    ReadUpdateServerOverrides();  // KORVANE_UPDATE_SERVER1/2, for developers and tests
    InstallWriteCoalescing();     // before any book is opened; without it the books are written call by call
    if (!InitInstance(instance, showCommand)) return 0;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    return RunMessageLoop(accelerators);
}
