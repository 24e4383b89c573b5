// The setup program's entry point and message loop.
#include <strsafe.h>

#include "setup.h"
#include "setup_resource.h"

static const char kSetupTitle[] = "KorvaneSetup 3.0";

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    StringCchPrintfA(SetupTitle, ARRAYSIZE(SetupTitle), "%hs", kSetupTitle);
    if (LoadStringA(instance, IDS_SETUP_CLASS, SetupClassName, ARRAYSIZE(SetupClassName)) == 0)
        return 0;
    RegisterSetupWindowClass(instance);
    if (!CreateSetupWindow(instance, showCommand)) return 0;

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_SETUP));
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (accelerators != NULL && SetupWindow != NULL &&
            TranslateAcceleratorA(SetupWindow, accelerators, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
