// Helpers shared by the test programs: scratch folders on drive C of the
// test prefix, the fixtures folder, and raw file access.
#pragma once

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "sqlite3.h"

namespace testsupport {

// A connection of the test's own for checking a book, closed when it goes.
class CheckDb {
  public:
    explicit CheckDb(const std::wstring &path);
    ~CheckDb() { sqlite3_close(db_); }
    CheckDb(const CheckDb &) = delete;
    CheckDb &operator=(const CheckDb &) = delete;
    bool ok() const { return db_ != NULL; }
    int open_rc() const { return rc_; }
    // Runs sql; returns the engine's code and keeps its message.
    int Exec(const std::string &sql);
    const std::string &message() const { return message_; }
    // The first column of every row; "ERROR: ..." on failure.
    std::vector<std::string> Column(const std::string &sql);
    // The first column of the first row, or "<no row>".
    std::string One(const std::string &sql);
    int Count(const std::string &table) { return atoi(One("SELECT count(*) FROM " + table).c_str()); }
    sqlite3 *handle() const { return db_; }

  private:
    sqlite3 *db_ = NULL;
    int rc_ = SQLITE_ERROR;
    std::string message_;
};

// The Windows path of a host folder named by environment variable name
// (a Unix path, as ctest passes it); empty when the variable is not set.
std::wstring HostFolderFromEnv(const char *name);

// A fresh, empty folder for one test under the prefix's temporary folder;
// removed with everything in it when the guard goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring &name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::wstring &path() const { return path_; }   // ends in a backslash
    std::wstring File(const std::wstring &name) const { return path_ + name; }

  private:
    std::wstring path_;
};

// Every row of sql on a book, read-only and waiting up to two seconds for a
// lock, while the program may have the book open. A failure (a locked book
// included) comes back as a last row "ERROR: ...", never as no rows.
std::vector<std::vector<std::string>> ReadBookRows(const std::wstring &path, const std::string &sql);

// Makes folder (a path ending in a backslash) afresh with a copy of the
// built Korvane.exe (from KORVANE_BIN) in it, and deletes the books in the
// root of drive C, so the program starts as on a new PC. Returns false when
// the folder or the copy cannot be made.
bool PrepareProgramFolder(const std::wstring &folder);

// Removes a folder and everything in it; true when it is gone.
bool RemoveTree(const std::wstring &folder);

bool ReadFileBytes(const std::wstring &path, std::vector<unsigned char> *bytes);
bool WriteFileBytes(const std::wstring &path, const std::vector<unsigned char> &bytes);
bool CopyOneFile(const std::wstring &from, const std::wstring &to);
bool FileExists(const std::wstring &path);
// The names (without folder) of the files that match pattern, a path whose
// last part may hold "*" and "?".
std::vector<std::wstring> MatchingFiles(const std::wstring &pattern);

// The files that a writer killed at one point of its commit leaves: while
// it lives, a file layer over the engine's own is the default, and it
// counts the changes (writes, truncations, the journal's deletion) that the
// connections opened meanwhile make to their databases and journals. Just
// before change number at (from 1) it copies path and path-journal, as they
// lie on the disk, to to and to-journal (a journal that is not there is not
// there in the copy). A first run with at = 0 copies nothing and counts the
// points a writer can be killed at. One at a time; every connection opened
// under it must be closed before it goes.
class CrashCopy {
  public:
    CrashCopy(const std::wstring &path, int at, const std::wstring &to);
    ~CrashCopy();
    CrashCopy(const CrashCopy &) = delete;
    CrashCopy &operator=(const CrashCopy &) = delete;
    bool installed() const { return installed_; }
    int changes() const { return changes_; }  // changes seen so far
    bool copied() const { return copied_; }
    void BeforeChange();  // the layer's hook

  private:
    std::wstring path_, to_;
    int at_;
    int changes_ = 0;
    bool copied_ = false;
    bool installed_ = false;
};

// Stand-ins for the file calls of a book's replace (same signatures as
// MoveFileExW and FlushFileBuffers):
// MoveThenHold moves as MoveFileExW does and then holds the moved file open
// alone, as another program (a virus scanner) may, until ReleaseHeldFile;
// no one else can open it meanwhile. The flags of the last move through
// either move are in LastMoveFlags.
BOOL MoveThenHold(const WCHAR *from, const WCHAR *to, DWORD flags);
BOOL RecordedMove(const WCHAR *from, const WCHAR *to, DWORD flags);
void ReleaseHeldFile();
extern DWORD LastMoveFlags;
// A flush that does not reach the disk (ERROR_DISK_FULL).
BOOL FailingFlush(HANDLE file);

// UTF-8 text of a wide text, for engine calls and messages.
std::string Utf8(const std::wstring &text);

// Registers a window class of this program named name, with proc as its
// window procedure (and background, when not NULL), the first time it is
// asked for; returns name for CreateWindowExW.
const wchar_t *TestWindowClass(const wchar_t *name, WNDPROC proc, HBRUSH background = NULL);

}  // namespace testsupport
