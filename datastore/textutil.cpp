// Text, time and platform helpers.
#include "textutil.h"

#include <strsafe.h>
#include <wchar.h>
#include <wctype.h>

#include "datastore.h"

WCHAR CurrentTimeStamp[kTextChars];
WCHAR PlatformText[kTextChars];

const WCHAR *Pick(const WCHAR *english, const WCHAR *malay) { return UseEnglish ? english : malay; }

const WCHAR *ErrorCaption(void) { return Pick(L"Error", L"Masaalah"); }

const WCHAR *MonthName(int month) {
    static const WCHAR *const kMonths[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                             L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    return month >= 1 && month <= 12 ? kMonths[month - 1] : L"";
}

int LastDayOfMonth(int month, int year) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) return year % 4 == 0 ? 29 : 28;
    return kDays[month - 1];
}

void TextCopyN(WCHAR *dst, size_t dstChars, const WCHAR *src) {
    if (dst == NULL || dstChars == 0) return;
    StringCchCopyNW(dst, dstChars, src ? src : L"", dstChars - 1);
}

void TextCopyNarrowN(char *dst, size_t dstChars, const char *src) {
    if (dst == NULL || dstChars == 0) return;
    StringCchCopyNA(dst, dstChars, src ? src : "", dstChars - 1);
}

void FormatTimeStamp(WCHAR *buf, size_t bufChars, const SYSTEMTIME *t) {
    StringCchPrintfW(buf, bufChars, L"%04d-%02d-%02d %02d:%02d:%02d", t->wYear, t->wMonth, t->wDay,
                     t->wHour, t->wMinute, t->wSecond);
}

void StampCurrentTime(void) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatTimeStamp(CurrentTimeStamp, ARRAYSIZE(CurrentTimeStamp), &now);
}

// Reads count decimal digits of stamp from position at; a short text or a
// character that is no digit ends the number early.
static int StampField(const WCHAR *stamp, size_t at, size_t count) {
    size_t len = wcslen(stamp);
    int value = 0;
    for (size_t i = at; i < at + count && i < len; i++) {
        if (stamp[i] < L'0' || stamp[i] > L'9') break;
        value = value * 10 + (stamp[i] - L'0');
    }
    return value;
}

int IsTimeStampNotEarlier(const WCHAR *a, const WCHAR *b) {
    static const size_t kAt[6] = {0, 5, 8, 11, 14, 17};
    static const size_t kLen[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; i++) {
        int x = StampField(a, kAt[i], kLen[i]);
        int y = StampField(b, kAt[i], kLen[i]);
        if (x != y) return x > y ? 1 : 0;
    }
    return 1;
}

// Copies the characters of text that keep() accepts, up to kTextChars - 1 of
// them, through a local buffer and back over text.
template <typename Keep> static void RebuildText(WCHAR *text, Keep keep) {
    if (text == NULL) return;
    WCHAR work[kTextChars];
    size_t n = 0;
    for (size_t i = 0; text[i] != 0 && n < ARRAYSIZE(work) - 1; i++) {
        if (keep(i, text[i])) work[n++] = text[i];
    }
    work[n] = 0;
    // The result is never longer than the text it replaces.
    wmemcpy(text, work, n + 1);
}

void RemoveBlanks(WCHAR *text) {
    RebuildText(text, [](size_t, WCHAR c) { return c != L' '; });
}

void TrimLeadingBlanks(WCHAR *text) {
    bool leading = true;
    RebuildText(text, [&leading](size_t, WCHAR c) {
        if (leading && c == L' ') return false;
        leading = false;
        return true;
    });
}

void RemoveCharacter(WCHAR *text, WCHAR c) {
    if (text == NULL) return;
    size_t n = 0;
    for (size_t i = 0; text[i] != 0; i++) {
        if (text[i] != c) text[n++] = text[i];
    }
    text[n] = 0;
}

void StripBothEnds(WCHAR *text, int n) {
    if (text == NULL || n < 0) return;
    size_t len = wcslen(text);
    if (len < 2 * (size_t)n) return;
    size_t keep = len - 2 * (size_t)n;
    wmemmove(text, text + n, keep);
    text[keep] = 0;
}

void StripBothEndsNarrow(char *text, int n) {
    if (text == NULL || n < 0) return;
    size_t len = strlen(text);
    if (len < 2 * (size_t)n) return;
    size_t keep = len - 2 * (size_t)n;
    memmove(text, text + n, keep);
    text[keep] = 0;
}

void IndentDashedText(WCHAR *text) {
    if (text == NULL || text[0] == 0) return;
    size_t len = wcslen(text);
    size_t dash = wcscspn(text, L"-");
    if (dash == 0 || dash == len) return;
    WCHAR work[kTextChars];
    StringCchPrintfW(work, ARRAYSIZE(work), L"      %ls", text);
    // text is a kTextChars buffer by contract; the indent may cut its tail.
    TextCopyN(text, kTextChars, work);
}

void UpperCaseText(WCHAR *text) {
    if (text == NULL) return;
    for (; *text; text++) *text = (WCHAR)towupper(*text);
}

int TextContains(const WCHAR *text, const WCHAR *part) {
    if (text == NULL || part == NULL) return 0;
    return wcsstr(text, part) != NULL ? 1 : 0;
}

void PadNumberText(WCHAR *text) {
    static const WCHAR *const kTail[4] = {L".000", L"000", L"00", L"0"};
    size_t len = wcslen(text);
    if (len < 8 || len > 11) return;
    // 8 + 4 characters and the terminator: the caller's buffer holds 13.
    StringCchCatW(text, 13, kTail[len - 8]);
}

void AppendPaddedColumn(WCHAR *printText, size_t printChars, const WCHAR *cell, int width,
                        const WCHAR *tail) {
    int cellLen = (int)wcslen(cell ? cell : L"");
    for (int i = cellLen; i < width; i++) StringCchCatW(printText, printChars, L" ");
    if (tail) StringCchCatW(printText, printChars, tail);
}

int GetProgramFolder(WCHAR *buf) {
    DWORD n = GetModuleFileNameW(NULL, buf, kTextChars);
    if (n == 0 || n >= kTextChars) buf[kTextChars - 1] = 0;
    WCHAR *slash = wcsrchr(buf, L'\\');
    if (slash == NULL) return 0;
    slash[1] = 0;
    return 1;
}

typedef LONG(WINAPI *RtlGetVersionFn)(RTL_OSVERSIONINFOEXW *);

int GetWindowsVersionText(WCHAR *buf, int count) {
    if (count <= 0) return 1;
    buf[0] = 0;
    RTL_OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    DWORD major = 0;
    HMODULE ntdll = GetModuleHandleA("ntdll");
    FARPROC proc = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : NULL;
    if (proc != NULL) {
        RtlGetVersionFn rtlGetVersion;
        static_assert(sizeof rtlGetVersion == sizeof proc, "function pointer sizes");
        memcpy(&rtlGetVersion, &proc, sizeof proc);
        if (rtlGetVersion(&info) == 0) major = info.dwMajorVersion;
    }
    StringCchPrintfW(buf, (size_t)count, L"Windows %.1f", (double)major);
    return 1;
}

void TextPiece(WCHAR *out, size_t outChars, const WCHAR *text, size_t offset, size_t count) {
    if (outChars == 0) return;
    size_t length = wcslen(text);
    out[0] = 0;
    if (offset >= length) return;
    if (count > length - offset) count = length - offset;
    if (count >= outChars) count = outChars - 1;
    memcpy(out, text + offset, count * sizeof(WCHAR));
    out[count] = 0;
}
