// Text, time and platform helpers shared by the whole program. They work in
// place on caller buffers; none allocates. The in-place rebuilds keep at
// most kTextChars - 1 characters and never write past that.
#pragma once

#include <windows.h>

#include <stddef.h>

// Returns english when UseEnglish is set, else malay: every text the agent
// reads goes through here in the language of the diary's 'B' setting.
const WCHAR *Pick(const WCHAR *english, const WCHAR *malay);
// The caption of every error message box, "Error" / "Masaalah".
const WCHAR *ErrorCaption(void);

// The month name "Jan" .. "Dec" of month 1..12, "" otherwise.
const WCHAR *MonthName(int month);
// The last day of month 1..12 in year; February has 29 days in every year
// that 4 divides.
int LastDayOfMonth(int month, int year);

// Copies src into dst, cut to fit and always terminated. A null src gives
// the empty text.
void TextCopyN(WCHAR *dst, size_t dstChars, const WCHAR *src);
void TextCopyNarrowN(char *dst, size_t dstChars, const char *src);
template <size_t N> inline void TextCopy(WCHAR (&dst)[N], const WCHAR *src) {
    TextCopyN(dst, N, src);
}
template <size_t N> inline void TextCopy(char (&dst)[N], const char *src) {
    TextCopyNarrowN(dst, N, src);
}

// CurrentTimeStamp := the local time as "YYYY-MM-DD hh:mm:ss".
void StampCurrentTime(void);
// Formats t as "YYYY-MM-DD hh:mm:ss" into buf.
void FormatTimeStamp(WCHAR *buf, size_t bufChars, const SYSTEMTIME *t);

// Returns 1 when stamp a is later than or equal to stamp b (both in the form
// of StampCurrentTime), else 0. Fields that are not digits read as 0.
int IsTimeStampNotEarlier(const WCHAR *a, const WCHAR *b);

// Copies count characters of text from offset (0-based) into out, cut at
// the end of text and to fit out; always terminated.
void TextPiece(WCHAR *out, size_t outChars, const WCHAR *text, size_t offset, size_t count);

void RemoveBlanks(WCHAR *text);                 // drops every U+0020
void TrimLeadingBlanks(WCHAR *text);            // drops the U+0020 at the start
void RemoveCharacter(WCHAR *text, WCHAR c);     // drops every c; null text left alone
// Removes n characters at each end; a text shorter than 2n stays unchanged.
void StripBothEnds(WCHAR *text, int n);
void StripBothEndsNarrow(char *text, int n);
// "AB-CD" -> six blanks + "AB-CD" when the first '-' stands after the first
// character; texts without '-' or starting with '-' stay unchanged.
void IndentDashedText(WCHAR *text);
void UpperCaseText(WCHAR *text);
// Returns 1 when part occurs in text (case-sensitive), else 0.
int TextContains(const WCHAR *text, const WCHAR *part);
// Pads a version number YYYYMMDD[.f[f[f]]] to three decimals: 8 characters
// gain ".000", 9 "000", 10 "00", 11 "0"; other lengths stay. text must have
// room for 13 characters.
void PadNumberText(WCHAR *text);
// After the caller appended a cell of cellChars characters to printText
// (a buffer of printChars), appends blanks up to width, then tail.
void AppendPaddedColumn(WCHAR *printText, size_t printChars, const WCHAR *cell, int width,
                        const WCHAR *tail);

// Fills buf (kTextChars) with the folder of the running program, ending in
// a backslash. Returns 1, or 0 when the path holds no backslash (buf then
// keeps the full path).
int GetProgramFolder(WCHAR *buf);
// Fills buf with "Windows %.1f" of the system's major version (RtlGetVersion,
// looked up by name in ntdll; 0 when absent). Returns 1.
int GetWindowsVersionText(WCHAR *buf, int count);
