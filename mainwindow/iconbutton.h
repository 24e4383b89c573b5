// The drawing of owner-drawn push buttons that both programs share: the main
// window's icon buttons and the setup program's "Copy To PC". It calls the
// wide functions by name and uses no generic-text macros, so the same file
// builds into the wide main program and the ANSI setup program.
#pragma once

#include <windows.h>

// Extra distance, in pixels, between the centred caption and its place on an
// icon button: the caption sits under the icon.
enum { kIconButtonCaptionDrop = 20 };
// Edge length of the icons drawn on the buttons.
enum { kButtonIconSize = 48 };

// Writes into *iconRect where an icon iconWidth pixels wide goes on a button
// whose item rectangle is *item: centred across it (half the difference,
// truncated toward zero), its top at 5 when the button has a caption and at
// the item's top otherwise, one pixel further right and down when pushed.
// Right and bottom stay those of *item. button is not used.
void ComputeButtonIconRect(HWND button, BOOL hasCaption, const RECT *item, BOOL pushed,
                           int iconWidth, RECT *iconRect);

// Draws icon at its own size at the place ComputeButtonIconRect gives for a
// 48-pixel icon; greyed when disabled. A NULL icon draws nothing.
void DrawButtonIcon(HWND button, HICON icon, HDC dc, BOOL hasCaption, const RECT *item,
                    BOOL pushed, BOOL disabled);

// Draws an owner-drawn icon button for WM_DRAWITEM: the face (a focus frame,
// the button colour, a flat frame when pushed or a raised edge otherwise),
// the icon, the caption of button (up to 99 characters) centred 20 pixels
// under the middle, and the focus rectangle. A disabled button gets a greyed
// icon and an embossed caption.
void DrawIconButton(const DRAWITEMSTRUCT *draw, HWND button, HICON icon);

// The pieces of DrawIconButton, for the text-only buttons of the main
// window.
//
// Draws the face of the button into draw->hDC and returns in *face the
// rectangle inside the focus frame (rcItem shrunk by one pixel when the
// button has the focus, else rcItem).
void DrawButtonFace(const DRAWITEMSTRUCT *draw, RECT *face);
// Draws caption word-wrapped and centred in *item (moved by one pixel right
// and down when pushed), then drop pixels lower; colour is the text colour of
// an enabled button, a disabled one is embossed. An empty caption draws
// nothing.
void DrawButtonCaption(HDC dc, const WCHAR *caption, const RECT *item, BOOL pushed,
                       BOOL disabled, int drop, COLORREF colour);
// Draws the focus rectangle three pixels inside *face when the item state
// has the focus.
void DrawButtonFocus(const DRAWITEMSTRUCT *draw, const RECT *face);
