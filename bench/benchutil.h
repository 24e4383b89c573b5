// Small helpers shared by the benchmark programs: a clock, percentiles,
// UTF-8 paths for the engine and a connection guard.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sqlite3.h"

namespace bench {

// Seconds since the first call, from the performance counter.
inline double Now() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

// The p-th percentile (0..100) of samples, by nearest rank; 0 when empty.
// Sorts samples in place.
inline double Percentile(std::vector<double> &samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = (size_t)(p / 100.0 * (double)samples.size() + 0.5);
    if (rank > 0) rank--;
    if (rank >= samples.size()) rank = samples.size() - 1;
    return samples[rank];
}

inline std::string Utf8(const std::wstring &text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    if (n <= 1) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, NULL, NULL);
    out.resize((size_t)n - 1);
    return out;
}

// The first column of the first row of sql as a number; -1 on failure.
inline long long QueryNumber(sqlite3 *db, const char *sql) {
    sqlite3_stmt *stmt = NULL;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

// A copy of a file, replacing the target; false when it fails.
inline bool CopyOver(const std::wstring &from, const std::wstring &to) {
    DeleteFileW(to.c_str());
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

// Prints what the process holds of memory: its peak working set and peak
// commit charge as the system counts them, and its address space as it is
// now, by the kind of region (mapped files, images, private memory, and
// what is only reserved), with the largest free block left.
inline void ReportMemory(const char *indent) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    unsigned long long mapped = 0, images = 0, committed = 0, reserved = 0, largestFree = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char *at = (char *)system.lpMinimumApplicationAddress;
         at < (char *)system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = (char *)region.BaseAddress + region.RegionSize) {
        unsigned long long size = region.RegionSize;
        if (region.State == MEM_FREE) {
            largestFree = std::max(largestFree, size);
        } else if (region.State == MEM_RESERVE) {
            reserved += size;
        } else if (region.Type == MEM_MAPPED) {
            mapped += size;
        } else if (region.Type == MEM_IMAGE) {
            images += size;
        } else {
            committed += size;
        }
    }
    const double mb = 1024.0 * 1024.0;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    printf("%speak working set %.0f MB, peak commit %.0f MB, %lu handles\n", indent,
           (double)counters.PeakWorkingSetSize / mb, (double)counters.PeakPagefileUsage / mb, (unsigned long)handles);
    printf("%saddress space in use %.0f MB (mapped files %.0f, images %.0f, private %.0f), reserved only %.0f MB, "
           "largest free block %.0f MB\n",
           indent, (double)(mapped + images + committed) / mb, (double)mapped / mb, (double)images / mb,
           (double)committed / mb, (double)reserved / mb, (double)largestFree / mb);
}

}  // namespace bench
