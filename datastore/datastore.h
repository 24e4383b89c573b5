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

// settings.cpp: the books' settings as start-up reads them (select modes).
enum {
    kFindHistoryEntries = 3,  // FindHistory: newest first
    kFindHistoryChars = 51,   // each entry: 50 characters and the NUL
    kContactLineCount = 6,    // ContactLines: 'CP1'..'CP6'
};
extern int UseEnglish;  // 1 English, 0 Malay; Malay until the diary's 'B' is read
extern int SoundOnFound;                      // diary 'SND' is "1": beep on a hit
extern int HugeResultSize;                    // diary 'HRS' is "1": the large result box
extern int MultiColourText;                   // diary 'MCT' is "1": coloured plate letters
extern WCHAR SearchUsing[kTextChars];         // diary 'SU', deciphered: the search input method
extern WCHAR DiaryStoragePlace[kTextChars];   // init 'DSP', deciphered; shown, not used in paths
extern WCHAR DiaryPassword[kTextChars];       // diary 'D', deciphered; empty: no password
extern WCHAR RemarkPassword[kTextChars];      // remark 'D', deciphered
extern WCHAR FindHistory[kFindHistoryEntries][kFindHistoryChars];  // 'FH1'..'FH3'; entry 0 is searched
extern WCHAR LocationText[kTextChars];        // 'LOC' at start-up, then the location of each search
extern WCHAR EmailText[kTextChars];           // diary 'EML', deciphered
extern WCHAR DataVersion[kTextChars];         // data 'DV', deciphered
extern WCHAR DataVersionUpdate[kTextChars];   // data 'DVR', deciphered; stamped into diary C9
extern WCHAR DataVersionPatch[kTextChars];    // data 'DVP', deciphered and padded; "FACTORY" unpatched
extern WCHAR DataVersionText[kTextChars];     // DV with its update and patch, as shown
extern WCHAR ContactLines[kContactLineCount][kTextChars];  // data 'CP1'..'CP6', deciphered
extern double RequiredProgramVersion;         // data 'CE': lowest program version the data needs
extern double DiarySchemaVersion;             // diary 'DSV' as read at start-up (0 when missing)
extern double RemarkSchemaVersion;            // remark or import 'DSV' as last read (0 when missing)
extern int ClearedPlatesPurged;               // remark 'CLF' is "1"
extern WCHAR ImportFilePassword[kTextChars];  // 'D' of the book picked for an import or restore

// The record-book lists (CurrentListQuery, RemarkRowCache, PageRowIds)
// are declared in books/books.h.
