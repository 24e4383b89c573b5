// What the three files of the online update share among themselves and
// nobody else: the update's text limits and its small text and paint
// helpers. The subsystem's interface is update.h.
#pragma once

#include <windows.h>

#include <string>

enum { kStatusChars = 256, kMemberBytes = 255, kMaxOpChars = 9, kMaxPatchChars = 20 };

// updatereply.cpp
// Converts a reply's or the library's text to wide text of at most
// kMemberBytes characters: as UTF-8 when it is valid UTF-8, else in the
// ANSI code page. An empty or unconvertible text gives the empty text.
std::wstring Wide(const char *text);
// True when a and b are the same text without regard to case.
bool SameText(const std::wstring &a, const WCHAR *b);

// update.cpp
// Lets the windows repaint while the user-interface thread is held, and
// answers the messages other threads and the system send it. Nothing else
// is dispatched: the agent's clicks wait in the queue, so no command runs
// inside the update.
void LetPaintThrough(void);
