// A pass-through file layer over the engine's own that calls hooks of the
// tests before the calls that change files, and before the locks: the one
// home of the counting layers of the tests.
#pragma once

#include "sqlite3.h"

namespace testsupport {

// One open file of the layer as its hooks see it.
struct HookedFile {
    const char *name;    // the name the engine opened it by; NULL for a temporary file
    int flags;           // the SQLITE_OPEN_* flags it was opened with
    sqlite3_file *real;  // the file of the layer below, which each call goes on to
};

// What the layer calls; any hook may be NULL. A before hook runs just
// before the call goes on to the layer below, and may end the process
// there (a killed writer) or reach the real file itself (a torn write).
// The file hooks see only the files that count: those opened with one of
// the SQLITE_OPEN_* kinds in counts, or every file when counts is 0.
// beforeDelete sees every deletion, by name.
struct FileHooks {
    int counts;
    void (*beforeWrite)(const HookedFile &file, const void *buffer, int amount, sqlite3_int64 offset);
    void (*beforeTruncate)(const HookedFile &file, sqlite3_int64 size);
    void (*beforeSync)(const HookedFile &file, int flags);
    void (*afterSync)(const HookedFile &file, int rc);  // with the sync's result
    void (*beforeDelete)(const char *name);
    void (*beforeLock)(const HookedFile &file, int level);  // a lock taken or raised to level
};

// Puts the layer in front of the engine's current default file layer, as
// the new default: every connection opened after this goes through it. It
// forwards every method of the files and of the layer below unchanged; its
// files have the interface version of the real file under them, so shared
// memory and memory-map calls pass through. One layer at a time: returns
// false when one is installed already or the engine refuses it (then the
// default is left as it was). Hooks are copied.
bool InstallHookedVfs(const FileHooks &hooks);

// Takes the layer out again; every connection opened through it must be
// closed first. Harmless when none is installed.
void RemoveHookedVfs();

}  // namespace testsupport
