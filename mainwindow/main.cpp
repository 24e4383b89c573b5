// The program's entry point.
#include "mainwindow.h"
#include "resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    if (!InitInstance(instance, showCommand)) return 0;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    return RunMessageLoop(accelerators);
}
