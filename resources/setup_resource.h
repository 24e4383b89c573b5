// Resource and control identifiers of the setup program KorvaneSetup.exe.
#pragma once

// ---- Program-wide resources ----------------------------------------------
#define IDS_SETUP_NAME         103   // "KorvaneSetup" (not used)
#define IDI_SETUP              107   // class icon, 32 and 16 pixels, 16 colours
#define IDI_SETUP_SMALL        108   // class small icon, 32 and 16 pixels, 16 colours
#define IDS_SETUP_CLASS        109   // "KORVANESETUP", the window class
#define IDR_SETUP              109   // accelerator table and menu
#define IDI_SETUP_LAPTOP       110   // 128-pixel laptop, drawn at 48 on the button
#define IDB_SETUP_BANNER       150   // 109 x 460 banner at the window's top-left corner

// ---- Commands -----------------------------------------------------------------
#define IDM_SETUP_ABOUT        104   // Alt+? and Alt+/; nothing handles it
#define IDM_SETUP_EXIT         105   // File > Exit of menu 109

// ---- Setup window controls ------------------------------------------------------
#define IDC_SETUP_COPY         12001 // BUTTON, owner-drawn: "Copy To PC"
#define IDC_SETUP_LINE1        12002 // STATIC: status line of copy 1 (KorvaneData.db)
#define IDC_SETUP_LINE2        12003 // STATIC: status line of copy 2 (Korvane.exe)
#define IDC_SETUP_LINE3        12004 // STATIC: status line of copy 3 (the user guide)
#define IDC_SETUP_CLOSING      12005 // STATIC: closing line, where the progress bar was
#define IDC_SETUP_PROGRESS     12006 // progress bar of the file being copied, 0 to 100
