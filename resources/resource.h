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
#define IDI_BUTTON_DIARY          15003   // the big buttons' icons, 48 x 48
#define IDI_BUTTON_SETTING        15004
#define IDI_BUTTON_DIARY_PASSWORD 15005
#define IDI_BUTTON_UPDATE_DIARY   15006
#define IDI_BUTTON_BACKUP_DIARY   15007
#define IDI_BUTTON_IMPORT_DIARY   15008
#define IDI_BUTTON_FIND           15009
#define IDI_BUTTON_REMARK         15010
#define IDI_BUTTON_IMPORT_REMARK  15011
#define IDB_LOGO             122   // loaded, not drawn
#define IDB_BANNER           128   // drawn by the main window's WM_PAINT

#ifndef RC_INVOKED
const wchar_t kProgramTitle[] = L"Korvane 14.906";  // the main window's title, in its start message too
#endif

// ---- Main window controls ---------------------------------------------------
#define IDC_FIND_HISTORY         11001   // STATIC: the last three plates
#define IDC_HIT_COUNT            11002   // STATIC, hidden: "Found: %d rows"
#define IDC_STATUS_LINE          11003   // STATIC that stays empty
#define IDC_START_MESSAGE        11004   // STATIC: software and data version
#define IDC_RESULT               11005   // STATIC: the found vehicle's line
#define IDC_EMPTY_ENTRY_MESSAGE  11006   // STATIC: "Please key in the Vehicle Plate No."
#define IDC_LINK_STATUS          11007   // STATIC: handphone link status
#define IDC_PLATE_LABEL          11010
#define IDC_PLATE                11011   // STATIC: the plate last searched
#define IDC_ARREARS_LABEL        11012
#define IDC_ARREARS              11013   // EDIT, 6
#define IDC_DATE_LABEL           11014
#define IDC_LASTPAY_DAY          11015   // EDIT, 2
#define IDC_LASTPAY_MONTH        11016   // COMBOBOX "", "Jan".."Dec"
#define IDC_LASTPAY_YEAR         11017   // EDIT, 4
#define IDC_FINANCIER_LABEL      11018
#define IDC_FINANCIER            11019   // EDIT, 100
#define IDC_REMARK_LABEL         11020
#define IDC_REMARK               11021   // EDIT, multi-line, 132
#define IDC_LAST_SAVED           11022   // STATIC: "Last Saved at : %s"
#define IDC_SAVE                 11023   // BUTTON "Save"
#define IDC_DELETE_ROW           11024   // BUTTON "Delete This Row"
#define IDC_DELETE_ALL           11025   // BUTTON "Delete All"
#define IDC_FOLLOWUP_LABEL       11026
#define IDC_FOLLOWUP_DAY         11027   // EDIT, 2
#define IDC_FOLLOWUP_MONTH       11028   // COMBOBOX as 11016
#define IDC_FOLLOWUP_YEAR        11029   // EDIT, 4
#define IDC_DELETE_REMARK        11030   // BUTTON "<- X"
#define IDC_GET_IP               11031   // BUTTON, owner-drawn
#define IDC_GPS_STATUS           11032   // STATIC: "Please check handphone GPS"
#define IDC_FIND                 12000   // BUTTON, owner-drawn "Find"
#define IDC_GPS                  12001   // BUTTON, owner-drawn "GPS"
#define IDC_PLATE_ENTRY          12003   // EDIT: the plate entry
#define IDC_LOCATION             12004   // EDIT: the current location
#define IDC_DELETE_PLATE         12009   // BUTTON "<-Delete This PlateNo[F4]"
#define IDC_BIG_BUTTON_FIRST     12010   // the eight big buttons 12010-12017
#define IDC_BIG_DIARY            12010
#define IDC_BIG_SETTING          12011
#define IDC_BIG_CHANGE_DIARY_PASSWORD 12012
#define IDC_BIG_UPDATE_DIARY     12013
#define IDC_BIG_USE_BACKUP_DIARY 12014
#define IDC_BIG_IMPORT_DIARY     12015
#define IDC_BIG_REMARK           12016
#define IDC_BIG_IMPORT_REMARK    12017
#define IDC_BIG_BUTTON_LAST      12017
#define IDC_BIG_BUTTON_FRAME     12018   // BUTTON, group box
#define IDC_UPDATE_STATUS        13001   // STATIC: online-update status
#define IDC_DOWNLOAD_1           13002   // BUTTON "Download Fresh RO Online 1"
#define IDC_DOWNLOAD_2           13003   // BUTTON "Download Fresh RO Online 2"
#define IDC_EMAIL                13004   // EDIT: e-mail address
#define IDC_EMAIL_NOTE           13005   // STATIC: the e-mail note
#define IDC_DATA_VERSION         13006   // STATIC: "Data Version: %s"

// ---- Diary window (dialog 400) -----------------------------------------------
#define IDD_DIARY                400
#define IDC_DIARY_MSGBOX         401   // STATIC "lblMsgBox": the wait box
#define IDC_DIARY_SHOW           402   // DEFPUSHBUTTON "Show"
#define IDC_DIARY_DELETE_ALL     403   // BUTTON "Delete All Data"
#define IDC_DIARY_DELETE_ROW     404   // BUTTON "Delete This Row [F4]"
#define IDC_DIARY_COUNT          405   // STATIC "lblDiaryDataCount"
#define IDC_DIARY_VIEW           406   // COMBOBOX: the view
#define IDC_DIARY_FINANCIER      407   // COMBOBOX: the financier
#define IDC_DIARY_FIND           408   // EDIT: the find box, where 407 lies
#define IDC_DIARY_LOCATION_EDIT  409
#define IDC_DIARY_LOCATION_LABEL 410
#define IDC_DIARY_REMARK_EDIT    411
#define IDC_DIARY_REMARK_LABEL   412
#define IDC_DIARY_SAVE           413   // BUTTON "Save Changes=>"
#define IDC_DIARY_PRINT          414   // BUTTON "Print" (no action)
#define IDC_DIARY_DELETE_OWNER   415   // BUTTON "Delete Diary Owner =>"
#define IDC_DIARY_OWNER          416   // EDIT, 20
#define IDC_DIARY_DELETE_PAGE    417   // BUTTON "Delete This Page"
#define IDC_DIARY_LIST_LOCATION  418   // BUTTON "<-List Location"
#define IDC_DIARY_DELETE_BEFORE  419   // BUTTON "Delete Before This =>"
#define IDC_DIARY_BEFORE_MONTH   420   // COMBOBOX: month for 419
#define IDC_DIARY_BEFORE_YEAR    421   // EDIT, 4 digits

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

// ---- Setting dialog (template 300) -------------------------------------------
#define IDD_SETTING                  300
#define IDC_SETTING_DATABASE_VERSION 302   // STATIC: "Database Version: %s"
#define IDC_SETTING_PLATFORM         305   // STATIC: "Platform Type: %s"
#define IDC_SETTING_SOUND            306   // check box: beep when a vehicle is found
#define IDC_SETTING_LANGUAGE_GROUP   307   // group box "Language Used"
#define IDC_SETTING_MALAY            308   // radio "Bahasa Malaysia"
#define IDC_SETTING_ENGLISH          309   // radio "English Language"
#define IDC_SETTING_STORAGE_GROUP    310   // group box "Diary Storage Place"
#define IDC_SETTING_STORAGE_PLACE    311   // drop-down list: "C:\"
#define IDC_SETTING_SEARCH_GROUP     312   // group box "Search Using"
#define IDC_SETTING_SEARCH_USING     313   // drop-down list: "Papan Kekunci/KeyBoard"
#define IDC_SETTING_HUGE_RESULT      315   // check box: the large result box
#define IDC_SETTING_MULTI_COLOUR     316   // check box: coloured plate letters

// ---- Email Setting dialog (template 220) -------------------------------------
#define IDD_EMAIL_SETTING            220
#define IDC_EMAILSET_LABEL           221   // STATIC: "Keyin your email:"
#define IDC_EMAILSET_EXAMPLE         222   // STATIC: three example addresses
#define IDC_EMAILSET_ADDRESS         223   // EDIT: the address
#define IDC_EMAILSET_OK              224   // default button "Ok"

// ---- Vehicle Details dialog (template 200) -----------------------------------
#define IDD_VEHICLE_DETAILS          200
#define IDC_DETAIL_PLATE             201   // STATIC: plate number
#define IDC_DETAIL_ARREARS_TITLE     202   // STATIC: "Arrear Month"
#define IDC_DETAIL_ARREARS           203   // STATIC: arrears
#define IDC_DETAIL_LASTPAY_TITLE     204   // STATIC: "LastPayment"
#define IDC_DETAIL_LASTPAY           205   // STATIC: last payment
#define IDC_DETAIL_DESCRIPTION       206   // STATIC: description
#define IDC_DETAIL_FINANCIER         207   // STATIC: financier
#define IDC_DETAIL_LOCATION          208   // STATIC: location

// ---- FollowUp window (dialog 1000) -------------------------------------------
#define IDD_FOLLOWUP                 1000
#define IDC_FU_MSGBOX                1001   // STATIC "lblMsgBox": the wait message
#define IDC_FU_CANCEL                1002   // BUTTON "Cancel FollowUp"
#define IDC_FU_CANCEL_DELETE         1003   // BUTTON "Cancel FollowUp && Delete from Remark"
#define IDC_FU_COUNT                 1004   // STATIC: row count
#define IDC_FU_PLATE_LABEL           1010
#define IDC_FU_PLATE                 1011   // STATIC: plate of the chosen row
#define IDC_FU_ARREARS_LABEL         1012
#define IDC_FU_ARREARS               1013   // EDIT, 6
#define IDC_FU_DATE_LABEL            1014   // STATIC "[Day - Month - Year]"
#define IDC_FU_LASTPAY_DAY           1015   // EDIT, 2
#define IDC_FU_LASTPAY_MONTH         1016   // COMBOBOX "", "Jan".."Dec"
#define IDC_FU_LASTPAY_YEAR          1017   // EDIT, 4
#define IDC_FU_BANK_LABEL            1018
#define IDC_FU_BANK                  1019   // EDIT, 100
#define IDC_FU_REMARK_LABEL          1020
#define IDC_FU_REMARK                1021   // EDIT, multi-line, 132
#define IDC_FU_LAST_SAVED            1022   // STATIC "Last Saved at : %s"
#define IDC_FU_SAVE                  1023   // BUTTON "Save"
#define IDC_FU_FOLLOWUP_LABEL        1026
#define IDC_FU_FOLLOWUP_DAY          1027   // EDIT, 2
#define IDC_FU_FOLLOWUP_MONTH        1028   // COMBOBOX as 1016
#define IDC_FU_FOLLOWUP_YEAR         1029   // EDIT, 4
#define IDC_FU_DELETE_X              1030   // BUTTON "<- X": as 1003

// ---- Remark window (dialog 900) ----------------------------------------------
#define IDD_REMARK                   900
#define IDC_RM_MSGBOX                1200   // STATIC "lblMsgBox": the wait box
#define IDC_RM_SHOW                  1201   // BUTTON "Show"
#define IDC_RM_PRINT_PAGE            1202   // BUTTON "Print This Page"
#define IDC_RM_PRINT_ALL             1203   // BUTTON "Print All"
#define IDC_RM_DELETE_ROW            1204   // BUTTON "Delete This Row [F4]"
#define IDC_RM_DELETE_PAGE           1205   // BUTTON "Delete This Page"
#define IDC_RM_DELETE_ALL            1206   // BUTTON "Delete All Data"
#define IDC_RM_COUNT                 1207   // STATIC "lblRemarkDataCount"
#define IDC_RM_PLATE_LABEL           1208
#define IDC_RM_PLATE                 1209   // STATIC: plate of the chosen row
#define IDC_RM_ARREARS_LABEL         1210
#define IDC_RM_ARREARS               1211   // EDIT, 6
#define IDC_RM_DATE_LABEL            1212
#define IDC_RM_LASTPAY_DAY           1213   // EDIT, 2
#define IDC_RM_LASTPAY_MONTH         1214   // COMBOBOX "", "Jan".."Dec"
#define IDC_RM_LASTPAY_YEAR          1215   // EDIT, 4
#define IDC_RM_BANK_LABEL            1216
#define IDC_RM_BANK                  1217   // EDIT, 100
#define IDC_RM_REMARK_LABEL          1218
#define IDC_RM_REMARK                1219   // EDIT, multi-line, 132
#define IDC_RM_LAST_SAVED            1220   // STATIC "Last Saved at : %s"
#define IDC_RM_SAVE                  1221   // BUTTON "Save"
#define IDC_RM_FOLLOWUP_LABEL        1223   // STATIC "<-FollowUp"
#define IDC_RM_FOLLOWUP_DAY          1224   // EDIT, 2
#define IDC_RM_FOLLOWUP_MONTH        1225   // COMBOBOX as 1214
#define IDC_RM_FOLLOWUP_YEAR         1226   // EDIT, 4
#define IDC_RM_DELETE_BEFORE         1227   // BUTTON "Delete Before This =>"
#define IDC_RM_BEFORE_MONTH          1228   // COMBOBOX as 1214
#define IDC_RM_BEFORE_YEAR           1229   // EDIT, digits, 4

// ---- Password set-up dialog (template 500) -----------------------------------
#define IDD_PASSWORD_SETUP           500
#define IDC_PWSET_OK                 501   // default button "OK": check and store
#define IDC_PWSET_CANCEL             502   // BUTTON "Cancel"
#define IDC_PWSET_FIRST              503   // EDIT, password: the new password
#define IDC_PWSET_SECOND             504   // EDIT, password: the new password again
#define IDC_PWSET_PROMPT1            505   // STATIC "lblDiaryPasswordSetup1"
#define IDC_PWSET_PROMPT2            506   // STATIC "lblDiaryPasswordSetup2"
#define IDC_PWSET_MSGBOX             507   // STATIC "lblMsgBox": the message line

// ---- Password entry dialog (template 600) ------------------------------------
#define IDD_PASSWORD_ENTRY           600
#define IDC_PWENTRY_PROMPT           601   // STATIC "lblEnterPassword"
#define IDC_PWENTRY_PASSWORD         602   // EDIT, password
#define IDC_PWENTRY_OK               603   // default button "OK"
#define IDC_PWENTRY_CANCEL           604   // BUTTON "Cancel"
#define IDC_PWENTRY_MSGBOX           605   // STATIC "lblMsgBox": message line and job progress
#define IDC_PWENTRY_CLEANUP_GROUP    606   // group box "CleanUp Choice"
#define IDC_PWENTRY_KEEP_LATEST      607   // radio: clean-up mode 0
#define IDC_PWENTRY_KEEP_LOCATION    608   // radio: clean-up mode 1
#define IDC_PWENTRY_KEEP_TIME        609   // radio, multi-line: clean-up mode 2

// ---- Delete Old Diary Data (dialog 1100) --------------------------------------
#define IDD_DELETE_OLD_DIARY         1100
#define IDC_DO_MSGBOX                1101   // STATIC "lblMsgBox": warning and status, red
#define IDC_DO_PASSWORD              1102   // EDIT, password: the diary password
#define IDC_DO_OK                    1103   // DEFPUSHBUTTON "OK": check and delete
#define IDC_DO_CANCEL                1104   // BUTTON "Cancel"
#define IDC_DO_PASSWORD_LABEL        1105   // STATIC "lblEnterPassword"
#define IDC_DO_DATE_LABEL            1106   // STATIC: the date prompt, blue
#define IDC_DO_DAY                   1107   // EDIT: day, digits
#define IDC_DO_MONTH                 1108   // COMBOBOX "", "Jan".."Dec"
#define IDC_DO_YEAR                  1109   // EDIT: year, digits

// ---- List Location window (dialog 1300; its list is IDC_LOCATION_LIST) -------
#define IDD_LIST_LOCATION            1300
#define IDC_LL_MSGBOX                1301   // STATIC "lblMsgBox": the wait message
#define IDC_LL_COUNT                 1302   // STATIC "lblListLocationDataCount"
#define IDC_LL_INFO                  1303   // STATIC "lblInfo": the instruction
#define IDC_LL_DIARY_VIEW            406    // the Diary window's view combo (its id there), read at opening

// ---- Import Diary / Use BackUp Diary (dialog 800) ----------------------------
#define IDD_IMPORT_DIARY             800
#define IDC_ID_OWN_LABEL             801   // STATIC "Your Diary Password:"
#define IDC_ID_OWN_PASSWORD          802   // EDIT, password, 20
#define IDC_ID_FILE_LABEL            803   // STATIC: the chosen file's password
#define IDC_ID_FILE_PASSWORD         804   // EDIT, password, 20
#define IDC_ID_OWNER_LABEL           805   // STATIC "'Diary Owner' name:"
#define IDC_ID_OWNER                 806   // EDIT, 20, no '|' or apostrophe
#define IDC_ID_MSGBOX                807   // STATIC "lblMsgBox": progress and final text
#define IDC_ID_START                 808   // BUTTON "Import Diary" / "Use BackUp Diary"

// ---- Import Remark (dialog 901) ----------------------------------------------
#define IDD_IMPORT_REMARK            901
#define IDC_IR_OWN_LABEL             902   // STATIC "Your Diary Password:"
#define IDC_IR_OWN_PASSWORD          903   // EDIT, password, 20
#define IDC_IR_FILE_LABEL            904   // STATIC "Import Remark Password:"
#define IDC_IR_FILE_PASSWORD         905   // EDIT, password, 20
#define IDC_IR_QUESTION              906   // STATIC: which remark wins
#define IDC_IR_MSGBOX                907   // STATIC "lblMsgBox": progress and final text
#define IDC_IR_START                 908   // BUTTON "Import Remark"
#define IDC_IR_KEEP_OWN              909   // radio "You"
#define IDC_IR_TAKE_IMPORTED         910   // radio "Imported one"
#define IDC_IR_GROUP                 911   // group box of 909 and 910
