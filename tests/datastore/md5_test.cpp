// MD5 against RFC 1321 and the padding boundaries, and the lookup key of
// the wanted-vehicle table.
#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>

#include <string>

#include "cipher.h"
#include "md5.h"

namespace {

std::string HexLower(const std::string &bytes) {
    char out[kMd5HexBytes];
    Md5HexLowerBytes((const unsigned char *)bytes.data(), bytes.size(), out);
    return out;
}

std::string LookupKey(const wchar_t *plate) {
    char out[kMd5HexBytes];
    memset(out, '#', sizeof out);
    VehicleLookupKey(plate, out);
    return out;
}

}  // namespace

TEST(Md5, Rfc1321Suite) {
    struct Case {
        const char *text, *digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case &c : cases) {
        char lower[kMd5HexBytes], upper[kMd5HexBytes];
        memset(lower, '#', sizeof lower);
        Md5HexLower(c.text, lower);
        EXPECT_STREQ(lower, c.digest) << '"' << c.text << '"';
        Md5HexUpper(c.text, upper);
        std::string expectedUpper = c.digest;
        for (char &ch : expectedUpper) ch = (char)toupper((unsigned char)ch);
        EXPECT_EQ(std::string(upper), expectedUpper);
    }
}

// The padding takes one block up to 55 bytes in the last block and two from
// 56 on; whole blocks add a block of padding alone.
TEST(Md5, PaddingBoundaries) {
    struct Case {
        size_t length;
        const char *digest;
    };
    const Case cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
    };
    for (const Case &c : cases) {
        std::string text(c.length, 'a');
        EXPECT_EQ(HexLower(text), c.digest) << c.length;
        char out[kMd5HexBytes];
        Md5HexLower(text.c_str(), out);
        EXPECT_STREQ(out, c.digest) << c.length;
    }
    // Over bytes, a zero byte is data; over a text, it ends the text.
    EXPECT_EQ(HexLower(std::string("ab\0cd", 5)), "5d622b3d4d8cc07754fd386e7f29326e");
    char out[kMd5HexBytes];
    Md5HexLower("ab\0cd", out);
    EXPECT_EQ(std::string(out), HexLower("ab"));
}

// The keys of the shipped data file and of the update server: MD5 of the
// plate's field under LookupCipher, exactly as searched.
TEST(VehicleLookupKey, PinnedKeysOfPlates) {
    KeyCipherContexts();
    EXPECT_EQ(LookupKey(L"WA1234B"), "bbb86f94954bb4f752a2face59dc01cd");
    EXPECT_EQ(LookupKey(L"wa1234b"), "eced4d6de7beecf90d453fa9364fd093") << "letter case counts";
    EXPECT_NE(LookupKey(L"WA1234"), LookupKey(L"WA1234B"));

    std::string key = LookupKey(L"JKL 88");
    ASSERT_EQ(key.size(), 32u);
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(VehicleLookupKey, DependsOnTheLookupKeyText) {
    KeyCipherContexts();
    std::string programKey = LookupKey(L"WA1234B");
    const char other[] = "another lookup key text!";
    LookupCipher.BlowfishSetKey((const unsigned char *)other, strlen(other));
    EXPECT_NE(LookupKey(L"WA1234B"), programKey);
    KeyCipherContexts();
    EXPECT_EQ(LookupKey(L"WA1234B"), programKey);
}
