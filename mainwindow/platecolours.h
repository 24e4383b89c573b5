// The colour of each character of a plate, as the plate entry and the find
// history paint it when multi-colour text is on: digits blue, letters
// purple, 'I' and 'O' green, and red where a plate goes wrong (a first digit
// '0', a first letter F, U, V or Y, one digit too many for its series).
#pragma once

#include <windows.h>

#include <stddef.h>

#define PLATE_BLUE   RGB(0, 0, 255)
#define PLATE_RED    RGB(255, 0, 0)
#define PLATE_PURPLE RGB(99, 4, 96)
#define PLATE_GREEN  RGB(50, 205, 50)

struct PlateCharPaint {
    COLORREF colour;  // the character's colour
    int prefixLine;   // y where the red dotted line after a three-letter prefix starts; -1 none
};

// Fills out[i] for each of the first count characters of text. plateEntry
// selects the plate entry's rules (I and O count as letters, the prefix line
// is drawn) over the find history's. Returns the number of characters done.
size_t ColourPlateText(const WCHAR *text, bool plateEntry, PlateCharPaint *out, size_t count);
