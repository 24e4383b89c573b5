#include "programrun.h"

#include "resource.h"

namespace testsupport {

bool ProgramRun::Launch(const std::wstring &arguments, DWORD flags) {
    main_ = NULL;
    return driver::Start(folder_ + L"Korvane.exe", folder_, &program_, arguments, flags);
}

HWND ProgramRun::WaitForMain(DWORD timeoutMs) {
    main_ = driver::WaitForWindow(program_.pid, kMainWindowClass, kProgramTitle, timeoutMs);
    return main_;
}

HWND ProgramRun::WaitForDialog(const wchar_t *caption, DWORD timeoutMs) const {
    return driver::WaitForWindow(program_.pid, L"#32770", caption, timeoutMs);
}

HWND ProgramRun::WaitForDialogWith(int id, DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    do {
        for (HWND window : driver::FindTopWindows(program_.pid, L"#32770", NULL))
            if (IsWindowVisible(window) && driver::FindControl(window, id) != NULL) return window;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

void ProgramRun::CloseDialogs() const {
    for (HWND window : driver::FindTopWindows(program_.pid, L"#32770", NULL)) PostMessageW(window, WM_CLOSE, 0, 0);
}

bool ProgramRun::WaitForExit(DWORD timeoutMs, DWORD *exitCode) const {
    return driver::WaitForExit(program_, timeoutMs, exitCode);
}

bool ProgramRun::Stop(DWORD timeoutMs, DWORD *exitCode) {
    if (program_.process == NULL) return true;
    HWND main = main_ != NULL ? main_ : driver::WaitForWindow(program_.pid, kMainWindowClass, kProgramTitle, 0);
    if (main != NULL) PostMessageW(main, WM_CLOSE, 0, 0);
    main_ = NULL;
    bool ended = driver::WaitForExit(program_, timeoutMs, exitCode);
    if (!ended) driver::Kill(program_);
    program_.Close();
    return ended;
}

void ProgramRun::Kill() {
    driver::Kill(program_);
    program_.Close();
    main_ = NULL;
}

}  // namespace testsupport
