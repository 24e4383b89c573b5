// The real Korvane.exe run by a GUI test as the agent runs it: started from
// its program folder, its windows found by waiting for them, and closed
// again at the end (ended by force when it does not end by itself).
#pragma once

#include <windows.h>

#include <string>

#include "driver.h"

namespace testsupport {

const wchar_t kMainWindowClass[] = L"KORVANE";  // the class of the main window
const DWORD kProgramStartMs = 30000;            // how long a start may take

// One run of folder's Korvane.exe (folder ends in a backslash and is the
// program's current folder too). Goes with Stop(): a test that removes the
// folder stops the program first.
class ProgramRun {
  public:
    explicit ProgramRun(const std::wstring &folder = L"") : folder_(folder) {}
    ~ProgramRun() { Stop(); }
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    void set_folder(const std::wstring &folder) { folder_ = folder; }

    // Starts the program with arguments and returns at once; false when it
    // could not be started. flags go to CreateProcess (CREATE_SUSPENDED:
    // the caller resumes program().thread).
    bool Launch(const std::wstring &arguments = L"", DWORD flags = 0);
    // Waits up to timeoutMs for the main window; NULL when it did not come.
    HWND WaitForMain(DWORD timeoutMs = kProgramStartMs);
    // Launch() and WaitForMain(): true once the main window is up.
    bool Start(const std::wstring &arguments = L"") { return Launch(arguments) && WaitForMain() != NULL; }

    // A visible dialog of the program with caption, waiting up to timeoutMs.
    HWND WaitForDialog(const wchar_t *caption, DWORD timeoutMs = 10000) const;
    // A visible dialog of the program that has a control of id.
    HWND WaitForDialogWith(int id, DWORD timeoutMs) const;
    // Posts WM_CLOSE to every dialog the program has, shown or hidden.
    void CloseDialogs() const;
    // A search as the agent makes it: plate keyed into the plate entry,
    // then a click on Find; back once the program has answered the click.
    void Find(const std::wstring &plate) const;

    // Waits up to timeoutMs for the program to end; true with *exitCode
    // when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD *exitCode = NULL) const;
    // Closes the main window as the agent does and waits up to timeoutMs
    // for the end; a program that has not ended by then is ended by force.
    // True when it ended by itself (or was not running), with *exitCode.
    bool Stop(DWORD timeoutMs = 10000, DWORD *exitCode = NULL);
    // Ends the program at once.
    void Kill();

    driver::Program &program() { return program_; }
    DWORD pid() const { return program_.pid; }
    HWND main() const { return main_; }  // NULL until WaitForMain found it
    HWND Control(int id) const { return driver::FindControl(main_, id); }

  private:
    std::wstring folder_;
    driver::Program program_;
    HWND main_ = NULL;
};

// The file choice of the real program: the common dialog "Choose File" of
// process pid gets path typed into its file name box, then Open. False
// when the dialog did not come within 30 s or did not close after Open.
bool ChooseInFileDialog(DWORD pid, const std::wstring &path);

}  // namespace testsupport
