// The checks that start-up makes on the books and on the data file before
// it uses them: an empty book is made afresh, a damaged book is set aside
// under a new name beside it and made afresh, a damaged data file ends the
// program. Nothing here shows a message; the main window decides what the
// agent sees.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "sqlite3.h"

// One book as start-up checks it.
struct BookFile {
    const WCHAR *path;           // the book's path global
    const WCHAR *damagedBase;    // "KorvaneDiary - DAMAGED": the set-aside name's base
    const char *settingsTable;   // "PRS" or "PRI"; it must exist with C1 and C2
    bool hasRecords;             // the book's VLS must exist too
    bool convertStandard;        // a standard file is converted, not refused
};

enum BookState {
    kBookReady = 0,      // sound (converted when it was a standard file): open it
    kBookMissing = 1,    // absent, or empty and removed: create it
    kBookSetAside = 2,   // damaged, and moved to the set-aside name: create it
    kBookStuck = 3,      // damaged, and it could not be moved: the book cannot be used
};

// Checks book before start-up opens it, and acts on what it finds:
//
//   - no file: kBookMissing;
//   - a hot journal beside the book is played back first
//     (RollBackHotJournal); one that cannot be: kBookReady, untouched;
//   - a file of zero bytes holds nothing: it is deleted (its read-only
//     attribute cleared first) and kBookMissing returned;
//   - a file that the engine cannot use as this book is damaged: its header
//     is neither the program's nor (with convertStandard) the standard one,
//     it is shorter than its header says, it does not open, or it fails
//     CheckBookConnection: whole after a rollback or up to 4 MB, else the
//     part that start-up and a search read. It is
//     renamed, in its own folder, to "<damagedBase> YYYY-MON-DD hh_mm_ss.db"
//     (" (2)" and so on before ".db" when that name is taken) with its
//     journal beside it, its bytes untouched; the new path goes to setAside
//     (setAsideChars) and kBookSetAside is returned, or kBookStuck when it
//     cannot be moved, or its journal cannot go with it (the book then
//     keeps its own name);
//   - anything else, a file that cannot be read or a check that fails for
//     a reason other than damage (a lock, a read error) included:
//     kBookReady, and the usual road takes it as before.
//
// A standard file is checked on a converted copy in the temporary folder
// first; only when the copy is sound is the book converted in place
// (ConvertToProgramDatabase), so a damaged standard file is set aside as it
// was. A conversion that fails counts as damage.
int PrepareBookFile(const BookFile &book, WCHAR *setAside, size_t setAsideChars);
template <size_t N> inline int PrepareBookFile(const BookFile &book, WCHAR (&setAside)[N]) {
    return PrepareBookFile(book, setAside, N);
}

enum JournalState {
    kJournalNone = 0,        // no journal that plays anything back
    kJournalRolledBack = 1,  // a hot journal was played back, and it is gone
    kJournalKept = 2,        // a journal is there that could not be read or played back
};

// Lets the engine roll a hot journal beside the database at path back into
// it before anything reads the file itself. A book or data file killed in
// its commit is shorter than its header says, or holds half of the new
// pages, until then. When "<path>-journal" begins with the journal header,
// path is opened for writing (its read-only attribute, and the journal's,
// cleared for the while; the file's put back) and read, which plays the
// journal back and deletes it. The result is one of JournalState; what the
// file holds afterwards is for the checks to judge.
int RollBackHotJournal(const WCHAR *path);

// Returns SQLITE_OK when the book on db passes the start-up check, or the
// engine's code of the first failure (SQLITE_CORRUPT for a failed check or
// a missing table) with its text in detail (detailBytes). With whole, the
// check is PRAGMA quick_check of the whole file, then the settings table
// and VLS as book asks; its time grows with the book. Without it, only what
// start-up and a search read: quick_check of the settings table alone (and
// the schema it needs), the tables' columns, and VLS's first and last rows;
// damage elsewhere in VLS or its indexes is met by what reads it later.
int CheckBookConnection(sqlite3 *db, const BookFile &book, bool whole, char *detail, size_t detailBytes);

// Checks the first bytes of the data file at path without the engine:
// the program's header, a page size, and a file at least as long as its
// header says. Returns SQLITE_OK, or SQLITE_NOTADB (a foreign or empty
// file), SQLITE_CORRUPT (cut short) or SQLITE_CANTOPEN with a text in
// detail.
int CheckDataFileHeader(const WCHAR *path, char *detail, size_t detailBytes);

// Checks what a search needs of the data file open on db, without reading
// the whole file: the schema; PRD with C1 and C2, and its quick_check;
// VLD with C1..C5 and an index that leads with C1; and lookups through
// that index of its first and last key with their rows. Returns SQLITE_OK
// or the engine's code of the first failure (SQLITE_CORRUPT for a missing
// table or index) with its text in detail. Damage elsewhere in VLD is met
// by the search that reads it (IsDamagedFileCode).
int CheckDataConnection(sqlite3 *db, char *detail, size_t detailBytes);

// True for the engine's codes of a damaged file: SQLITE_CORRUPT,
// SQLITE_NOTADB and SQLITE_FORMAT, extended codes included.
bool IsDamagedFileCode(int rc);

// Finds the newest "c:\<base> *.db" by its time of last writing, for base
// "KorvaneDiary - BACKUP" or "LastRemark - BACKUP". Returns false, with out
// emptied, when there is none.
bool FindNewestBackup(const WCHAR *base, WCHAR *out, size_t outChars);
