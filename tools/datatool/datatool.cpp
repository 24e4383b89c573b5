// The data tool's commands.
#include "datatool.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "md5.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"

namespace datatool {

namespace {

// ---- Small helpers -----------------------------------------------------------

std::string Utf8(const std::wstring &text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

std::wstring FromUtf8(const std::string &text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0);
    std::wstring out((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n);
    return out;
}

// A stored plain column: the program keeps them in the ANSI code page.
std::string Ansi(const std::wstring &text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

std::wstring FromAnsi(const char *text) {
    if (text == NULL || text[0] == 0) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    std::wstring out((size_t)(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    out.resize(wcslen(out.c_str()));
    return out;
}

int Fail(std::string *error, const std::string &text, int code = 1) {
    if (error != NULL) *error = text;
    return code;
}

std::string Field(const BlowfishContext &ctx, const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text.c_str(), field);
    return field;
}

std::wstring Unfield(const BlowfishContext &ctx, const char *field) {
    WCHAR plain[kPlainBytes];
    DecodeField(ctx, field != NULL ? field : "", plain);
    plain[kPlainBytes - 1] = 0;
    return plain;
}

// A connection that closes itself.
class Book {
  public:
    Book() = default;
    ~Book() { Close(); }
    Book(const Book &) = delete;
    Book &operator=(const Book &) = delete;

    bool Open(const WCHAR *path, bool readOnly, std::string *error) {
        char name[kPathChars * 3];
        if (!EngineFileName(path, name)) return Fail(error, "path too long") == 0;
        int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (sqlite3_open_v2(name, &db_, flags, NULL) != SQLITE_OK) {
            Fail(error, std::string("cannot open ") + name + ": " + sqlite3_errmsg(db_));
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (db_ != NULL) sqlite3_close(db_);
        db_ = NULL;
    }
    bool Exec(const char *sql, std::string *error) {
        char *message = NULL;
        if (sqlite3_exec(db_, sql, NULL, NULL, &message) == SQLITE_OK) return true;
        Fail(error, std::string(sql) + ": " + (message ? message : "failed"));
        sqlite3_free(message);
        return false;
    }
    sqlite3 *db() const { return db_; }

  private:
    sqlite3 *db_ = NULL;
};

// A prepared statement that finalizes itself; binds texts by copy.
class Statement {
  public:
    Statement(sqlite3 *db, const char *sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, NULL) != SQLITE_OK) stmt_ = NULL;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool ok() const { return stmt_ != NULL; }
    void Bind(int i, const std::string &text) {
        sqlite3_bind_text(stmt_, i, text.c_str(), (int)text.size(), SQLITE_TRANSIENT);
    }
    void BindStatic(int i, const char *text) { sqlite3_bind_text(stmt_, i, text, -1, SQLITE_STATIC); }
    // Steps once and resets; true when the statement did its work.
    bool Run() {
        int rc = sqlite3_step(stmt_);
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    sqlite3_stmt *get() const { return stmt_; }

  private:
    sqlite3_stmt *stmt_ = NULL;
};

bool DeleteOld(const WCHAR *path, std::string *error) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return true;
    if (DeleteFileW(path)) return true;
    Fail(error, "cannot replace " + Utf8(path));
    return false;
}

// ---- Synthetic vehicles ------------------------------------------------------

uint64_t Mix(uint64_t x) {  // splitmix64
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A little generator for one row, seeded by (seed, stream, index).
class RowRandom {
  public:
    RowRandom(uint64_t seed, uint64_t stream, uint64_t index)
        : state_(Mix(seed ^ Mix(stream * 0x100000001B3ull + index))) {}
    uint32_t Below(uint32_t n) {
        state_ = Mix(state_);
        return (uint32_t)(state_ % n);
    }

  private:
    uint64_t state_;
};

const WCHAR kPlateLetters[] = L"ABCDEFGHJKLMNPQRSTUVWXY";  // no I, O or Z on plates
const WCHAR kStateLetters[] = L"WVBJPANMCTDKRQS";
const WCHAR kFillerLetters[] = L"ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
const WCHAR *const kMonths[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                  L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
const WCHAR *const kFinanciers[] = {
    L"AMANAH JAYA KREDIT BHD",   L"BINTANG LEASING SDN BHD", L"BINTANG LEASING - SHAH ALAM",
    L"CAHAYA FINANCE BHD",       L"D'CRUZ LEASING SDN BHD",  L"EMAS AUTO CREDIT",
    L"GEMILANG HIRE PURCHASE",   L"HARMONI CAPITAL BHD",     L"MUTIARA AUTO FINANCE",
    L"SERI TANJUNG KREDIT - JB",
};
const WCHAR *const kBodies[] = {L"SALOON", L"HATCHBACK", L"MPV", L"SUV", L"PICKUP", L"VAN",
                                L"MOTORCYCLE", L"LORRY"};
const WCHAR *const kEngines[] = {L"1.0", L"1.3", L"1.5", L"1.6", L"1.8", L"2.0", L"2.5", L"150CC"};
const WCHAR *const kColours[] = {L"SILVER", L"WHITE", L"BLACK", L"RED", L"BLUE", L"GREY", L"MAROON",
                                 L"GOLD"};

std::wstring MakePlate(RowRandom &r) {
    std::wstring plate;
    plate += kStateLetters[r.Below(ARRAYSIZE(kStateLetters) - 1)];
    uint32_t extra = r.Below(3);  // WA1234B, BJK9921, J455, ...
    for (uint32_t i = 0; i < extra; i++) plate += kPlateLetters[r.Below(ARRAYSIZE(kPlateLetters) - 1)];
    WCHAR digits[8];
    StringCchPrintfW(digits, ARRAYSIZE(digits), L"%u", 1 + r.Below(9999));
    plate += digits;
    if (extra < 2 && r.Below(3) == 0) plate += kPlateLetters[r.Below(ARRAYSIZE(kPlateLetters) - 1)];
    return plate;
}

std::wstring Filler(RowRandom &r) {
    std::wstring f;
    f += kFillerLetters[r.Below(ARRAYSIZE(kFillerLetters) - 1)];
    f += kFillerLetters[r.Below(ARRAYSIZE(kFillerLetters) - 1)];
    return f;
}

// A value with its filler, as the shipped data holds it.
std::wstring WithFiller(RowRandom &r, const std::wstring &text) {
    std::wstring head = Filler(r);
    return head + text + Filler(r);
}

enum { kStreamVehicle = 1, kStreamCleared = 2, kStreamFiller = 3 };

struct DataInserts {
    Statement vld, vlc, fld, prd;
    explicit DataInserts(sqlite3 *db)
        : vld(db, "INSERT INTO VLD VALUES(?,?,?,?,?)"), vlc(db, "INSERT INTO VLC VALUES(?)"),
          fld(db, "INSERT INTO FLD VALUES(?)"), prd(db, "INSERT OR REPLACE INTO PRD VALUES(?,?)") {}
    bool ok() const { return vld.ok() && vlc.ok() && fld.ok() && prd.ok(); }
};

const char kDataTables[] =
    "CREATE TABLE IF NOT EXISTS PRD(C1 TEXT PRIMARY KEY, C2 TEXT);"
    "CREATE TABLE IF NOT EXISTS VLD(C1 TEXT, C2 TEXT, C3 TEXT, C4 TEXT, C5 TEXT);"
    "CREATE TABLE IF NOT EXISTS VLC(C1 TEXT);"
    "CREATE TABLE IF NOT EXISTS FLD(C1 TEXT);";
const char kDataIndex[] = "CREATE INDEX IF NOT EXISTS idxC1 ON VLD(C1)";

bool InsertVehicle(Statement &vld, RowRandom &filler, const VehicleRecord &v) {
    char key[kMd5HexBytes] = {0};
    VehicleLookupKey(v.plate.c_str(), key);
    char date[kCipherFieldBytes], description[kCipherFieldBytes], financier[kCipherFieldBytes],
        arrears[kCipherFieldBytes];
    EncodeField(DataCipher, WithFiller(filler, v.lastPayment).c_str(), date);
    EncodeField(DataCipher, v.description.c_str(), description);
    EncodeField(DataCipher, WithFiller(filler, v.financier).c_str(), financier);
    EncodeField(DataCipher, WithFiller(filler, v.arrears).c_str(), arrears);
    vld.BindStatic(1, key);
    vld.BindStatic(2, date);
    vld.BindStatic(3, description);
    vld.BindStatic(4, financier);
    vld.BindStatic(5, arrears);
    return vld.Run();
}

bool WriteDataKey(Statement &prd, const std::wstring &key, const std::wstring &value) {
    prd.Bind(1, Utf8(key));
    prd.Bind(2, Field(DataCipher, value));
    return prd.Run();
}

// Opens (creating when missing) a data file with its tables.
bool OpenDataFile(Book &book, const WCHAR *path, std::string *error) {
    return book.Open(path, false, error) && book.Exec(kDataTables, error) && book.Exec(kDataIndex, error);
}

// ---- Books at old versions ---------------------------------------------------

struct DiaryKey {
    const WCHAR *key;
    const WCHAR *value;
    int since;  // the first version that has it
};
// The diary's settings through its versions, in the order a new diary
// writes them; 'DSV' gets the version itself.
const DiaryKey kDiaryKeys[] = {
    {L"SND", L"1", 4},   {L"FH1", L"", 4},   {L"FH2", L"", 4},    {L"FH3", L"", 4},
    {L"D", L"", 4},      {L"B", L"0", 4},    {L"SU", NULL, 4},    {L"DSV", NULL, 4},
    {L"LOC", L"", 4},    {L"VLANG", L"0", 5}, {L"VMIC", L"0", 5}, {L"SOVN", L"1", 5},
    {L"NAC", L"2", 6},   {L"HRS", L"0", 8},  {L"MCT", L"1", 9},   {L"HSS", L"0", 10},
    {L"KPV", L"1", 13},  {L"EML", L"1", 14},
};

bool IsEncipheredDiaryKey(const std::wstring &key) {
    return key == L"D" || key == L"SU" || key == L"FH1" || key == L"FH2" || key == L"FH3" ||
           key == L"LOC" || key == L"EML";
}

bool WriteSettings(Book &book, const std::vector<BookSetting> &settings, bool remark,
                   std::string *error) {
    // A key the book has keeps its place (rowid); a new one comes last.
    Statement update(book.db(), "UPDATE PRS SET C2 = ?2 WHERE C1 = ?1");
    Statement insert(book.db(), "INSERT INTO PRS VALUES(?1,?2)");
    if (!update.ok() || !insert.ok()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    for (const BookSetting &s : settings) {
        bool enciphered = remark ? s.key == L"D" : IsEncipheredDiaryKey(s.key);
        std::string value = enciphered ? Field(LocalCipher, s.value) : Ansi(s.value);
        update.Bind(1, Utf8(s.key));
        update.Bind(2, value);
        if (!update.Run()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
        if (sqlite3_changes(book.db()) > 0) continue;
        insert.Bind(1, Utf8(s.key));
        insert.Bind(2, value);
        if (!insert.Run()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    }
    return true;
}

bool WriteDiaryRows(Book &book, int rows, std::string *error) {
    Statement put(book.db(), "INSERT INTO VLS VALUES(?,?,?,?,?,?,?,?,?,?,?)");
    if (!put.ok()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    for (int i = 0; i < rows; i++) {
        bool found = i % 2 == 1;
        WCHAR stamp[32], plate[16], date[16];
        StringCchPrintfW(stamp, ARRAYSIZE(stamp), L"2026-01-%02d %02d:%02d:%02d", 1 + i % 28, 8 + i % 12,
                         i % 60, (i * 7) % 60);
        StringCchPrintfW(plate, ARRAYSIZE(plate), L"DRY%04d", i + 1);
        StringCchPrintfW(date, ARRAYSIZE(date), L"%02d %ls 2025", 1 + i % 28, kMonths[i % 12]);
        put.Bind(1, Utf8(stamp));
        sqlite3_bind_int(put.get(), 2, found ? 1 : 0);
        put.Bind(3, Field(LocalCipher, plate));
        put.Bind(4, found ? Field(LocalCipher, date) : "");
        put.Bind(5, found ? Field(LocalCipher, L"SALOON 1.5 SILVER 2019") : "");
        put.Bind(6, found ? Ansi(kFinanciers[i % ARRAYSIZE(kFinanciers)]) : "");
        put.Bind(7, found ? Field(LocalCipher, L"5") : "");
        put.Bind(8, "JALAN AMPANG, KUALA LUMPUR");
        put.Bind(9, "20260105.000");
        put.Bind(10, "");
        put.Bind(11, "");
        if (!put.Run()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    }
    return true;
}

bool WriteRemarkRows(Book &book, int version, int rows, std::string *error) {
    Statement put(book.db(), version == 1000 ? "INSERT INTO VLS VALUES(?,?,?,?,?,?)"
                                             : "INSERT INTO VLS VALUES(?,?,?,?,?,?,?)");
    if (!put.ok()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    for (int i = 0; i < rows; i++) {
        WCHAR plate[16], date[16], followUp[16], saved[32];
        StringCchPrintfW(plate, ARRAYSIZE(plate), L"RMK%04d", i + 1);
        StringCchPrintfW(date, ARRAYSIZE(date), L"%02d %ls 2025", 1 + i % 28, kMonths[i % 12]);
        StringCchPrintfW(followUp, ARRAYSIZE(followUp), L"2026-%02d-%02d", 1 + i % 12, 1 + i % 28);
        StringCchPrintfW(saved, ARRAYSIZE(saved), L"2026-01-%02d 09:%02d:00", 1 + i % 28, i % 60);
        put.Bind(1, Field(LocalCipher, plate));
        put.Bind(2, Field(LocalCipher, L"3"));
        put.Bind(3, Field(LocalCipher, date));
        put.Bind(4, Field(LocalCipher, kFinanciers[i % ARRAYSIZE(kFinanciers)]));
        put.Bind(5, Field(LocalCipher, L"OWNER SAYS CALL AGAIN"));
        put.Bind(6, Utf8(saved));
        if (version != 1000) put.Bind(7, i % 2 == 0 ? Utf8(followUp) : std::string("NULL"));
        if (!put.Run()) return Fail(error, sqlite3_errmsg(book.db())) == 0;
    }
    return true;
}

// Runs one of the store's creation functions on path, leaving the store's
// globals as they were.
int CreateWithStore(int (*create)(HWND), sqlite3 **db, WCHAR *pathGlobal, const WCHAR *path,
                    std::string *error) {
    WCHAR savedPath[kPathChars], savedPassword[kTextChars];
    StringCchCopyW(savedPath, ARRAYSIZE(savedPath), pathGlobal);
    StringCchCopyW(savedPassword, ARRAYSIZE(savedPassword), DiaryPassword);
    sqlite3 *savedDb = *db;
    *db = NULL;
    DiaryPassword[0] = 0;
    int rc = E_FAIL;
    if (SUCCEEDED(StringCchCopyW(pathGlobal, kPathChars, path))) rc = create(NULL);
    if (*db != NULL) sqlite3_close(*db);
    *db = savedDb;
    StringCchCopyW(pathGlobal, kPathChars, savedPath);
    StringCchCopyW(DiaryPassword, ARRAYSIZE(DiaryPassword), savedPassword);
    return rc == kSchemaDone ? 0 : Fail(error, "the store could not create " + Utf8(path));
}

// ---- Dump -----------------------------------------------------------------------

enum Coding { kPlain, kData, kDataFiller, kLocal };

std::string Kind(sqlite3 *db, const std::vector<std::string> &tables) {
    auto has = [&](const char *name) {
        for (const std::string &t : tables)
            if (_stricmp(t.c_str(), name) == 0) return true;
        return false;
    };
    if (has("VLD")) return "data";
    if (has("PRI")) return "init";
    if (has("VLS")) {
        Statement probe(db, "SELECT * FROM VLS LIMIT 0");
        return probe.ok() && sqlite3_column_count(probe.get()) >= 11 ? "diary" : "remark";
    }
    return "unknown";
}

Coding CodingOf(const std::string &kind, const std::string &table, const std::string &column,
                const std::string &key) {
    if (kind == "data") {
        if (table == "PRD") return column == "C2" ? kData : kPlain;
        if (table == "VLD") {
            if (column == "C3") return kData;
            if (column == "C2" || column == "C4" || column == "C5") return kDataFiller;
            return kPlain;
        }
        if (table == "VLC") return column == "C1" ? kData : kPlain;
        if (table == "FLD") return column == "C1" ? kDataFiller : kPlain;
        return kPlain;
    }
    if (table == "PRI") return column == "C2" && key == "DSP" ? kLocal : kPlain;
    if (table == "PRS" && column == "C2") {
        if (kind == "remark") return key == "D" ? kLocal : kPlain;
        return IsEncipheredDiaryKey(FromUtf8(key)) ? kLocal : kPlain;
    }
    if (table == "VLS") {
        if (kind == "diary")
            return column == "C3" || column == "C4" || column == "C5" || column == "C7" ? kLocal : kPlain;
        if (kind == "remark")
            return column == "C1" || column == "C2" || column == "C3" || column == "C4" || column == "C5"
                       ? kLocal
                       : kPlain;
    }
    return kPlain;
}

std::string Decoded(Coding coding, const char *value) {
    switch (coding) {
    case kData:
        return Utf8(Unfield(DataCipher, value));
    case kDataFiller: {
        std::wstring text = Unfield(DataCipher, value);
        if (text.size() >= 4) text = text.substr(2, text.size() - 4);
        return Utf8(text);
    }
    case kLocal:
        return Utf8(Unfield(LocalCipher, value));
    case kPlain:
        break;
    }
    return Utf8(FromAnsi(value));
}

std::string Escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<std::string> TableNames(sqlite3 *db) {
    static const char *const kOrder[] = {"PRD", "PRI", "PRS", "VLD", "VLC", "FLD", "VLS"};
    std::vector<std::string> all, ordered;
    Statement list(db, "SELECT name FROM ZELDdb_master WHERE type = 'table' ORDER BY name");
    if (list.ok()) {
        while (sqlite3_step(list.get()) == SQLITE_ROW)
            all.push_back(reinterpret_cast<const char *>(sqlite3_column_text(list.get(), 0)));
    }
    for (const char *name : kOrder)
        for (const std::string &t : all)
            if (t == name) ordered.push_back(t);
    for (const std::string &t : all) {
        bool known = false;
        for (const char *name : kOrder) known = known || t == name;
        if (!known) ordered.push_back(t);
    }
    return ordered;
}

// ---- Argument helpers ----------------------------------------------------------

bool ParseNumber(const WCHAR *text, long long low, long long high, long long *out) {
    if (text == NULL || text[0] == 0) return false;
    WCHAR *end = NULL;
    long long v = wcstoll(text, &end, 10);
    if (end == NULL || *end != 0 || v < low || v > high) return false;
    *out = v;
    return true;
}

bool ReadTextFile(const WCHAR *path, std::string *text) {
    FILE *f = _wfopen(path, L"rb");
    if (f == NULL) return false;
    char buffer[4096];
    size_t n;
    text->clear();
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
    fclose(f);
    return true;
}

// Options of make-diary and make-remark: --rows N, --phone, --set KEY=VALUE.
bool ParseBookOptions(int argc, WCHAR **argv, int first, int *rows, bool *phone,
                      std::vector<BookSetting> *settings, std::string *error) {
    for (int i = first; i < argc; i++) {
        std::wstring option = argv[i];
        long long n = 0;
        if (option == L"--rows" && i + 1 < argc && ParseNumber(argv[i + 1], 0, 1000000, &n)) {
            *rows = (int)n;
            i++;
        } else if (option == L"--phone" && phone != NULL) {
            *phone = true;
        } else if (option == L"--set" && i + 1 < argc && wcschr(argv[i + 1], L'=') != NULL) {
            std::wstring pair = argv[++i];
            size_t eq = pair.find(L'=');
            settings->push_back({pair.substr(0, eq), pair.substr(eq + 1)});
        } else {
            return Fail(error, "unknown option " + Utf8(option)) == 0;
        }
    }
    return true;
}

}  // namespace

// ---- Synthetic data ------------------------------------------------------------

VehicleRecord SyntheticVehicle(uint64_t seed, uint32_t index) {
    RowRandom r(seed, kStreamVehicle, index);
    VehicleRecord v;
    v.plate = MakePlate(r);
    WCHAR text[96];
    if (r.Below(25) != 0) {
        StringCchPrintfW(text, ARRAYSIZE(text), L"%u", 1 + r.Below(36));
        v.arrears = text;
    }
    if (r.Below(25) != 0) {
        StringCchPrintfW(text, ARRAYSIZE(text), L"%02u %ls %04u", 1 + r.Below(28), kMonths[r.Below(12)],
                         2019 + r.Below(7));
        v.lastPayment = text;
    }
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls %ls %ls %u%ls", kBodies[r.Below(ARRAYSIZE(kBodies))],
                     kEngines[r.Below(ARRAYSIZE(kEngines))], kColours[r.Below(ARRAYSIZE(kColours))],
                     2010 + r.Below(16), r.Below(2) ? L" AUTO" : L" MANUAL");
    v.description = text;
    v.financier = kFinanciers[r.Below(ARRAYSIZE(kFinanciers))];
    return v;
}

uint32_t SyntheticClearedCount(uint32_t count) { return count / 50 + (count > 0 ? 1 : 0); }

std::wstring SyntheticClearedPlate(uint64_t seed, uint32_t count, uint32_t index) {
    RowRandom r(seed, kStreamCleared, (uint64_t)count << 32 | index);
    return MakePlate(r);
}

std::vector<std::wstring> SyntheticFinanciers() {
    return std::vector<std::wstring>(kFinanciers, kFinanciers + ARRAYSIZE(kFinanciers));
}

int MakeDataFile(const WCHAR *path, uint32_t count, uint64_t seed, std::string *error) {
    if (!DeleteOld(path, error)) return 1;
    Book book;
    if (!book.Open(path, false, error)) return 1;
    // A fresh file built in one go: no journal, no syncing, a large cache.
    if (!book.Exec("PRAGMA page_size = 4096; PRAGMA synchronous = OFF; PRAGMA journal_mode = OFF;"
                   "PRAGMA cache_size = -262144; PRAGMA temp_store = MEMORY;",
                   error) ||
        !book.Exec(kDataTables, error) || !book.Exec("BEGIN", error))
        return 1;
    {
        DataInserts put(book.db());
        if (!put.ok()) return Fail(error, sqlite3_errmsg(book.db()));
        static const WCHAR *const kKeys[][2] = {
            {L"DV", L"20260105.000"},
            {L"DVR", L"20260105.000"},
            {L"DVP", L"FACTORY"},
            {L"CE", L"14.5"},
            {L"CP1", L"Korvane Data Centre"},
            {L"CP2", L"Tel: 03-2100 0000"},
            {L"CP3", L"data@korvane.example"},
            {L"CP4", L"-akan dilantik-"},
            {L"CP5", L"-akan dilantik-"},
            {L"CP6", L"-akan dilantik-"},
        };
        for (const auto &kv : kKeys)
            if (!WriteDataKey(put.prd, kv[0], kv[1])) return Fail(error, sqlite3_errmsg(book.db()));
        RowRandom filler(seed, kStreamFiller, 0);
        for (uint32_t i = 0; i < count; i++) {
            if (!InsertVehicle(put.vld, filler, SyntheticVehicle(seed, i)))
                return Fail(error, sqlite3_errmsg(book.db()));
        }
        for (uint32_t i = 0, n = SyntheticClearedCount(count); i < n; i++) {
            put.vlc.Bind(1, Field(DataCipher, SyntheticClearedPlate(seed, count, i)));
            if (!put.vlc.Run()) return Fail(error, sqlite3_errmsg(book.db()));
        }
        for (const WCHAR *name : kFinanciers) {
            put.fld.Bind(1, Field(DataCipher, WithFiller(filler, name)));
            if (!put.fld.Run()) return Fail(error, sqlite3_errmsg(book.db()));
        }
    }
    if (!book.Exec(kDataIndex, error) || !book.Exec("COMMIT", error)) return 1;
    return 0;
}

int AddVehicles(const WCHAR *path, const std::vector<VehicleRecord> &vehicles, std::string *error) {
    Book book;
    if (!OpenDataFile(book, path, error) || !book.Exec("BEGIN", error)) return 1;
    {
        Statement vld(book.db(), "INSERT INTO VLD VALUES(?,?,?,?,?)");
        if (!vld.ok()) return Fail(error, sqlite3_errmsg(book.db()));
        RowRandom filler(0, kStreamFiller, vehicles.size());
        for (const VehicleRecord &v : vehicles) {
            if (v.plate.empty()) return Fail(error, "a vehicle without a plate");
            if (!InsertVehicle(vld, filler, v)) return Fail(error, sqlite3_errmsg(book.db()));
        }
    }
    return book.Exec("COMMIT", error) ? 0 : 1;
}

int ParseVehicleTsv(const std::string &text, std::vector<VehicleRecord> *vehicles, std::string *error) {
    size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        lineNumber++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::wstring> cells;
        size_t from = 0;
        for (;;) {
            size_t tab = line.find('\t', from);
            cells.push_back(FromUtf8(line.substr(from, tab == std::string::npos ? std::string::npos
                                                                                : tab - from)));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (cells.size() != 5 || cells[0].empty())
            return Fail(error, "line " + std::to_string(lineNumber) + ": want PLATE, ARREARS, LASTPAY, "
                                                                      "DESCRIPTION, FINANCIER");
        vehicles->push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
    }
    return 0;
}

int AddClearedPlate(const WCHAR *path, const WCHAR *plate, std::string *error) {
    Book book;
    if (!OpenDataFile(book, path, error)) return 1;
    Statement vlc(book.db(), "INSERT INTO VLC VALUES(?)");
    if (!vlc.ok()) return Fail(error, sqlite3_errmsg(book.db()));
    vlc.Bind(1, Field(DataCipher, plate));
    return vlc.Run() ? 0 : Fail(error, sqlite3_errmsg(book.db()));
}

int SetDataKey(const WCHAR *path, const WCHAR *key, const WCHAR *value, std::string *error) {
    Book book;
    if (!OpenDataFile(book, path, error)) return 1;
    Statement prd(book.db(), "INSERT OR REPLACE INTO PRD VALUES(?,?)");
    if (!prd.ok()) return Fail(error, sqlite3_errmsg(book.db()));
    return WriteDataKey(prd, key, value) ? 0 : Fail(error, sqlite3_errmsg(book.db()));
}

// ---- Books -------------------------------------------------------------------------

int MakeDiaryFile(const WCHAR *path, int version, int rows, bool phoneMade,
                  const std::vector<BookSetting> &settings, std::string *error) {
    if (version < kDiarySchemaOldest || version > kDiarySchemaCurrent)
        return Fail(error, "diary versions are 4 to 15");
    if (!DeleteOld(path, error)) return 1;
    if (version == kDiarySchemaCurrent) {
        if (CreateWithStore(CreateDiaryDatabase, &DiaryDb, DiaryDbPath, path, error) != 0) return 1;
        phoneMade = false;  // a new diary has its android_metadata
    }
    Book book;
    if (!book.Open(path, false, error) || !book.Exec("BEGIN", error)) return 1;
    if (version < kDiarySchemaCurrent) {
        if (!book.Exec("CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT);"
                       "CREATE TABLE VLS(C1 DATE, C2 INTEGER, C3 TEXT, C4 TEXT, C5 TEXT, C6 TEXT, "
                       "C7 TEXT, C8 TEXT, C9 TEXT, C10 TEXT, C11 TEXT);"
                       "CREATE INDEX idxC1 ON VLS(C1); CREATE INDEX idxC2 ON VLS(C2);"
                       "CREATE INDEX idxC3 ON VLS(C3); CREATE INDEX idxC6 ON VLS(C6);"
                       "CREATE INDEX idxC8 ON VLS(C8); CREATE INDEX idxC9 ON VLS(C9);"
                       "CREATE INDEX idxC10 ON VLS(C10); CREATE INDEX idxC11 ON VLS(C11);",
                       error))
            return 1;
        std::vector<BookSetting> keys;
        WCHAR number[8];
        StringCchPrintfW(number, ARRAYSIZE(number), L"%d", version);
        for (const DiaryKey &k : kDiaryKeys) {
            if (k.since > version) continue;
            std::wstring key = k.key;
            if (key == L"DSV") {
                keys.push_back({key, number});
            } else if (key == L"SU") {
                keys.push_back({key, L"Papan Kekunci/KeyBoard"});
            } else {
                keys.push_back({key, k.value});
            }
        }
        // The stored defaults are plain, apart from 'SU' (and the empty texts).
        Statement put(book.db(), "INSERT INTO PRS VALUES(?,?)");
        if (!put.ok()) return Fail(error, sqlite3_errmsg(book.db()));
        for (const BookSetting &s : keys) {
            put.Bind(1, Utf8(s.key));
            put.Bind(2, s.key == L"SU" ? Field(LocalCipher, s.value) : Utf8(s.value));
            if (!put.Run()) return Fail(error, sqlite3_errmsg(book.db()));
        }
        if ((version >= 12 || phoneMade) &&
            !book.Exec("CREATE TABLE android_metadata (locale TEXT DEFAULT 'en_US');"
                       "INSERT INTO android_metadata VALUES ('en_US');",
                       error))
            return 1;
    }
    if (!WriteSettings(book, settings, false, error) || !WriteDiaryRows(book, rows, error) ||
        !book.Exec("COMMIT", error))
        return 1;
    return 0;
}

int MakeRemarkFile(const WCHAR *path, int version, int rows, const std::vector<BookSetting> &settings,
                   std::string *error) {
    if (version < 1000 || version > kRemarkSchemaCurrent) return Fail(error, "remark versions are 1000 to 1002");
    if (!DeleteOld(path, error)) return 1;
    if (version == kRemarkSchemaCurrent &&
        CreateWithStore(CreateRemarkDatabase, &RemarkDb, RemarkDbPath, path, error) != 0)
        return 1;
    Book book;
    if (!book.Open(path, false, error) || !book.Exec("BEGIN", error)) return 1;
    if (version == 1000 &&
        !book.Exec("CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT);"
                   "INSERT INTO PRS VALUES('D','');"
                   "INSERT INTO PRS VALUES('DSV','1000');"
                   "CREATE TABLE VLS(C1 TEXT PRIMARY KEY, C2 TEXT, C3 TEXT, C4 TEXT, C5 TEXT, C6 DATE);"
                   "CREATE INDEX idxC1 ON VLS(C1); CREATE INDEX idxC2 ON VLS(C2);"
                   "CREATE INDEX idxC3 ON VLS(C3); CREATE INDEX idxC4 ON VLS(C4);"
                   "CREATE INDEX idxC5 ON VLS(C5); CREATE INDEX idxC6 ON VLS(C6);",
                   error))
        return 1;
    if (version == 1001 &&
        !book.Exec("CREATE TABLE PRS(C1 TEXT PRIMARY KEY, C2 TEXT);"
                   "INSERT INTO PRS VALUES('D','');"
                   "INSERT INTO PRS VALUES('DSV','1001');"
                   "CREATE TABLE VLS(C1 TEXT PRIMARY KEY, C2 TEXT, C3 TEXT, C4 TEXT, C5 TEXT, C6 DATE, "
                   "C7 DATE);"
                   "CREATE INDEX idxC1 ON VLS(C1); CREATE INDEX idxC2 ON VLS(C2);"
                   "CREATE INDEX idxC3 ON VLS(C3); CREATE INDEX idxC4 ON VLS(C4);"
                   "CREATE INDEX idxC5 ON VLS(C5); CREATE INDEX idxC6 ON VLS(C6);"
                   "CREATE INDEX idxC7 ON VLS(C7);",
                   error))
        return 1;
    if (!WriteSettings(book, settings, true, error) || !WriteRemarkRows(book, version, rows, error) ||
        !book.Exec("COMMIT", error))
        return 1;
    return 0;
}

// ---- Dump -----------------------------------------------------------------------------

int DumpBook(const WCHAR *path, bool json, std::string *out, std::string *error) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return Fail(error, "no file " + Utf8(path));
    Book book;
    if (!book.Open(path, true, error)) return 1;
    std::vector<std::string> tables = TableNames(book.db());
    if (tables.empty()) {
        std::string probe;
        if (!book.Exec("SELECT 1 FROM ZELDdb_master", &probe)) return Fail(error, probe);
    }
    std::string kind = Kind(book.db(), tables);

    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    std::string text = "# " + kind + "\n";
    if (json) {
        writer.StartObject();
        writer.Key("kind");
        writer.String(kind.c_str());
        writer.Key("tables");
        writer.StartObject();
    }
    for (const std::string &table : tables) {
        char *sql = sqlite3_mprintf("SELECT rowid, * FROM \"%w\" ORDER BY rowid", table.c_str());
        Statement rows(book.db(), sql);
        sqlite3_free(sql);
        if (!rows.ok()) return Fail(error, table + ": " + sqlite3_errmsg(book.db()));
        if (json) {
            writer.Key(table.c_str());
            writer.StartArray();
        }
        int columns = sqlite3_column_count(rows.get());
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            const char *first = reinterpret_cast<const char *>(sqlite3_column_text(rows.get(), 1));
            std::string key = first != NULL ? first : "";
            if (json) {
                writer.StartObject();
                writer.Key("rowid");
                writer.Int64(sqlite3_column_int64(rows.get(), 0));
            } else {
                text += table + "\t" + std::to_string(sqlite3_column_int64(rows.get(), 0));
            }
            for (int c = 1; c < columns; c++) {
                std::string column = sqlite3_column_name(rows.get(), c);
                const char *value = reinterpret_cast<const char *>(sqlite3_column_text(rows.get(), c));
                std::string decoded =
                    value != NULL ? Decoded(CodingOf(kind, table, column, key), value) : std::string();
                if (json) {
                    writer.Key(column.c_str());
                    if (value == NULL)
                        writer.Null();
                    else
                        writer.String(decoded.c_str(), (rapidjson::SizeType)decoded.size());
                } else {
                    text += "\t" + Escaped(decoded);
                }
            }
            if (json)
                writer.EndObject();
            else
                text += "\n";
        }
        if (rc != SQLITE_DONE) return Fail(error, table + ": " + sqlite3_errmsg(book.db()));
        if (json) writer.EndArray();
    }
    if (json) {
        writer.EndObject();
        writer.EndObject();
        *out = std::string(buffer.GetString(), buffer.GetSize()) + "\n";
    } else {
        *out = text;
    }
    return 0;
}

// ---- The command line -------------------------------------------------------------

const char *DataToolUsage() {
    return "KorvaneDataTool: data files and books for tests.\n"
           "\n"
           "  make-data PATH N [SEED]\n"
           "      A new data file of N synthetic wanted vehicles (seed 1 unless given), with the\n"
           "      PRD version and contact keys, cleared plates (VLC), financiers (FLD) and the\n"
           "      lookup index. The same seed gives the same file.\n"
           "  add-vehicle PATH PLATE ARREARS LASTPAY DESCRIPTION FINANCIER\n"
           "      Adds one vehicle (PLATE as searched, LASTPAY \"DD Mon YYYY\"; empty texts\n"
           "      allowed); the file and its tables are made when missing.\n"
           "  import-vehicles PATH TSVFILE\n"
           "      Adds the vehicles of a UTF-8 file of lines PLATE<TAB>ARREARS<TAB>LASTPAY<TAB>\n"
           "      DESCRIPTION<TAB>FINANCIER ('#' lines and empty lines are skipped).\n"
           "  add-cleared PATH PLATE\n"
           "      Adds a cleared plate to VLC.\n"
           "  set-data-key PATH KEY VALUE\n"
           "      Sets a PRD key (DV, DVR, DVP, CE, CP1..CP6), enciphered.\n"
           "  make-diary PATH VERSION [--rows N] [--phone] [--set KEY=VALUE]...\n"
           "      A new diary of schema version 4..15 with N sample rows; --phone adds the\n"
           "      android_metadata table a handphone makes; --set stores a setting (D, SU, FH1-FH3,\n"
           "      LOC and EML enciphered, the others plain).\n"
           "  make-remark PATH VERSION [--rows N] [--set KEY=VALUE]...\n"
           "      A new remark book of schema version 1000, 1001 or 1002 with N sample rows.\n"
           "  dump PATH [--json]\n"
           "      Every table of a data file or book, deciphered: a first line \"# KIND\", then\n"
           "      one line per row, TABLE<TAB>ROWID<TAB>COLUMNS...; or one JSON object\n"
           "      {\"kind\":...,\"tables\":{TABLE:[{\"rowid\":...,COLUMN:...}]}}.\n"
           "\n"
           "Exit code 0 on success, 1 on failure, 2 on a wrong command line.\n";
}

int RunDataTool(int argc, WCHAR **argv, std::string *out, std::string *error) {
    out->clear();
    error->clear();
    KeyCipherContexts();
    std::wstring command = argc >= 2 ? argv[1] : L"";
    long long n = 0, seed = 1;
    auto usage = [&]() {
        *error = DataToolUsage();
        return 2;
    };
    if (command == L"make-data") {
        if (argc < 4 || argc > 5 || !ParseNumber(argv[3], 0, 50000000, &n) ||
            (argc == 5 && !ParseNumber(argv[4], 0, 0x7FFFFFFFFFFFFFFFll, &seed)))
            return usage();
        return MakeDataFile(argv[2], (uint32_t)n, (uint64_t)seed, error);
    }
    if (command == L"add-vehicle") {
        if (argc != 8) return usage();
        return AddVehicles(argv[2], {{argv[3], argv[4], argv[5], argv[6], argv[7]}}, error);
    }
    if (command == L"import-vehicles") {
        if (argc != 4) return usage();
        std::string text;
        if (!ReadTextFile(argv[3], &text)) return Fail(error, "cannot read " + Utf8(argv[3]));
        std::vector<VehicleRecord> vehicles;
        if (ParseVehicleTsv(text, &vehicles, error) != 0) return 1;
        return AddVehicles(argv[2], vehicles, error);
    }
    if (command == L"add-cleared") {
        if (argc != 4) return usage();
        return AddClearedPlate(argv[2], argv[3], error);
    }
    if (command == L"set-data-key") {
        if (argc != 5) return usage();
        return SetDataKey(argv[2], argv[3], argv[4], error);
    }
    if (command == L"make-diary" || command == L"make-remark") {
        bool diary = command == L"make-diary";
        if (argc < 4 || !ParseNumber(argv[3], 0, 100000, &n)) return usage();
        int rows = 0;
        bool phone = false;
        std::vector<BookSetting> settings;
        if (!ParseBookOptions(argc, argv, 4, &rows, diary ? &phone : NULL, &settings, error)) return 2;
        return diary ? MakeDiaryFile(argv[2], (int)n, rows, phone, settings, error)
                     : MakeRemarkFile(argv[2], (int)n, rows, settings, error);
    }
    if (command == L"dump") {
        bool json = argc == 4 && std::wstring(argv[3]) == L"--json";
        if (argc != 3 && !json) return usage();
        return DumpBook(argv[2], json, out, error);
    }
    if (command == L"help" || command == L"--help" || command == L"-h") {
        *out = DataToolUsage();
        return 0;
    }
    return usage();
}

}  // namespace datatool
