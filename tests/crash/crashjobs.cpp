// Starting the crash test's writer and reading what it leaves.
#include "crashjobs.h"

#include <stdio.h>
#include <strsafe.h>

#include "testsupport.h"

namespace crashjobs {

namespace {

// The writer lies in the build's program folder (KORVANE_BIN); the test
// program itself may run from a copy elsewhere.
std::wstring WriterPath() {
    std::wstring bin = testsupport::HostFolderFromEnv("KORVANE_BIN");
    if (!bin.empty()) return bin + L"crash_writer.exe";
    WCHAR self[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, self, ARRAYSIZE(self));
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"crash_writer.exe";
}

}  // namespace

DWORD RunCrashWriter(const char *job, const std::wstring &folder, long killAt, int mode) {
    WCHAR command[MAX_PATH * 3];
    std::wstring bare = folder.substr(0, folder.size() - 1);  // no backslash before the closing quote
    if (FAILED(StringCchPrintfW(command, ARRAYSIZE(command), L"\"%ls\" %hs \"%ls\" %ld %d", WriterPath().c_str(), job,
                                bare.c_str(), killAt, mode)))
        return (DWORD)-1;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Under load Wine can fail a start for a moment (ERROR_INTERNAL_ERROR,
    // say): that start is tried again; a missing program fails at once.
    for (int attempt = 1; !CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi); attempt++) {
        DWORD error = GetLastError();
        fprintf(stderr, "crash_writer does not start: %lu (attempt %d)\n", error, attempt);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_EXE_FORMAT ||
            attempt == 5)
            return (DWORD)-1;
        Sleep(200 * attempt);
    }
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        fprintf(stderr, "crash_writer %s at point %ld did not end within a minute\n", job, killAt);
    } else {
        GetExitCodeProcess(pi.hProcess, &code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::string ReadNote(const std::wstring &path) {
    std::vector<unsigned char> bytes;
    if (!testsupport::ReadFileBytes(path, &bytes)) return "";
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> PassedPoints(const std::wstring &folder) {
    std::vector<std::string> points;
    std::string list = ReadNote(folder + kPointsFile);
    for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1)
        points.push_back(list.substr(at, end - at));
    return points;
}

}  // namespace crashjobs
