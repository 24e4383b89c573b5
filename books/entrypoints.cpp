// Entry points of the record books that are not built yet: each shows
// nothing and changes nothing until it is.
#include "books.h"

void ShowDiaryWindow(HWND) {}
