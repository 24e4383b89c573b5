// The online data update: two requests to the update server, then the
// reply's row operations applied to the data and remark books. The pieces
// that need no window or network are declared here for the tests.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <stddef.h>

#include <string>
#include <vector>

// update.cpp
extern char UpdateServerBase[2][256];  // base addresses of servers 1 and 2, no trailing '/'
extern COLORREF UpdateStatusColour;    // colour of the update status line 13001
extern long UpdateConnectTimeoutSec;   // a server that does not answer the connect in this time is dropped
extern long UpdateLowSpeedBytes;       // a transfer slower than this many bytes a second ...
extern long UpdateLowSpeedTimeSec;     // ... for this many seconds is dropped
extern int UpdateRunning;              // 1 while DownloadDataUpdate runs

// updatereply.cpp

// The growable reply area of one request.
struct ReplyBuffer {
    char *data;       // the bytes so far and a zero byte after them; NULL when empty
    size_t length;    // bytes, without the zero
    size_t capacity;  // bytes the area holds; 0 when data is NULL
};

enum { kMaxReplyBytes = 64 * 1024 * 1024 };  // a reply larger than this is refused

// The transfer's write callback: appends size * count bytes and keeps a zero
// byte after them. The area grows to at least length + size * count + 1
// bytes, doubling, so a reply of many pieces is not copied over and over.
// Returns size * count, or 0 (ending the transfer with an error and
// changing nothing) when the product overflows, the reply would pass
// kMaxReplyBytes or memory runs out.
size_t CurlWriteToBuffer(char *bytes, size_t size, size_t count, void *reply);
void FreeReplyBuffer(ReplyBuffer *reply);

// One row operation of the data reply, checked: A-E at most 255 bytes,
// F at most 9 characters.
struct UpdateRow {
    std::string a, b, c, d, e, f;
};

// What a reply says, once it has been checked whole.
struct UpdateReply {
    std::wstring replyType;         // "Challenge", "Error", "Blocked", "Data", ...
    std::wstring beginText;         // BeginData when it is a text
    std::wstring dataVersionPatch;  // reply 2 only
    std::vector<UpdateRow> rows;    // reply 2 of type Data
};

enum ReplyCheck {
    kReplyOk,
    kReplyNotObject,      // not JSON, or not an object
    kReplyNoEndData,      // no "EndData" text
    kReplyIncomplete,     // "EndData" is not "DataComplete"
    kReplyMalformed,      // a member missing, of the wrong type or too long
    kReplyNoMemory,       // the rows do not fit in memory
};

// Checks reply 1 (dataReply false) or reply 2 (true) and fills *out. The
// reply is read as a stream, never recursively: any reply, however deeply
// nested, ends in one of the codes (nesting beyond a few levels is
// kReplyNotObject), and running out of memory is kReplyNoMemory. For
// reply 2 of type "Data" every row must be an object of six texts A-F
// within their lengths, and "DataVersionPatch" a text of at most 20
// characters; *badRow gets the index of the first bad row (-1 when the
// fault is elsewhere).
ReplyCheck CheckUpdateReply(const char *json, bool dataReply, UpdateReply *out, int *badRow);

// Builds the request-1 body, each value JSON-escaped, into out (outBytes);
// returns false when it does not fit.
bool BuildUpdateRequestBody(const char *hardwareId, const WCHAR *email, const WCHAR *osVersion,
                            const WCHAR *dataVersion, const WCHAR *dataVersionUpdate,
                            const WCHAR *dataVersionPatch, char *out, size_t outBytes);

// The installation's identity sent with every update: 32 upper-case
// hexadecimal digits of MD5 over the system drive's volume serial number
// and the computer's name, the same on every run. out holds 33 bytes.
void MakeHardwareId(char *out);

// updateapply.cpp

// Applies checked rows to the data and remark books in one transaction
// each, every statement checked; *error describes a fault (the row named by
// its place in the reply). The new patch version (enciphered) is stored in
// PRD 'DVP' inside the data transaction. The remark book commits first, the
// data book last: a failure before the remark commit rolls both back; a
// failed data commit keeps the remark deletions of the 'X' rows, whose
// count goes to *remarksKept (when given; 0 in every other case), and
// leaves the old patch version, so the next update brings the same rows
// again. The rows are applied VLD rows first, by key, then X and Z; the
// rows of one key keep their order, so the outcome is that of the reply's
// order. A reply with X or Z rows gives VLC an index on C1 (idxVLCC1) when
// it has none. Running out of memory is a failure like any other. Before
// a reply whose X rows delete a remark the book holds, the remark book is
// copied to a checked backup (MakeCheckedBackup, into RemarkBackupPath);
// without one nothing is applied. The data book is written with its syncs
// off, the remark book with its own; the window repaints about every
// 40 ms while the rows go in. Returns true when both books
// committed.
bool ApplyUpdateRows(const std::vector<UpdateRow> &rows, const WCHAR *newPatch, std::string *error,
                     int *remarksKept = NULL);

// update.cpp

// Lets a developer's machine or a test run point the update elsewhere: the
// environment variables KORVANE_UPDATE_SERVER1 and KORVANE_UPDATE_SERVER2,
// when set to an http:// or https:// address that fits, replace the base
// address of server 1 or 2 (trailing '/' removed). Called once at start-up,
// before the main window exists; a value that does not qualify is ignored
// and the built-in address stays.
void ReadUpdateServerOverrides(void);

// Formats DataVersionText from DataVersion, DataVersionUpdate and
// DataVersionPatch, then the data-version lines 13006 and 11004.
void RefreshDataVersionTexts(void);

// The whole run for server 1 or 2, on the user-interface thread. While it
// runs the two buttons are disabled, UpdateRunning is 1, and only painting
// (and what other threads and the system send) is let through.
void DownloadDataUpdate(int server);
