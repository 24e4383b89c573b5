// Per-character plate colours in the plate entry and the find history.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platecolours.h"

namespace {

// One letter per character: b blue, r red, p purple, g green; a '|' after a
// character marks the prefix line.
std::string Colours(const wchar_t *text, bool entry) {
    PlateCharPaint paint[64];
    size_t n = ColourPlateText(text, entry, paint, 64);
    std::string out;
    for (size_t i = 0; i < n; i++) {
        switch (paint[i].colour) {
        case PLATE_BLUE: out += 'b'; break;
        case PLATE_RED: out += 'r'; break;
        case PLATE_PURPLE: out += 'p'; break;
        case PLATE_GREEN: out += 'g'; break;
        default: out += '?';
        }
        if (paint[i].prefixLine >= 0) out += '|';
    }
    return out;
}

TEST(PlateColours, EntryAndHistory) {
    struct Case {
        const wchar_t *plate;
        const char *entry, *history;
    } cases[] = {
        {L"ABC1234", "ppp|bbbb", "pppbbbb"},
        {L"ABC12345", "ppp|bbbbr", "pppbbbbr"},
        {L"G1M12345", "pbpbbbbr", "pbpbbbbr"},
        {L"g1m12345", "pbpbbbbr", "pbpbbbbr"},
        {L"1M4U1234", "bpbpbbbb", "bpbpbbbb"},
        {L"1M4U12345", "bpbpbbbbr", "bpbpbbbbr"},
        {L"W0123", "prbbb", "prbbb"},
        {L"FAB1", "rpp|b", "rppb"},
        {L"IOU", "ggp|", "ggr"},
        {L"VAB", "rpp|", "rpp"},
        {L"WA1", "ppb", "ppb"},
        {L"", "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Colours(c.plate, true), c.entry) << testing::PrintToString(std::wstring(c.plate));
        EXPECT_EQ(Colours(c.plate, false), c.history) << testing::PrintToString(std::wstring(c.plate));
    }
}

TEST(PlateColours, PrefixLineStartsAtZeroForAGreenThirdLetter) {
    PlateCharPaint paint[8];
    ASSERT_EQ(ColourPlateText(L"ABI", true, paint, 8), 3u);
    EXPECT_EQ(paint[2].prefixLine, 0);
    ASSERT_EQ(ColourPlateText(L"ABC", true, paint, 8), 3u);
    EXPECT_EQ(paint[2].prefixLine, 1);
    EXPECT_EQ(ColourPlateText(L"ABCDEFGH", true, paint, 4), 4u) << "never past the output";
}

}  // namespace
