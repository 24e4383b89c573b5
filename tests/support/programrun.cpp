#include "programrun.h"

#include <stdio.h>

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

void ProgramRun::Find(const std::wstring &plate) const {
    driver::SetText(driver::FindControl(main_, IDC_PLATE_ENTRY), plate);
    driver::Click(driver::FindControl(main_, IDC_FIND));
}

bool ChooseInFileDialog(DWORD pid, const std::wstring &path) {
    HWND chooser = driver::WaitForWindow(pid, L"#32770", L"Choose File", 30000);
    if (chooser == NULL) {
        for (HWND window : driver::FindTopWindows(pid, NULL, NULL))
            fprintf(stderr, "window %ls \"%ls\" visible %d\n", driver::GetClass(window).c_str(),
                    driver::GetText(window).c_str(), IsWindowVisible(window));
        return false;
    }
    HWND name = NULL;
    HWND combo = driver::FindControl(chooser, 0x47c);  // the file name combo of the explorer style
    if (combo != NULL) {
        // ComboBoxEx32 > ComboBox > Edit, or the Edit right under it.
        HWND inner = FindWindowExW(combo, NULL, L"ComboBox", NULL);
        name = FindWindowExW(inner != NULL ? inner : combo, NULL, L"Edit", NULL);
    }
    if (name == NULL) name = driver::FindControl(chooser, 0x480);  // the old style's file name edit
    if (name == NULL) {
        for (HWND child = GetWindow(chooser, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
            fprintf(stderr, "child %ls id %d\n", driver::GetClass(child).c_str(), GetDlgCtrlID(child));
        return false;
    }
    driver::SetText(name, path);
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)driver::FindControl(chooser, IDOK));
    for (int i = 0; i < 250 && IsWindow(chooser) && IsWindowVisible(chooser); i++) Sleep(20);
    return !IsWindow(chooser) || !IsWindowVisible(chooser);
}

}  // namespace testsupport
