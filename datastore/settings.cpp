// Settings that the books hold, as the program reads them at start-up.
#include "datastore.h"

int UseEnglish;
int SoundOnFound;
int HugeResultSize;
int MultiColourText;
WCHAR SearchUsing[kTextChars];
WCHAR DiaryStoragePlace[kTextChars];
WCHAR DiaryPassword[kTextChars];
WCHAR RemarkPassword[kTextChars];
WCHAR FindHistory[kFindHistoryEntries][kFindHistoryChars];
WCHAR LocationText[kTextChars];
WCHAR EmailText[kTextChars];
WCHAR DataVersion[kTextChars];
WCHAR DataVersionUpdate[kTextChars];
WCHAR DataVersionPatch[kTextChars];
WCHAR DataVersionText[kTextChars];
WCHAR ContactLines[kContactLineCount][kTextChars];
double RequiredProgramVersion;
double DiarySchemaVersion;
double RemarkSchemaVersion;
int ClearedPlatesPurged;
WCHAR ImportFilePassword[kTextChars];
