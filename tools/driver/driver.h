// A small driver for the program's windows, used by the GUI tests and by the
// run script. It works from another process, as a person at the keyboard
// would: it starts the program, finds its windows and controls, reads and
// sets texts, posts clicks and keys, reads list views and answers message
// boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

// A started program. Close() releases the handles; it does not end the
// program.
struct Program {
    HANDLE process = NULL;
    HANDLE thread = NULL;
    DWORD pid = 0;

    Program() = default;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    Program(Program &&other) noexcept;
    Program &operator=(Program &&other) noexcept;
    ~Program() { Close(); }
    void Close();
};

// Starts exe (a full path) with workDir as its current folder. A start that
// fails for a passing cause is said on stderr with its error code and tried
// again, a few times within about two seconds. Returns false when every try
// failed, or at once when the program or folder does not exist; the last
// error is CreateProcess's. creationFlags go to CreateProcess as they are
// (CREATE_SUSPENDED: the caller resumes out->thread).
bool Start(const std::wstring &exe, const std::wstring &workDir, Program *out,
           const std::wstring &arguments = L"", DWORD creationFlags = 0);

// Waits up to timeoutMs for the program to end. Returns true and sets
// *exitCode when it did.
bool WaitForExit(const Program &program, DWORD timeoutMs, DWORD *exitCode);

// Ends the program at once and waits for it.
void Kill(const Program &program);

// Returns a visible top-level window of process pid (0: any process) whose
// class and title match (a null class or title matches any), waiting up to
// timeoutMs; NULL when none appeared.
HWND WaitForWindow(DWORD pid, const wchar_t *className, const wchar_t *title, DWORD timeoutMs);

// Lists the top-level windows (visible or not) of class and title (null
// matches any) of process pid (0: any).
std::vector<HWND> FindTopWindows(DWORD pid, const wchar_t *className, const wchar_t *title);

// Returns the child of parent with control id, NULL when there is none.
HWND FindControl(HWND parent, int id);

// Reads a window's text through WM_GETTEXT, which crosses processes.
std::wstring GetText(HWND window);
// Sets a window's text through WM_SETTEXT. Returns false on time-out.
bool SetText(HWND window, const std::wstring &text);
// Reads a window's class name.
std::wstring GetClass(HWND window);

// Clicks a button (BM_CLICK) and returns once the click has been handled
// (at most a minute). A click that opens a modal box would wait for it to
// close: use PostClick for those, then WaitForMessageBox.
void Click(HWND button);
// Posts a click and returns at once.
void PostClick(HWND button);
// Posts a key press (WM_KEYDOWN and WM_KEYUP) of virtual key vk.
void PressKey(HWND window, UINT vk);
// Brings window to the front and types Ctrl with vk through the real
// keyboard input, as accelerators need.
void PressCtrlKey(HWND window, WORD vk);
// Posts WM_CHAR for every character of text.
void TypeText(HWND window, const std::wstring &text);
// Waits until the window's thread has handled what was posted to it before.
void Settle(HWND window);

// Reads every row of a report-view list view of another process: one vector
// of cell texts per row, as many cells as the list has columns.
std::vector<std::vector<std::wstring>> ReadListView(HWND list);

// A message box (or any dialog of class #32770) of the program.
struct MessageBoxInfo {
    HWND window = NULL;
    std::wstring caption;
    std::wstring text;
};

// Waits up to timeoutMs for a visible dialog box of process pid and reads
// its caption and message text. Returns false when none appeared.
bool WaitForMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxInfo *out);

// Presses the button with buttonId (IDOK, IDYES, ...) of a message box.
// Returns false when the box has no such button.
bool AnswerMessageBox(const MessageBoxInfo &box, int buttonId);

// Converts a host path (/a/b) into the Wine path of drive Z (Z:\a\b).
std::wstring HostPathToWindows(const std::string &hostPath);

}  // namespace driver
