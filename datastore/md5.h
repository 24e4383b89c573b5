// MD5 (RFC 1321) as lower- and upper-case hexadecimal text, and the lookup
// key of the wanted-vehicle table.
#pragma once

#include <windows.h>

#include <stddef.h>

enum { kMd5HexBytes = 33 };  // 32 digits and the NUL

// Writes the 32 lower-case hexadecimal digits of MD5(text up to its NUL)
// and a NUL into out (kMd5HexBytes).
void Md5HexLower(const char *text, char *out);
void Md5HexUpper(const char *text, char *out);
// MD5 over length bytes.
void Md5HexLowerBytes(const unsigned char *bytes, size_t length, char *out);

// The key of table VLD for a plate exactly as searched: MD5 (lower-case
// hex) of EncodeField(LookupCipher, plate). out holds kMd5HexBytes.
void VehicleLookupKey(const WCHAR *plate, char *out);
