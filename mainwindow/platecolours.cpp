// Per-character plate colours.
#include "platecolours.h"

namespace {

bool Is(WCHAR c, WCHAR upper) { return c == upper || c == upper + (L'a' - L'A'); }

bool BeginsWithG1M(const WCHAR *t) {
    return Is(t[0], L'G') && t[1] == L'1' && Is(t[2], L'M');
}

bool BeginsWith1M4U(const WCHAR *t) {
    return t[0] == L'1' && Is(t[1], L'M') && t[2] == L'4' && Is(t[3], L'U');
}

COLORREF DigitColour(const WCHAR *text, WCHAR c, int digits) {
    if (digits == 1) return c == L'0' ? PLATE_RED : PLATE_BLUE;
    if (digits <= 4) return PLATE_BLUE;
    if (BeginsWithG1M(text)) return digits == 5 ? PLATE_BLUE : PLATE_RED;
    if (BeginsWith1M4U(text)) return digits <= 6 ? PLATE_BLUE : PLATE_RED;
    return PLATE_RED;
}

}  // namespace

size_t ColourPlateText(const WCHAR *text, bool plateEntry, PlateCharPaint *out, size_t count) {
    int digits = 0;
    int letters = 0;
    size_t i = 0;
    for (; i < count && text[i] != 0; i++) {
        WCHAR c = text[i];
        PlateCharPaint &paint = out[i];
        paint.prefixLine = -1;
        if (c >= L'0' && c <= L'9') {
            paint.colour = DigitColour(text, c, ++digits);
        } else if (Is(c, L'I') || Is(c, L'O')) {
            paint.colour = PLATE_GREEN;
            if (plateEntry && ++letters == 3 && digits == 0) paint.prefixLine = 0;
        } else {
            ++letters;
            bool wrongFirst = Is(c, L'F') || Is(c, L'U') || Is(c, L'V') || Is(c, L'Y');
            paint.colour = (letters == 1 && wrongFirst) ? PLATE_RED : PLATE_PURPLE;
            if (plateEntry && letters == 3 && digits == 0) paint.prefixLine = 1;
        }
    }
    return i;
}
