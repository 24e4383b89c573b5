// Caption-only owner-drawn buttons of the main window ("GPS", "Get IP").
#pragma once

#include <windows.h>

// Draws a caption-only button for WM_DRAWITEM with its caption in
// captionColour: the face as an icon button has, the caption centred, an
// embossed caption when disabled, and the focus rectangle.
void DrawTextButton(const DRAWITEMSTRUCT *item, HWND button, COLORREF captionColour);
