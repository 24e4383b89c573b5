// MD5 as RFC 1321 gives it, and the lookup key of the wanted-vehicle table.
// One pass over the bytes, no allocation: the lookup key is computed for
// every search and for every row of Update Diary.
#include "md5.h"

#include <stdint.h>
#include <string.h>

#include "cipher.h"

namespace {

struct Md5State {
    uint32_t a, b, c, d;
};

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// Per-round shift amounts and the sine-derived constants of RFC 1321.
const int kShifts[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

const uint32_t kSines[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391,
};

// One 64-byte block into the state.
void Md5Block(Md5State &s, const unsigned char *block) {
    uint32_t m[16];
    for (int i = 0; i < 16; i++) {
        const unsigned char *p = block + 4 * i;
        m[i] = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    }
    uint32_t a = s.a, b = s.b, c = s.c, d = s.d;
    for (int i = 0; i < 64; i++) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        uint32_t next = b + RotateLeft(a + f + kSines[i] + m[g], kShifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    s.a += a;
    s.b += b;
    s.c += c;
    s.d += d;
}

// The 16 digest bytes of length bytes.
void Md5Digest(const unsigned char *bytes, size_t length, unsigned char *digest) {
    Md5State s = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    size_t whole = length - length % 64;
    for (size_t i = 0; i < whole; i += 64) Md5Block(s, bytes + i);

    // The tail, the 0x80 byte, zeros and the bit length (little-endian) in
    // one block, or two when fewer than 9 bytes are left in the first.
    unsigned char tail[128];
    size_t rest = length - whole;
    if (rest > 0) memcpy(tail, bytes + whole, rest);
    tail[rest] = 0x80;
    size_t tailBytes = rest < 56 ? 64 : 128;
    memset(tail + rest + 1, 0, tailBytes - rest - 1);
    uint64_t bits = (uint64_t)length * 8;
    for (int i = 0; i < 8; i++) tail[tailBytes - 8 + i] = (unsigned char)(bits >> (8 * i));
    Md5Block(s, tail);
    if (tailBytes == 128) Md5Block(s, tail + 64);

    const uint32_t words[4] = {s.a, s.b, s.c, s.d};
    for (int w = 0; w < 4; w++) {
        for (int i = 0; i < 4; i++) digest[4 * w + i] = (unsigned char)(words[w] >> (8 * i));
    }
}

// Two digits per byte, most significant nibble first, then a NUL.
void WriteHex(const unsigned char *digest, const char *digits, char *out) {
    for (int i = 0; i < 16; i++) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    out[32] = 0;
}

const char kLowerDigits[] = "0123456789abcdef";
const char kUpperDigits[] = "0123456789ABCDEF";

}  // namespace

void Md5HexLowerBytes(const unsigned char *bytes, size_t length, char *out) {
    unsigned char digest[16];
    Md5Digest(bytes, length, digest);
    WriteHex(digest, kLowerDigits, out);
}

void Md5HexLower(const char *text, char *out) {
    Md5HexLowerBytes((const unsigned char *)(text != NULL ? text : ""), text != NULL ? strlen(text) : 0,
                     out);
}

void Md5HexUpper(const char *text, char *out) {
    unsigned char digest[16];
    Md5Digest((const unsigned char *)(text != NULL ? text : ""), text != NULL ? strlen(text) : 0, digest);
    WriteHex(digest, kUpperDigits, out);
}

void VehicleLookupKey(const WCHAR *plate, char *out) {
    char field[kCipherFieldBytes];
    EncodeField(LookupCipher, plate, field);
    Md5HexLower(field, out);
}
