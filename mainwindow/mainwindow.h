// The main window's shared state and entry points. Each global is defined
// once, in the .cpp named beside it.
#pragma once

#include <windows.h>

#include "cipher.h"
#include "datastore.h"
#include "msgbox.h"
#include "sqlite3.h"

// winmain.cpp
extern HINSTANCE AppInstance;   // the instance handed to wWinMain
extern int FrameAllowance;      // 10 on Windows 6.0 and later, else 0
extern int SmallScreen;         // 1 when the screen is 600 pixels high or less
extern int SmallScreenShift;    // -123 on a small screen, else 0

// mainwindow.cpp
extern HWND MainWindow;         // the main window, from WM_CREATE until WM_DESTROY

// The main window's fonts, all Arial, by letter: A 100, B 75, C 40, D 20,
// E 21 bold, F 15, G 30, H 90, I 30 pixels high.
enum MainFont { kFontA, kFontB, kFontC, kFontD, kFontE, kFontF, kFontG, kFontH, kFontI, kMainFontCount };
extern HFONT MainFonts[kMainFontCount];  // created at start-up, deleted at shutdown

// The nine icons of the icon buttons, in the order of their resources
// 15003-15011; loaded once at start-up.
enum { kButtonIconCount = 9 };
extern HICON ButtonIcons[kButtonIconCount];

// The brushes of the coloured fields, created once at start-up.
enum MainBrush { kBrushFace, kBrushWhite, kBrushLightYellow, kBrushLightGreen, kBrushYellow, kMainBrushCount };
extern HBRUSH MainBrushes[kMainBrushCount];

extern HBITMAP BannerBitmap;    // resource 128, drawn by WM_PAINT
extern HBITMAP LogoBitmap;      // resource 122, kept, not drawn

// maincontrols.cpp
// Creates the main window's controls, lists and texts in their start-screen
// state (the search controls hidden until the first Find).
void CreateMainControls(HWND window);
// Fills the version lines, the e-mail note and the location field, and
// puts the input filters on the plate entry and the location field.
void FillMainTexts(void);
// Fills the start message, the result font, the find history and the
// contact lines; gives the plate entry its limit and the focus.
void FillStartScreen(void);
// Sets the data-version line 13006 and the start message 11004 (program
// title and DataVersionText) in UseEnglish's language.
void ShowVersionTexts(void);
// Shows the controls of the search screen (the first Find does this).
void ShowSearchScreen(void);
// Sets the texts, list headers and menu items that differ between the
// languages to those of UseEnglish; every other text stays.
void RelabelMainControls(void);

// search.cpp
extern int StartScreenPending;  // 1 until the first Find leaves the start screen
extern int SearchCounter;       // searches of plates longer than 6 characters; Save zeroes it
extern int FirstPurgeDone;      // 1 once the counter first passed 35
extern int PlateFontStep;       // 0-3: which plate-entry font is set (3: the 100-pixel one)
extern sqlite3_int64 LastSearchFirstRowId;  // first diary row the last search wrote; 0 none
extern sqlite3_int64 LastSearchLastRowId;   // last diary row the last search wrote; 0 none
extern char LastSearchPlate[kCipherFieldBytes];  // the C3 (enciphered plate) of those rows; "" none

// Rewrites, in place, a plate that begins with one of the known misread
// series (GIM -> G1M, X0IC -> XOIC, IM4U -> 1M4U, ...). The length never
// changes; other plates stay as they are.
void NormalisePlateNumber(WCHAR *plate);
// The Find command: tidy the entry, log the search, show the hits. A
// search that could not be written into the diary (the history or its
// row) still shows its hits, and then says so once.
void FindPlate(void);
// The part of Find that reads and writes the books: FindHistory stored and
// FindHistory[0] looked up in DataDb, its rows shown and logged, all of the
// diary's part in one search log committed before the hit count is shown
// (BeginSearchLog); the rows written are noted for F4. Returns SQLITE_OK
// when the whole search is in the diary, else the engine's code of the
// first write that failed (SQLITE_MISUSE: no diary open).
int LookUpAndLogPlate(void);
// Forgets the diary rows of the last search, which F4 would blank: every
// job that replaces, rebuilds, imports into or compacts the diary calls it,
// since the rows' rowids may then name other rows.
void ForgetLastSearchRows(void);
// EN_CHANGE of the plate entry: the font by the text's length, then the paint.
void OnPlateEntryChanged(void);

// remarkfields.cpp
// Reads and checks one date of the remark fields (or of a book window): day
// edit, month combo (index 1-12), year edit. name is "LastPayment" or
// "FollowUp". With all three empty *out is "" (or "NULL" when nullWhenEmpty).
// A valid date is formatted from its numbers, "DD Mon YYYY", or
// "YYYY-MM-DD" when isoForm. On a fault shows its message (owner), puts
// the focus on the field at fault and returns false.
bool ReadCheckedDate(HWND owner, HWND dayEdit, HWND monthCombo, HWND yearEdit, const WCHAR *name,
                     bool isoForm, bool nullWhenEmpty, WCHAR *out, size_t outChars);
void SaveRemarkFields(void);         // Save 11023
void DeleteRemarkOfPlate(void);      // "<- X" 11030
void UndoLastSearch(void);           // "<-Delete This PlateNo[F4]" 12009
void DeleteFoundVehicleRow(void);    // "Delete This Row" 11024
void DeleteAllFoundVehicles(void);   // "Delete All" 11025
// Empties the remark and follow-up fields and hides "<- X".
void ClearRemarkFields(void);

// platepaint.cpp
// Paint the plate entry and the find history one coloured character at a
// time, when MultiColourText is 1; otherwise they do nothing.
void PaintPlateEntry(void);
void PaintFindHistory(void);

// settingdialog.cpp
// The Setting dialog (template 300). It has no buttons: closing it stores
// each choice that changed and relabels the main window when the language
// did. It ends with 0, or with kSettingDiaryLost when the diary could not
// be opened again after the storage place changed.
enum { kSettingDiaryLost = 2 };
INT_PTR CALLBACK SettingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// The main window's Setting command: runs the dialog over the main window,
// destroys the main window (ending the program) when the dialog lost the
// diary, and gives the focus back to the plate entry.
void OpenSettingDialog(void);

// smalldialogs.cpp
enum VehicleDetail {
    kDetailPlate, kDetailArrears, kDetailLastPayment, kDetailDescription, kDetailFinancier, kDetailLocation,
    kVehicleDetailCount
};
enum { kVehicleDetailChars = 256 };
// The diary row that Vehicle Details shows, filled by the Diary window; the
// location also carries the List Location choice back to the Diary window.
extern WCHAR VehicleDetailTexts[kVehicleDetailCount][kVehicleDetailChars];
// Email Setting (template 220) ends with IDC_EMAILSET_OK once EmailText
// holds a new address with an '@', or with kEmailSettingClosed from its
// close box, EmailText unchanged. Esc does not close it.
enum { kEmailSettingClosed = 16 };
INT_PTR CALLBACK EmailSettingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Vehicle Details (template 200) shows VehicleDetailTexts in large type, a
// smaller one for a text too long for its field; only its close box ends it.
INT_PTR CALLBACK VehicleDetailsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// The e-mail field's command: runs Email Setting over the main window, then
// shows EmailText in the field and gives the focus to the plate entry.
void OpenEmailSetting(void);

// controls.cpp: the main window's controls. Every other control is reached
// by its id (resources/resource.h) through MainControl.
extern HWND PlateEntryEdit;     // EDIT 12003, the plate entry; NULL until created
extern HWND LocationEdit;       // EDIT 12004, the current location; NULL until created
// Returns the main window's control with that id, NULL when the main window
// or the control does not exist; every use is then a harmless no-op.
HWND MainControl(int id);

// damagedfiles.cpp: damaged books and data met on the start-up road.
enum StartBook { kStartInit, kStartDiary, kStartRemark, kStartBookCount };
extern WCHAR SetAsidePaths[kStartBookCount][kPathChars];  // books set aside at start-up, not yet told; "" none
extern int DamagedDataShown;  // 1 once the damaged-data message was shown; start-up clears it

// Tells the agent, in one message in UseEnglish's language, which books
// were set aside (SetAsidePaths) and where their newest backup lies, then
// forgets them. Shows nothing when none was.
void ShowSetAsideNotice(HWND owner);
// The data file is damaged: shows, once, the message in both languages that
// it must be copied again from the pen drive and its journal beside it
// deleted (a leftover would be played into the new copy), with detail (the
// engine's text) on its last line, and destroys the main window, which ends
// the program. Books set aside before are told first.
void StopForDamagedData(const WCHAR *detail);

// winmain.cpp
// Returns the class atom, or 0 when registration fails.
ATOM RegisterMainWindowClass(HINSTANCE instance, const WCHAR *className);
// Returns 1 when the main window was created and shown, 0 otherwise (another
// copy runs, or the class or window could not be made).
int InitInstance(HINSTANCE instance, int showCommand);
// Returns 1 on Windows 6.0 (Vista) and later, else 0.
int IsVistaOrLater(void);
// Runs the message loop, translating accelerators for the main window,
// until WM_QUIT; returns its wParam.
int RunMessageLoop(HACCEL accelerators);

// mainwindow.cpp
LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Tells Windows why the session may not end yet (reason), or that it may
// (reason NULL); tests set ShutdownReasonHook to see what is said.
typedef BOOL (*ShutdownReasonFn)(HWND window, const WCHAR *reason);
extern ShutdownReasonFn ShutdownReasonHook;  // null: ShutdownBlockReasonCreate / Destroy where Windows has them
// True while a job or the update holds a transaction on one of the books.
bool BookTransactionOpen(void);
// Takes back the reason given when Windows was refused the end of the
// session, once the job or update that held a book is over. Does nothing
// when none was given.
void ReleaseShutdownBlock(void);

// filters.cpp
// Installs the input filter that belongs to a main-window control (by its
// id): the entry fields, the month combos and the two lists that pass typed
// characters on to the plate entry. Returns false for a control that has no
// filter or when subclassing fails.
bool InstallInputFilter(HWND control);

// menus.cpp
// Set the seven language-dependent texts of the main window's menu.
void SetMenuTextsMalay(void);
void SetMenuTextsEnglish(void);
// Lets the user pick a "*.db" book, starting in C:\. file offers its text
// as the first name. Returns nonzero with the full path in file and the name
// in fileTitle, 0 when cancelled. Both buffers are cut to their sizes.
int ChooseDiaryFile(HWND owner, WCHAR *file, DWORD fileChars, WCHAR *fileTitle, DWORD titleChars);
// Tests set ChooseFileHook to choose a file without the dialog; it answers
// as ChooseDiaryFile does.
typedef int (*ChooseFileFn)(HWND owner, WCHAR *file, DWORD fileChars, WCHAR *fileTitle, DWORD titleChars);
extern ChooseFileFn ChooseFileHook;  // null: the common open-file dialog

// commands.cpp: the main window's guarded commands, the three file choices
// and Get IP.
extern WCHAR ImportFilePath[kPathChars];  // the book chosen for Import Diary or Import Remark
struct _IP_ADAPTER_INFO;
typedef DWORD (*AdaptersInfoFn)(struct _IP_ADAPTER_INFO *info, ULONG *size);
extern AdaptersInfoFn AdaptersInfoHook;   // null: GetAdaptersInfo; tests give their own adapters
// Handles the commands of the big buttons, menu 102 (but Setting), Get IP
// and the location field. Returns false for a command that is not one of
// them, which the caller then handles or passes on.
bool HandleGuardedCommand(HWND window, int id, int code);
// Get IP: lists the address of every adapter that has one in
// FoundVehicleList, the last adapter on top; dropVirtual leaves out the
// adapters of packet capture and virtual machines.
void ListAdapterAddresses(bool dropVirtual);

// layout.cpp
// Moves window to the centre of the screen, 20 pixels high of true centre;
// size and Z order kept.
void CenterWindowOnScreen(HWND window);
// Places the main window's resizable controls for its present size.
void LayoutMainWindow(void);
// Column fitting of the book lists: the FollowUp window's remark column to
// a fixed width, the Remark window's to its window, and the Diary window's
// location and remark columns sharing what a wide window has spare.
void FitListColumnsFixed(void);
void FitListColumnsToWindow(void);
void SplitWideListColumns(void);
// The widths of the Diary window's location and remark edits for its size.
void ResizeDialogEditBoxes(void);
