// The main window's controls.
#include "mainwindow.h"

HWND PlateEntryEdit;
HWND LocationEdit;

HWND MainControl(int id) {
    return MainWindow != NULL ? GetDlgItem(MainWindow, id) : NULL;
}
