// A stand-in for the programs the setup stops: it does nothing until it is
// ended, and ends by itself after two minutes with exit code 7, so a test
// that loses it leaves nothing behind for long.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(120000);
    return 7;
}
