// crash_writer.exe JOB FOLDER N MODE: runs one of the program's jobs, through
// the program's own code, on the books in FOLDER, and ends itself at the Nth
// write point of the job as a power cut or a killed program would end it.
//
// The points are the engine's file calls that change something (a write, a
// sync, a truncation, a delete), counted by a file layer put in front of the
// engine's own, and the file copies and moves of the book jobs (their copy
// and move seams). At point N the process is ended with TerminateProcess:
// with MODE 0 before the call, with MODE 1 (for a write) once the first half
// of its sectors is written, with MODE 2 as a power cut: before the call, and
// of each file what was written to it since it last reached the disk (a
// sync, a flush, or a move that writes through) is lost or kept, file by
// file, as N picks; MODE 3 the same with all of it lost. N = 0 ends nowhere: the job runs to its end and
// every point passed is listed in points.txt; exit code 0, or
// kJobFailedExitCode when the job showed a message box.
#include <winsock2.h>

#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <string>
#include <vector>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "crashjobs.h"
#include "datastore.h"
#include "dbfiles.h"
#include "filelayer.h"
#include "hookedvfs.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "storetest.h"
#include "update.h"

namespace {

using namespace crashjobs;
using testsupport::FileHooks;
using testsupport::HookedFile;
using testsupport::InstallHookedVfs;

std::wstring Folder;      // the job's folder, ending in a backslash
long KillAt;              // the point to end at; 0: none
int Mode;                 // KillMode
bool Counting;            // points are counted while the job runs
long Passed;              // points passed so far
std::string PointList;    // their descriptions, one a line

std::wstring InFolder(const WCHAR *name) { return Folder + name; }

// Writes text to a file of the folder with the system's own calls.
void WriteNote(const WCHAR *name, const std::string &text) {
    HANDLE file = CreateFileW(InFolder(name).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    FlushFileBuffers(file);
    CloseHandle(file);
}

std::string BaseName(const char *path) {
    if (path == NULL) return "(temporary)";
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

std::string Narrow(const WCHAR *text) {
    char out[MAX_PATH * 3] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, NULL, NULL);
    return BaseName(out);
}

// Counts one point; at the chosen one, notes it and reports whether the
// caller must end the process now (after its torn write, when it has one).
bool AtKillPoint(const std::string &what) {
    if (!Counting) return false;
    Passed++;
    if (KillAt == 0) {
        PointList += what + "\n";
        return false;
    }
    if (Passed != KillAt) return false;
    char line[32];
    StringCchPrintfA(line, ARRAYSIZE(line), "%ld: ", Passed);
    static const char *const kModeNotes[] = {"\n", " (torn)\n", " (power cut)\n", " (power cut, all lost)\n"};
    WriteNote(kKilledFile, line + what + kModeNotes[Mode & 3]);
    return true;
}

// ---- What a power cut may lose --------------------------------------------------------

// One change to a file not yet on the disk: the bytes it overwrote and the
// file's size before it.
struct Unsynced {
    std::string name;  // base name: every file of a job lies in its folder
    sqlite3_int64 offset;
    std::vector<char> old;
    sqlite3_int64 oldSize;
};
std::vector<Unsynced> NotOnDisk;

void Forget(const std::string &name) {
    std::vector<Unsynced> kept;
    for (Unsynced &u : NotOnDisk)
        if (u.name != name) kept.push_back(std::move(u));
    NotOnDisk.swap(kept);
}

// Notes what a write of amt bytes at off (or a truncation to off, amt -1)
// of the open file real is about to change.
void NoteChange(const std::string &name, sqlite3_file *real, sqlite3_int64 off, int amt) {
    if (Mode != kPowerCut && Mode != kPowerCutAll) return;
    Unsynced u{name, off, {}, 0};
    real->pMethods->xFileSize(real, &u.oldSize);
    sqlite3_int64 end = amt < 0 ? u.oldSize : off + amt;
    if (end > u.oldSize) end = u.oldSize;
    if (end > off) {
        u.old.resize((size_t)(end - off));
        real->pMethods->xRead(real, u.old.data(), (int)u.old.size(), off);
    }
    NotOnDisk.push_back(std::move(u));
}

// Whether the cut loses what was not on the disk of file name: for every
// file (kPowerCutAll), or the same answer for every file of a given N, half
// of the files on average.
bool CutLoses(const std::string &name) {
    if (Mode == kPowerCutAll) return true;
    unsigned h = 2166136261u ^ (unsigned)KillAt;
    for (char c : name) h = (h ^ (unsigned char)c) * 16777619u;
    return (h >> 7) & 1;
}

// Puts back, file by file, what the cut loses, newest change first.
void CutPower() {
    for (size_t i = NotOnDisk.size(); i-- > 0;) {
        const Unsynced &u = NotOnDisk[i];
        if (!CutLoses(u.name)) continue;
        std::wstring path = Folder;
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_UTF8, 0, u.name.c_str(), -1, wide, MAX_PATH);
        path += wide;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE) continue;
        LARGE_INTEGER at;
        at.QuadPart = u.offset;
        DWORD written = 0;
        if (!u.old.empty() && SetFilePointerEx(file, at, NULL, FILE_BEGIN))
            WriteFile(file, u.old.data(), (DWORD)u.old.size(), &written, NULL);
        at.QuadPart = u.oldSize;
        if (SetFilePointerEx(file, at, NULL, FILE_BEGIN)) SetEndOfFile(file);
        CloseHandle(file);
    }
}

[[noreturn]] void EndNow() {
    if (Mode == kPowerCut || Mode == kPowerCutAll) CutPower();
    TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    ExitProcess(kKilledExitCode);
}

void Point(const std::string &what) {
    if (AtKillPoint(what)) EndNow();
}

// ---- The file layer in front of the engine's own ------------------------------------

// The points of the engine's file calls, through hooks on the hooked layer
// in front of the engine's own; every file counts.
void BeforeWrite(const HookedFile &file, const void *buf, int amt, sqlite3_int64 off) {
    char what[96];
    StringCchPrintfA(what, ARRAYSIZE(what), "write %d at %lld of ", amt, (long long)off);
    if (AtKillPoint(what + BaseName(file.name))) {
        if (Mode == kKillTorn) {
            int half = amt >= 1024 ? (amt / 2) & ~511 : amt / 2;
            if (half > 0) file.real->pMethods->xWrite(file.real, buf, half, off);
        }
        EndNow();
    }
    NoteChange(BaseName(file.name), file.real, off, amt);
}
void BeforeTruncate(const HookedFile &file, sqlite3_int64 size) {
    char what[64];
    StringCchPrintfA(what, ARRAYSIZE(what), "truncate to %lld of ", (long long)size);
    Point(what + BaseName(file.name));
    NoteChange(BaseName(file.name), file.real, size, -1);
}
void BeforeSync(const HookedFile &file, int) { Point("sync of " + BaseName(file.name)); }
void AfterSync(const HookedFile &file, int rc) {
    if (rc == SQLITE_OK) Forget(BaseName(file.name));
}
void BeforeDelete(const char *name) {
    Point("delete of " + BaseName(name));
    Forget(BaseName(name));
}

// Puts the counting layer in front of the default file layer, as the
// default: every connection opened after this goes through it.
void RegisterCrashVfs() {
    FileHooks hooks = {};
    hooks.beforeWrite = BeforeWrite;
    hooks.beforeTruncate = BeforeTruncate;
    hooks.beforeSync = BeforeSync;
    hooks.afterSync = AfterSync;
    hooks.beforeDelete = BeforeDelete;
    InstallHookedVfs(hooks);
}

// ---- The file copies and moves of the book jobs ---------------------------------------

BOOL CountedCopy(const WCHAR *from, const WCHAR *to, BOOL failIfExists) {
    Point("copy to " + Narrow(to));
    BOOL ok = CopyFileW(from, to, failIfExists);
    // The copy is on the disk only once it is flushed: a cut empties it.
    if (ok && (Mode == kPowerCut || Mode == kPowerCutAll)) {
        Forget(Narrow(to));
        NotOnDisk.push_back({Narrow(to), 0, {}, 0});
    }
    Point("copied to " + Narrow(to));
    return ok;
}

BOOL CountedMove(const WCHAR *from, const WCHAR *to, DWORD flags) {
    Point("move " + Narrow(from) + " over " + Narrow(to));
    BOOL ok = MoveFileExW(from, to, flags);
    if (ok) {
        // What the moved file did not yet have on the disk goes with it.
        Forget(Narrow(to));
        for (Unsynced &u : NotOnDisk)
            if (u.name == Narrow(from)) u.name = Narrow(to);
    }
    Point("moved over " + Narrow(to));
    return ok;
}

BOOL CountedFlush(HANDLE file) {
    Point("flush of the new book");
    BOOL ok = FlushFileBuffers(file);
    WCHAR path[MAX_PATH];
    DWORD n = GetFinalPathNameByHandleW(file, path, ARRAYSIZE(path), 0);
    if (ok && n > 0 && n < ARRAYSIZE(path)) Forget(Narrow(path));
    return ok;
}

int BackupNumber;
void FolderBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsBackup %d.db", Folder.c_str(), ++BackupNumber);
}

std::string MessagesShown;
int NoteMessage(HWND, const WCHAR *text, const WCHAR *caption, UINT) {
    MessagesShown += Narrow(caption != NULL ? caption : L"") + ": ";
    char line[2048] = "";
    WideCharToMultiByte(CP_UTF8, 0, text != NULL ? text : L"", -1, line, sizeof line, NULL, NULL);
    MessagesShown += std::string(line) + "\n";
    return IDOK;
}

// ---- The program's state, as start-up leaves it -------------------------------------

void OpenAsStartUp(const WCHAR *path, sqlite3 **db) {
    char name[kPathChars * 3];
    if (EngineFileName(path, name) && sqlite3_open(name, db) != SQLITE_OK && *db != NULL) {
        sqlite3_close(*db);
        *db = NULL;
    }
}

void SetUpProgramState() {
    KeyCipherContexts();
    UseEnglish = 1;
    StringCchCopyW(InitDbPath, kPathChars, InFolder(kInitFile).c_str());
    StringCchCopyW(DiaryDbPath, kPathChars, InFolder(kDiaryFile).c_str());
    StringCchCopyW(TempDiaryDbPath, kPathChars, InFolder(kTempDiaryFile).c_str());
    StringCchCopyW(RemarkDbPath, kPathChars, InFolder(kRemarkFile).c_str());
    StringCchCopyW(DataDbPath, kPathChars, InFolder(kDataFile).c_str());
    StringCchCopyW(DataVersionUpdate, kTextChars, L"20261201.001");
    MessageBoxHook = NoteMessage;
    BackupNameHook = FolderBackupName;
    BookCopyHook = CountedCopy;
    BookMoveHook = CountedMove;
    BookFlushHook = CountedFlush;
    RegisterCrashVfs();
    // The program's layer in front of the counting one, so the points are
    // the calls the system gets from the program.
    InstallWriteCoalescing();
    OpenAsStartUp(DataDbPath, &DataDb);
    if (DataDb != NULL) SetUpDataBookReads(DataDb);
    OpenAsStartUp(InitDbPath, &InitDb);
    OpenAsStartUp(DiaryDbPath, &DiaryDb);
    OpenAsStartUp(RemarkDbPath, &RemarkDb);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH1'", kModeFindHistory1);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH2'", kModeFindHistory1 + 1);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH3'", kModeFindHistory1 + 2);
}

// A stand-in of the password entry dialog, which the diary jobs write into.
HWND MakeEntryDialog() {
    HWND dialog = CreateWindowW(L"STATIC", L"Diary Password", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, NULL, NULL,
                                GetModuleHandleW(NULL), NULL);
    for (int id : {603, 604, 605}) {
        CreateWindowW(id == 605 ? L"STATIC" : L"BUTTON", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, dialog,
                      (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    }
    return dialog;
}

std::string Key(const WCHAR *plate) {
    char key[kMd5HexBytes];
    VehicleLookupKey(plate, key);
    return key;
}

std::string LocalFieldOf(const WCHAR *text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text, field);
    return field;
}

// ---- The jobs -----------------------------------------------------------------------

void RunSearch(storetest::FakeMainWindow &main) {
    PlateEntryEdit = main.Add(L"EDIT", IDC_PLATE_ENTRY);
    StartScreenPending = 0;
    SetWindowTextW(PlateEntryEdit, kSearchPlate);
    Counting = true;
    FindPlate();
}

void RunSave(storetest::FakeMainWindow &main) {
    PlateEntryEdit = main.Add(L"EDIT", IDC_PLATE_ENTRY);
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_PLATE), kSavePlate);
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_ARREARS), L"4");
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_LASTPAY_DAY), L"5");
    SendMessageW(GetDlgItem(main.hwnd(), IDC_LASTPAY_MONTH), CB_SETCURSEL, 3, 0);
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_LASTPAY_YEAR), L"2025");
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_FINANCIER), L"BANK DUA");
    SetWindowTextW(GetDlgItem(main.hwnd(), IDC_REMARK), L"seen at the market, blue cover");
    Counting = true;
    SaveRemarkFields();
}

bool OpenImport(const WCHAR *name) {
    char engineName[kPathChars * 3];
    return EngineFileName(InFolder(name).c_str(), engineName) && sqlite3_open(engineName, &ImportDb) == SQLITE_OK;
}

// The rows of the online update's reply: a deletion, an update, a new
// vehicle, a remark plate cleared and a cleared plate taken back.
std::vector<UpdateRow> UpdateRows() {
    return {
        {Key(L"OLD1"), "", "", "", "", "D"},
        {Key(L"NEW1"), "9", "06 Jun 2026", "SALOON 1.6 SILVER", "BANK ISLAM", "U"},
        {Key(L"FRESH77"), "2", "01 Dec 2026", "MPV WHITE", "AMANAH", ""},
        {LocalFieldOf(L"RMK0003"), "", "", "", "", "X"},
        {LocalFieldOf(L"CLR1"), "", "", "", "", "Z"},
    };
}

int RunJob(const std::string &job) {
    storetest::FakeMainWindow main;
    main.AddResultControls();
    if (job == "search") {
        RunSearch(main);
    } else if (job == "save") {
        RunSave(main);
    } else if (job == "cleanup" || job == "updatediary") {
        PasswordEntryDialogHandle = MakeEntryDialog();
        Counting = true;
        if (job == "cleanup")
            CleanUpDiaryDuplicates(0);
        else
            UpdateDiaryFromData();
    } else if (job == "importdiary") {
        if (!OpenImport(kImportDiaryFile)) return kJobFailedExitCode;
        StringCchCopyW(ImportOwnerName, ARRAYSIZE(ImportOwnerName), L"BUDI");
        Counting = true;
        ImportDiary();
    } else if (job == "importremark") {
        if (!OpenImport(kImportRemarkFile)) return kJobFailedExitCode;
        KeepOwnRemark = 0;
        Counting = true;
        ImportRemark();
    } else if (job == "restore") {
        Counting = true;
        RestoreBackUpDiary(InFolder(kOlderDiaryFile).c_str());
    } else if (job == "update") {
        std::string error;
        Counting = true;
        if (!ApplyUpdateRows(UpdateRows(), L"20261210.000", &error)) MessagesShown += "update: " + error + "\n";
    } else {
        fprintf(stderr, "unknown job %s\n", job.c_str());
        return 2;
    }
    Counting = false;
    return MessagesShown.empty() ? 0 : kJobFailedExitCode;
}

}  // namespace

int main() {
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc != 5) {
        fprintf(stderr, "usage: crash_writer JOB FOLDER N MODE\n");
        return 2;
    }
    char job[64] = "";
    WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, job, sizeof job, NULL, NULL);
    Folder = argv[2];
    if (!Folder.empty() && Folder.back() != L'\\') Folder += L'\\';
    KillAt = wcstol(argv[3], NULL, 10);
    Mode = _wtoi(argv[4]);

    SetUpProgramState();
    int code = RunJob(job);
    storetest::CloseAllConnections();
    if (!MessagesShown.empty()) WriteNote(kMessagesFile, MessagesShown);
    if (KillAt == 0) WriteNote(kPointsFile, PointList);
    return code;
}
