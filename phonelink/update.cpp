// The online data update.
//
// A run posts the installation's identity and data versions to the server
// (request 1), expects a challenge, fetches the data reply (request 2) and,
// when the server's patch version differs from ours, applies the reply's
// row operations to VLD, VLC and the remark book. The whole reply is checked
// before any book is touched, and the books are changed in one transaction
// each that is rolled back whole on any failure, so a bad reply or a full
// disk never half-applies an update.
#include "update.h"

#include <curl/curl.h>
#include <rapidjson/reader.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <algorithm>
#include <new>

#include "bookjob.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "statement.h"
#include "textutil.h"

// Servers 1 and 2. ReadUpdateServerOverrides (at start-up) and the
// in-process tests may point them elsewhere, a loopback stand-in say.
char UpdateServerBase[2][256] = {"http://update1.korvane.com.my", "http://update2.korvane.com.my"};
COLORREF UpdateStatusColour = RGB(0, 0, 255);
long UpdateConnectTimeoutSec = 20;
long UpdateLowSpeedBytes = 1024;
long UpdateLowSpeedTimeSec = 30;
int UpdateRunning;

namespace {

const COLORREF kRunning = RGB(0, 0, 255);
const COLORREF kFailed = RGB(255, 0, 0);
const COLORREF kCurrent = RGB(36, 143, 36);

enum { kStatusChars = 256, kMemberBytes = 255, kMaxOpChars = 9, kMaxPatchChars = 20 };

// ---- Status line -----------------------------------------------------------

void ShowStatus(COLORREF colour, const WCHAR *text) {
    UpdateStatusColour = colour;
    HWND line = MainControl(IDC_UPDATE_STATUS);
    if (line != NULL) {
        SetWindowTextW(line, text);
        InvalidateRect(line, NULL, TRUE);
        UpdateWindow(line);
    }
}

// Formats the English or Malay text (malay may be NULL: same in both) with
// the server number and an optional wide text.
void ShowStatusF(COLORREF colour, const WCHAR *english, const WCHAR *malay, int server,
                 const WCHAR *detail = NULL) {
    WCHAR text[kStatusChars];
    const WCHAR *format = (UseEnglish || malay == NULL) ? english : malay;
    if (detail != NULL) {
        StringCchPrintfW(text, ARRAYSIZE(text), format, detail);
    } else {
        StringCchPrintfW(text, ARRAYSIZE(text), format, server);
    }
    ShowStatus(colour, text);
}

void ShowNoMemory(int server) {
    ShowStatusF(kFailed, L"Server Online %d: ERROR 2.5: the reply does not fit in memory",
                L"Server Online %d: ERROR 2.5: data tidak muat dalam memori", server);
}

void EnableDownloadButtons(BOOL enable) {
    EnableWindow(MainControl(IDC_DOWNLOAD_1), enable);
    EnableWindow(MainControl(IDC_DOWNLOAD_2), enable);
}

// A reply's or the library's text as wide text of at most 255 characters;
// UTF-8 when it is valid UTF-8, else the ANSI code page.
std::wstring Wide(const char *text) {
    UINT codePage = CP_UTF8;
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, NULL, 0);
    if (n <= 0) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(codePage, 0, text, -1, NULL, 0);
    }
    if (n <= 1) return std::wstring();
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
    wide.resize((size_t)n - 1);
    if (wide.size() > kMemberBytes) wide.resize(kMemberBytes);
    return wide;
}

std::string Narrow(const WCHAR *text) {
    char buffer[kStatusChars * 3];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return n > 0 ? std::string(buffer) : std::string();
}

bool SameText(const std::wstring &a, const WCHAR *b) { return _wcsicmp(a.c_str(), b) == 0; }

// ---- JSON ------------------------------------------------------------------

void AppendEscaped(std::string *out, const std::string &utf8) {
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': *out += "\\\""; break;
        case '\\': *out += "\\\\"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        case '\t': *out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                StringCchPrintfA(escape, ARRAYSIZE(escape), "\\u%04x", c);
                *out += escape;
            } else {
                *out += (char)c;
            }
        }
    }
}

// ---- Books -----------------------------------------------------------------

// Binds the texts to ?1.. of s, steps once and resets. Returns the step's
// code (SQLITE_ROW, SQLITE_DONE or an error).
int RunWith(Statement &s, std::initializer_list<const std::string *> values) {
    int i = 1;
    for (const std::string *v : values) {
        sqlite3_bind_text(s.get(), i++, v->c_str(), (int)v->size(), SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(s.get());
    sqlite3_clear_bindings(s.get());
    sqlite3_reset(s.get());
    return rc;
}

bool Exec(sqlite3 *db, const char *sql, std::string *error) {
    char *message = NULL;
    int rc = sqlite3_exec(db, sql, NULL, NULL, &message);
    if (rc != SQLITE_OK && error != NULL && error->empty()) {
        *error = std::string(sql) + ": " + (message ? message : sqlite3_errstr(rc));
    }
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

// The apply keeps the engine's syncs: its journal must be on the disk before
// the pages it guards are overwritten, or a power cut in the apply leaves a
// damaged data file or remark book.
void FastPragmas(sqlite3 *db) {
    Exec(db, "PRAGMA temp_store = MEMORY;", NULL);
    Exec(db, "PRAGMA locking_mode = EXCLUSIVE;", NULL);
}

void NormalPragmas(sqlite3 *db) {
    Exec(db, "PRAGMA temp_store = DEFAULT;", NULL);
    Exec(db, "PRAGMA locking_mode = NORMAL;", NULL);
    // Leaving exclusive mode lets the file go only at the next access;
    // make that access now, so other readers (the setup program, a copy,
    // the engine's shell) are not locked out until the next search.
    Exec(db, "PRAGMA user_version;", NULL);
}

// The plate of a remark key (LocalCipher) as the data book keeps it in VLC.
std::string ClearedPlateField(const std::string &remarkKey) {
    WCHAR plate[kPlainBytes];
    DecodeField(LocalCipher, remarkKey.c_str(), plate);
    char field[kCipherFieldBytes];
    EncodeField(DataCipher, plate, field);
    return field;
}

// Lets the windows repaint while the user-interface thread is held, and
// answers the messages other threads and the system send it (the question
// whether Windows may end the session among them). Nothing else is
// dispatched: the agent's clicks wait in the queue, so no command runs
// inside the update.
void LetPaintThrough() {
    MSG msg;
    for (int i = 0; i < 64 && PeekMessageW(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE); i++) {
        DispatchMessageW(&msg);
    }
}

enum { kApplyPaintMs = 40, kApplyPaintRows = 64 };  // the apply lets paint through this often

// True when a remark of one of the X rows is in the remark book: the apply
// would delete it. Returns false when there is none or the book cannot be
// read (then the apply's own delete fails as well).
bool DeletesRemarks(const std::vector<UpdateRow> &rows) {
    sqlite3_stmt *find = NULL;
    if (sqlite3_prepare_v2(RemarkDb, "SELECT 1 FROM VLS WHERE C1=? LIMIT 1", -1, &find, NULL) != SQLITE_OK) {
        sqlite3_finalize(find);
        return false;
    }
    bool found = false;
    for (size_t i = 0; i < rows.size() && !found; i++) {
        if (_stricmp(rows[i].f.c_str(), "X") != 0) continue;
        sqlite3_bind_text(find, 1, rows[i].a.c_str(), (int)rows[i].a.size(), SQLITE_STATIC);
        found = sqlite3_step(find) == SQLITE_ROW;
        sqlite3_reset(find);
    }
    sqlite3_finalize(find);
    return found;
}

bool Step(int rc, const char *what, sqlite3 *db, size_t row, std::string *error) {
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
    char text[512];
    StringCchPrintfA(text, ARRAYSIZE(text), "row %u: %s: %s", (unsigned)row + 1, what, sqlite3_errmsg(db));
    *error = text;
    return false;
}

enum {
    kApplyCacheKiB = 163840,       // the data book's page cache while an update is applied (half the room beside its map)
    kApplyRemarkCacheKiB = 32768,  // the remark book's, which then holds the whole book as a rule
};

// The row operations that touch the cleared plates (and the remark book)
// rather than VLD.
bool IsClearOperation(const UpdateRow &r) {
    return _stricmp(r.f.c_str(), "X") == 0 || _stricmp(r.f.c_str(), "Z") == 0;
}

// The order in which the rows are applied. The VLD rows (D and the
// upserts) go by key, so that a large reply walks the key index from one
// end to the other and reads and rewrites each of its pages about once
// instead of once per row; the X and Z rows follow in their own order.
// Rows of the same key keep the order the server gave, and rows of
// different keys, or of VLD and of VLC, never touch the same row, so the
// outcome is that of the rows in the reply's order.
std::vector<size_t> ApplyOrder(const std::vector<UpdateRow> &rows) {
    std::vector<size_t> order(rows.size());
    std::vector<char> clears(rows.size());  // the kind of each row, found once and not at every comparison
    for (size_t i = 0; i < rows.size(); i++) {
        order[i] = i;
        clears[i] = IsClearOperation(rows[i]);
    }
    std::stable_sort(order.begin(), order.end(), [&rows, &clears](size_t x, size_t y) {
        if (clears[x] != clears[y]) return clears[y] != 0;  // VLD rows first
        return !clears[x] && rows[x].a < rows[y].a;
    });
    return order;
}

// The connection's page cache setting ("PRAGMA cache_size"), 0 when it
// cannot be read.
int CacheSizeSetting(sqlite3 *db) {
    int value = 0;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, "PRAGMA cache_size", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

bool LockingModeIsExclusive(sqlite3 *db) {
    bool exclusive = false;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, "PRAGMA locking_mode", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *mode = sqlite3_column_text(stmt, 0);
        exclusive = mode != NULL && _stricmp((const char *)mode, "exclusive") == 0;
    }
    sqlite3_finalize(stmt);
    return exclusive;
}

void SetCacheSize(sqlite3 *db, int value) {
    char sql[64];
    StringCchPrintfA(sql, ARRAYSIZE(sql), "PRAGMA cache_size = %d;", value);
    Exec(db, sql, NULL);
}

// Reads the local patch version again, as it is stored now.
std::wstring StoredPatchVersion() {
    WCHAR patch[kPlainBytes] = L"";
    sqlite3_stmt *stmt = NULL;
    if (DataDb != NULL &&
        sqlite3_prepare_v2(DataDb, "select C2 from PRD where C1 ='DVP'", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *field = sqlite3_column_text(stmt, 0);
        DecodeField(DataCipher, field ? (const char *)field : "", patch);
    }
    sqlite3_finalize(stmt);
    WCHAR padded[16];
    TextCopy(padded, patch);
    PadNumberText(padded);
    return wcslen(patch) < ARRAYSIZE(padded) ? std::wstring(padded) : std::wstring(patch);
}

// ---- Reply reader ----------------------------------------------------------

enum {
    kMaxReplyDepth = 16,      // deeper nesting is no reply of this server
    kMaxKeptTextBytes = 1024, // of a long BeginData text: more than the status line shows
};

enum TopMember { kEndData, kReplyType, kBeginData, kDataVersionPatch, kTopMemberCount, kOtherMember };

// A member of the reply's top object as the reader met it first.
struct ReplyMember {
    enum Kind { kAbsent, kText, kArray, kOther } kind = kAbsent;
    std::string text;      // kText: the value, at most kMaxKeptTextBytes of it
    size_t length = 0;     // kText: the value's whole length in bytes
    bool hasZero = false;  // kText: a NUL inside the value
    bool IsText(size_t maxBytes) const { return kind == kText && !hasZero && length <= maxBytes; }
};

// Reads a reply as it streams past, without building a tree, so a reply's
// shape costs neither stack nor memory beyond what it carries: the members
// the run needs are kept, the rows of a data reply are checked and kept one
// by one, anything else is skipped, and nesting deeper than kMaxReplyDepth
// ends the parse as an error. Duplicate members count as they come first.
class ReplyReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ReplyReader> {
  public:
    ReplyReader(bool keepRows, UpdateReply *out) : keepRows_(keepRows), out_(out) {}
    ReplyReader(const ReplyReader &) = delete;
    ReplyReader &operator=(const ReplyReader &) = delete;

    bool wasObject() const { return wasObject_; }
    const ReplyMember &member(TopMember which) const { return members_[which]; }
    int firstBadRow() const { return firstBadRow_; }

    // Scalars.
    bool Default() { return Scalar(NULL, 0); }
    bool String(const char *text, rapidjson::SizeType length, bool) { return Scalar(text, length); }

    bool StartObject() { return Open(true); }
    bool StartArray() { return Open(false); }
    bool EndObject(rapidjson::SizeType) { return Close(true); }
    bool EndArray(rapidjson::SizeType) { return Close(false); }

    bool Key(const char *name, rapidjson::SizeType length, bool) {
        if (depth_ == 1) {
            static const char *const kNames[kTopMemberCount] = {"EndData", "ReplyType", "BeginData",
                                                                 "DataVersionPatch"};
            current_ = kOtherMember;
            for (int i = 0; i < kTopMemberCount; i++) {
                if (strlen(kNames[i]) == length && memcmp(kNames[i], name, length) == 0) {
                    // Only the first of a name counts.
                    if (members_[i].kind == ReplyMember::kAbsent) current_ = (TopMember)i;
                    break;
                }
            }
        } else if (depth_ == 3 && rowOpen_) {
            rowField_ = -1;
            if (length == 1 && name[0] >= 'A' && name[0] <= 'F') rowField_ = name[0] - 'A';
        }
        return true;
    }

  private:
    // A value that is no text has text NULL.
    bool Scalar(const char *text, rapidjson::SizeType length) {
        if (depth_ == 0) return false;  // the reply is no object
        if (depth_ == 1) {
            if (current_ < kTopMemberCount) {
                ReplyMember &m = members_[current_];
                if (text == NULL) {
                    m.kind = ReplyMember::kOther;
                } else {
                    m.kind = ReplyMember::kText;
                    m.length = length;
                    m.hasZero = memchr(text, 0, length) != NULL;
                    size_t kept = length < (size_t)kMaxKeptTextBytes ? (size_t)length : (size_t)kMaxKeptTextBytes;
                    // Never keep half a UTF-8 character.
                    while (kept < length && kept > 0 && ((unsigned char)text[kept] & 0xC0) == 0x80) kept--;
                    m.text.assign(text, kept);
                }
            }
        } else if (depth_ == 2 && rowsOpen_) {
            RowIsBad();  // a row that is no object
            rowIndex_++;
        } else if (depth_ == 3 && rowOpen_ && rowField_ >= 0) {
            std::string *field[6] = {&row_.a, &row_.b, &row_.c, &row_.d, &row_.e, &row_.f};
            unsigned bit = 1u << rowField_;
            size_t limit = rowField_ == 5 ? (size_t)kMaxOpChars : (size_t)kMemberBytes;
            if (rowSeen_ & bit) return true;  // only the first counts
            rowSeen_ |= bit;
            if (text == NULL || length > limit || memchr(text, 0, length) != NULL) {
                rowBad_ = true;
            } else if (firstBadRow_ < 0 && keepRows_) {
                field[rowField_]->assign(text, length);
            }
        }
        return true;
    }

    bool Open(bool object) {
        if (depth_ == 0) {
            if (!object) return false;  // the reply is no object
            wasObject_ = true;
        } else if (depth_ == 1) {
            if (current_ < kTopMemberCount) {
                bool rows = !object && current_ == kBeginData;
                members_[current_].kind = rows ? ReplyMember::kArray : ReplyMember::kOther;
                rowsOpen_ = rows;
                rowIndex_ = 0;
            }
        } else if (depth_ == 2 && rowsOpen_) {
            if (object) {
                rowOpen_ = true;
                rowBad_ = false;
                rowSeen_ = 0;
                rowField_ = -1;
                row_ = UpdateRow();
            } else {
                RowIsBad();  // a row that is no object
            }
        } else if (depth_ == 3 && rowOpen_ && rowField_ >= 0) {
            if (!(rowSeen_ & (1u << rowField_))) rowBad_ = true;  // a member that is no text
            rowSeen_ |= 1u << rowField_;
        }
        return ++depth_ <= kMaxReplyDepth;
    }

    bool Close(bool object) {
        depth_--;
        if (depth_ == 2 && rowsOpen_) {
            if (object && rowOpen_) {
                rowOpen_ = false;
                if (rowBad_ || rowSeen_ != 0x3F || row_.a.empty()) {
                    RowIsBad();
                } else if (firstBadRow_ < 0 && keepRows_) {
                    out_->rows.push_back(std::move(row_));
                }
            }
            rowIndex_++;
        } else if (depth_ == 1) {
            rowsOpen_ = false;
        }
        return true;
    }

    void RowIsBad() {
        if (firstBadRow_ < 0) {
            firstBadRow_ = (int)rowIndex_;
            out_->rows.clear();
            out_->rows.shrink_to_fit();
        }
    }

    bool keepRows_;
    UpdateReply *out_;
    int depth_ = 0;                     // containers open around the value read
    bool wasObject_ = false;            // the reply's top value is an object
    TopMember current_ = kOtherMember;  // the top member being read
    ReplyMember members_[kTopMemberCount];
    bool rowsOpen_ = false;  // inside BeginData's array
    size_t rowIndex_ = 0;    // the element of BeginData being read
    bool rowOpen_ = false;   // inside a row object
    bool rowBad_ = false;
    unsigned rowSeen_ = 0;   // bit i: member 'A' + i met
    int rowField_ = -1;      // the row member being read, 0-5 for A-F
    UpdateRow row_;
    int firstBadRow_ = -1;
};

}  // namespace

// ---- Pieces --------------------------------------------------------------------

size_t CurlWriteToBuffer(char *bytes, size_t size, size_t count, void *param) {
    ReplyBuffer *reply = static_cast<ReplyBuffer *>(param);
    if (size != 0 && count > (size_t)-1 / size) return 0;
    size_t n = size * count;
    if (n > kMaxReplyBytes || reply->length > kMaxReplyBytes - n) return 0;
    size_t needed = reply->length + n + 1;  // at most kMaxReplyBytes + 1
    if (needed > reply->capacity || reply->data == NULL) {
        size_t capacity = reply->capacity < 4096 ? 4096 : reply->capacity;
        while (capacity < needed) capacity *= 2;
        if (capacity > (size_t)kMaxReplyBytes + 1) capacity = (size_t)kMaxReplyBytes + 1;
        char *grown = static_cast<char *>(realloc(reply->data, capacity));
        if (grown == NULL) return 0;
        reply->data = grown;
        reply->capacity = capacity;
    }
    memcpy(reply->data + reply->length, bytes, n);
    reply->length += n;
    reply->data[reply->length] = 0;
    return n;
}

void FreeReplyBuffer(ReplyBuffer *reply) {
    free(reply->data);
    reply->data = NULL;
    reply->length = 0;
    reply->capacity = 0;
}

ReplyCheck CheckUpdateReply(const char *json, bool dataReply, UpdateReply *out, int *badRow) {
    *badRow = -1;
    *out = UpdateReply();
    ReplyReader reader(dataReply, out);
    try {
        rapidjson::Reader parser;
        rapidjson::StringStream stream(json ? json : "");
        parser.Parse<rapidjson::kParseIterativeFlag>(stream, reader);
        if (parser.HasParseError() || !reader.wasObject()) {
            out->rows.clear();
            return kReplyNotObject;
        }
    } catch (const std::bad_alloc &) {
        *out = UpdateReply();
        return kReplyNoMemory;
    }
    const ReplyMember &endData = reader.member(kEndData);
    if (!endData.IsText(kMemberBytes)) return kReplyNoEndData;
    if (_stricmp(endData.text.c_str(), "DataComplete") != 0) return kReplyIncomplete;
    const ReplyMember &replyType = reader.member(kReplyType);
    if (!replyType.IsText(kMemberBytes)) return kReplyMalformed;
    out->replyType = Wide(replyType.text.c_str());

    const ReplyMember &begin = reader.member(kBeginData);
    bool isData = dataReply && SameText(out->replyType, L"Data");
    if (!isData) {
        // Every other reply carries a text; cut it to what the status shows.
        out->rows.clear();
        if (begin.kind != ReplyMember::kText) return kReplyMalformed;
        out->beginText = Wide(begin.text.c_str());
        return kReplyOk;
    }
    const ReplyMember &patch = reader.member(kDataVersionPatch);
    if (!patch.IsText(kMaxPatchChars) || patch.text.empty() || begin.kind != ReplyMember::kArray) {
        out->rows.clear();
        return kReplyMalformed;
    }
    out->dataVersionPatch = Wide(patch.text.c_str());
    if (reader.firstBadRow() >= 0) {
        *badRow = reader.firstBadRow();
        out->rows.clear();
        return kReplyMalformed;
    }
    return kReplyOk;
}

bool BuildUpdateRequestBody(const char *hardwareId, const WCHAR *email, const WCHAR *osVersion,
                            const WCHAR *dataVersion, const WCHAR *dataVersionUpdate,
                            const WCHAR *dataVersionPatch, char *out, size_t outBytes) {
    struct Member {
        const char *name;
        std::string value;
    } members[] = {
        {"HardwareID", hardwareId}, {"Email", Narrow(email)}, {"OSVersion", Narrow(osVersion)},
        {"DataVersion", Narrow(dataVersion)}, {"DataVersionUpdate", Narrow(dataVersionUpdate)},
        {"DataVersionPatch", Narrow(dataVersionPatch)},
    };
    std::string body = "{";
    for (size_t i = 0; i < ARRAYSIZE(members); i++) {
        if (i > 0) body += ",";
        body += "\"";
        body += members[i].name;
        body += "\":\"";
        AppendEscaped(&body, members[i].value);
        body += "\"";
    }
    body += "}";
    if (body.size() + 1 > outBytes) {
        if (outBytes > 0) out[0] = 0;
        return false;
    }
    memcpy(out, body.c_str(), body.size() + 1);
    return true;
}

void MakeHardwareId(char *out) {
    DWORD serial = 0;
    GetVolumeInformationW(L"C:\\", NULL, 0, &serial, NULL, NULL, NULL, 0);
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD size = ARRAYSIZE(computer);
    GetComputerNameW(computer, &size);
    char seed[128];
    StringCchPrintfA(seed, ARRAYSIZE(seed), "KORVANE-%08lX-%ls", (unsigned long)serial, computer);
    Md5HexUpper(seed, out);
}

bool ApplyUpdateRows(const std::vector<UpdateRow> &rows, const WCHAR *newPatch, std::string *error,
                     int *remarksKept) {
    error->clear();
    if (remarksKept != NULL) *remarksKept = 0;
    int remarksDeleted = 0;
    if (DataDb == NULL || RemarkDb == NULL) {
        *error = "the data or remark book is not open";
        return false;
    }
    // Remarks that the reply deletes are copied first, to a checked backup;
    // without one nothing is applied.
    if (DeletesRemarks(rows) &&
        !MakeCheckedBackup(RemarkDbPath, BackupNameHook != NULL ? BackupNameHook : MakeRemarkBackupPath,
                           RemarkBackupPath, ARRAYSIZE(RemarkBackupPath))) {
        *error = "the backup copy of the remark book could not be made";
        return false;
    }
    // The data book may keep its read lock between lookups; the apply's end
    // releases every lock, and that mode comes back after it.
    bool keepsReadLock = LockingModeIsExclusive(DataDb);
    FastPragmas(DataDb);
    FastPragmas(RemarkDb);
    // A cache that holds the pages a large reply changes, so that they are
    // neither written out early nor read twice; the setting comes back after.
    int cacheSize = CacheSizeSetting(DataDb), remarkCacheSize = CacheSizeSetting(RemarkDb);
    if (cacheSize != 0) SetCacheSize(DataDb, -kApplyCacheKiB);
    if (remarkCacheSize != 0) SetCacheSize(RemarkDb, -kApplyRemarkCacheKiB);
    bool ok = Exec(DataDb, "begin", error) && Exec(RemarkDb, "begin", error);
    // The cleared plates are found by their text, and VLC comes without an
    // index: every X and Z would read the whole table. The index is made
    // once, inside the data transaction, so a failed apply takes it back
    // with the rest; readers of the file see no difference.
    bool clearsPlates = false;
    for (const UpdateRow &r : rows) clearsPlates = clearsPlates || IsClearOperation(r);
    if (ok && clearsPlates) ok = Exec(DataDb, "CREATE INDEX IF NOT EXISTS idxVLCC1 ON VLC(C1)", error);
    // Memory that runs out half way is a failure like any other: both
    // transactions are rolled back below.
    try {
        Statement find(DataDb, "SELECT C2,C3,C4,C5 from VLD WHERE C1=?");
        Statement update(DataDb, "UPDATE VLD SET C2=?,C3=?,C4=?,C5=? WHERE C1=?");
        Statement insert(DataDb, "INSERT INTO VLD VALUES(?,?,?,?,?)");
        Statement erase(DataDb, "DELETE FROM VLD WHERE C1=?");
        Statement clear(DataDb, "INSERT INTO VLC (C1) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM VLC WHERE C1=?)");
        Statement unclear(DataDb, "DELETE FROM VLC WHERE C1=?");
        Statement forget(RemarkDb, "DELETE FROM VLS WHERE C1=?");
        Statement patchUpdate(DataDb, "update PRD set C2 = ? where C1 = 'DVP'");
        Statement patchInsert(DataDb, "insert into PRD (C1, C2) values ('DVP', ?)");
        if (ok && !(find.ok() && update.ok() && insert.ok() && erase.ok() && clear.ok() && unclear.ok() &&
                    forget.ok() && patchUpdate.ok() && patchInsert.ok())) {
            *error = "Could not prepare statement.";
            ok = false;
        }
        std::vector<size_t> order = ApplyOrder(rows);
        DWORD painted = GetTickCount();
        for (size_t n = 0; ok && n < order.size(); n++) {
            if (n % kApplyPaintRows == 0 && GetTickCount() - painted >= kApplyPaintMs) {
                LetPaintThrough();
                painted = GetTickCount();
            }
            size_t i = order[n];  // the row's place in the reply, for the error text
            const UpdateRow &r = rows[i];
            if (_stricmp(r.f.c_str(), "D") == 0) {
                ok = Step(RunWith(erase, {&r.a}), "delete", DataDb, i, error);
            } else if (_stricmp(r.f.c_str(), "X") == 0) {
                std::string cleared = ClearedPlateField(r.a);
                ok = Step(RunWith(forget, {&r.a}), "remark delete", RemarkDb, i, error);
                if (ok) remarksDeleted += sqlite3_changes(RemarkDb);
                ok = ok && Step(RunWith(clear, {&cleared, &cleared}), "clear", DataDb, i, error);
            } else if (_stricmp(r.f.c_str(), "Z") == 0) {
                std::string cleared = ClearedPlateField(r.a);
                ok = Step(RunWith(unclear, {&cleared}), "unclear", DataDb, i, error);
            } else {
                int found = RunWith(find, {&r.a});
                ok = Step(found, "find", DataDb, i, error);
                if (ok && found == SQLITE_ROW) {
                    ok = Step(RunWith(update, {&r.b, &r.c, &r.d, &r.e, &r.a}), "update", DataDb, i, error);
                } else if (ok) {
                    ok = Step(RunWith(insert, {&r.a, &r.b, &r.c, &r.d, &r.e}), "insert", DataDb, i, error);
                }
            }
        }
        if (ok) {
            char field[kCipherFieldBytes];
            EncodeField(DataCipher, newPatch, field);
            std::string patch = field;
            ok = Step(RunWith(patchUpdate, {&patch}), "patch version", DataDb, rows.size(), error);
            if (ok && sqlite3_changes(DataDb) == 0) {
                ok = Step(RunWith(patchInsert, {&patch}), "patch version", DataDb, rows.size(), error);
            }
        }
    } catch (const std::bad_alloc &) {
        *error = "out of memory";
        ok = false;
    }
    // The remark book commits first, the data book with the new patch
    // version last. Every row operation can be done twice to the same end,
    // so when the data commit fails after the remark commit, the old patch
    // version stays and the next update brings the same rows again: no row
    // is lost, only the remark deletions are already done.
    bool remarksCommitted = false;
    if (ok) ok = remarksCommitted = Exec(RemarkDb, "commit", error);
    if (ok) ok = Exec(DataDb, "commit", error);
    if (!ok) {
        for (sqlite3 *db : {DataDb, RemarkDb}) {
            if (!sqlite3_get_autocommit(db)) Exec(db, "rollback", NULL);
        }
        if (remarksCommitted && remarksKept != NULL) *remarksKept = remarksDeleted;
    }
    if (cacheSize != 0) SetCacheSize(DataDb, cacheSize);
    if (remarkCacheSize != 0) SetCacheSize(RemarkDb, remarkCacheSize);
    NormalPragmas(RemarkDb);
    NormalPragmas(DataDb);
    if (keepsReadLock) Exec(DataDb, "PRAGMA locking_mode = EXCLUSIVE;", NULL);
    return ok;
}

void ReadUpdateServerOverrides(void) {
    static const char *const kNames[2] = {"KORVANE_UPDATE_SERVER1", "KORVANE_UPDATE_SERVER2"};
    for (int i = 0; i < 2; i++) {
        char value[ARRAYSIZE(UpdateServerBase[i])];
        DWORD n = GetEnvironmentVariableA(kNames[i], value, ARRAYSIZE(value));
        if (n == 0 || n >= ARRAYSIZE(value)) continue;  // unset, or too long to hold
        if (_strnicmp(value, "http://", 7) != 0 && _strnicmp(value, "https://", 8) != 0) continue;
        while (n > 0 && value[n - 1] == '/') value[--n] = 0;
        StringCchCopyA(UpdateServerBase[i], ARRAYSIZE(UpdateServerBase[i]), value);
    }
}

void RefreshDataVersionTexts(void) {
    BuildDataVersionText();
    ShowVersionTexts();
}

// ---- The run -----------------------------------------------------------------

namespace {

// The transfer's progress callback: while the user-interface thread waits
// for the server, the windows still repaint.
int PaintDuringTransfer(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    LetPaintThrough();
    return 0;
}

// An easy handle set up as both requests share it.
CURL *OpenTransfer(const char *url, ReplyBuffer *reply) {
    CURL *curl = curl_easy_init();
    if (curl == NULL) return NULL;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CurlWriteToBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, reply);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "libcurl-agent/1.0");
    // A dead or trickling line must not hold the agent for ever.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, UpdateConnectTimeoutSec);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, UpdateLowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, UpdateLowSpeedTimeSec);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, PaintDuringTransfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    return curl;
}

const WCHAR *ServerPath(int server) { return server == 2 ? L"app2" : L"app"; }

// Request 1 and its checks. Returns true when the server sent its challenge.
// Shows that a request did not fit its buffer; nothing was sent.
void ShowTooLong(int server, bool url) {
    if (url) {
        ShowStatusF(kFailed, L"Server Online %d: ERROR 1.1: the server address is too long",
                    L"Server Online %d: ERROR 1.1: alamat server terlalu panjang", server);
    } else {
        ShowStatusF(kFailed, L"Server Online %d: ERROR 1.2: the request is too long, check the email address",
                    L"Server Online %d: ERROR 1.2: permintaan terlalu panjang, periksa alamat email", server);
    }
}

bool Challenge(int server, const char *hardwareId) {
    char url[256];
    if (FAILED(StringCchPrintfA(url, ARRAYSIZE(url), "%hs/%ls/zeld/dataUpdate", UpdateServerBase[server - 1],
                                ServerPath(server)))) {
        ShowTooLong(server, true);
        return false;
    }
    WCHAR email[kTextChars];
    GetWindowTextW(MainControl(IDC_EMAIL), email, ARRAYSIZE(email));
    const WCHAR *update = _wcsicmp(DataVersionUpdate, DataVersion) != 0 ? DataVersionUpdate : L"";
    char body[2048];
    if (!BuildUpdateRequestBody(hardwareId, email, PlatformText, DataVersion, update, DataVersionPatch, body,
                                sizeof body)) {
        ShowTooLong(server, false);
        return false;
    }
    ReplyBuffer reply = {NULL, 0, 0};
    CURL *curl = OpenTransfer(url, &reply);
    if (curl == NULL) return false;
    ShowStatusF(kRunning, L"Server Online %d: step 1", NULL, server);

    curl_slist *headers = curl_slist_append(NULL, "Content-Type: application/json");
    ShowStatusF(kRunning, L"Server Online %d: step 2", NULL, server);
    ShowStatusF(kRunning, L"Server Online %d: step 3", NULL, server);
    ShowStatusF(kRunning, L"Server Online %d: step 4", NULL, server);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body);

    CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    bool ok = false;
    if (rc != CURLE_OK) {
        if (rc == CURLE_COULDNT_RESOLVE_HOST || strstr(curl_easy_strerror(rc), "resolve host name")) {
            ShowStatusF(kFailed, L"Error: No internet line", L"Error: Takde line internet", server);
        } else {
            std::wstring why = Wide(curl_easy_strerror(rc));
            ShowStatusF(kFailed, L"Perform request POST failed: %ls", NULL, server, why.c_str());
        }
    } else {
        UpdateReply parsed;
        int badRow;
        switch (CheckUpdateReply(reply.data, false, &parsed, &badRow)) {
        case kReplyNotObject:
            ShowStatusF(kFailed, L"Error: Server Online %d is down.", L"Error: Server Online %d sudah down.",
                        server);
            break;
        case kReplyNoEndData:
            ShowStatusF(kFailed, L"Server Online %d: ERROR 3.2: Harware status reply is malformed: !EndData",
                        NULL, server);
            break;
        case kReplyIncomplete:
            ShowStatusF(kFailed,
                        L"Server Online %d: ERROR 3.1: Harware status reply is malformed: !DataComplete",
                        NULL, server);
            break;
        case kReplyMalformed:
            ShowStatusF(kFailed, L"Server Online %d: ERROR 3.3: Harware status reply is malformed", NULL,
                        server);
            break;
        case kReplyNoMemory:
            ShowNoMemory(server);
            break;
        case kReplyOk:
            if (SameText(parsed.replyType, L"Error")) {
                ShowStatusF(kFailed, L"Error: %ls", NULL, server, parsed.beginText.c_str());
            } else if (SameText(parsed.replyType, L"Blocked")) {
                if (TextContains(parsed.beginText.c_str(), L"SYSTEM ERROR")) {
                    ShowMessageBox(MainWindow, parsed.beginText.c_str(), L"Error", MB_ICONERROR);
                    ShowStatus(kFailed, L"SYSTEM ERROR");
                } else {
                    ShowStatusF(kFailed, L"Blocked: %ls", NULL, server, parsed.beginText.c_str());
                }
            } else if (!SameText(parsed.replyType, L"Challenge")) {
                ShowStatusF(kFailed, L"Online Server Response is not documented: %ls", NULL, server,
                            parsed.beginText.c_str());
            } else {
                ok = true;
            }
            break;
        }
    }
    FreeReplyBuffer(&reply);
    return ok;
}

// Request 2, its checks, and the apply.
void FetchAndApply(int server, const char *hardwareId) {
    char url[256];
    if (FAILED(StringCchPrintfA(url, ARRAYSIZE(url), "%hs/%ls/zeld/dataUpdate/%hs/%ls",
                                UpdateServerBase[server - 1], ServerPath(server), hardwareId,
                                DataVersionPatch))) {
        ShowTooLong(server, true);
        return;
    }
    ReplyBuffer reply = {NULL, 0, 0};
    CURL *curl = OpenTransfer(url, &reply);
    if (curl == NULL) return;
    ShowStatusF(kRunning, L"Server Online %d: step 6", NULL, server);
    ShowStatusF(kRunning, L"Server Online %d: step 7", NULL, server);
    ShowStatusF(kRunning, L"Server Online %d: step 8 : downloading data... please wait",
                L"Server Online %d: step 8 : sedang download data... sila tunggu", server);
    CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) {
        std::wstring why = Wide(curl_easy_strerror(rc));
        ShowStatusF(kFailed, L"Perform request GET failed: %ls", NULL, server, why.c_str());
        FreeReplyBuffer(&reply);
        return;
    }
    UpdateReply parsed;
    int badRow;
    ReplyCheck check = CheckUpdateReply(reply.data, true, &parsed, &badRow);
    FreeReplyBuffer(&reply);
    switch (check) {
    case kReplyNotObject:
        ShowStatusF(kFailed, L"Server Online %d: ERROR 2.3: Data status: !IsObject", NULL, server);
        return;
    case kReplyNoEndData:
        ShowStatusF(kFailed, L"Server Online %d: ERROR 2.2: Data status: !EndData", NULL, server);
        return;
    case kReplyIncomplete:
        ShowStatusF(kFailed, L"Server Online %d: ERROR 2.1: Data status: !DataComplete", NULL, server);
        return;
    case kReplyNoMemory:
        ShowNoMemory(server);
        return;
    case kReplyMalformed: {
        WCHAR text[kStatusChars];
        if (badRow >= 0) {
            StringCchPrintfW(text, ARRAYSIZE(text),
                             L"Server Online %d: ERROR 2.4: Data status: row %d is malformed", server,
                             badRow + 1);
        } else {
            StringCchPrintfW(text, ARRAYSIZE(text), L"Server Online %d: ERROR 2.4: Data status: malformed",
                             server);
        }
        ShowStatus(kFailed, text);
        return;
    }
    case kReplyOk:
        break;
    }
    if (SameText(parsed.replyType, L"Error")) {
        ShowStatusF(kFailed, L"Error: %ls", NULL, server, parsed.beginText.c_str());
        return;
    }
    if (!SameText(parsed.replyType, L"Data")) {
        ShowStatusF(kFailed, L"Online Server Response is not documented: %ls", NULL, server,
                    parsed.beginText.c_str());
        return;
    }

    WCHAR newPatch[kMaxPatchChars + 8];
    TextCopy(newPatch, parsed.dataVersionPatch.c_str());
    PadNumberText(newPatch);
    std::wstring stored = StoredPatchVersion();
    TextCopy(DataVersionPatch, stored.c_str());
    if (_wcsicmp(DataVersionPatch, newPatch) == 0) {
        ShowStatusF(kCurrent, L"You are using the latest data.", L"Data yang anda pakai adalah yang terbaru.",
                    server);
        RefreshDataVersionTexts();
        return;
    }

    ShowStatusF(kRunning, L"Server Online %d: step 10: Updating local database... please wait",
                L"Server Online %d: step 10: Update database tempatan... sila tunggu", server);
    std::string error;
    int remarksKept = 0;
    if (!ApplyUpdateRows(parsed.rows, newPatch, &error, &remarksKept)) {
        std::wstring why = Wide(error.c_str());
        WCHAR text[kStatusChars];
        if (remarksKept > 0) {
            StringCchPrintfW(text, ARRAYSIZE(text),
                             UseEnglish ? L"Server Online %d: update failed, only the remarks of %d cleared "
                                          L"plates were deleted, the rest is unchanged: %ls"
                                        : L"Server Online %d: update gagal, hanya remark %d kenderaan yang "
                                          L"sudah clear dipadam, yang lain tidak berubah: %ls",
                             server, remarksKept, why.c_str());
        } else {
            StringCchPrintfW(text, ARRAYSIZE(text),
                             UseEnglish ? L"Server Online %d: update failed, your data is unchanged: %ls"
                                        : L"Server Online %d: update gagal, data anda tidak berubah: %ls",
                             server, why.c_str());
        }
        ShowStatus(kFailed, text);
        return;
    }
    ShowStatusF(kRunning, L"Server Online %d: step 11: Updating local database... done",
                L"Server Online %d: step 11: Update database tempatan... selesai", server);
    TextCopy(DataVersionPatch, newPatch);
    ShowStatusF(kCurrent, L"Server Online %d: job completed: You are using the latest data now.",
                L"Server Online %d: job completed: Data yang anda pakai sekarang adalah yang terbaru.", server);
    RefreshDataVersionTexts();
}

}  // namespace

namespace {

// UpdateRunning for the life of a run; when the run was held up by a
// refused end of the session, Windows is told it may go on.
class RunningUpdate {
  public:
    RunningUpdate() { UpdateRunning = 1; }
    ~RunningUpdate() {
        UpdateRunning = 0;
        ReleaseShutdownBlock();
    }
    RunningUpdate(const RunningUpdate &) = delete;
    RunningUpdate &operator=(const RunningUpdate &) = delete;
};

}  // namespace

void DownloadDataUpdate(int server) {
    if ((server != 1 && server != 2) || UpdateRunning) return;
    RunningUpdate running;
    EnableDownloadButtons(FALSE);
    ShowStatusF(kRunning, L"Server Online %d: start", NULL, server);
    CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
    if (rc != CURLE_OK) {
        std::wstring why = Wide(curl_easy_strerror(rc));
        ShowStatusF(kFailed, L"curl_global_init() failed: %ls", NULL, server, why.c_str());
        EnableDownloadButtons(TRUE);
        return;
    }
    char hardwareId[kMd5HexBytes];
    MakeHardwareId(hardwareId);
    if (Challenge(server, hardwareId)) FetchAndApply(server, hardwareId);
    curl_global_cleanup();
    EnableDownloadButtons(TRUE);
}
