// Creation of the init, diary, remark and temporary diary books, and the
// versioned migrations of the diary (4..14 -> 15) and the remark book
// (1000, 1001 -> 1002).
//
// Every step opens its connection itself (the global of its book, on the
// book's path global), runs its statements through ExecSql in transactions,
// and stops at the first failure: a failed step leaves the stored schema
// version as it was. window is what a step destroys when its file cannot be
// opened or created (the main window, or the Setting dialog); it may be
// NULL.
#pragma once

#include <windows.h>

enum SchemaResult {
    kSchemaDone = 0,             // created or migrated, or nothing to do
    kSchemaNoFile = 1,           // the file could not be opened or created; shown
    kSchemaStatementFailed = 2,  // a statement failed; ExecSql has shown it
    kSchemaBackupFailed = 3,     // no checked backup: the book is unchanged and reopened
    kSchemaNotMigrated = 4,      // a version without a step; shown, the book unchanged
};

enum {
    kDiarySchemaCurrent = 15,
    kDiarySchemaOldest = 4,  // the oldest diary a step brings up to date
    kRemarkSchemaCurrent = 1002,
};

// Open InitDb on InitDbPath and create PRI with 'DSP' ("C:\" enciphered).
int CreateInitDatabase(HWND window);
// Open DiaryDb on DiaryDbPath and create a diary of schema version 15 with
// its 18 default settings, android_metadata and VLS with its indexes.
int CreateDiaryDatabase(HWND window);
// Open RemarkDb on RemarkDbPath and create a remark book of version 1002;
// its 'D' is DiaryPassword enciphered.
int CreateRemarkDatabase(HWND window);
// Open TempDiaryDb on TempDiaryDbPath and create an empty PRS and the
// diary's VLS with its indexes. The caller deletes any old file first.
int CreateTempDiaryDatabase(HWND window);

// Bring a diary of schema version `version` (4..14) to 15: close DiaryDb
// when open, reopen it, and in one transaction add the settings that came
// after that version (a key the file already holds keeps its value), the
// android_metadata table for 11 and older (unless the file has one, as a
// diary made on a handphone does), and set 'DSV' to 15 last. No backup.
// Returns kSchemaNotMigrated, doing nothing, for other versions.
int MigrateDiaryFromVersion(HWND window, int version);
int MigrateDiaryFrom4(HWND window);
int MigrateDiaryFrom5(HWND window);
int MigrateDiaryFrom6(HWND window);
int MigrateDiaryFrom7(HWND window);
int MigrateDiaryFrom8(HWND window);
int MigrateDiaryFrom9(HWND window);
int MigrateDiaryFrom10(HWND window);
int MigrateDiaryFrom11(HWND window);
int MigrateDiaryFrom12(HWND window);
int MigrateDiaryFrom13(HWND window);
int MigrateDiaryFrom14(HWND window);

// Bring a remark book of 1001 (1000) to 1002: close RemarkDb when open,
// copy the file to a timestamped backup (RemarkBackupPath) and check the
// copy, reopen the book, and in one transaction (1000: add C7 as 'NULL'
// with its index) set 'CLF' to '0' and 'DSV' to 1002. Without a checked
// backup the book is reopened unchanged and kSchemaBackupFailed returned.
// A missing file is shown, but these two destroy no window.
int MigrateRemarkFrom1001(HWND window);
int MigrateRemarkFrom1000(HWND window);

// Start-up's choice on DiarySchemaVersion as read from the open diary:
// 15 and more: nothing; 4..14: the matching step; anything else below 15
// shows "Diary Version not correct => %f" and leaves the diary as it is
// (kSchemaNotMigrated).
int MigrateDiaryToCurrent(HWND window);
// Start-up's choice on RemarkSchemaVersion: 1000 and 1001 run their step;
// any other value does nothing (the caller judges a version of 0).
int MigrateRemarkToCurrent(HWND window);

// Copies source over backup and checks that the copy exists with the
// source's size. Returns false when the copy cannot be made or checked.
bool BackUpBookFile(const WCHAR *source, const WCHAR *backup);
