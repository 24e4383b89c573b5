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

enum { kDataMapMiB = 768 };  // the most of the data book that is read through a memory map

// Sets the data book's connection db up for the plate lookups: the engine
// reads the book through a memory map of up to kDataMapMiB (its first part,
// when the book is larger), and keeps its shared lock from one lookup to the
// next, so a lookup neither asks the system for each page nor takes and
// drops the lock and reads the change counter every time. Other programs
// may still read the book; only this connection writes it (the online
// update, which releases the lock when it is done). Where the map cannot
// be had (a 32-bit address space without room), the engine reads the file
// as before. Returns the engine's code.
int SetUpDataBookReads(sqlite3 *db);

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
