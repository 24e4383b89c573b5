// The setup program KorvaneSetup: its shared state and routines. The
// program uses the ANSI interface; every call here names its A or W form, so
// the header also builds into the wide test programs. Each global is defined
// once, in the .cpp named beside it.
#pragma once

#include <windows.h>

enum {
    kSetupTextBytes = 256,      // paths, names and status texts
    kSetupUserNameBytes = 32767,
    kSetupCopyCount = 3,        // files copied to the desktop
    kSetupDeleteCount = 6,      // leftover files removed from the desktop
};

// setupwindow.cpp
extern HINSTANCE SetupInstance;      // the instance handed to WinMain
extern HWND SetupWindow;             // the setup window, from WM_CREATE until WM_DESTROY
extern char SetupTitle[100];         // "KorvaneSetup 3.0"
extern char SetupClassName[100];     // "KORVANESETUP", from string 109
extern HBITMAP SetupBanner;          // bitmap 150, drawn by WM_PAINT
extern HFONT SetupFont;              // Arial 24 on the button and the four lines
extern HBRUSH SetupLineBrush;        // stock NULL_BRUSH: the lines show the window's background
extern HICON SetupButtonIcon;        // icon 110 at 48 x 48, drawn on the button
extern HWND SetupProgressBar;        // progress bar 12006; NULL until created

// copyjob.cpp
extern int CopyStatus[kSetupCopyCount];              // per status line: 1 = last copy succeeded, 0 = failed or missing
extern char CopyList[kSetupCopyCount][kSetupTextBytes];      // names copied, in order
extern char DeleteList[kSetupDeleteCount][kSetupTextBytes];  // leftover names, only deleted
extern char StatusTexts[kSetupCopyCount][kSetupTextBytes];   // texts of status lines 12002-12004
extern char ClosingText[kSetupTextBytes];                    // text of the closing line 12005

// setuppaths.cpp
extern char SetupUserName[kSetupUserNameBytes];  // GetUserNameA of the current run
extern char SetupFolder[kSetupTextBytes];        // the program's folder, with its backslash
extern char SourcePath[kSetupTextBytes];         // last result of SourcePathOf
extern char DesktopPath[kSetupTextBytes];        // last result of DesktopPathOf

// ---- setupwindow.cpp --------------------------------------------------------
// Registers the setup window class SetupClassName. Returns the class atom,
// 0 on failure.
ATOM RegisterSetupWindowClass(HINSTANCE instance);
// Keeps the instance, and creates and shows the setup window. Returns 1 when
// the window exists and is shown; 0 when another copy is running (it is
// brought to the front) or the window could not be made, which includes the
// refusal to run from drive C.
int CreateSetupWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK SetupWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Moves window to the centre of the screen (negative positions become 0);
// size and Z order kept.
void SetupCenterWindow(HWND window);
// 1 when GetVersionExA reports a major version below 5, else 0.
int IsPreWindows2000(void);
// 1 when GetVersionExA reports a major version of 6 or more, else 0.
int SetupIsVistaOrLater(void);
// The icon-button drawing of the main program (mainwindow/iconbutton.h).
void SetupDrawIconButton(const DRAWITEMSTRUCT *draw, HWND button, HICON icon);
void SetupDrawButtonIcon(HWND button, HICON icon, HDC dc, BOOL hasCaption, const RECT *item,
                         BOOL pushed, BOOL disabled);
void SetupComputeButtonIconRect(HWND button, BOOL hasCaption, const RECT *item, BOOL pushed,
                                int iconWidth, RECT *iconRect);
// Every message box of the setup program: MessageBoxA over owner.
int SetupMessageBox(HWND owner, const char *text, const char *caption, UINT type);

// ---- copyjob.cpp ------------------------------------------------------------
// Removes the leftover files from the desktop and copies the three files of
// the copy list from the program's folder to it, writing each status line
// and its flag, then shows the closing line. Needs SetupUserName.
void CopyFilesToDesktop(void);
// Progress routine of CopyFileExA: moves the progress bar to the share of
// the file copied so far. Always returns PROGRESS_CONTINUE.
DWORD CALLBACK CopyProgressCallback(LARGE_INTEGER totalSize, LARGE_INTEGER transferred,
                                    LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                    DWORD stream, DWORD reason, HANDLE source, HANDLE destination,
                                    LPVOID data);
// The progress position, 0 to 100, for transferred of totalSize bytes; a
// file of length 0 is complete at once (100).
int CopyProgressPercent(LONGLONG transferred, LONGLONG totalSize);
// Copies source to destination so that destination is only ever replaced by
// a complete copy: the file is copied to destination + ".new" first (with
// CopyFileA when pre2000, else CopyFileExA with the progress routine), its
// length checked, its attributes set to normal, and only then moved over
// destination (a read-only destination is made writable for that). Returns
// true when destination now holds the new copy; on false destination is
// as it was and the temporary copy is removed.
bool ReplaceWithNewCopy(const char *source, const char *destination, int pre2000);
// ReplaceWithNewCopy for a database: the engine's files beside destination
// ("-journal", "-wal", "-shm"), which its next open would play back into
// the new copy, are moved to "<name>.old" first, and deleted once the new
// copy is in place. When one cannot be moved, or the copy fails, those moved
// go back and false is returned, with destination as it was.
bool ReplaceDatabaseWithNewCopy(const char *source, const char *destination, int pre2000);

// ---- processes.cpp ------------------------------------------------------------
// The program names that a run stops first.
extern const char *const kStoppedPrograms[3];
// Terminates every running process whose executable is named in
// kStoppedPrograms (any letter case) and that can be opened, and waits a
// while for each to end, so its file can be replaced. Processes that cannot
// be listed or opened are left running.
void KillRunningPrograms(void);

// ---- setuppaths.cpp ------------------------------------------------------------
// Writes the program's folder (up to and with its last backslash) into
// buffer (256 bytes). Returns 1; returns 0, leaving the whole module path,
// when it has no backslash or did not fit (then only its start is right).
int GetSetupFolder(char *buffer);
// Returns the path of name in the program's folder (the name alone when the
// module path has no backslash) in SourcePath, which the next call
// overwrites; NULL when the module path or the result does not fit.
const char *SourcePathOf(const char *name);
// Returns the desktop path of name in DesktopPath, which the next call
// overwrites; NULL when it does not fit. See BuildDesktopPath; the shell's
// desktop folder is asked for unless pre2000.
const char *DesktopPathOf(const char *name, int pre2000);
// Writes the desktop path of name into out: with pre2000
// "C:\Windows\Desktop\<name>"; else "<shellDesktop>\<name>" when shellDesktop
// is not NULL or empty, and "C:\Documents and Settings\<user>\Desktop\<name>"
// otherwise, where an empty user is "All Users". Returns false, with out
// empty, when the path does not fit.
bool BuildDesktopPath(char *out, size_t outBytes, const char *shellDesktop, const char *user,
                      const char *name, int pre2000);
// Shows "<call> failed with error <code> (<system text>)" for GetLastError
// over the setup window, captioned "Masaalah".
void ShowLastErrorBox(const char *call);
// Cuts a system message at its first control character other than a tab,
// then removes trailing dots, blanks and control characters. Changes text
// in place.
void TrimSystemMessage(char *text);
