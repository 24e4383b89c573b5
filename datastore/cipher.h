// The field cipher: Blowfish (16 rounds, the published tables and key
// schedule, each 8-byte block read as two little-endian 32-bit halves) in
// ECB mode over zero-padded ANSI text, written as Base64. Every enciphered
// value the program stores or receives has this one text form.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

class BlowfishContext {
  public:
    BlowfishContext() { BlowfishReset(); }
    ~BlowfishContext() { BlowfishReset(); }
    BlowfishContext(const BlowfishContext &) = delete;
    BlowfishContext &operator=(const BlowfishContext &) = delete;

    // Loads P and S with the published initial values (digits of pi).
    void BlowfishReset();
    // BlowfishReset, then the key schedule when length > 0.
    void BlowfishSetKey(const unsigned char *key, size_t length);
    void BlowfishKeySchedule(const unsigned char *key, size_t length);
    void BlowfishEncryptBlock(uint32_t &left, uint32_t &right) const;
    void BlowfishDecryptBlock(uint32_t &left, uint32_t &right) const;
    // In place over length bytes; nothing at all when length % 8 != 0.
    void BlowfishEcbEncrypt(unsigned char *bytes, size_t length) const;
    void BlowfishEcbDecrypt(unsigned char *bytes, size_t length) const;

    uint32_t P[18];      // subkeys
    uint32_t S[4][256];  // S-boxes, S[0] first
};

// The four contexts, one role each; keyed once by KeyCipherContexts.
extern BlowfishContext DataCipher;    // values of the data database
extern BlowfishContext LocalCipher;   // the agent's own values: diary, remark, init
extern BlowfishContext PhoneCipher;   // location messages from the handphone
extern BlowfishContext LookupCipher;  // the plate on its way to the lookup key

enum {
    kCipherFieldBytes = 345,  // the longest field (256 enciphered bytes) and its NUL
    kPlainBytes = 256,        // plain-text buffers of the codec, with the NUL
};

// Builds the four 24-character keys from pieces held in the program and keys
// LocalCipher, PhoneCipher, DataCipher and LookupCipher in that order. The
// key buffers are zeroed after use. The program, the data tool and the test
// peers share these keys.
void KeyCipherContexts(void);

size_t PadToBlockSize(size_t n);
size_t Base64EncodedLength(size_t n);
// Writes Base64EncodedLength(n) characters and a NUL into out.
void Base64Encode(const unsigned char *bytes, char *out, size_t n);
// Decodes at most length characters of text (skipping foreign characters,
// stopping at the first '=' or NUL) into out, writing at most outBytes bytes.
// Returns the number of bytes written.
size_t Base64Decode(const char *text, unsigned char *out, size_t length, size_t outBytes);

// Returns true when the length bytes of text are a field as EncodeField
// writes it: Base64 of 8 to 256 enciphered bytes, whole blocks, with its
// padding and nothing else.
bool IsWellFormedField(const char *text, size_t length);

// Enciphers a wide text (its ANSI form, cut to the longest text that reads
// back: 255 bytes of whole characters) into out, a buffer of
// kCipherFieldBytes. An empty or null text gives "".
void EncodeField(const BlowfishContext &ctx, const WCHAR *text, char *out);
// The same for an ANSI text, cut to 255 bytes.
void EncodeFieldA(const BlowfishContext &ctx, const char *text, char *out);
// Deciphers an ANSI field into a wide text of at most kPlainBytes
// characters with its NUL. Every field EncodeField writes reads back (up to
// 256 enciphered bytes). Never writes past out, whatever the field's length:
// a longer field is cut to its first plain bytes; a damaged field gives
// unreadable text, never an overrun. A field whose decoded length is no
// multiple of 8 comes back as its raw decoded bytes.
void DecodeField(const BlowfishContext &ctx, const char *field, WCHAR *out);
// The same for a wide field (the handphone's messages).
void DecodeFieldW(const BlowfishContext &ctx, const WCHAR *field, WCHAR *out);
// Deciphers into an ANSI buffer of outBytes bytes; always terminated. A
// field that decodes to more than outBytes - 1 bytes gives its first
// outBytes - 1 plain bytes.
void DecodeFieldA(const BlowfishContext &ctx, const char *field, char *out, size_t outBytes);
