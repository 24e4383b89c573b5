// The program's file layer over the engine's own: it merges the engine's
// runs of small appends (a rollback journal is written as a page number, a
// page and a checksum, one call each) and of adjacent page writes into
// fewer, larger writes, so a large transaction costs fewer calls into the
// system.
#pragma once

#include "sqlite3.h"

enum { kCoalesceBytes = 1 << 20 };  // the most the layer holds back before it writes

// Puts the layer in front of the engine's default file layer, as the new
// default: every connection opened after this goes through it. Idempotent;
// call it before the books are opened. Returns false when the engine
// refuses it (then the default layer is left as it was).
//
// The layer holds back at most one run of writes, to one file, that follow
// one another in the file, and only while the engine does nothing else that
// reaches the disk or another process: it writes that run out before any
// other write elsewhere, before a sync, read, truncation, size query, lock
// change, file control, open, delete, access check or close, and when the
// run would pass kCoalesceBytes. So the sequence of changes the system sees
// is the engine's own with runs of writes joined: a process killed, or a
// power cut, at any moment leaves the files as they would be at some moment
// of the engine's own sequence. A write that fails when the run is written
// out is reported by the call that wrote the run out and again by the next
// sync of that file, so no commit is taken for durable after a lost write.
bool InstallWriteCoalescing();
