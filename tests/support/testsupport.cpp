#include "testsupport.h"

#include <stdlib.h>

#include <initializer_list>

namespace testsupport {

CheckDb::CheckDb(const std::wstring &path) {
    rc_ = sqlite3_open(Utf8(path).c_str(), &db_);
    if (rc_ != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = NULL;
    }
}

int CheckDb::Exec(const std::string &sql) {
    char *error = NULL;
    int rc = sqlite3_exec(db_, sql.c_str(), NULL, NULL, &error);
    message_ = error ? error : "";
    sqlite3_free(error);
    return rc;
}

std::vector<std::string> CheckDb::Column(const std::string &sql) {
    std::vector<std::string> out;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, NULL) != SQLITE_OK) {
        out.push_back(std::string("ERROR: ") + sqlite3_errmsg(db_));
        return out;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char *text = sqlite3_column_text(stmt, 0);
        out.push_back(text ? reinterpret_cast<const char *>(text) : "");
    }
    if (rc != SQLITE_DONE) out.push_back(std::string("ERROR: ") + sqlite3_errmsg(db_));
    sqlite3_finalize(stmt);
    return out;
}

std::string CheckDb::One(const std::string &sql) {
    std::vector<std::string> rows = Column(sql);
    return rows.empty() ? std::string("<no row>") : rows.front();
}

std::wstring HostFolderFromEnv(const char *name) {
    const char *value = getenv(name);
    if (value == NULL || *value == 0) return std::wstring();
    std::wstring path = L"Z:";
    for (const char *p = value; *p; p++) path.push_back(*p == '/' ? L'\\' : (wchar_t)(unsigned char)*p);
    if (path.back() != L'\\') path.push_back(L'\\');
    return path;
}

std::vector<std::vector<std::string>> ReadBookRows(const std::wstring &path, const std::string &sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(Utf8(path).c_str(), &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, NULL) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); i++) {
                const unsigned char *t = sqlite3_column_text(stmt, i);
                row.push_back(t ? (const char *)t : "");
            }
            rows.push_back(row);
        }
        // A locked book must not pass for an empty one.
        if (rc != SQLITE_DONE) rows.push_back({"ERROR: " + std::string(sqlite3_errmsg(db))});
    } else {
        rows.push_back({"ERROR: " + std::string(sqlite3_errmsg(db))});
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

bool RemoveTree(const std::wstring &folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base.push_back(L'\\');
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((base + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = base + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(base.c_str());
    return GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool PrepareProgramFolder(const std::wstring &folder) {
    std::wstring bin = HostFolderFromEnv("KORVANE_BIN");
    if (bin.empty()) return false;
    RemoveTree(folder);
    if (!CreateDirectoryW(folder.c_str(), NULL)) return false;
    if (!CopyOneFile(bin + L"Korvane.exe", folder + L"Korvane.exe")) return false;
    for (const wchar_t *book : {L"C:\\KorvaneDiary.db", L"C:\\KorvaneInit.db", L"C:\\LastRemark.db"}) {
        DeleteFileW(book);
    }
    return true;
}

ScratchFolder::ScratchFolder(const std::wstring &name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"korvane-tests\\";
    CreateDirectoryW(path_.c_str(), NULL);
    path_ += name + L"\\";
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), NULL);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

bool ReadFileBytes(const std::wstring &path, std::vector<unsigned char> *bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    bytes->assign((size_t)size.QuadPart, 0);
    DWORD got = 0;
    BOOL ok = bytes->empty() || ReadFile(file, bytes->data(), (DWORD)bytes->size(), &got, NULL);
    CloseHandle(file);
    return ok && got == bytes->size();
}

bool WriteFileBytes(const std::wstring &path, const std::vector<unsigned char> &bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), (DWORD)bytes.size(), &done, NULL);
    CloseHandle(file);
    return ok && done == bytes.size();
}

bool CopyOneFile(const std::wstring &from, const std::wstring &to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool FileExists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> MatchingFiles(const std::wstring &pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

DWORD LastMoveFlags;

namespace {
HANDLE HeldFile = INVALID_HANDLE_VALUE;
}  // namespace

BOOL RecordedMove(const WCHAR *from, const WCHAR *to, DWORD flags) {
    LastMoveFlags = flags;
    return MoveFileExW(from, to, flags);
}

BOOL MoveThenHold(const WCHAR *from, const WCHAR *to, DWORD flags) {
    if (!RecordedMove(from, to, flags)) return FALSE;
    ReleaseHeldFile();
    HeldFile = CreateFileW(to, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return TRUE;
}

void ReleaseHeldFile() {
    if (HeldFile != INVALID_HANDLE_VALUE) CloseHandle(HeldFile);
    HeldFile = INVALID_HANDLE_VALUE;
}

BOOL FailingFlush(HANDLE) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

std::string Utf8(const std::wstring &text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

const wchar_t *TestWindowClass(const wchar_t *name, WNDPROC proc, HBRUSH background) {
    WNDCLASSW known = {};
    if (!GetClassInfoW(GetModuleHandleW(NULL), name, &known)) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = name;
        wc.hbrBackground = background;
        RegisterClassW(&wc);
    }
    return name;
}

}  // namespace testsupport
