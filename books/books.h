// The record books and the diary maintenance jobs: their entry points.
#pragma once

#include <windows.h>

// Opens the FollowUp window modally over owner; it lists the follow-ups
// that are due and closes itself when there are none.
void ShowFollowUpWindow(HWND owner);

// Removes from the remark book the plates that are no longer wanted (VLC),
// while the remark book's 'CLF' is not '1'.
void PurgeClearedPlatesFromRemark(void);
