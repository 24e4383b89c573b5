// Small helpers shared by the benchmark programs: a clock, percentiles,
// UTF-8 paths for the engine, a connection guard and the step log of a
// job's message line.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <utility>
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

// The address space of the process: in use (mapped files, images, private
// memory), only reserved, and the largest free block.
struct AddressSpace {
    unsigned long long mapped = 0, images = 0, committed = 0, reserved = 0, largestFree = 0;
    unsigned long long InUse() const { return mapped + images + committed; }
};

inline AddressSpace MeasureAddressSpace() {
    AddressSpace space;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    MEMORY_BASIC_INFORMATION region;
    for (char *at = (char *)system.lpMinimumApplicationAddress;
         at < (char *)system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = (char *)region.BaseAddress + region.RegionSize) {
        unsigned long long size = region.RegionSize;
        if (region.State == MEM_FREE) {
            space.largestFree = std::max(space.largestFree, size);
        } else if (region.State == MEM_RESERVE) {
            space.reserved += size;
        } else if (region.Type == MEM_MAPPED) {
            space.mapped += size;
        } else if (region.Type == MEM_IMAGE) {
            space.images += size;
        } else {
            space.committed += size;
        }
    }
    return space;
}

// The most address space in use, and the smallest largest free block, seen
// by a thread that looks every 20 ms from WatchAddressSpace on.
struct AddressSpacePeak {
    volatile LONG running;
    SRWLOCK lock;                             // over the two below
    AddressSpace most;                        // when the most was in use
    unsigned long long leastLargestFree = ~0ull;
};
inline AddressSpacePeak &Peak() {
    static AddressSpacePeak peak = {};
    return peak;
}
inline void NoteAddressSpace() {
    AddressSpace now = MeasureAddressSpace();
    AddressSpacePeak &peak = Peak();
    AcquireSRWLockExclusive(&peak.lock);
    if (now.InUse() > peak.most.InUse()) peak.most = now;
    peak.leastLargestFree = std::min(peak.leastLargestFree, now.largestFree);
    ReleaseSRWLockExclusive(&peak.lock);
}
inline DWORD WINAPI WatchLoop(void *) {
    for (;;) {
        NoteAddressSpace();
        Sleep(20);
    }
}
inline void WatchAddressSpace() {
    if (InterlockedExchange(&Peak().running, 1) == 0) {
        HANDLE thread = CreateThread(NULL, 0, WatchLoop, NULL, 0, NULL);
        if (thread != NULL) CloseHandle(thread);
    }
}

// Prints what the process holds of memory: its peak working set and peak
// commit charge as the system counts them, and its address space at its
// fullest (since WatchAddressSpace; else now), by the kind of region, with
// the smallest largest free block seen.
inline void ReportMemory(const char *indent) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    NoteAddressSpace();
    AcquireSRWLockExclusive(&Peak().lock);
    AddressSpace most = Peak().most;
    unsigned long long leastLargestFree = Peak().leastLargestFree;
    ReleaseSRWLockExclusive(&Peak().lock);
    const double mb = 1024.0 * 1024.0;
    printf("%speak working set %.0f MB, peak commit %.0f MB\n", indent, (double)counters.PeakWorkingSetSize / mb,
           (double)counters.PeakPagefileUsage / mb);
    printf("%saddress space at its fullest %.0f MB in use (mapped files %.0f, images %.0f, private %.0f), "
           "reserved only %.0f MB; largest free block at least %.0f MB\n",
           indent, (double)most.InUse() / mb, (double)most.mapped / mb, (double)most.images / mb,
           (double)most.committed / mb, (double)most.reserved / mb, (double)leastLargestFree / mb);
}

// The steps of a job as its message line names them, each with the time
// it came: a text whose words before its first digit differ from the last
// step's begins a step (a progress line only changes its numbers).
struct StepLog {
    std::vector<std::pair<double, std::wstring>> steps;

    void Note(const std::wstring &text) {
        std::wstring words = text.substr(0, text.find_first_of(L"0123456789"));
        for (wchar_t &c : words)
            if (c == L'\r' || c == L'\n') c = L' ';
        if (steps.empty() || steps.back().second != words) steps.push_back({Now(), words});
    }
    // Prints each step's time, the last one's up to end; then forgets them.
    void Print(double end) {
        for (size_t i = 0; i < steps.size(); i++) {
            double next = i + 1 < steps.size() ? steps[i + 1].first : end;
            printf("    %6.1f s  %s\n", next - steps[i].first, Utf8(steps[i].second).c_str());
        }
        steps.clear();
    }
};

}  // namespace bench
