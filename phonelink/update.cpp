// The online data update.
//
// A run posts the installation's identity and data versions to the server
// (request 1), expects a challenge, fetches the data reply (request 2) and,
// when the server's patch version differs from ours, applies the reply's
// row operations to VLD, VLC and the remark book. The whole reply is checked
// before any book is touched, and the books are changed in one transaction
// each that is rolled back whole on any failure, so a bad reply or a full
// disk never half-applies an update.
//
// The requests and the reply reader are in updatereply.cpp, the apply in
// updateapply.cpp; this file is the run on the user-interface thread.
#include "update.h"

#include <curl/curl.h>
#include <string.h>
#include <strsafe.h>

#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "textutil.h"
#include "updateparts.h"

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

}  // namespace

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

// The checked data reply of a server: nothing changes when its patch
// version is the one the data has, else its rows are applied; the
// outcome is shown.
void ApplyDataReply(int server, const UpdateReply &parsed) {
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
    ApplyDataReply(server, parsed);
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
