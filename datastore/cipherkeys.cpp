// The keys of the four cipher contexts. The program, the data tool and the
// test peers all key their contexts here, so stored values and the peers'
// messages agree. No key text lies in the program as a whole: each key is
// put together at run time from four masked pieces of six characters, and
// the buffer is zeroed as soon as the context is keyed.
#include "cipher.h"

enum {
    kKeyChars = 24,  // every key: 24 ASCII characters
    kPieceChars = 6,
    kPieces = 16,
};

// Piece i is stored with every byte XORed by PieceMask(i).
static const unsigned char kKeyPieces[kPieces][kPieceChars] = {
    {0x36, 0x15, 0x19, 0x03, 0x3E, 0x6D},  // 0
    {0x01, 0x09, 0x1A, 0x35, 0x47, 0x35},  // 1
    {0xA9, 0xD3, 0xFB, 0xDF, 0xE1, 0xFE},  // 2
    {0x83, 0xE1, 0xDD, 0xF1, 0xC8, 0xEC},  // 3
    {0x88, 0x9B, 0xA2, 0x8F, 0xFF, 0xF4},  // 4
    {0xA4, 0xD7, 0xBC, 0xD2, 0xA7, 0xD5},  // 5
    {0x6D, 0x6C, 0x62, 0x57, 0x31, 0x65},  // 6
    {0x73, 0x5E, 0x52, 0x13, 0x78, 0x18},  // 7
    {0x36, 0x75, 0x2C, 0x74, 0x14, 0x07},  // 8
    {0x0B, 0x45, 0x5C, 0x07, 0x17, 0x36},  // 9
    {0x13, 0x4D, 0x27, 0x42, 0x3E, 0x2D},  // 10
    {0xAD, 0xEC, 0xCA, 0xD9, 0xA0, 0xA9},  // 11
    {0xE1, 0xC6, 0x9C, 0x8B, 0x81, 0xE5},  // 12
    {0x9F, 0xAE, 0xA2, 0x8C, 0x82, 0x92},  // 13
    {0x84, 0xC3, 0x85, 0x86, 0xC5, 0xAE},  // 14
    {0x4F, 0x37, 0x40, 0x6D, 0x3B, 0x6A},  // 15
};

// The pieces of each key, first piece first.
static const unsigned char kLocalKeyPieces[4] = {5, 4, 2, 0};
static const unsigned char kPhoneKeyPieces[4] = {8, 11, 10, 6};
static const unsigned char kDataKeyPieces[4] = {9, 15, 1, 12};
static const unsigned char kLookupKeyPieces[4] = {14, 7, 13, 3};

static unsigned char PieceMask(int piece) {
    return (unsigned char)(0x5B + 29 * piece);
}

// Puts the key named by pieces together in a buffer of its own, keys ctx
// with its 24 characters and wipes the buffer.
static void KeyOneContext(BlowfishContext &ctx, const unsigned char (&pieces)[4]) {
    unsigned char key[kKeyChars + 1];
    for (int p = 0; p < 4; p++) {
        int piece = pieces[p];
        for (int i = 0; i < kPieceChars; i++) {
            key[p * kPieceChars + i] = kKeyPieces[piece][i] ^ PieceMask(piece);
        }
    }
    key[kKeyChars] = 0;
    ctx.BlowfishSetKey(key, kKeyChars);
    SecureZeroMemory(key, sizeof key);
}

void KeyCipherContexts(void) {
    KeyOneContext(LocalCipher, kLocalKeyPieces);
    KeyOneContext(PhoneCipher, kPhoneKeyPieces);
    KeyOneContext(DataCipher, kDataKeyPieces);
    KeyOneContext(LookupCipher, kLookupKeyPieces);
}
