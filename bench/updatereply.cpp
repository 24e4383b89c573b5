#include "updatereply.h"

#include <windows.h>

#include <strsafe.h>

#include <algorithm>
#include <random>

#include "cipher.h"
#include "datatool.h"
#include "md5.h"

namespace bench {

namespace {

std::string Field(const BlowfishContext &ctx, const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text.c_str(), field);
    return field;
}

std::string Key(const std::wstring &plate) {
    char key[kMd5HexBytes];
    VehicleLookupKey(plate.c_str(), key);
    return key;
}

std::wstring Numbered(const wchar_t *prefix, unsigned n) {
    WCHAR text[32];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls%u", prefix, n);
    return text;
}

// A vehicle's four data fields as the server sends them: B, D and E with
// their filler, C without.
void FillValues(UpdateRow *row, unsigned n) {
    row->b = Field(DataCipher, Numbered(L"~~0", 1 + n % 28) + L" Mar 2026~~");
    row->c = Field(DataCipher, Numbered(L"HILUX 2.5 WHITE ", n % 2000));
    row->d = Field(DataCipher, L"~~BANK SATU BERHAD~~");
    row->e = Field(DataCipher, Numbered(L"~~", 1 + n % 36) + L"~~");
}

std::string Escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::vector<UpdateRow> MakeUpdateRows(uint64_t seed, uint32_t vehicles, int count,
                                      std::vector<std::wstring> *remarkPlates, UpdateMix *mix) {
    std::mt19937 random(7 + (unsigned)seed);
    uint32_t cleared = datatool::SyntheticClearedCount(vehicles);
    for (int i = 0; i < kUpdateRemarkRows; i++) remarkPlates->push_back(Numbered(L"RMKQ", (unsigned)i));
    std::vector<UpdateRow> rows((size_t)count);
    for (int i = 0; i < count; i++) {
        UpdateRow &r = rows[(size_t)i];
        int pick = i % 100;
        if (pick < 35) {
            r.a = Key(datatool::SyntheticVehicle(seed, random() % vehicles).plate);
            FillValues(&r, (unsigned)i);
            r.f = "U";
            mix->updates++;
        } else if (pick < 65) {
            r.a = Key(Numbered(L"NEWQ", (unsigned)i));
            FillValues(&r, (unsigned)i);
            r.f = "";
            mix->inserts++;
        } else if (pick < 80) {
            r.a = Key(datatool::SyntheticVehicle(seed, random() % vehicles).plate);
            r.f = i % 2 ? "D" : "d";
            mix->deletes++;
        } else if (pick < 92) {
            std::wstring plate = i % 2 ? (*remarkPlates)[random() % remarkPlates->size()]
                                       : datatool::SyntheticVehicle(seed, random() % vehicles).plate;
            r.a = Field(LocalCipher, plate);
            r.f = "X";
            mix->clears++;
        } else {
            r.a = Field(LocalCipher, datatool::SyntheticClearedPlate(seed, vehicles, random() % cleared));
            r.f = "z";
            mix->unclears++;
        }
    }
    std::shuffle(rows.begin(), rows.end(), random);
    return rows;
}

std::string DataReplyJson(const std::vector<UpdateRow> &rows, const char *patch) {
    std::string json = "{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"";
    json += patch;
    json += "\",\"BeginData\":[";
    json.reserve(rows.size() * 200);
    for (size_t i = 0; i < rows.size(); i++) {
        const UpdateRow &r = rows[i];
        if (i > 0) json += ',';
        json += "{\"A\":\"" + Escaped(r.a) + "\",\"B\":\"" + Escaped(r.b) + "\",\"C\":\"" + Escaped(r.c) +
                "\",\"D\":\"" + Escaped(r.d) + "\",\"E\":\"" + Escaped(r.e) + "\",\"F\":\"" + Escaped(r.f) + "\"}";
    }
    json += "],\"EndData\":\"DataComplete\"}";
    return json;
}

}  // namespace bench
