// Entry points of the record books that the main window calls. The FollowUp
// window and the purge of cleared plates are built with the books; until
// then there are no due follow-ups to show and nothing is purged.
#include "books.h"

void ShowFollowUpWindow(HWND) {}

void PurgeClearedPlatesFromRemark(void) {}
