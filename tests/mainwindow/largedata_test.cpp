// The plate search of the real Korvane.exe on a data file of the size the
// agents carry (about 500 MB), by each way the program can read it: the
// memory map of the whole file, where the address space has room for it;
// the map of its first part, where a fragmented space has room only for
// that; and the file alone, where no block is large enough. The address
// space is fragmented from outside: the program is started suspended and
// small blocks are reserved in it at even steps before it runs (in the
// 32-bit build; the x86_64 build has the whole map alone).
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "programrun.h"
#include "resource.h"
#include "testsupport.h"

namespace {

const wchar_t kDataFolder[] = L"C:\\KorvaneLargeData\\";
const wchar_t kProgramFolder[] = L"C:\\KorvaneLarge\\";
const uint32_t kVehicles = 2500000;  // about 490 MB: more than a 2 GB space under Wine has in one block
const uint64_t kSeed = 11;
const unsigned long long kMiB = 1024 * 1024;

// Vehicles added after the synthetic ones: their rows lie at the end of the
// file, past any first part of it that is mapped.
const std::vector<datatool::VehicleRecord> kAdded = {
    {L"WA1234B", L"7", L"05 Feb 2024", L"MYVI 1.3 SILVER 2016", L"D'CRUZ LEASING SDN BHD"},
    {L"BJK9921", L"", L"", L"HILUX 2.5 WHITE", L"BANK SATU"},
    {L"BJK9921", L"3", L"", L"HILUX 2.5 WHITE", L"BANK DUA"},
};

// What one search shows: the hit count and the result line.
struct Answer {
    std::wstring hits, line;
    bool operator==(const Answer &o) const { return hits == o.hits && line == o.line; }
};

std::string Narrow(const std::wstring &text) { return testsupport::Utf8(text); }

// The plates searched, the answers the added vehicles and the plates of
// forms the synthetic data never has must give; the synthetic vehicles'
// answers are compared between the ways of reading.
struct Case {
    std::wstring plate;
    bool checked;   // the answer below is the one that must come
    Answer answer;
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {L"WA1234B", true, {L"Jumpa: 1 baris", L"WA1234B | 7 | 05 Feb 2024 | D'CRUZ LEASING SDN BHD | MYVI 1.3 SILVER 2016"}},
        {L"BJK9921", true, {L"Jumpa: 2 baris", L"BJK9921 | 3 | BANK DUA | HILUX 2.5 WHITE"}},
        {L"QQQQ12345", true, {L"", L""}},
        {L"QQQQ7", true, {L"", L""}},
    };
    for (uint32_t index : {0u, kVehicles / 3, kVehicles / 2, kVehicles - 1})
        cases.push_back({datatool::SyntheticVehicle(kSeed, index).plate, false, {}});
    return cases;
}

// The largest mapped view in process, in bytes.
unsigned long long LargestMappedView(HANDLE process) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    unsigned long long largest = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char *at = (char *)system.lpMinimumApplicationAddress;
         at < (char *)system.lpMaximumApplicationAddress &&
         VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = (char *)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_MAPPED && region.RegionSize > largest)
            largest = region.RegionSize;
    }
    return largest;
}

// Reserves 64 KB in process at every multiple of step that lies in free
// space, so that no free block of step bytes or more is left. Returns the
// blocks reserved.
int FenceAddressSpace(HANDLE process, unsigned long long step) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const unsigned long long fence = 65536;
    int fences = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char *at = (char *)system.lpMinimumApplicationAddress;
         at < (char *)system.lpMaximumApplicationAddress &&
         VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = (char *)region.BaseAddress + region.RegionSize) {
        if (region.State != MEM_FREE) continue;
        unsigned long long start = (unsigned long long)(uintptr_t)region.BaseAddress;
        unsigned long long end = start + region.RegionSize;
        for (unsigned long long post = (start + step - 1) / step * step; post + fence <= end; post += step) {
            if (VirtualAllocEx(process, (void *)(uintptr_t)post, fence, MEM_RESERVE, PAGE_NOACCESS) != NULL)
                fences++;
        }
    }
    return fences;
}

class LargeDataSearch : public testing::Test {
  protected:
    // The data file is made once for the whole program: about 20 s.
    static void SetUpTestSuite() {
        KeyCipherContexts();
        testsupport::RemoveTree(kDataFolder);
        CreateDirectoryW(kDataFolder, NULL);
        std::string error;
        DWORD t0 = GetTickCount();
        made_ = datatool::MakeDataFile(DataFile().c_str(), kVehicles, kSeed, &error) == 0 &&
                datatool::AddVehicles(DataFile().c_str(), kAdded, &error) == 0;
        WIN32_FILE_ATTRIBUTE_DATA attributes = {};
        GetFileAttributesExW(DataFile().c_str(), GetFileExInfoStandard, &attributes);
        fileBytes_ = (unsigned long long)attributes.nFileSizeHigh << 32 | attributes.nFileSizeLow;
        fprintf(stderr, "data file of %u vehicles, %.0f MB, made in %.1f s%s%s\n", (unsigned)kVehicles,
                (double)fileBytes_ / kMiB, (GetTickCount() - t0) / 1000.0, made_ ? "" : ": ", error.c_str());
    }
    static void TearDownTestSuite() { testsupport::RemoveTree(kDataFolder); }
    static std::wstring DataFile() { return std::wstring(kDataFolder) + L"KorvaneData.db"; }

    void SetUp() override {
        ASSERT_TRUE(made_) << "the data file was not made";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(kProgramFolder));
        ASSERT_TRUE(MoveFileW(DataFile().c_str(), ProgramData().c_str()));
    }
    void TearDown() override {
        Stop();
        MoveFileW(ProgramData().c_str(), DataFile().c_str());
        testsupport::RemoveTree(kProgramFolder);
    }
    std::wstring ProgramData() const { return std::wstring(kProgramFolder) + L"KorvaneData.db"; }

    // Starts the program, its address space first fenced at fenceStep bytes
    // (0: not at all), and waits for the main window.
    void Start(unsigned long long fenceStep) {
        program_.set_folder(kProgramFolder);
        ASSERT_TRUE(program_.Launch(L"", CREATE_SUSPENDED));
        if (fenceStep > 0) {
            EXPECT_GT(FenceAddressSpace(program_.program().process, fenceStep), 0);
        }
        ResumeThread(program_.program().thread);
        main_ = program_.WaitForMain(60000);
        ASSERT_NE(main_, (HWND)NULL);
        entry_ = driver::FindControl(main_, IDC_PLATE_ENTRY);
        ASSERT_NE(entry_, (HWND)NULL);
    }
    void Stop() {
        program_.Stop(15000);
        main_ = NULL;
    }

    // Keys a plate and presses Find; the hit count and the result line as
    // they then show (the line only while it is shown).
    Answer Find(const std::wstring &plate) {
        program_.Find(plate);
        HWND result = driver::FindControl(main_, IDC_RESULT);
        return {driver::GetText(driver::FindControl(main_, IDC_HIT_COUNT)),
                IsWindowVisible(result) ? driver::GetText(result) : L""};
    }

    static bool made_;
    static unsigned long long fileBytes_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
    HWND entry_ = NULL;
};

bool LargeDataSearch::made_ = false;
unsigned long long LargeDataSearch::fileBytes_ = 0;

TEST_F(LargeDataSearch, EveryWayOfReadingFindsTheSamePlates) {
    enum Way { kWholeMap, kFirstPart, kNoMap };
    struct Run {
        const char *what;
        unsigned long long fenceStep;
        Way way;
    } runs[] = {
        {"the whole file mapped", 0, kWholeMap},
        {"a 128 MB space: its first part mapped", 128 * kMiB, kFirstPart},
        {"a 16 MB space: no map", 16 * kMiB, kNoMap},
    };
    std::vector<Case> cases = Cases();
    std::vector<Answer> first;
    for (const Run &run : runs) {
        // A 64-bit address space is too large to fence, and always has room.
        if (run.fenceStep > 0 && sizeof(void *) > 4) continue;
        SCOPED_TRACE(run.what);
        Start(run.fenceStep);
        if (HasFatalFailure()) return;
        std::vector<Answer> answers;
        for (const Case &c : cases) {
            answers.push_back(Find(c.plate));
            if (c.checked) {
                EXPECT_EQ(Narrow(answers.back().hits), Narrow(c.answer.hits)) << Narrow(c.plate);
                EXPECT_EQ(Narrow(answers.back().line), Narrow(c.answer.line)) << Narrow(c.plate);
            } else {
                EXPECT_EQ(answers.back().line.rfind(c.plate + L" | ", 0), 0u) << Narrow(c.plate);
            }
        }
        if (first.empty()) {
            first = answers;
        } else {
            for (size_t i = 0; i < cases.size(); i++)
                EXPECT_TRUE(answers[i] == first[i]) << Narrow(cases[i].plate) << ": " << Narrow(answers[i].line);
        }
        unsigned long long view = LargestMappedView(program_.program().process);
        switch (run.way) {
        case kWholeMap:
            EXPECT_GE(view, fileBytes_ & ~65535ull) << "the whole file is read through one map";
            break;
        case kFirstPart:
            EXPECT_GE(view, 32 * kMiB);
            EXPECT_LT(view, run.fenceStep) << "a map of what fits, not of the whole file";
            break;
        case kNoMap:
            EXPECT_LT(view, 16 * kMiB) << "no map of the file";
            break;
        }
        Stop();
    }
}

}  // namespace
