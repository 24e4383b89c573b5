// The field cipher: the Blowfish variant against the published vectors,
// Base64, the field codec and its limits, and the program's four keys.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "cipher.h"

namespace {

std::vector<unsigned char> FromHex(const char *hex) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; hex[i] != 0 && hex[i + 1] != 0; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back((unsigned char)strtoul(pair, NULL, 16));
    }
    return bytes;
}

std::string ToHex(const unsigned char *bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

// Reverses the byte order within each 4-byte half of every block.
void ReverseHalves(unsigned char *bytes, size_t n) {
    for (size_t i = 0; i + 4 <= n; i += 4) {
        std::swap(bytes[i], bytes[i + 3]);
        std::swap(bytes[i + 1], bytes[i + 2]);
    }
}

void KeyWithText(BlowfishContext &ctx, const char *key) {
    ctx.BlowfishSetKey((const unsigned char *)key, strlen(key));
}

bool SameState(const BlowfishContext &a, const BlowfishContext &b) {
    return memcmp(a.P, b.P, sizeof a.P) == 0 && memcmp(a.S, b.S, sizeof a.S) == 0;
}

std::string Encode(const BlowfishContext &ctx, const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text.c_str(), field);
    return field;
}

std::wstring Decode(const BlowfishContext &ctx, const std::string &field) {
    WCHAR out[kPlainBytes];
    DecodeField(ctx, field.c_str(), out);
    return out;
}

// A field made by hand from any plain bytes: enciphered when the length is
// a multiple of 8, then Base64.
std::string FieldOfBytes(const BlowfishContext &ctx, std::vector<unsigned char> plain) {
    ctx.BlowfishEcbEncrypt(plain.data(), plain.size());
    std::string field(Base64EncodedLength(plain.size()) + 1, '\0');
    Base64Encode(plain.data(), &field[0], plain.size());
    field.resize(field.size() - 1);
    return field;
}

// A context under a key of our own, with fields computed apart from this
// code (published Blowfish with the halves reversed, then Base64).
class FieldCodec : public testing::Test {
  protected:
    void SetUp() override { KeyWithText(ctx_, "abcdefghijklmnopqrstuvwx"); }
    BlowfishContext ctx_;
};

}  // namespace

// ---- Blowfish ---------------------------------------------------------------

TEST(Blowfish, PublishedVectorsThroughByteReversal) {
    struct Vector {
        const char *key, *plain, *cipher;
    };
    // The published test vectors (big-endian halves).
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
        // Keys of other lengths: the first 1, 8, 16, 17 and 24 bytes.
        {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
        {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F00", "FEDCBA9876543210", "03429E838CE2D14B"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    };
    for (const Vector &v : vectors) {
        std::vector<unsigned char> key = FromHex(v.key);
        BlowfishContext ctx;
        ctx.BlowfishSetKey(key.data(), key.size());
        std::vector<unsigned char> block = FromHex(v.plain);
        ReverseHalves(block.data(), 8);
        ctx.BlowfishEcbEncrypt(block.data(), 8);
        ReverseHalves(block.data(), 8);
        EXPECT_EQ(ToHex(block.data(), 8), v.cipher) << "key " << v.key;
        ReverseHalves(block.data(), 8);
        ctx.BlowfishEcbDecrypt(block.data(), 8);
        ReverseHalves(block.data(), 8);
        EXPECT_EQ(ToHex(block.data(), 8), v.plain) << "key " << v.key;
    }
}

TEST(Blowfish, VariantReadsLittleEndianHalves) {
    // The variant's own answers on block bytes.
    struct Answer {
        const char *key, *in, *out;
    };
    const Answer answers[] = {
        {"0000000000000000", "0000000000000000", "4597F94E78DD9861"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "D56F86518ACB5EB8"},
    };
    for (const Answer &a : answers) {
        std::vector<unsigned char> key = FromHex(a.key), block = FromHex(a.in);
        BlowfishContext ctx;
        ctx.BlowfishSetKey(key.data(), key.size());
        ctx.BlowfishEcbEncrypt(block.data(), 8);
        EXPECT_EQ(ToHex(block.data(), 8), a.out);
        ctx.BlowfishEcbDecrypt(block.data(), 8);
        EXPECT_EQ(ToHex(block.data(), 8), a.in);
    }

    // On any block, the variant equals the published cipher (halves read
    // big-endian) between two reversals of each half.
    BlowfishContext ctx;
    KeyWithText(ctx, "a 24-character test key!");
    const char *blocks[] = {"0001020304050607", "57413132333442FF", "80000000000000FE"};
    for (const char *hex : blocks) {
        std::vector<unsigned char> bytes = FromHex(hex);
        std::vector<unsigned char> variant = bytes;
        ctx.BlowfishEcbEncrypt(variant.data(), 8);

        std::vector<unsigned char> reversed = bytes;
        ReverseHalves(reversed.data(), 8);
        uint32_t left = ((uint32_t)reversed[0] << 24) | (reversed[1] << 16) | (reversed[2] << 8) | reversed[3];
        uint32_t right = ((uint32_t)reversed[4] << 24) | (reversed[5] << 16) | (reversed[6] << 8) | reversed[7];
        ctx.BlowfishEncryptBlock(left, right);
        unsigned char published[8];
        for (int i = 0; i < 4; i++) {
            published[i] = (unsigned char)(left >> (24 - 8 * i));
            published[4 + i] = (unsigned char)(right >> (24 - 8 * i));
        }
        ReverseHalves(published, 8);
        EXPECT_EQ(ToHex(variant.data(), 8), ToHex(published, 8)) << hex;
    }
}

TEST(Blowfish, KeyingAndResetStates) {
    BlowfishContext fresh;
    EXPECT_EQ(fresh.P[0], 0x243F6A88u);
    EXPECT_EQ(fresh.S[3][255], 0x3AC372E6u);

    BlowfishContext empty;
    empty.BlowfishSetKey((const unsigned char *)"ignored", 0);
    EXPECT_TRUE(SameState(empty, fresh)) << "length 0 leaves the initial values";

    BlowfishContext once, twice;
    KeyWithText(once, "first key");
    EXPECT_FALSE(SameState(once, fresh));
    KeyWithText(twice, "another key");
    KeyWithText(twice, "first key");
    EXPECT_TRUE(SameState(once, twice)) << "keying starts from the initial values";

    twice.BlowfishReset();
    EXPECT_TRUE(SameState(twice, fresh));
}

TEST(Blowfish, EcbWorksOnWholeBlocksOnly) {
    BlowfishContext ctx;
    KeyWithText(ctx, "ecb");
    unsigned char odd[12];
    memset(odd, 'A', sizeof odd);
    ctx.BlowfishEcbEncrypt(odd, sizeof odd);
    ctx.BlowfishEcbDecrypt(odd, 7);
    for (unsigned char b : odd) ASSERT_EQ(b, 'A') << "a length that is no multiple of 8 changes nothing";

    // Two equal blocks give two equal blocks (no chaining), and the second
    // of two different blocks is what it gives alone.
    unsigned char two[16];
    memcpy(two, "SAMEBLOKSAMEBLOK", 16);
    ctx.BlowfishEcbEncrypt(two, 16);
    EXPECT_EQ(memcmp(two, two + 8, 8), 0);
    unsigned char mixed[16], alone[8];
    memcpy(mixed, "FIRSTBLKSECONDBK", 16);
    memcpy(alone, "SECONDBK", 8);
    ctx.BlowfishEcbEncrypt(mixed, 16);
    ctx.BlowfishEcbEncrypt(alone, 8);
    EXPECT_EQ(memcmp(mixed + 8, alone, 8), 0);
    ctx.BlowfishEcbDecrypt(mixed, 16);
    EXPECT_EQ(memcmp(mixed, "FIRSTBLKSECONDBK", 16), 0);
}

// ---- Base64 -----------------------------------------------------------------

TEST(Base64, Rfc4648VectorsAndLengths) {
    struct Case {
        const char *plain, *encoded;
    };
    const Case cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},       {"foo", "Zm9v"},
                          {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const Case &c : cases) {
        size_t n = strlen(c.plain);
        char out[16];
        memset(out, '#', sizeof out);
        Base64Encode((const unsigned char *)c.plain, out, n);
        EXPECT_STREQ(out, c.encoded);
        EXPECT_EQ(Base64EncodedLength(n), strlen(c.encoded));
        unsigned char back[16] = {0};
        EXPECT_EQ(Base64Decode(c.encoded, back, strlen(c.encoded), sizeof back), n);
        EXPECT_EQ(std::string((const char *)back, n), c.plain);
    }
    const size_t pads[][2] = {{0, 0}, {1, 8}, {7, 8}, {8, 8}, {9, 16}, {255, 256}, {256, 256}};
    for (const auto &p : pads) EXPECT_EQ(PadToBlockSize(p[0]), p[1]) << p[0];
}

TEST(Base64, DecoderRules) {
    struct Case {
        const char *name, *text;
        size_t length;
        const char *expected;
    };
    const Case cases[] = {
        {"foreign characters skipped", "Zm9v\r\n Ym\x01" "Fy", 100, "foobar"},
        {"stops at the first =", "Zm8=Zm9v", 100, "fo"},
        {"at most length characters", "Zm9vYmFy", 4, "foo"},
        {"skipped characters count towards length", "Zm\n9vYmFy", 4, "fo"},
        {"final single character gives none", "Zm9vY", 100, "foo"},
        {"final 3 characters give 2 bytes", "Zm9vYmE", 100, "fooba"},
        {"ends at the NUL", "Zm9v\0Ym", 100, "foo"},
        {"nothing of the alphabet", "!!**", 100, ""},
    };
    for (const Case &c : cases) {
        unsigned char out[16] = {0};
        size_t n = Base64Decode(c.text, out, c.length, sizeof out);
        EXPECT_EQ(std::string((const char *)out, n), c.expected) << c.name;
    }
}

TEST(Base64, DecoderNeverWritesPastItsOutput) {
    unsigned char out[8];
    memset(out, 0xAA, sizeof out);
    EXPECT_EQ(Base64Decode("Zm9vYmFyYmF6", out, 12, 4), 4u);
    EXPECT_EQ(memcmp(out, "foob", 4), 0);
    for (size_t i = 4; i < sizeof out; i++) EXPECT_EQ(out[i], 0xAA) << i;
    EXPECT_EQ(Base64Decode("Zm9v", out, 4, 0), 0u);
    EXPECT_EQ(out[0], 'f');
}

// ---- Field codec ------------------------------------------------------------

TEST_F(FieldCodec, KnownFields) {
    struct Known {
        const char *plain, *field;
    };
    const Known known[] = {
        {"WA1234B", "Zk/bp3rd6sw="},
        {"JALAN AMPANG, KL", "52AUCriMX4K6C/Qxh1dIcg=="},
        {"WXY 9876 Q", "2bCddi7lWu0sqyQUVcWcbQ=="},
    };
    for (const Known &k : known) {
        std::wstring wide(k.plain, k.plain + strlen(k.plain));
        EXPECT_EQ(Encode(ctx_, wide), k.field);
        char field[kCipherFieldBytes];
        EncodeFieldA(ctx_, k.plain, field);
        EXPECT_STREQ(field, k.field);
        EXPECT_EQ(Decode(ctx_, k.field), wide);
    }
    EXPECT_EQ(Encode(ctx_, L""), "");
    EXPECT_EQ(Decode(ctx_, ""), L"");
    char field[kCipherFieldBytes] = "junk";
    EncodeField(ctx_, NULL, field);
    EXPECT_STREQ(field, "");
}

// Every length an enciphered value can have, 249-255 bytes (which pad to
// 256 enciphered bytes) included, reads back through all three decoders.
TEST_F(FieldCodec, EveryLengthUpTo255ReadsBack) {
    for (size_t n = 0; n <= 255; n++) {
        std::string plain;
        for (size_t i = 0; i < n; i++) plain += (char)('A' + i % 26);
        std::wstring wide(plain.begin(), plain.end());
        std::string field = Encode(ctx_, wide);

        size_t m = PadToBlockSize(n);
        ASSERT_EQ(field.size(), Base64EncodedLength(m)) << n;
        if (m % 3 == 1) {
            EXPECT_EQ(field.substr(field.size() - 2), "==") << n;
        } else if (m % 3 == 2) {
            EXPECT_EQ(field.back(), '=') << n;
            EXPECT_NE(field[field.size() - 2], '=') << n;
        }

        EXPECT_EQ(Decode(ctx_, field), wide) << n;
        WCHAR fromWide[kPlainBytes];
        std::wstring wideField(field.begin(), field.end());
        DecodeFieldW(ctx_, wideField.c_str(), fromWide);
        EXPECT_EQ(std::wstring(fromWide), wide) << n;
        char narrow[kPlainBytes + 1];
        DecodeFieldA(ctx_, field.c_str(), narrow, sizeof narrow);
        EXPECT_EQ(std::string(narrow), plain) << n;
    }
    EXPECT_EQ(Encode(ctx_, std::wstring(255, L'x')).size(), 344u);
    EXPECT_EQ(Encode(ctx_, L"12345678").size(), 12u) << "8 bytes are not padded further";
}

TEST_F(FieldCodec, OverlongTextsAreCutTo255Bytes) {
    std::wstring longText(300, L'q');
    std::string field = Encode(ctx_, longText);
    EXPECT_EQ(field.size(), 344u);
    EXPECT_EQ(Decode(ctx_, field), std::wstring(255, L'q'));

    std::wstring exactly256(256, L'r');
    EXPECT_EQ(Decode(ctx_, Encode(ctx_, exactly256)), std::wstring(255, L'r'));

    // Cut at whole characters; a long text of characters the code page
    // lacks still gives 255 default characters.
    std::wstring foreign(400, (WCHAR)0x4E2D);
    EXPECT_EQ(Decode(ctx_, Encode(ctx_, foreign)), std::wstring(255, L'?'));

    std::string longAnsi(300, 's');
    char narrowField[kCipherFieldBytes];
    EncodeFieldA(ctx_, longAnsi.c_str(), narrowField);
    EXPECT_EQ(strlen(narrowField), 344u);
    char back[400];
    DecodeFieldA(ctx_, narrowField, back, sizeof back);
    EXPECT_EQ(std::string(back), std::string(255, 's'));
}

TEST_F(FieldCodec, AnsiCodePage) {
    // The test prefix runs with code page 1252.
    ASSERT_EQ(GetACP(), 1252u);
    std::wstring accented = L"JALAN SULTAN \u00C9\u00E9";
    std::string field = Encode(ctx_, accented);
    EXPECT_EQ(Decode(ctx_, field), accented);
    char narrow[64];
    DecodeFieldA(ctx_, field.c_str(), narrow, sizeof narrow);
    EXPECT_STREQ(narrow, "JALAN SULTAN \xC9\xE9");
    EXPECT_EQ(Decode(ctx_, Encode(ctx_, L"A\u4E2DB")), L"A?B") << "a character the code page lacks";
}

TEST_F(FieldCodec, DecodersNeverWritePastTheirBuffers) {
    // A stored text far longer than any field: 1504 enciphered bytes.
    std::string plain(1504, 'L');
    std::string huge = FieldOfBytes(ctx_, std::vector<unsigned char>(plain.begin(), plain.end()));
    ASSERT_GT(huge.size(), 2000u);

    WCHAR wide[kPlainBytes + 16];
    wmemset(wide, L'#', ARRAYSIZE(wide));
    DecodeField(ctx_, huge.c_str(), wide);
    EXPECT_EQ(std::wstring(wide), std::wstring(255, L'L'));
    for (int i = kPlainBytes; i < (int)ARRAYSIZE(wide); i++) ASSERT_EQ(wide[i], L'#') << i;

    std::wstring hugeWide(huge.begin(), huge.end());
    wmemset(wide, L'#', ARRAYSIZE(wide));
    DecodeFieldW(ctx_, hugeWide.c_str(), wide);
    EXPECT_EQ(std::wstring(wide), std::wstring(255, L'L'));
    for (int i = kPlainBytes; i < (int)ARRAYSIZE(wide); i++) ASSERT_EQ(wide[i], L'#') << i;

    // A narrow buffer smaller than the field: the first bytes of the plain
    // text, deciphered, also across the cut block; always terminated.
    std::string text = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string field = Encode(ctx_, std::wstring(text.begin(), text.end()));
    for (size_t size : {1u, 8u, 9u, 12u, 17u, 40u}) {
        char narrow[64];
        memset(narrow, '#', sizeof narrow);
        DecodeFieldA(ctx_, field.c_str(), narrow, size);
        EXPECT_EQ(std::string(narrow), text.substr(0, size - 1)) << size;
        EXPECT_EQ(narrow[size], '#') << size;
    }
}

TEST_F(FieldCodec, FullLengthForeignFieldsAreCutAndTerminated) {
    // 256 plain bytes without a zero, as a foreign writer could store them.
    std::string field = FieldOfBytes(ctx_, std::vector<unsigned char>(256, 'Z'));
    ASSERT_EQ(field.size(), 344u);
    char narrow[kPlainBytes + 1];
    DecodeFieldA(ctx_, field.c_str(), narrow, sizeof narrow);
    EXPECT_EQ(std::string(narrow), std::string(256, 'Z'));
    EXPECT_EQ(Decode(ctx_, field), std::wstring(255, L'Z'));
}

TEST_F(FieldCodec, RawAndDamagedFields) {
    // 3 decoded bytes are no block: they come back as decoded.
    EXPECT_EQ(Decode(ctx_, "QUJD"), L"ABC");
    char narrow[16];
    DecodeFieldA(ctx_, "QUJD", narrow, sizeof narrow);
    EXPECT_STREQ(narrow, "ABC");

    std::string field = Encode(ctx_, L"WA1234B");
    EXPECT_EQ(Decode(ctx_, field + "=QUJD"), L"WA1234B") << "decoding stops at the first =";
    EXPECT_EQ(Decode(ctx_, field.substr(0, 4) + "\r\n" + field.substr(4)), L"WA1234B");

    std::vector<unsigned char> withZero = {'A', 'B', 0, 'C', 'D', 0, 0, 0};
    EXPECT_EQ(Decode(ctx_, FieldOfBytes(ctx_, withZero)), L"AB") << "text ends at a zero byte";

    BlowfishContext other;
    KeyWithText(other, "some other key of 24 chr");
    EXPECT_NE(Decode(other, field), L"WA1234B");
    EXPECT_EQ(Encode(ctx_, L"WA1234B"), field) << "one text, one field";
    EXPECT_NE(Encode(other, L"WA1234B"), field);
}

// ---- The program's keys -----------------------------------------------------

// Stored books, the data file and the peers were written with these keys:
// the fields below must never change.
TEST(ProgramKeys, FieldsOfEachContext) {
    KeyCipherContexts();
    struct Pinned {
        const BlowfishContext *ctx;
        const char *name, *field;
    };
    const Pinned pinned[] = {
        {&LocalCipher, "LocalCipher", "fkU+oGUwHw0="},
        {&PhoneCipher, "PhoneCipher", "/CnPivnU/4k="},
        {&DataCipher, "DataCipher", "Vvpzqceqt3c="},
        {&LookupCipher, "LookupCipher", "cHmQBzaTg40="},
    };
    for (const Pinned &p : pinned) {
        EXPECT_EQ(Encode(*p.ctx, L"WA1234B"), p.field) << p.name;
        EXPECT_EQ(Decode(*p.ctx, p.field), L"WA1234B") << p.name;
    }
    KeyCipherContexts();
    EXPECT_EQ(Encode(LocalCipher, L"WA1234B"), "fkU+oGUwHw0=") << "keying again gives the same keys";
}
