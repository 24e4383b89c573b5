// The update's requests and replies: the request body and the installation's
// identity that go to the server, the growable area a reply arrives in, and
// the reader that checks a reply whole, as it streams past, before the run
// acts on any of it.
#include "update.h"

#include <rapidjson/reader.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <new>

#include "md5.h"
#include "updateparts.h"

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

bool SameText(const std::wstring &a, const WCHAR *b) { return _wcsicmp(a.c_str(), b) == 0; }

namespace {

std::string Narrow(const WCHAR *text) {
    char buffer[kStatusChars * 3];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return n > 0 ? std::string(buffer) : std::string();
}

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
