// The data store's shared state: the database connections and their paths,
// the time stamp and platform texts, and the language flag. Each is defined
// once, in the .cpp named beside it.
#pragma once

#include <windows.h>

#include "sqlite3.h"

enum {
    kPathChars = 256,   // every database and backup path buffer
    kTextChars = 256,   // the fixed text buffers of fields and settings
};

// dbfiles.cpp
extern sqlite3 *DataDb;       // KorvaneData.db beside the program; wanted vehicles
extern sqlite3 *InitDb;       // c:\KorvaneInit.db; the diary storage place
extern sqlite3 *DiaryDb;      // c:\KorvaneDiary.db; reopened in place by migrations and jobs
extern sqlite3 *RemarkDb;     // c:\LastRemark.db; reopened in place by its migrations
extern sqlite3 *TempDiaryDb;  // c:\Temp_KorvaneDiary.db while CleanUp or Update Diary runs
extern sqlite3 *ImportDb;     // a book the user picked, while an import or restore runs

extern WCHAR DataDbPath[kPathChars];        // program folder + "KorvaneData.db"
extern WCHAR InitDbPath[kPathChars];        // "c:\KorvaneInit.db"
extern WCHAR DiaryDbPath[kPathChars];       // "c:\KorvaneDiary.db", fixed
extern WCHAR TempDiaryDbPath[kPathChars];   // "c:\Temp_KorvaneDiary.db"
extern WCHAR RemarkDbPath[kPathChars];      // "c:\LastRemark.db"
extern WCHAR DiaryBackupPath[kPathChars];   // last diary backup name, or the backup chosen to restore
extern WCHAR RemarkBackupPath[kPathChars];  // last remark backup name

// textutil.cpp
extern WCHAR CurrentTimeStamp[kTextChars];  // written by StampCurrentTime, read right after
extern WCHAR PlatformText[kTextChars];      // "Windows %.1f", filled once at start-up

// settings.cpp
extern int UseEnglish;  // 1 English, 0 Malay; Malay until the diary's 'B' is read
