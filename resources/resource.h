// Resource and control identifiers of the main program, grouped by window.
#pragma once

// ---- Program-wide resources ----------------------------------------------
#define IDI_KORVANE          101   // large and small icon of every window
#define IDR_MAINMENU         102   // the main window's class menu
#define IDA_MAIN             2     // accelerator table
#define IDS_APP_NAME         1     // "Korvane"
#define IDS_WINDOW_CLASS     2     // "KORVANE"
#define IDI_LIST_CROSS       15000 // list image 0: red cross (not found)
#define IDI_LIST_TICK        15001 // list image 1: green tick (found)
#define IDI_LIST_TICK_CROSS  15002 // list image 2: tick with a cross (found after Update Diary)

// ---- The six lists (ListViewBox kinds 0-5) ---------------------------------
#define IDC_RESULT_LIST          12005
#define IDC_DIARY_LIST           12006
#define IDC_CONTACT_LIST         12007
#define IDC_FOUND_VEHICLE_LIST   12008
#define IDC_REMARK_LIST          1222
#define IDC_LOCATION_LIST        1304

// ---- Main window menu (resource 102) and accelerators ---------------------
#define IDM_DIARY                 32771   // Ctrl+D
#define IDM_SETTING               32772   // Ctrl+S
#define IDM_CHANGE_DIARY_PASSWORD 32773
#define IDM_CHANGE_REMARK_PASSWORD 32774
#define IDM_UPDATE_DIARY          32775
#define IDM_USE_BACKUP_DIARY      32776
#define IDM_IMPORT_DIARY          32777
#define IDM_REMARK                32778
#define IDM_IMPORT_REMARK         32779
#define IDM_CLEANUP_DIARY         32780
#define IDM_DELETE_OLD_DIARY      32781
#define IDM_GET_IP_ALL            32782
#define IDM_CTRL_Q                40000   // Ctrl+Q: left to DefWindowProc
