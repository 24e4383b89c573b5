// The real Korvane.exe at full size, driven as the agent drives it: on the
// large data file and a diary of a million rows, a run of searches, the
// online update of a large reply from the stand-in server, Update Diary,
// CleanUp and Import Diary, one after the other in one run of the program.
// Each step's time is printed, with any message box the program put up;
// at the end the program's peak memory, and one search
// more to show it still finds a plate.
//
//   bench_program PROGRAM DATAFILE WORKFOLDER [DIARYROWS] [SEARCHES] [ROWS] [IMPORTROWS] [SEED]
//
// PROGRAM is the Korvane.exe to run (copied into a program folder on drive
// C with a copy of DATAFILE). A diary of DIARYROWS rows (default 1,000,000)
// is made once in WORKFOLDER and copied to C:\KorvaneDiary.db for each run;
// a diary of IMPORTROWS rows is made there for the import. DATAFILE is a
// data file made by "KorvaneDataTool make-data FILE COUNT SEED"; no given
// file is changed.
#include <winsock2.h>

#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <strsafe.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "benchutil.h"
#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "fakeupdateserver.h"
#include "programrun.h"
#include "resource.h"
#include "sqlite3.h"
#include "updatereply.h"

namespace {

const wchar_t kFolder[] = L"C:\\KorvaneBenchProgram\\";
const wchar_t kDiary[] = L"C:\\KorvaneDiary.db";
const wchar_t kPassword[] = L"KUNCI7";
const wchar_t kImportPassword[] = L"DUA2";
const DWORD kJobMs = 30 * 60 * 1000;  // the longest a step may take

testsupport::ProgramRun Program;
HWND Main;
int Failures;

void Fail(const char *step, const std::wstring &why) {
    printf("  %s: FAILED: %s\n", step, bench::Utf8(why).c_str());
    fflush(stdout);
    Failures++;
}

// A message box of the program that none of the steps asked for (a
// visible dialog other than the step's own window): said, answered, and
// counted as a failure of step.
void NoBoxExpected(const char *step, HWND own = NULL) {
    for (HWND window : driver::FindTopWindows(Program.pid(), L"#32770", NULL)) {
        if (window == own || !IsWindowVisible(window)) continue;
        driver::MessageBoxInfo box;
        box.window = window;
        box.caption = driver::GetText(window);
        box.text = driver::GetText(driver::FindControl(window, 0xFFFF));
        Fail(step, L"a message box came: " + box.caption + L": " + box.text);
        if (!driver::AnswerMessageBox(box, IDOK)) driver::AnswerMessageBox(box, IDYES);
    }
}

bench::StepLog Steps;  // the steps of the diary job under way

void NoteStep(HWND line) {
    if (line != NULL) Steps.Note(driver::GetText(line));
}

// Waits until a window's title ends with english or malay, noting the
// steps its message line (line, when not null) names; the title.
std::wstring WaitForTitleEnding(HWND window, const wchar_t *english, const wchar_t *malay, DWORD timeoutMs,
                                HWND line = NULL) {
    auto endsWith = [](const std::wstring &text, const std::wstring &tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    DWORD start = GetTickCount();
    std::wstring title;
    do {
        NoteStep(line);
        WCHAR text[256] = {0};
        InternalGetWindowText(window, text, ARRAYSIZE(text));
        title = text;
        if (endsWith(title, english) || endsWith(title, malay)) break;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs && IsWindow(window));
    return title;
}

void CloseAndWait(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 500 && IsWindow(window) && IsWindowVisible(window); i++) Sleep(20);
}

// Ctrl+D on a diary without a password: the set-up dialog takes kPassword,
// and the Diary window that follows is closed again.
bool SetUpPassword() {
    driver::PressCtrlKey(Main, 'D');
    HWND dialog = Program.WaitForDialogWith(IDC_PWSET_FIRST, 20000);
    if (dialog == NULL) return false;
    driver::TypeText(driver::FindControl(dialog, IDC_PWSET_FIRST), kPassword);
    driver::TypeText(driver::FindControl(dialog, IDC_PWSET_SECOND), kPassword);
    driver::PostClick(driver::FindControl(dialog, IDC_PWSET_OK));
    HWND diary = Program.WaitForDialogWith(IDC_DIARY_SHOW, 120000);
    if (diary == NULL) return false;
    CloseAndWait(diary);
    return true;
}

// A diary job of the password entry dialog (Update Diary, CleanUp): the
// command, a yes to its question when it asks one, the password, OK, and
// the wait for the dialog's title to say it finished. Returns the seconds
// from OK to the finished title; negative on failure.
double RunDiaryJob(const char *step, int command, bool asks, const wchar_t *english, const wchar_t *malay) {
    PostMessageW(Main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    if (asks) {
        driver::MessageBoxInfo box;
        if (!driver::WaitForMessageBox(Program.pid(), 20000, &box) || !driver::AnswerMessageBox(box, IDYES)) {
            Fail(step, L"no question to answer");
            return -1;
        }
    }
    HWND dialog = Program.WaitForDialogWith(IDC_PWENTRY_PASSWORD, 20000);
    if (dialog == NULL) {
        Fail(step, L"no password entry dialog");
        return -1;
    }
    driver::TypeText(driver::FindControl(dialog, IDC_PWENTRY_PASSWORD), kPassword);
    double t0 = bench::Now();
    Steps.steps.clear();
    driver::PostClick(driver::FindControl(dialog, IDC_PWENTRY_OK));
    std::wstring title = WaitForTitleEnding(dialog, english, malay, kJobMs, driver::FindControl(dialog, IDC_PWENTRY_MSGBOX));
    double seconds = bench::Now() - t0;
    Steps.Print(bench::Now());
    NoBoxExpected(step, dialog);
    if (title.find(english) == std::wstring::npos && title.find(malay) == std::wstring::npos) {
        Fail(step, L"the dialog's title is \"" + title + L"\"");
        seconds = -1;
    }
    CloseAndWait(dialog);
    return seconds;
}

long long DiaryRows() {
    sqlite3 *db = NULL;
    long long rows = -1;
    if (sqlite3_open_v2(bench::Utf8(kDiary).c_str(), &db, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK)
        rows = bench::QueryNumber(db, "select count(*) from VLS");
    sqlite3_close(db);
    return rows;
}

void ReportProgram() {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, Program.pid());
    if (process == NULL) return;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    CloseHandle(process);
    printf("  the program: peak working set %.0f MB, peak commit %.0f MB\n",
           (double)counters.PeakWorkingSetSize / 1048576.0, (double)counters.PeakPagefileUsage / 1048576.0);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: bench_program PROGRAM DATAFILE WORKFOLDER [DIARYROWS] [SEARCHES] [ROWS] [IMPORTROWS]"
                        " [SEED]\n");
        return 2;
    }
    std::wstring program = argv[1], source = argv[2], work = argv[3];
    if (work.back() != L'\\') work += L'\\';
    int diaryRowsWanted = argc > 4 ? _wtoi(argv[4]) : 1000000;
    int searches = argc > 5 ? _wtoi(argv[5]) : 3000;
    int count = argc > 6 ? _wtoi(argv[6]) : 100000;
    int importRows = argc > 7 ? _wtoi(argv[7]) : 100000;
    uint64_t seed = argc > 8 ? (uint64_t)_wtoi64(argv[8]) : 1;
    KeyCipherContexts();

    sqlite3 *probe = NULL;
    long long vehicles = -1;
    if (sqlite3_open_v2(bench::Utf8(source).c_str(), &probe, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK)
        vehicles = bench::QueryNumber(probe, "select max(rowid) from VLD");
    sqlite3_close(probe);
    if (vehicles <= 0) {
        fprintf(stderr, "bench_program: %ls has no vehicles\n", source.c_str());
        return 1;
    }
    printf("the real program %ls: %lld vehicles\n", program.c_str(), vehicles);

    // The books: the program folder with its data file, the diary, no
    // remark book, and the diary to import.
    double t0 = bench::Now();
    CreateDirectoryW(work.c_str(), NULL);
    CreateDirectoryW(kFolder, NULL);
    std::wstring importFile = work + L"program-bench-import.db";
    std::string error;
    std::wstring diary = work + L"program-bench-diary-" + std::to_wstring(diaryRowsWanted) + L".db";
    if (GetFileAttributesW(diary.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::wstring part = diary + L".part";
        if (datatool::MakeDiaryFile(part.c_str(), 15, diaryRowsWanted, false, {}, &error) != 0 ||
            !MoveFileExW(part.c_str(), diary.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            fprintf(stderr, "bench_program: the diary of %d rows could not be made: %s\n", diaryRowsWanted,
                    error.c_str());
            return 1;
        }
        printf("  a diary of %d rows made in %.1f s (once)\n", diaryRowsWanted, bench::Now() - t0);
        t0 = bench::Now();
    }
    const std::vector<datatool::BookSetting> importSettings = {{L"D", kImportPassword}};
    for (const wchar_t *book : {L"C:\\KorvaneInit.db", L"C:\\LastRemark.db"}) DeleteFileW(book);
    if (!bench::CopyOver(program, std::wstring(kFolder) + L"Korvane.exe") ||
        !bench::CopyOver(source, std::wstring(kFolder) + L"KorvaneData.db") || !bench::CopyOver(diary, kDiary) ||
        datatool::MakeDiaryFile(importFile.c_str(), 15, importRows, false, importSettings, &error) != 0) {
        fprintf(stderr, "bench_program: the books could not be laid out: %s\n", error.c_str());
        return 1;
    }
    long long diaryRows = DiaryRows();
    printf("  books laid out in %.1f s: diary of %lld rows, a diary of %d rows to import\n", bench::Now() - t0,
           diaryRows, importRows);

    // The stand-in server with the challenge and the data reply.
    std::vector<std::wstring> remarks;
    bench::UpdateMix mix;
    std::vector<UpdateRow> rows = bench::MakeUpdateRows(seed, (uint32_t)vehicles, count, &remarks, &mix);
    peers::FakeUpdateServer server;
    if (!server.Start()) {
        fprintf(stderr, "bench_program: the stand-in server does not start\n");
        return 1;
    }
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}"));
    server.Script(peers::ScriptedReply::Json(bench::DataReplyJson(rows, "20270101")));
    std::string base = server.BaseUrl();  // an address of plain ASCII
    SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER1", std::wstring(base.begin(), base.end()).c_str());

    Program.set_folder(kFolder);
    t0 = bench::Now();
    if (!Program.Start()) {
        fprintf(stderr, "bench_program: the program's main window did not come\n");
        return 1;
    }
    Main = Program.main();
    printf("  start-up to the main window: %.2f s\n", bench::Now() - t0);
    NoBoxExpected("start-up");

    // 1. The diary's password, which the diary jobs ask for. (Under Wine
    // without a window manager, the program waits two seconds after the
    // Diary window closes; that wait is over before the next step.)
    if (!SetUpPassword()) Fail("password", L"the diary password could not be set up");
    driver::Settle(Main);

    // 2. Searches, half of them of wanted plates: each is looked up and
    // logged in the diary.
    std::vector<double> found, missed;
    for (int i = 0; i < searches; i++) {
        std::wstring plate;
        if (i % 2 == 0) {
            plate = datatool::SyntheticVehicle(seed, (uint32_t)((i * 7919u) % (uint32_t)vehicles)).plate;
        } else {
            WCHAR text[16];
            StringCchPrintfW(text, ARRAYSIZE(text), L"QZ%06d", i);
            plate = text;
        }
        t0 = bench::Now();
        Program.Find(plate);
        (i % 2 == 0 ? found : missed).push_back((bench::Now() - t0) * 1000.0);
    }
    NoBoxExpected("searches");
    // Taken before the percentiles, which sort the samples.
    std::vector<std::pair<double, int>> slowest;
    for (size_t i = 0; i < found.size(); i++) slowest.push_back({found[i], (int)(2 * i + 1)});
    for (size_t i = 0; i < missed.size(); i++) slowest.push_back({missed[i], (int)(2 * i + 2)});
    std::sort(slowest.rbegin(), slowest.rend());
    printf("  the slowest searches (number: ms):");
    for (size_t i = 0; i < slowest.size() && i < 8; i++) printf(" %d: %.0f", slowest[i].second, slowest[i].first);
    printf("\n");
    if (found.size() >= 20) {
        size_t tenth = found.size() / 10;
        std::vector<double> first(found.begin(), found.begin() + (long)tenth), last(found.end() - (long)tenth, found.end());
        printf("  found searches: the first tenth median %.1f ms, the last tenth %.1f ms\n", bench::Percentile(first, 50),
               bench::Percentile(last, 50));
    }
    long long logged = DiaryRows() - diaryRows;
    printf("  %d searches, each typed and Find clicked until the program has answered: found median %.1f ms, p99"
           " %.1f ms; not found median %.1f ms, p99 %.1f ms; %lld diary rows written\n",
           searches, bench::Percentile(found, 50), bench::Percentile(found, 99), bench::Percentile(missed, 50),
           bench::Percentile(missed, 99), logged);
    if (logged < searches) Fail("searches", L"fewer diary rows than searches");

    // 3. The online update (none with ROWS 0).
    if (count > 0) {
        HWND download = driver::FindControl(Main, IDC_DOWNLOAD_1);
        t0 = bench::Now();
        driver::PostClick(download);
        for (int i = 0; i < 200 && IsWindowEnabled(download); i++) Sleep(10);
        // Each text the status line shows, with the time it came.
        HWND statusLine = driver::FindControl(Main, IDC_UPDATE_STATUS);
        std::wstring status;
        std::vector<std::pair<double, std::wstring>> stages;
        while (!IsWindowEnabled(download) && bench::Now() - t0 < kJobMs / 1000.0) {
            std::wstring now = driver::GetText(statusLine);
            if (now != status) stages.push_back({bench::Now() - t0, status = now});
            Sleep(10);
    }
    double updateSeconds = bench::Now() - t0;
    status = driver::GetText(statusLine);
    for (const auto &stage : stages) printf("    at %6.2f s: %s\n", stage.first, bench::Utf8(stage.second).c_str());
    printf("  online update of %d rows (%d upsert-updates, %d upsert-inserts, %d D, %d X, %d Z): %.2f s, %.0f rows/s;"
           " \"%s\"\n",
           count, mix.updates, mix.inserts, mix.deletes, mix.clears, mix.unclears, updateSeconds,
           count / updateSeconds, bench::Utf8(status).c_str());
    if (status.find(L"job completed") == std::wstring::npos) Fail("online update", status);
    NoBoxExpected("online update");
    }

    // 4. Update Diary and CleanUp on the diary of a million rows.
    double seconds = RunDiaryJob("Update Diary", IDM_UPDATE_DIARY, false, L"Update Diary - Finished",
                                 L"Kemaskini Diary - Selesai");
    if (seconds >= 0) printf("  Update Diary: %.1f s, diary now %lld rows\n", seconds, DiaryRows());
    seconds = RunDiaryJob("CleanUp", IDM_CLEANUP_DIARY, true, L"CleanUp Diary - Finished", L"Cuci Diary - Selesai");
    if (seconds >= 0) printf("  CleanUp (latest row of each plate kept): %.1f s, diary now %lld rows\n", seconds, DiaryRows());

    // 5. Import Diary of another agent's diary.
    long long before = DiaryRows();
    PostMessageW(Main, WM_COMMAND, MAKEWPARAM(IDM_IMPORT_DIARY, 0), 0);
    HWND dialog = NULL;
    if (!testsupport::ChooseInFileDialog(Program.pid(), importFile)) {
        Fail("Import Diary", L"the file choice did not take the file");
    } else if ((dialog = Program.WaitForDialogWith(IDC_ID_OWN_PASSWORD, 60000)) == NULL) {
        Fail("Import Diary", L"no Import Diary dialog");
    } else {
        driver::TypeText(driver::FindControl(dialog, IDC_ID_OWN_PASSWORD), kPassword);
        driver::TypeText(driver::FindControl(dialog, IDC_ID_FILE_PASSWORD), kImportPassword);
        driver::TypeText(driver::FindControl(dialog, IDC_ID_OWNER), L"ALI");
        t0 = bench::Now();
        driver::PostClick(driver::FindControl(dialog, IDC_ID_START));
        std::wstring title = WaitForTitleEnding(dialog, L"Finished", L"Selesai", kJobMs);
        seconds = bench::Now() - t0;
        NoBoxExpected("Import Diary", dialog);
        long long after = DiaryRows();
        printf("  Import Diary of %d rows into %lld: %.1f s, diary now %lld rows\n", importRows, before, seconds,
               after);
        if (title.find(L"Finished") == std::wstring::npos && title.find(L"Selesai") == std::wstring::npos)
            Fail("Import Diary", L"the dialog's title is \"" + title + L"\"");
        if (after < before + importRows) Fail("Import Diary", L"fewer rows than imported");
        CloseAndWait(dialog);
    }

    // 6. The program still finds a plate, and logs it.
    before = DiaryRows();
    Program.Find(datatool::SyntheticVehicle(seed, 1).plate);
    NoBoxExpected("last search");
    if (DiaryRows() != before + 1) Fail("last search", L"not logged");
    ReportProgram();
    Program.CloseDialogs();
    DWORD exitCode = 0;
    if (!Program.Stop(60000, &exitCode)) Fail("close", L"the program did not end when closed");
    server.Stop();
    DeleteFileW(importFile.c_str());
    printf("  %s\n", Failures == 0 ? "every step done" : "SOME STEPS FAILED");
    return Failures == 0 ? 0 : 1;
}
