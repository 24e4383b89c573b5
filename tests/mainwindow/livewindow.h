// Support for tests that run the real main window in the test's own
// process: its start-up with fresh books on drive C, the messages it shows,
// modal dialogs driven from a timer inside their own message loop, and the
// books read back through a connection of the test's own.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace live {

// A message box the program showed (through ShowMessageBox).
struct ShownMessage {
    std::wstring text;
    std::wstring caption;
    UINT type;
};
extern std::vector<ShownMessage> Shown;  // since the test began

// Records every message box instead of showing it; answers IDOK.
int RecordMessage(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);

// Runs open(), which shows a modal dialog on this thread, and calls
// act(dialog) from a timer once a visible dialog with that caption is up;
// act is expected to end the dialog. Returns true when the dialog appeared
// and ended by itself; a dialog still open 5 s after act is ended by force
// and counts as a failure.
bool RunModal(const wchar_t *caption, const std::function<void()> &open, const std::function<void(HWND)> &act);

// Dispatches every message waiting for this thread. Returns true when a
// WM_QUIT was among them.
bool Pump();

// Gives control the focus and presses each of keys on it, as the keyboard
// does: WM_KEYDOWN and WM_KEYUP posted to the focused control, then every
// waiting message, and whatever they lead to, taken through the dialog
// manager of dialog (IsDialogMessageW) as its modal loop takes them, until
// none is left. For use from inside that loop (an act of RunModal).
void PressKeys(HWND dialog, HWND control, const std::vector<UINT> &keys);

// The C2 of table's key in a book on drive C, through a read-only
// connection of its own; "<none>" when the row is missing.
std::string ReadKey(const wchar_t *book, const char *table, const char *key);
// The same, deciphered with the agent's cipher.
std::wstring ReadEncipheredKey(const wchar_t *book, const char *table, const char *key);
// The number of rows of sql's result in a book on drive C.
int CountRows(const wchar_t *book, const char *sql);

const wchar_t kDiaryBook[] = L"C:\\KorvaneDiary.db";
const wchar_t kInitBook[] = L"C:\\KorvaneInit.db";
const wchar_t kRemarkBook[] = L"C:\\LastRemark.db";

// Removes the program's books from drive C.
void RemoveBooks();

// Each test starts the main window afresh, as the program does, with new
// books on drive C and a data file beside the test program; message boxes
// are recorded. StartMainWindow may be called again after changing the
// books. TearDown destroys the window by its own shutdown.
class LiveMainWindow : public testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs the start-up; false when no main window came up.
    bool StartMainWindow();
    // Destroys the main window (its shutdown stores and closes the books)
    // and forgets its class, so that another start-up can follow.
    void StopMainWindow();
    // Runs one statement on the program's own diary connection.
    void RunOnDiary(const char *sql);
};

}  // namespace live
