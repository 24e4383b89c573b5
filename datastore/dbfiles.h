// Database files: their paths, the conversion of standard SQLite files to
// the program's format, and the names of timestamped backups.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "sqlite3.h"

// Fills DataDbPath from programFolder and the fixed c:\ paths of the init,
// diary, temporary diary and remark books; RemarkBackupPath gets its
// untimed default. Changes nothing else.
void BuildDatabasePaths(const WCHAR *programFolder);

// Converts path to the text the engine takes for a file name. Returns false,
// with out emptied, when it does not fit.
bool EngineFileName(const WCHAR *path, char *out, size_t outBytes);
template <size_t N> inline bool EngineFileName(const WCHAR *path, char (&out)[N]) {
    return EngineFileName(path, out, N);
}

enum {
    kDataMapMiB = 768,         // the most of the data book that is read through a memory map
    kDataMapHeadroomMiB = 320, // address space left free beside the map, for the books, caches and sorts
    kDataMapLeastMiB = 32,     // a smaller part of the book than this is not mapped at all
    kDataMapGrain = 65536,     // the system's granularity of mapped views
};

// The memory map of a data book of fileBytes bytes in an address space
// whose largest free block is largestFree bytes, with totalFree bytes free
// in all: kDataMapMiB when the whole book (or its first kDataMapMiB) fits
// with kDataMapHeadroomMiB left over; else the first part of the book that
// fits, in kDataMapGrain steps; 0 (no map) when that part is less than
// kDataMapLeastMiB or there is no room at all.
long long ChooseDataMapBytes(long long fileBytes, unsigned long long largestFree, unsigned long long totalFree);

// Sets the data book's connection db up for the plate lookups: the engine
// keeps its shared lock from one lookup to the next, so a lookup neither
// takes and drops the lock nor reads the change counter every time, and
// reads the book through a memory map of the size ChooseDataMapBytes gives
// for this process's address space as it is now (the rest of the book, if
// any, through the file). The map is made here, before the first lookup;
// where it cannot be had after all, the connection reads the whole book
// through the file and does not try again. Other programs may still read
// the book; only this connection writes it (the online update, which
// releases the lock when it is done). Returns the engine's code.
int SetUpDataBookReads(sqlite3 *db);

// Runs sql on db and returns the first column of its first row as an
// integer: a pragma's setting, a count. Returns -1 when db is null, the
// statement does not prepare, fails or gives no row.
long long QueryNumber(sqlite3 *db, const char *sql);

// Opens *db read-write on the existing book at path (the engine's name of
// it). Returns the engine's code; *db is NULL unless it opened.
int OpenBookConnection(sqlite3 **db, const WCHAR *path);
// Opens *db read-write on path like OpenBookConnection, but creates an
// empty file when there is none. Returns the engine's code; *db is NULL
// unless it opened.
int OpenOrCreateBookConnection(sqlite3 **db, const WCHAR *path);
// Closes *db when it is open and sets it NULL. A statement still running (a
// select stopped by a failure inside its rows) does not keep it open: the
// engine finishes it later.
void CloseBookConnection(sqlite3 **db);

// Converts a standard SQLite file in place into the program's format: the
// magic becomes "ZELD DATABASE 3", the file-format bytes 18 and 19 become 1
// (rollback journal), and every lower-case "sqlite" that lies wholly inside
// page 1 or the first 1500 bytes, whichever is longer, becomes "ZELDdb".
// A file that does not begin with "SQL" is not touched.
//
// Returns 1 when the file was opened (also when nothing changed), 0 when it
// cannot be opened for reading and writing or when a write fails; a failed
// write stops the conversion at once.
int ConvertToProgramDatabase(const WCHAR *path);

// Returns the offset of the first "sqlite" (lower case, exact) that begins at
// start .. start + count - 7 of bytes; 0 when there is none or count < 7.
int FindSqlitePrefix(const unsigned char *bytes, int start, int count);

// Writes "JAN".."DEC" for month 1..12 into buf; any other month gives "".
void MonthAbbreviation(int month, WCHAR *buf, int count);

// Formats "c:\<base> YYYY-MON-DD hh_mm_ss.db" for time t into buf.
void FormatBackupPath(WCHAR *buf, int count, const WCHAR *base, const SYSTEMTIME *t);
// The same for the local time now, with the remark or diary base name.
void MakeRemarkBackupPath(WCHAR *buf, int count);
void MakeDiaryBackupPath(WCHAR *buf, int count);
