// KorvaneDataTool: synthetic data files, diaries and remark books at any
// schema version, and a decoded dump of any book, made with the data
// store's own cipher, lookup key and creation code. The console program
// (main.cpp) only passes its arguments to RunDataTool; tests call these
// functions directly.
//
// Every function returns 0 on success, or a non-zero code with a UTF-8
// message in *error (when error is not null).
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

namespace datatool {

// One wanted vehicle in plain text, as the data file's reader sees it.
struct VehicleRecord {
    std::wstring plate;        // as searched: no blanks, e.g. "WA1234B"
    std::wstring arrears;      // e.g. "7"; may be empty
    std::wstring lastPayment;  // "DD Mon YYYY"; may be empty
    std::wstring description;  // e.g. "SALOON 1.6 SILVER 2017 AUTO"
    std::wstring financier;    // e.g. "D'CRUZ LEASING SDN BHD"
};

// Vehicle number index of the synthetic data of a seed. The same (seed,
// index) always gives the same vehicle.
VehicleRecord SyntheticVehicle(uint64_t seed, uint32_t index);
// The i-th cleared plate of a synthetic data file of count vehicles.
std::wstring SyntheticClearedPlate(uint64_t seed, uint32_t count, uint32_t index);
// The number of cleared plates that MakeDataFile writes for count vehicles.
uint32_t SyntheticClearedCount(uint32_t count);
// The financier names of every synthetic data file, as FLD holds them.
std::vector<std::wstring> SyntheticFinanciers();

// Writes a new data file at path (an old file is replaced): PRD with the
// version and contact keys, count synthetic vehicles in VLD with the index
// on C1, the cleared plates in VLC and the financiers in FLD.
int MakeDataFile(const WCHAR *path, uint32_t count, uint64_t seed, std::string *error);
// Adds vehicles to a data file, creating its tables when they are missing.
int AddVehicles(const WCHAR *path, const std::vector<VehicleRecord> &vehicles, std::string *error);
// Reads vehicles from a UTF-8 text of lines "PLATE<TAB>ARREARS<TAB>LASTPAY
// <TAB>DESCRIPTION<TAB>FINANCIER" (empty lines and lines starting with '#'
// are skipped).
int ParseVehicleTsv(const std::string &text, std::vector<VehicleRecord> *vehicles, std::string *error);
// Adds a plate to VLC of a data file.
int AddClearedPlate(const WCHAR *path, const WCHAR *plate, std::string *error);
// Sets a PRD key of a data file to value, enciphered as the program reads it.
int SetDataKey(const WCHAR *path, const WCHAR *key, const WCHAR *value, std::string *error);

// A plain PRS setting that make-diary and make-remark store over the
// defaults of their version (an enciphered key gets its cipher field).
struct BookSetting {
    std::wstring key;
    std::wstring value;
};

// Writes a new diary (an old file is replaced) of schema version 4..15
// with the settings that version had, sample rows in VLS, and
// android_metadata when the version had it (12 and later) or phoneMade.
int MakeDiaryFile(const WCHAR *path, int version, int rows, bool phoneMade,
                  const std::vector<BookSetting> &settings, std::string *error);
// Writes a new remark book of schema version 1000, 1001 or 1002 with
// sample rows (plates "RMK0001" ...).
int MakeRemarkFile(const WCHAR *path, int version, int rows, const std::vector<BookSetting> &settings,
                   std::string *error);

// The decoded contents of any book or data file: one line per row,
// "TABLE<TAB>rowid<TAB>column...", or one JSON object.
int DumpBook(const WCHAR *path, bool json, std::string *out, std::string *error);

// The command line: returns the exit code; what the command prints goes
// to *out, messages to *error.
int RunDataTool(int argc, WCHAR **argv, std::string *out, std::string *error);

// The usage text.
const char *DataToolUsage();

}  // namespace datatool
