// The crash test's two halves: the writer (crash_writer.exe), which runs one
// of the program's jobs on the books of a folder and ends itself at its Nth
// write point, and the test program that starts it at every point and
// checks the books after each end. What both must agree on is here.
#pragma once

#include <windows.h>

namespace crashjobs {

// The books of a job's folder, by file name.
inline constexpr WCHAR kDataFile[] = L"KorvaneData.db";
inline constexpr WCHAR kInitFile[] = L"KorvaneInit.db";
inline constexpr WCHAR kDiaryFile[] = L"KorvaneDiary.db";
inline constexpr WCHAR kTempDiaryFile[] = L"Temp_KorvaneDiary.db";
inline constexpr WCHAR kRemarkFile[] = L"LastRemark.db";
inline constexpr WCHAR kImportDiaryFile[] = L"OtherDiary.db";    // another agent's diary: Import Diary
inline constexpr WCHAR kImportRemarkFile[] = L"OtherRemark.db";  // another agent's remark book: Import Remark
inline constexpr WCHAR kOlderDiaryFile[] = L"OlderDiary.db";     // an older diary: Use BackUp Diary

// What the writer leaves beside the books (none of them through the engine).
inline constexpr WCHAR kPointsFile[] = L"points.txt";      // one line per point passed, when it ran to the end
inline constexpr WCHAR kKilledFile[] = L"killed.txt";      // the point it ended itself at
inline constexpr WCHAR kMessagesFile[] = L"messages.txt";  // the message boxes it was shown

// The plates of the jobs.
inline constexpr WCHAR kSearchPlate[] = L"WA1234B";  // the search: a wanted vehicle
inline constexpr WCHAR kSavePlate[] = L"RMK0002";    // the Save: a plate with a remark

// How the writer ends itself at its point: before the call (nothing of it
// reaches the file); for a write, once the first half of its sectors is
// written (a torn write); or before the call as a power cut, which loses,
// of some files (or of every file), what had not reached the disk.
enum KillMode { kKillBefore = 0, kKillTorn = 1, kPowerCut = 2, kPowerCutAll = 3 };

// The writer's exit code when it ended itself at its point, and when the
// job itself failed (a message box was shown).
enum { kKilledExitCode = 77, kJobFailedExitCode = 3 };

}  // namespace crashjobs

#include <string>
#include <vector>

namespace crashjobs {

// Runs crash_writer.exe (beside the running program) on folder, which
// ends in a backslash, and waits up to a minute for it. Returns its exit
// code, or (DWORD)-1 when it did not start or end (said on stderr).
DWORD RunCrashWriter(const char *job, const std::wstring &folder, long killAt, int mode);

// The contents of a file, "" when it cannot be read.
std::string ReadNote(const std::wstring &path);

// The points that a writer run with N = 0 listed in folder.
std::vector<std::string> PassedPoints(const std::wstring &folder);

}  // namespace crashjobs
