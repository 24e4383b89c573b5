// The copy job: leftovers off the desktop, the three files onto it, one
// status line each, and the progress bar of the file being copied.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include "setup.h"
#include "setup_resource.h"

int CopyStatus[kSetupCopyCount] = {1, 1, 1};
char CopyList[kSetupCopyCount][kSetupTextBytes];
char DeleteList[kSetupDeleteCount][kSetupTextBytes];
char StatusTexts[kSetupCopyCount][kSetupTextBytes];
char ClosingText[kSetupTextBytes];

namespace {

const char *const kCopyNames[kSetupCopyCount] = {
    "KorvaneData.db",
    "Korvane.exe",
    "Cara Penggunaan - Software Korvane.doc",
};

// Libraries and user files that the installations before this one put on
// the desktop beside the program.
const char *const kDeleteNames[kSetupDeleteCount] = {
    "KorvaneDb.DLL",
    "KorvaneGrid.DLL",
    "KorvaneNet.DLL",
    "KorvaneGps.DLL",
    "KorvaneOwner.USR",
    "KorvaneLast.USR",
};

const char kCopyingText[] = "%d) Copying %hs ....... sila tunggu sebentar";
const char kMissingText[] = "%d) File '%hs' ....... TAK JUMPA!!!!!  TAK JUMPA!!!!!";
const char kDoneText[] = "%d) Copying '%hs' ....... selesai";
const char kFailedText[] =
    "%d) File '%hs' ....... TIDAK DAPAT DI COPY KE PC!!!!!  TIDAK DAPAT DI COPY KE PC!!!!!";
const char kClosingLine[] =
    "*************   OK, program setup sudah habis buat kerja   *************";

// The temporary name of a new copy: beside the file it replaces.
const char kNewCopySuffix[] = ".new";

// The database engine's own files beside a database: its rollback journal,
// and the write-ahead log and its index that a newer engine may leave. One
// left by an interrupted write would be played back into a new copy of the
// database, mixing the old file's pages into it.
const char *const kEngineFileSuffixes[] = {"-journal", "-wal", "-shm"};
enum { kEngineFileCount = sizeof kEngineFileSuffixes / sizeof kEngineFileSuffixes[0] };
// Their names while the new copy is made: beside them.
const char kEngineAsideSuffix[] = ".old";

// The first entry of the copy list, the data file, is a database.
const int kDataCopy = 1;

// How long a replace is retried while the old file is still held, for
// example by a program that has just been stopped.
const int kReplaceAttempts = 10;
const DWORD kReplacePauseMs = 200;

void RefreshSetupWindow(void) {
    if (SetupWindow == NULL) return;
    InvalidateRect(SetupWindow, NULL, TRUE);
    UpdateWindow(SetupWindow);
}

void SetProgress(int position) {
    if (SetupProgressBar == NULL) return;
    SendMessageA(SetupProgressBar, PBM_SETPOS, (WPARAM)position, 0);
    UpdateWindow(SetupProgressBar);
}

void FillLists(void) {
    for (int n = 0; n < kSetupCopyCount; n++)
        StringCchCopyA(CopyList[n], ARRAYSIZE(CopyList[n]), kCopyNames[n]);
    for (int n = 0; n < kSetupDeleteCount; n++)
        StringCchCopyA(DeleteList[n], ARRAYSIZE(DeleteList[n]), kDeleteNames[n]);
}

void ClearReadOnly(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

bool FileSize(const char *path, ULONGLONG *size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return true;
}

bool IsHeldError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
           code == ERROR_LOCK_VIOLATION;
}

// Moves the finished copy over destination, retrying for a short while when
// the old file is still held open.
bool MoveOverDestination(const char *temporary, const char *destination) {
    DWORD old = GetFileAttributesA(destination);
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY)) return false;
    ClearReadOnly(destination);
    for (int attempt = 1;; attempt++) {
        if (MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt >= kReplaceAttempts || !IsHeldError(GetLastError())) break;
        Sleep(kReplacePauseMs);
    }
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(destination, old);
    return false;
}

// The name of the engine's file i beside database, and its name while it is
// set aside.
bool EngineFileNames(const char *database, int i, char *file, char *aside, size_t bytes) {
    return SUCCEEDED(StringCchPrintfA(file, bytes, "%hs%hs", database, kEngineFileSuffixes[i])) &&
           SUCCEEDED(StringCchPrintfA(aside, bytes, "%hs%hs%hs", database, kEngineFileSuffixes[i],
                                      kEngineAsideSuffix));
}

// Puts the engine's files that moved[] marks back beside database.
void PutEngineFilesBack(const char *database, const bool *moved) {
    for (int i = 0; i < kEngineFileCount; i++) {
        char file[kSetupTextBytes], aside[kSetupTextBytes];
        if (moved[i] && EngineFileNames(database, i, file, aside, sizeof file))
            MoveFileExA(aside, file, MOVEFILE_WRITE_THROUGH);
    }
}

// Copies file n (1 to 3) of the copy list and returns its result text.
const char *CopyOneFile(int n, int pre2000) {
    const char *name = CopyList[n - 1];
    const char *source = SourcePathOf(name);
    if (source == NULL || GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES) {
        CopyStatus[n - 1] = 0;
        return kMissingText;
    }
    const char *destination = DesktopPathOf(name, pre2000);
    bool replaced = destination != NULL && (n == kDataCopy ? ReplaceDatabaseWithNewCopy(source, destination, pre2000)
                                                           : ReplaceWithNewCopy(source, destination, pre2000));
    if (replaced) {
        CopyStatus[n - 1] = 1;
        return kDoneText;
    }
    CopyStatus[n - 1] = 0;
    return kFailedText;
}

}  // namespace

int CopyProgressPercent(LONGLONG transferred, LONGLONG totalSize) {
    if (totalSize <= 0 || transferred >= totalSize) return 100;
    if (transferred <= 0) return 0;
    return (int)((double)transferred / (double)totalSize * 100.0);
}

DWORD CALLBACK CopyProgressCallback(LARGE_INTEGER totalSize, LARGE_INTEGER transferred,
                                    LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                    DWORD stream, DWORD reason, HANDLE source, HANDLE destination,
                                    LPVOID data) {
    SetProgress(CopyProgressPercent(transferred.QuadPart, totalSize.QuadPart));
    return PROGRESS_CONTINUE;
}

bool ReplaceWithNewCopy(const char *source, const char *destination, int pre2000) {
    char temporary[kSetupTextBytes];
    if (FAILED(StringCchPrintfA(temporary, ARRAYSIZE(temporary), "%hs%hs", destination,
                                kNewCopySuffix))) {
        return false;
    }
    ULONGLONG sourceSize = 0;
    if (!FileSize(source, &sourceSize)) return false;

    // A copy left by an interrupted run is overwritten; it may have kept the
    // read-only attribute of its source.
    ClearReadOnly(temporary);
    SetProgress(0);
    BOOL copied = pre2000 ? CopyFileA(source, temporary, FALSE)
                          : CopyFileExA(source, temporary, CopyProgressCallback, NULL, NULL,
                                        COPY_FILE_RESTARTABLE);
    ULONGLONG copiedSize = 0;
    bool complete = copied && FileSize(temporary, &copiedSize) && copiedSize == sourceSize;
    if (complete) {
        if (!pre2000) SetProgress(100);
        SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
        if (MoveOverDestination(temporary, destination)) {
            SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
            return true;
        }
    }
    ClearReadOnly(temporary);
    DeleteFileA(temporary);
    return false;
}

bool ReplaceDatabaseWithNewCopy(const char *source, const char *destination, int pre2000) {
    bool moved[kEngineFileCount] = {false};
    for (int i = 0; i < kEngineFileCount; i++) {
        char file[kSetupTextBytes], aside[kSetupTextBytes];
        bool named = EngineFileNames(destination, i, file, aside, sizeof file);
        if (named) {
            // One set aside by an interrupted run belongs to no file that
            // can still be known.
            ClearReadOnly(aside);
            DeleteFileA(aside);
        }
        if (named && GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) continue;
        if (named) ClearReadOnly(file);
        if (!named || !MoveFileExA(file, aside, MOVEFILE_WRITE_THROUGH)) {
            PutEngineFilesBack(destination, moved);
            return false;
        }
        moved[i] = true;
    }
    if (!ReplaceWithNewCopy(source, destination, pre2000)) {
        // The old file is kept, and with it what its journal holds.
        PutEngineFilesBack(destination, moved);
        return false;
    }
    for (int i = 0; i < kEngineFileCount; i++) {
        char file[kSetupTextBytes], aside[kSetupTextBytes];
        if (moved[i] && EngineFileNames(destination, i, file, aside, sizeof file)) DeleteFileA(aside);
    }
    return true;
}

void CopyFilesToDesktop(void) {
    int pre2000 = IsPreWindows2000();
    HCURSOR previous = SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_WAIT));

    FillLists();
    for (int n = 0; n < kSetupDeleteCount; n++) {
        const char *leftover = DesktopPathOf(DeleteList[n], pre2000);
        if (leftover != NULL) DeleteFileA(leftover);
    }

    for (int n = 1; n <= kSetupCopyCount; n++) {
        char *text = StatusTexts[n - 1];
        HWND line = SetupWindow != NULL ? GetDlgItem(SetupWindow, IDC_SETUP_COPY + n) : NULL;
        StringCchPrintfA(text, kSetupTextBytes, kCopyingText, n, CopyList[n - 1]);
        SetWindowTextA(line, text);
        RefreshSetupWindow();

        const char *result = CopyOneFile(n, pre2000);
        StringCchPrintfA(text, kSetupTextBytes, result, n, CopyList[n - 1]);
        SetWindowTextA(line, text);
        RefreshSetupWindow();
    }

    StringCchCopyA(ClosingText, ARRAYSIZE(ClosingText), kClosingLine);
    if (SetupWindow != NULL) {
        HWND closing = GetDlgItem(SetupWindow, IDC_SETUP_CLOSING);
        SetWindowTextA(closing, ClosingText);
        ShowWindow(closing, SW_SHOW);
    }
    if (SetupProgressBar != NULL) ShowWindow(SetupProgressBar, SW_HIDE);
    RefreshSetupWindow();
    SetCursor(previous);
}
