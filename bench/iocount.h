// A pass-through engine file layer that counts the reads and writes the
// engine makes, by kind of file, so a benchmark can tell how many calls
// into the system a run takes. Installed as the default layer; every call
// goes on to the system's own.
#pragma once

#include <vector>

#include "sqlite3.h"

namespace bench {

struct IoCounts {
    long long dbReads, dbWrites;            // the main database files
    long long journalReads, journalWrites;  // rollback journals
    long long otherReads, otherWrites;      // temporary files and the rest
    long long syncs;
    long long dbSyncs, journalSyncs;  // of them, of the main database files and of rollback journals
    long long dbMapped;   // pages of the main database files had from the memory map
    long long dbUnmapped; // asks for a mapped page the map could not meet (read instead)
    double readSeconds, writeSeconds, syncSeconds;  // time spent in the calls, every file
};

// Registers the counting layer as the default one (once). Returns false
// when the engine refuses it.
bool InstallIoCounter();
// The counts since the start, or since the last ResetIoCounts.
IoCounts CurrentIoCounts();
void ResetIoCounts();
// While on, the time of each sync (microseconds) is kept, for a caller
// that makes its syncs from one thread; SyncTimes holds them since the
// last ResetIoCounts.
void KeepSyncTimes(bool on);
std::vector<double> &SyncTimes();

}  // namespace bench
