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

sqlite3_vfs *RealVfs;

struct CrashFile {
    sqlite3_file base;
    std::string *name;
    sqlite3_file *real() { return (sqlite3_file *)(this + 1); }
};

CrashFile *Of(sqlite3_file *f) { return (CrashFile *)f; }

int FileClose(sqlite3_file *f) {
    CrashFile *c = Of(f);
    int rc = c->real()->pMethods->xClose(c->real());
    delete c->name;
    c->name = NULL;
    return rc;
}
int FileRead(sqlite3_file *f, void *buf, int amt, sqlite3_int64 off) {
    return Of(f)->real()->pMethods->xRead(Of(f)->real(), buf, amt, off);
}
int FileWrite(sqlite3_file *f, const void *buf, int amt, sqlite3_int64 off) {
    CrashFile *c = Of(f);
    char what[96];
    StringCchPrintfA(what, ARRAYSIZE(what), "write %d at %lld of ", amt, (long long)off);
    if (AtKillPoint(what + *c->name)) {
        if (Mode == kKillTorn) {
            int half = amt >= 1024 ? (amt / 2) & ~511 : amt / 2;
            if (half > 0) c->real()->pMethods->xWrite(c->real(), buf, half, off);
        }
        EndNow();
    }
    NoteChange(*c->name, c->real(), off, amt);
    return c->real()->pMethods->xWrite(c->real(), buf, amt, off);
}
int FileTruncate(sqlite3_file *f, sqlite3_int64 size) {
    char what[64];
    StringCchPrintfA(what, ARRAYSIZE(what), "truncate to %lld of ", (long long)size);
    Point(what + *Of(f)->name);
    NoteChange(*Of(f)->name, Of(f)->real(), size, -1);
    return Of(f)->real()->pMethods->xTruncate(Of(f)->real(), size);
}
int FileSync(sqlite3_file *f, int flags) {
    Point("sync of " + *Of(f)->name);
    int rc = Of(f)->real()->pMethods->xSync(Of(f)->real(), flags);
    if (rc == SQLITE_OK) Forget(*Of(f)->name);
    return rc;
}
int FileSize(sqlite3_file *f, sqlite3_int64 *size) { return Of(f)->real()->pMethods->xFileSize(Of(f)->real(), size); }
int FileLock(sqlite3_file *f, int level) { return Of(f)->real()->pMethods->xLock(Of(f)->real(), level); }
int FileUnlock(sqlite3_file *f, int level) { return Of(f)->real()->pMethods->xUnlock(Of(f)->real(), level); }
int FileCheckLock(sqlite3_file *f, int *out) {
    return Of(f)->real()->pMethods->xCheckReservedLock(Of(f)->real(), out);
}
int FileControl(sqlite3_file *f, int op, void *arg) {
    return Of(f)->real()->pMethods->xFileControl(Of(f)->real(), op, arg);
}
int FileSectorSize(sqlite3_file *f) { return Of(f)->real()->pMethods->xSectorSize(Of(f)->real()); }
int FileDevice(sqlite3_file *f) { return Of(f)->real()->pMethods->xDeviceCharacteristics(Of(f)->real()); }
int FileShmMap(sqlite3_file *f, int page, int size, int extend, void volatile **out) {
    return Of(f)->real()->pMethods->xShmMap(Of(f)->real(), page, size, extend, out);
}
int FileShmLock(sqlite3_file *f, int offset, int n, int flags) {
    return Of(f)->real()->pMethods->xShmLock(Of(f)->real(), offset, n, flags);
}
void FileShmBarrier(sqlite3_file *f) { Of(f)->real()->pMethods->xShmBarrier(Of(f)->real()); }
int FileShmUnmap(sqlite3_file *f, int del) { return Of(f)->real()->pMethods->xShmUnmap(Of(f)->real(), del); }
int FileFetch(sqlite3_file *f, sqlite3_int64 off, int amt, void **out) {
    return Of(f)->real()->pMethods->xFetch(Of(f)->real(), off, amt, out);
}
int FileUnfetch(sqlite3_file *f, sqlite3_int64 off, void *p) {
    return Of(f)->real()->pMethods->xUnfetch(Of(f)->real(), off, p);
}

sqlite3_io_methods CrashMethods;

int VfsOpen(sqlite3_vfs *vfs, const char *name, sqlite3_file *f, int flags, int *outFlags) {
    CrashFile *c = Of(f);
    c->base.pMethods = NULL;
    int rc = RealVfs->xOpen(RealVfs, name, c->real(), flags, outFlags);
    if (c->real()->pMethods == NULL) return rc;
    const sqlite3_io_methods *real = c->real()->pMethods;
    CrashMethods = {real->iVersion, FileClose,    FileRead,       FileWrite,      FileTruncate,
                    FileSync,       FileSize,     FileLock,       FileUnlock,     FileCheckLock,
                    FileControl,    FileSectorSize, FileDevice,   FileShmMap,     FileShmLock,
                    FileShmBarrier, FileShmUnmap, FileFetch,      FileUnfetch};
    c->name = new std::string(BaseName(name));
    c->base.pMethods = &CrashMethods;
    return rc;
}
int VfsDelete(sqlite3_vfs *vfs, const char *name, int syncDir) {
    Point("delete of " + BaseName(name));
    Forget(BaseName(name));
    return RealVfs->xDelete(RealVfs, name, syncDir);
}
int VfsAccess(sqlite3_vfs *, const char *name, int flags, int *out) {
    return RealVfs->xAccess(RealVfs, name, flags, out);
}
int VfsFullPathname(sqlite3_vfs *, const char *name, int n, char *out) {
    return RealVfs->xFullPathname(RealVfs, name, n, out);
}
void *VfsDlOpen(sqlite3_vfs *, const char *name) { return RealVfs->xDlOpen(RealVfs, name); }
void VfsDlError(sqlite3_vfs *, int n, char *out) { RealVfs->xDlError(RealVfs, n, out); }
void (*VfsDlSym(sqlite3_vfs *, void *lib, const char *sym))(void) { return RealVfs->xDlSym(RealVfs, lib, sym); }
void VfsDlClose(sqlite3_vfs *, void *lib) { RealVfs->xDlClose(RealVfs, lib); }
int VfsRandomness(sqlite3_vfs *, int n, char *out) { return RealVfs->xRandomness(RealVfs, n, out); }
int VfsSleep(sqlite3_vfs *, int us) { return RealVfs->xSleep(RealVfs, us); }
int VfsCurrentTime(sqlite3_vfs *, double *out) { return RealVfs->xCurrentTime(RealVfs, out); }
int VfsLastError(sqlite3_vfs *, int n, char *out) { return RealVfs->xGetLastError(RealVfs, n, out); }
int VfsCurrentTime64(sqlite3_vfs *, sqlite3_int64 *out) { return RealVfs->xCurrentTimeInt64(RealVfs, out); }

sqlite3_vfs CrashVfs;

// Puts the counting layer in front of the default file layer, as the
// default: every connection opened after this goes through it.
void RegisterCrashVfs() {
    RealVfs = sqlite3_vfs_find(NULL);
    CrashVfs = *RealVfs;
    CrashVfs.iVersion = 2;
    CrashVfs.szOsFile = (int)sizeof(CrashFile) + RealVfs->szOsFile;
    CrashVfs.pNext = NULL;
    CrashVfs.zName = "crashpoints";
    CrashVfs.pAppData = NULL;
    CrashVfs.xOpen = VfsOpen;
    CrashVfs.xDelete = VfsDelete;
    CrashVfs.xAccess = VfsAccess;
    CrashVfs.xFullPathname = VfsFullPathname;
    CrashVfs.xDlOpen = VfsDlOpen;
    CrashVfs.xDlError = VfsDlError;
    CrashVfs.xDlSym = VfsDlSym;
    CrashVfs.xDlClose = VfsDlClose;
    CrashVfs.xRandomness = VfsRandomness;
    CrashVfs.xSleep = VfsSleep;
    CrashVfs.xCurrentTime = VfsCurrentTime;
    CrashVfs.xGetLastError = VfsLastError;
    CrashVfs.xCurrentTimeInt64 = VfsCurrentTime64;
    sqlite3_vfs_register(&CrashVfs, 1);
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
