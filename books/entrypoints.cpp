// Entry points of the record books that are not built yet: each shows
// nothing and changes nothing until it is.
#include "books.h"

int ShowListLocationWindow(HWND) { return 0; }
void ShowImportDiaryDialog(HWND) {}
void ShowImportRemarkDialog(HWND) {}
void ShowDeleteOldDiaryDialog(HWND) {}
void CleanUpDiaryDuplicates(int) {}
void UpdateDiaryFromData(void) {}
void PurgeClearedPlatesFromRemark(void) {}
