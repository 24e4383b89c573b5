// The plate search's pure rules: the misread series it corrects.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "mainwindow.h"

namespace {

TEST(NormalisePlate, MisreadSeriesAreCorrected) {
    struct Case {
        const wchar_t *keyed, *searched;
    } cases[] = {
        {L"GIM123", L"G1M123"},        {L"X111NAM5", L"XIIINAM5"}, {L"XO1C12", L"XOIC12"},
        {L"X0IC12", L"XOIC12"},        {L"X01C12", L"XOIC12"},     {L"X1ASEAN9", L"XIASEAN9"},
        {L"XXX1DB7", L"XXXIDB7"},      {L"IM4U1", L"1M4U1"},       {L"IM4U", L"1M4U"},
        {L"AGIM12", L"AGIM12"},        // not at the start
        {L"GIM", L"G1M"},              {L"GI", L"GI"},             {L"gim123", L"gim123"},  // case counts
        {L"WA1234B", L"WA1234B"},      {L"", L""},                 {L"XOIC1", L"XOIC1"},
    };
    for (const Case &c : cases) {
        wchar_t plate[64];
        wcscpy_s(plate, c.keyed);
        NormalisePlateNumber(plate);
        EXPECT_STREQ(plate, c.searched) << testing::PrintToString(std::wstring(c.keyed));
        EXPECT_EQ(wcslen(plate), wcslen(c.keyed)) << "the length never changes";
    }
}

}  // namespace
