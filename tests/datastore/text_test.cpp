// Text, time and platform helpers.
#include <gtest/gtest.h>

#include <string>

#include "datastore.h"
#include "textutil.h"

namespace {

// Runs an in-place helper on a copy of input held in a field-sized buffer.
template <typename Fn> std::wstring Apply(const wchar_t *input, Fn fn) {
    WCHAR buffer[kTextChars];
    TextCopy(buffer, input);
    fn(buffer);
    return buffer;
}

struct InPlaceCase {
    const char *name;
    void (*fn)(WCHAR *);
    const wchar_t *input;
    const wchar_t *expected;
};

void Strip2(WCHAR *t) { StripBothEnds(t, 2); }
void DropApostrophe(WCHAR *t) { RemoveCharacter(t, L'\''); }

TEST(TextHelpers, InPlaceRebuilds) {
    const InPlaceCase cases[] = {
        {"blanks anywhere", RemoveBlanks, L"  wa 1234 b ", L"wa1234b"},
        {"tab is no blank", RemoveBlanks, L"a\tb c", L"a\tbc"},
        {"only blanks", RemoveBlanks, L"   ", L""},
        {"leading only", TrimLeadingBlanks, L"   AB C ", L"AB C "},
        {"no leading", TrimLeadingBlanks, L"AB ", L"AB "},
        {"strip seven", Strip2, L"xxABCxx", L"ABC"},
        {"strip exactly 2n", Strip2, L"xxxx", L""},
        {"shorter than 2n", Strip2, L"xxx", L"xxx"},
        {"remove character", DropApostrophe, L"D'Cruz 'Leasing'", L"DCruz Leasing"},
        {"indent dashed", IndentDashedText, L"AB-CD", L"      AB-CD"},
        {"leading dash", IndentDashedText, L"-ABC", L"-ABC"},
        {"no dash", IndentDashedText, L"ABCD", L"ABCD"},
        {"empty indent", IndentDashedText, L"", L""},
        {"upper case", UpperCaseText, L"wa1234b", L"WA1234B"},
        {"pad 8", PadNumberText, L"20261209", L"20261209.000"},
        {"pad 9", PadNumberText, L"20261209.", L"20261209.000"},
        {"pad 10", PadNumberText, L"20261209.5", L"20261209.500"},
        {"pad 11", PadNumberText, L"20261209.55", L"20261209.550"},
        {"pad 12 unchanged", PadNumberText, L"20261209.555", L"20261209.555"},
        {"pad 7 unchanged", PadNumberText, L"FACTORY", L"FACTORY"},
    };
    for (const InPlaceCase &c : cases) {
        EXPECT_EQ(Apply(c.input, c.fn), c.expected) << c.name;
    }
}

TEST(TextHelpers, NullAndOverlongTextsAreSafe) {
    RemoveCharacter(NULL, L'x');
    RemoveBlanks(NULL);
    // A field-sized text that the indent would push past the buffer is cut,
    // and stays terminated inside it.
    std::wstring longText = L"A-" + std::wstring(kTextChars - 3, L'B');
    WCHAR buffer[kTextChars + 8];
    wmemset(buffer, L'#', ARRAYSIZE(buffer));
    TextCopyN(buffer, kTextChars, longText.c_str());
    IndentDashedText(buffer);
    EXPECT_EQ(wcslen(buffer), (size_t)kTextChars - 1);
    EXPECT_EQ(std::wstring(buffer, 8), L"      A-");
    EXPECT_EQ(buffer[kTextChars], L'#');

    char narrow[] = "~~Hello~~";
    StripBothEndsNarrow(narrow, 2);
    EXPECT_STREQ(narrow, "Hello");
    char shortNarrow[] = "abc";
    StripBothEndsNarrow(shortNarrow, 2);
    EXPECT_STREQ(shortNarrow, "abc");
}

TEST(TextHelpers, ContainsAndPaddedColumns) {
    EXPECT_EQ(TextContains(L"Found: 2 rows", L"rows"), 1);
    EXPECT_EQ(TextContains(L"Found: 2 rows", L"ROWS"), 0);
    EXPECT_EQ(TextContains(L"abc", L""), 1);

    WCHAR print[64] = L"AB";
    AppendPaddedColumn(print, ARRAYSIZE(print), L"AB", 5, L"|");
    EXPECT_STREQ(print, L"AB   |");
    WCHAR full[64] = L"ABCDEF";
    AppendPaddedColumn(full, ARRAYSIZE(full), L"ABCDEF", 5, L"|");
    EXPECT_STREQ(full, L"ABCDEF|");
    WCHAR tiny[4] = L"A";
    AppendPaddedColumn(tiny, ARRAYSIZE(tiny), L"A", 10, L"|");
    EXPECT_EQ(wcslen(tiny), 3u);
}

TEST(TimeStamps, CompareFieldByField) {
    struct Case {
        const wchar_t *a, *b;
        int expected;
    } cases[] = {
        {L"2026-12-09 08:56:33", L"2026-12-09 08:56:33", 1},
        {L"2026-01-01 00:00:00", L"2025-12-31 23:59:59", 1},
        {L"2025-12-31 23:59:59", L"2026-01-01 00:00:00", 0},
        {L"2026-12-09 08:56:34", L"2026-12-09 08:56:33", 1},
        {L"2026-12-09 08:56:32", L"2026-12-09 08:56:33", 0},
        {L"2026-02-01 00:00:00", L"2026-01-31 23:59:59", 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(IsTimeStampNotEarlier(c.a, c.b), c.expected) << testing::PrintToString(c.a);
    }
}

TEST(TimeStamps, StampHasTheStoredForm) {
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 9;
    t.wHour = 8;
    t.wMinute = 56;
    t.wSecond = 33;
    WCHAR buffer[32];
    FormatTimeStamp(buffer, ARRAYSIZE(buffer), &t);
    EXPECT_STREQ(buffer, L"2026-12-09 08:56:33");

    StampCurrentTime();
    std::wstring now = CurrentTimeStamp;
    ASSERT_EQ(now.size(), 19u);
    EXPECT_EQ(now[4], L'-');
    EXPECT_EQ(now[10], L' ');
    EXPECT_EQ(now[13], L':');
}

TEST(Platform, ProgramFolderAndWindowsVersion) {
    WCHAR folder[kTextChars];
    ASSERT_EQ(GetProgramFolder(folder), 1);
    std::wstring f = folder;
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back(), L'\\');
    WCHAR module[kTextChars];
    GetModuleFileNameW(NULL, module, ARRAYSIZE(module));
    EXPECT_EQ(std::wstring(module).rfind(f, 0), 0u) << "folder is a prefix of the program path";

    WCHAR version[kTextChars];
    ASSERT_EQ(GetWindowsVersionText(version, ARRAYSIZE(version)), 1);
    std::wstring v = version;
    EXPECT_EQ(v.rfind(L"Windows ", 0), 0u);
    EXPECT_EQ(v.substr(v.size() - 2), L".0") << "the major version alone";
    EXPECT_NE(v, L"Windows 0.0");
}

}  // namespace
