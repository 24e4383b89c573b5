// Start-up checks of the books and the data file.
#include "bookcheck.h"

#include <string.h>
#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "datastore.h"
#include "dbfiles.h"
#include "statement.h"
#include "textutil.h"

namespace {

const unsigned char kProgramMagic[16] = {'Z', 'E', 'L', 'D', ' ', 'D', 'A', 'T',
                                         'A', 'B', 'A', 'S', 'E', ' ', '3', 0};
const unsigned char kStandardMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                          'o', 'r', 'm', 'a', 't', ' ', '3', 0};

// The first bytes of a journal the engine plays back: its header's magic.
// A journal whose header has been zeroed (a transaction that committed,
// kept by journal_mode PERSIST) or that never got one plays nothing back.
const unsigned char kJournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};

enum JournalLook {
    kJournalAbsent,      // no journal, or one that holds nothing to play back
    kJournalLive,        // a journal the engine would play back
    kJournalUnreadable,  // there, but it could not be read
};

// Up to this size a healthy start-up checks a book whole (some 20 ms);
// above it only the part that start-up and a search read.
const LONGLONG kWholeCheckBytes = 4 << 20;

enum HeadKind {
    kHeadProgram,   // the program's magic, and a sound size
    kHeadStandard,  // the standard magic, and a sound size
    kHeadForeign,   // empty, too short, another magic or no page size
    kHeadCut,       // shorter than its header says
};

// The size of a file and its first 100 bytes (the database header).
struct FileHead {
    LONGLONG size = 0;
    unsigned char bytes[100] = {0};
    bool read = false;  // the file could be opened and read
};

FileHead ReadHead(const WCHAR *path) {
    FileHead head;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return head;
    LARGE_INTEGER size;
    DWORD got = 0;
    if (GetFileSizeEx(file, &size) && ReadFile(file, head.bytes, sizeof head.bytes, &got, NULL)) {
        head.size = size.QuadPart;
        head.read = true;
    }
    CloseHandle(file);
    return head;
}

// What lies at journal: whether it begins with the journal header's magic.
JournalLook LookAtJournal(const WCHAR *journal) {
    HANDLE file = CreateFileW(journal, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kJournalAbsent : kJournalUnreadable;
    }
    unsigned char magic[sizeof kJournalMagic];
    DWORD got = 0;
    BOOL read = ReadFile(file, magic, sizeof magic, &got, NULL);
    CloseHandle(file);
    if (!read) return kJournalUnreadable;
    return got == sizeof magic && memcmp(magic, kJournalMagic, sizeof magic) == 0 ? kJournalLive : kJournalAbsent;
}

void ClearReadOnly(const WCHAR *path, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

unsigned BigEndian(const unsigned char *p, int bytes) {
    unsigned v = 0;
    for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
    return v;
}

void SetDetail(char *detail, size_t detailBytes, const char *text) {
    if (detail != NULL && detailBytes > 0) StringCchCopyA(detail, detailBytes, text);
}

// Judges a header: its magic, its page size, and whether the file is at
// least as long as the page count the header gives (that count is only
// kept when the change counter at 24 matches the one at 92).
HeadKind JudgeHead(const FileHead &head, char *detail, size_t detailBytes) {
    if (head.size < (LONGLONG)sizeof head.bytes) {
        SetDetail(detail, detailBytes, head.size == 0 ? "empty file" : "file too short for a database");
        return kHeadForeign;
    }
    HeadKind kind;
    if (memcmp(head.bytes, kProgramMagic, 16) == 0) {
        kind = kHeadProgram;
    } else if (memcmp(head.bytes, kStandardMagic, 16) == 0) {
        kind = kHeadStandard;
    } else {
        SetDetail(detail, detailBytes, "file is not a database");
        return kHeadForeign;
    }
    unsigned pageSize = BigEndian(head.bytes + 16, 2);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
        SetDetail(detail, detailBytes, "no valid page size in the header");
        return kHeadForeign;
    }
    unsigned pages = BigEndian(head.bytes + 28, 4);
    bool pagesKept = pages != 0 && memcmp(head.bytes + 24, head.bytes + 92, 4) == 0;
    if (pagesKept && head.size < (LONGLONG)pages * (LONGLONG)pageSize) {
        SetDetail(detail, detailBytes, "file is shorter than its header says");
        return kHeadCut;
    }
    return kind;
}

// The engine's failure on db: its code, its message in detail.
int EngineFailure(sqlite3 *db, int rc, char *detail, size_t detailBytes) {
    SetDetail(detail, detailBytes, sqlite3_errmsg(db));
    return rc;
}

// A table the book needs, with the columns that are read: a missing one
// means the file is not this book.
int RequireColumns(sqlite3 *db, const char *sql, char *detail, size_t detailBytes) {
    Statement q(db, sql);
    if (q.prepared() == SQLITE_OK) return SQLITE_OK;
    int rc = EngineFailure(db, q.prepared(), detail, detailBytes);
    return IsDamagedFileCode(rc) ? rc : SQLITE_CORRUPT;
}

// Runs a quick_check pragma; anything but one row "ok" is damage.
int QuickCheck(sqlite3 *db, const char *pragma, char *detail, size_t detailBytes) {
    Statement q(db, pragma);
    if (q.prepared() != SQLITE_OK) return EngineFailure(db, q.prepared(), detail, detailBytes);
    int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW) return EngineFailure(db, rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, detail, detailBytes);
    const char *verdict = (const char *)sqlite3_column_text(q.get(), 0);
    if (verdict != NULL && strcmp(verdict, "ok") == 0) return SQLITE_OK;
    SetDetail(detail, detailBytes, verdict != NULL ? verdict : "quick_check failed");
    return SQLITE_CORRUPT;
}

// Steps every row of a prepared statement; returns SQLITE_OK at its end.
int StepAll(sqlite3 *db, sqlite3_stmt *stmt, char *detail, size_t detailBytes) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE ? SQLITE_OK : EngineFailure(db, rc, detail, detailBytes);
}

// The name of an index of VLD that leads with C1, or false when none.
bool FindLookupIndex(sqlite3 *db, char *name, size_t nameBytes, int *rc, char *detail, size_t detailBytes) {
    Statement q(db,
                "SELECT l.name FROM pragma_index_list('VLD') AS l, pragma_index_info(l.name) AS i "
                "WHERE i.seqno = 0 AND i.name = 'C1' LIMIT 1");
    *rc = q.prepared();
    if (*rc != SQLITE_OK) {
        EngineFailure(db, *rc, detail, detailBytes);
        return false;
    }
    *rc = sqlite3_step(q.get());
    if (*rc == SQLITE_ROW) {
        const char *text = (const char *)sqlite3_column_text(q.get(), 0);
        *rc = SQLITE_OK;
        return text != NULL && SUCCEEDED(StringCchCopyA(name, nameBytes, text));
    }
    if (*rc == SQLITE_DONE) {
        *rc = SQLITE_CORRUPT;
        SetDetail(detail, detailBytes, "no index on VLD.C1");
    } else {
        EngineFailure(db, *rc, detail, detailBytes);
    }
    return false;
}

// Walks the lookup index to its first (or last) key and reads that key's
// rows as the search would.
int LookUpEdgeKey(sqlite3 *db, const char *index, bool last, char *detail, size_t detailBytes) {
    char *sql = sqlite3_mprintf("SELECT C1 FROM VLD INDEXED BY \"%w\" WHERE C1 IS NOT NULL ORDER BY C1 %s LIMIT 1",
                                index, last ? "DESC" : "ASC");
    if (sql == NULL) return SQLITE_NOMEM;
    Statement edge(db, sql);
    sqlite3_free(sql);
    if (edge.prepared() != SQLITE_OK) return EngineFailure(db, edge.prepared(), detail, detailBytes);
    int rc = sqlite3_step(edge.get());
    if (rc == SQLITE_DONE) return SQLITE_OK;  // no vehicles at all
    if (rc != SQLITE_ROW) return EngineFailure(db, rc, detail, detailBytes);

    Statement rows(db, "SELECT C1, C2, C3, C4, C5 FROM VLD WHERE C1 = ?1");
    if (rows.prepared() != SQLITE_OK) return EngineFailure(db, rows.prepared(), detail, detailBytes);
    sqlite3_bind_value(rows.get(), 1, sqlite3_column_value(edge.get(), 0));
    return StepAll(db, rows.get(), detail, detailBytes);
}

// Opens path without creating it, checks it as book (whole, or the part
// that start-up and a search read), and closes it.
int CheckBookAt(const WCHAR *path, const BookFile &book, bool whole, char *detail, size_t detailBytes) {
    char name[kPathChars * 3];
    if (!EngineFileName(path, name)) return SQLITE_CANTOPEN;
    sqlite3 *db = NULL;
    int rc = sqlite3_open_v2(name, &db, SQLITE_OPEN_READWRITE, NULL);
    if (rc == SQLITE_OK) rc = CheckBookConnection(db, book, whole, detail, detailBytes);
    else if (db != NULL) EngineFailure(db, rc, detail, detailBytes);
    sqlite3_close(db);
    return rc;
}

// Checks a standard file on a converted copy in the temporary folder, so
// that the book itself is converted only when the result will be sound.
int CheckStandardCopy(const BookFile &book, char *detail, size_t detailBytes) {
    WCHAR folder[MAX_PATH + 1], copy[MAX_PATH + 1];
    DWORD n = GetTempPathW(ARRAYSIZE(folder), folder);
    if (n == 0 || n >= ARRAYSIZE(folder) || GetTempFileNameW(folder, L"kvb", 0, copy) == 0) {
        SetDetail(detail, detailBytes, "no room for a trial conversion");
        return SQLITE_CANTOPEN;
    }
    int rc = SQLITE_CANTOPEN;
    SetDetail(detail, detailBytes, "trial conversion failed");
    // The copy takes the book's attributes; it must be writable to convert.
    if (CopyFileW(book.path, copy, FALSE) && SetFileAttributesW(copy, FILE_ATTRIBUTE_NORMAL) &&
        ConvertToProgramDatabase(copy) == 1) {
        rc = CheckBookAt(copy, book, true, detail, detailBytes);
    }
    SetFileAttributesW(copy, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(copy);
    WCHAR journal[MAX_PATH + 16];
    if (SUCCEEDED(StringCchPrintfW(journal, ARRAYSIZE(journal), L"%ls-journal", copy))) DeleteFileW(journal);
    return rc;
}

// Moves a damaged book to the set-aside name beside it, and its journal
// with it (a journal left behind would be deleted when the new book is
// made). Never replaces a file.
bool SetBookAside(const BookFile &book, WCHAR *out, size_t outChars) {
    WCHAR folder[kPathChars];
    TextCopy(folder, book.path);
    WCHAR *slash = wcsrchr(folder, L'\\');
    if (slash == NULL) return false;
    slash[1] = 0;

    // The backup names' form, "c:\<base> YYYY-MON-DD hh_mm_ss.db", without
    // its drive and extension.
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR stamped[kPathChars];
    FormatBackupPath(stamped, ARRAYSIZE(stamped), book.damagedBase, &now);
    size_t length = wcslen(stamped);
    if (length < 6) return false;
    stamped[length - 3] = 0;
    const WCHAR *stem = stamped + 3;

    WCHAR from[kPathChars + 16], to[kPathChars + 16];
    if (FAILED(StringCchPrintfW(from, ARRAYSIZE(from), L"%ls-journal", book.path))) return false;
    bool journal = GetFileAttributesW(from) != INVALID_FILE_ATTRIBUTES;
    for (int n = 1; n < 100; n++) {
        WCHAR suffix[8] = L"";
        if (n > 1) StringCchPrintfW(suffix, ARRAYSIZE(suffix), L" (%d)", n);
        if (FAILED(StringCchPrintfW(out, outChars, L"%ls%ls%ls.db", folder, stem, suffix)) ||
            FAILED(StringCchPrintfW(to, ARRAYSIZE(to), L"%ls-journal", out))) {
            break;
        }
        // A name whose journal name is taken is taken too.
        if (journal && GetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES) continue;
        if (MoveFileW(book.path, out)) {
            if (!journal || MoveFileW(from, to)) return true;
            // Apart from its journal the book could never be brought back:
            // it goes back to its own name, and the book is stuck.
            MoveFileW(out, book.path);
            break;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
    }
    if (outChars > 0) out[0] = 0;
    return false;
}

}  // namespace

bool IsDamagedFileCode(int rc) {
    int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
}

int RollBackHotJournal(const WCHAR *path) {
    WCHAR journal[kPathChars + 16];
    if (FAILED(StringCchPrintfW(journal, ARRAYSIZE(journal), L"%ls-journal", path))) return kJournalKept;
    JournalLook look = LookAtJournal(journal);
    if (look == kJournalAbsent) return kJournalNone;
    if (look == kJournalUnreadable) return kJournalKept;

    // The engine plays a journal back only into a file it may write, and
    // only from a journal it may write.
    DWORD attributes = GetFileAttributesW(path);
    ClearReadOnly(path, attributes);
    ClearReadOnly(journal, GetFileAttributesW(journal));
    char name[kPathChars * 3];
    sqlite3 *db = NULL;
    if (EngineFileName(path, name) && sqlite3_open_v2(name, &db, SQLITE_OPEN_READWRITE, NULL) == SQLITE_OK) {
        // Any read takes the engine's shared lock, and with it the rollback;
        // its result is for the checks that follow to judge.
        sqlite3_exec(db, "PRAGMA schema_version", NULL, NULL, NULL);
    }
    sqlite3_close(db);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes);
    return LookAtJournal(journal) == kJournalAbsent ? kJournalRolledBack : kJournalKept;
}

int CheckBookConnection(sqlite3 *db, const BookFile &book, bool whole, char *detail, size_t detailBytes) {
    char sql[64];
    if (whole) {
        StringCchCopyA(sql, ARRAYSIZE(sql), "PRAGMA quick_check(1)");
    } else {
        StringCchPrintfA(sql, ARRAYSIZE(sql), "PRAGMA quick_check(%s)", book.settingsTable);
    }
    int rc = QuickCheck(db, sql, detail, detailBytes);
    if (rc != SQLITE_OK) return rc;
    StringCchPrintfA(sql, ARRAYSIZE(sql), "SELECT C1, C2 FROM %s LIMIT 0", book.settingsTable);
    rc = RequireColumns(db, sql, detail, detailBytes);
    if (rc == SQLITE_OK && book.hasRecords) rc = RequireColumns(db, "SELECT C1 FROM VLS LIMIT 0", detail, detailBytes);
    if (rc != SQLITE_OK || whole || !book.hasRecords) return rc;
    // The records' first and last rows: the two edges of their tree, the
    // last one where every new row goes.
    for (const char *edge : {"SELECT * FROM VLS ORDER BY rowid LIMIT 1", "SELECT * FROM VLS ORDER BY rowid DESC LIMIT 1"}) {
        Statement q(db, edge);
        rc = q.prepared() == SQLITE_OK ? StepAll(db, q.get(), detail, detailBytes)
                                       : EngineFailure(db, q.prepared(), detail, detailBytes);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

int PrepareBookFile(const BookFile &book, WCHAR *setAside, size_t setAsideChars) {
    if (setAsideChars > 0) setAside[0] = 0;
    DWORD attributes = GetFileAttributesW(book.path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kBookMissing;

    // A book killed in its commit is whole once the engine has played its
    // journal back; before that its header and length say nothing. A
    // journal that could not be played back leaves the book for the usual
    // road, whose engine tries again.
    int journal = RollBackHotJournal(book.path);
    if (journal == kJournalKept) return kBookReady;

    // A file that cannot be read is no proof of damage (a lock, a read
    // error): it is left for the usual road.
    FileHead head = ReadHead(book.path);
    if (!head.read) return kBookReady;
    if (head.size == 0) {
        // Nothing in it to keep: make it afresh, as a missing book.
        if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(book.path, attributes & ~FILE_ATTRIBUTE_READONLY);
        if (DeleteFileW(book.path)) return kBookMissing;
    }

    char detail[kTextChars];
    int rc = SQLITE_NOTADB;
    switch (JudgeHead(head, detail, sizeof detail)) {
    case kHeadProgram:
        // The whole book is read after a rollback, and where that is cheap.
        rc = CheckBookAt(book.path, book, journal == kJournalRolledBack || head.size <= kWholeCheckBytes, detail,
                         sizeof detail);
        break;
    case kHeadStandard:
        if (!book.convertStandard) break;
        rc = CheckStandardCopy(book, detail, sizeof detail);
        // A sound copy: convert the book itself, as it always was.
        if (rc == SQLITE_OK && ConvertToProgramDatabase(book.path) != 1) rc = SQLITE_NOTADB;
        break;
    case kHeadForeign:
    case kHeadCut:
        break;
    }
    // Failures other than damage (a lock, a read error) leave the book for
    // the usual road.
    if (!IsDamagedFileCode(rc)) return kBookReady;
    return SetBookAside(book, setAside, setAsideChars) ? kBookSetAside : kBookStuck;
}

int CheckDataFileHeader(const WCHAR *path, char *detail, size_t detailBytes) {
    FileHead head = ReadHead(path);
    if (!head.read) {
        SetDetail(detail, detailBytes, "cannot read the file");
        return SQLITE_CANTOPEN;
    }
    switch (JudgeHead(head, detail, detailBytes)) {
    case kHeadProgram:
        return SQLITE_OK;
    case kHeadStandard:
        SetDetail(detail, detailBytes, "file is not a database of this program");
        return SQLITE_NOTADB;
    case kHeadForeign:
        return SQLITE_NOTADB;
    case kHeadCut:
        break;
    }
    return SQLITE_CORRUPT;
}

int CheckDataConnection(sqlite3 *db, char *detail, size_t detailBytes) {
    int rc = RequireColumns(db, "SELECT C1, C2 FROM PRD LIMIT 0", detail, detailBytes);
    if (rc == SQLITE_OK) rc = QuickCheck(db, "PRAGMA quick_check(PRD)", detail, detailBytes);
    if (rc == SQLITE_OK) rc = RequireColumns(db, "SELECT C1, C2, C3, C4, C5 FROM VLD LIMIT 0", detail, detailBytes);
    if (rc != SQLITE_OK) return rc;
    char index[kTextChars];
    if (!FindLookupIndex(db, index, sizeof index, &rc, detail, detailBytes)) return rc;
    rc = LookUpEdgeKey(db, index, false, detail, detailBytes);
    if (rc == SQLITE_OK) rc = LookUpEdgeKey(db, index, true, detail, detailBytes);
    return rc;
}

bool FindNewestBackup(const WCHAR *base, WCHAR *out, size_t outChars) {
    if (outChars > 0) out[0] = 0;
    WCHAR pattern[kPathChars];
    if (FAILED(StringCchPrintfW(pattern, ARRAYSIZE(pattern), L"c:\\%ls *.db", base))) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FILETIME newest = {0, 0};
    bool found = false;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (found && CompareFileTime(&data.ftLastWriteTime, &newest) <= 0) continue;
        if (FAILED(StringCchPrintfW(out, outChars, L"c:\\%ls", data.cFileName))) continue;
        newest = data.ftLastWriteTime;
        found = true;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    if (!found && outChars > 0) out[0] = 0;
    return found;
}
