// Drawing of owner-drawn push buttons: a caption alone, or a 48 x 48 icon
// with the caption under it. Shared by the main program and the setup
// program; the calls are the explicit wide ones, so it builds in either.
#pragma once

#include <windows.h>

// Draws a caption-only button in captionColour (flat frame when pushed, the
// raised edge otherwise, embossed text when disabled, a focus rectangle).
void DrawTextButton(const DRAWITEMSTRUCT *item, HWND button, COLORREF captionColour);
// Draws an icon button: the icon centred (greyed when disabled), the caption
// 20 pixels below the centre.
void DrawIconButton(const DRAWITEMSTRUCT *item, HWND button, HICON icon);
void DrawButtonIcon(HWND button, HICON icon, HDC dc, bool hasCaption, const RECT *itemRect,
                    bool pushed, bool disabled);
// The rectangle an icon of iconWidth takes in a button: centred across,
// at the top edge (5 pixels down when there is a caption), one pixel
// further down and right when pushed.
void ComputeButtonIconRect(HWND button, bool hasCaption, const RECT *itemRect, bool pushed,
                           int iconWidth, RECT *iconRect);
