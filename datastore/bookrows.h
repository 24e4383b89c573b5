// One-row changes of the diary and remark books, each its own transaction.
// Diary rows are blanked (every column '', C2 '0') rather than deleted, so
// they keep their rowids until Update Diary or CleanUp; remark rows are
// deleted. A rowid that matches no row changes nothing and is no error.
//
// Each returns the engine's code of its statement (SQLITE_OK on success);
// a failure goes the way of ExecSql. The callers refresh their lists.
#pragma once

#include <windows.h>

// RemarkDb: the follow-up date of that remark becomes 'NULL'.
int CancelFollowUpByRowId(int rowId);
// DiaryDb: blanks the newest row (the search just made); an empty diary
// changes nothing.
int BlankNewestDiaryRow(void);
// RemarkDb: deletes the remark of a plate, given as its LocalCipher field.
int DeleteRemarkByPlate(const char *cipherPlate);
// RemarkDb: deletes the remark with that rowid.
int DeleteRemarkByRowId(int rowId);
// DiaryDb: blanks the row with that rowid.
int BlankDiaryRowById(int rowId);
// DiaryDb: blanks the rows with rowids first..last whose C3 is
// cipherPlate (a plate's LocalCipher field): a row of another plate that
// has come to bear one of those rowids stays as it is.
int BlankDiaryRowsOfPlate(long long first, long long last, const char *cipherPlate);
// DiaryDb: C8 := location, C10 := remark of that row. Any text is stored
// as it is, apostrophes included; each is cut to a field's 255 characters.
int SetDiaryLocationRemark(int rowId, const WCHAR *location, const WCHAR *remark);
