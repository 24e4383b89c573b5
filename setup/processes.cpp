// Stopping the running copies of the programs that the setup replaces or
// that hold its files.
#include "setup.h"

#include <tlhelp32.h>

const char *const kStoppedPrograms[3] = {"Korvane.exe", "Vexlook.exe", "ZeldSystem.exe"};

namespace {

// How long a stopped program is given to end before its file is replaced.
const DWORD kStopWaitMs = 5000;

// A handle that is closed when the guard goes.
class HandleGuard {
  public:
    explicit HandleGuard(HANDLE handle) : handle_(handle) {}
    ~HandleGuard() {
        if (handle_ != NULL && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HandleGuard(const HandleGuard &) = delete;
    HandleGuard &operator=(const HandleGuard &) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != NULL && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

// The file name of an executable path (the whole text when it has no
// backslash).
const char *BaseName(const char *path) {
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

bool IsStoppedProgram(const char *exeFile) {
    const char *name = BaseName(exeFile);
    for (const char *program : kStoppedPrograms)
        if (lstrcmpiA(name, program) == 0) return true;
    return false;
}

void StopProcess(DWORD processId) {
    HandleGuard process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process.valid()) return;
    if (TerminateProcess(process.get(), 0)) WaitForSingleObject(process.get(), kStopWaitMs);
}

}  // namespace

void KillRunningPrograms(void) {
    HandleGuard snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        // A process whose modules cannot be listed is not ours to stop.
        HandleGuard modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, entry.th32ProcessID));
        if (!modules.valid()) continue;
        if (entry.th32ProcessID != GetCurrentProcessId() && IsStoppedProgram(entry.szExeFile))
            StopProcess(entry.th32ProcessID);
    }
}
