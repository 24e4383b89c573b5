// The online update's data reply that the benchmarks apply: a mix of row
// operations on a synthetic data file, and the reply's text as the server
// sends it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "update.h"

namespace bench {

const int kUpdateRemarkRows = 20000;  // the plates MakeUpdateRows puts in the remark book

// How many rows of each kind MakeUpdateRows made.
struct UpdateMix {
    int updates = 0, inserts = 0, deletes = 0, clears = 0, unclears = 0;
};

// The reply's rows for a data file made by "make-data FILE vehicles seed":
// 35% upserts of vehicles in the file, 30% upserts of new plates, 15% D,
// 12% X (half of them plates with a remark), 8% Z of plates the file has
// cleared; shuffled. remarkPlates gets the kUpdateRemarkRows plates that
// the remark book is to hold.
std::vector<UpdateRow> MakeUpdateRows(uint64_t seed, uint32_t vehicles, int count,
                                      std::vector<std::wstring> *remarkPlates, UpdateMix *mix);

// The data reply's JSON text carrying rows and the new patch version.
std::string DataReplyJson(const std::vector<UpdateRow> &rows, const char *patch);

}  // namespace bench
