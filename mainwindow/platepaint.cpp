// The plate entry and the find history painted one coloured character at a
// time, composed off screen and copied in one step so nothing flickers.
#include <windows.h>

#include <strsafe.h>

#include "datastore.h"
#include "mainwindow.h"
#include "platecolours.h"
#include "resource.h"

namespace {

// A memory bitmap the size of a control; everything selected into it goes
// back before it is deleted.
class OffscreenCanvas {
  public:
    explicit OffscreenCanvas(HWND control) : control_(control) {
        screen_ = GetDC(control);
        GetClientRect(control, &rect_);
        memory_ = CreateCompatibleDC(screen_);
        bitmap_ = CreateCompatibleBitmap(screen_, rect_.right, rect_.bottom);
        oldBitmap_ = SelectObject(memory_, bitmap_);
        oldFont_ = GetCurrentObject(memory_, OBJ_FONT);
        oldPen_ = GetCurrentObject(memory_, OBJ_PEN);
    }
    ~OffscreenCanvas() {
        BitBlt(screen_, 0, 0, rect_.right, rect_.bottom, memory_, 0, 0, SRCCOPY);
        SelectObject(memory_, oldPen_);
        SelectObject(memory_, oldFont_);
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        ReleaseDC(control_, screen_);
    }
    OffscreenCanvas(const OffscreenCanvas &) = delete;
    OffscreenCanvas &operator=(const OffscreenCanvas &) = delete;
    HDC dc() const { return memory_; }
    int width() const { return rect_.right; }
    int height() const { return rect_.bottom; }

  private:
    HWND control_;
    HDC screen_;
    HDC memory_;
    RECT rect_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_, oldFont_, oldPen_;
};

int CharWidth(HDC dc, const WCHAR *c) {
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, c, 1, &r, DT_CALCRECT | DT_NOPREFIX);
    return r.right - r.left;
}

// Draws text from (left, top), each character in its colour; the prefix
// line, when asked, runs down the right edge of the third letter.
void DrawColouredText(HDC dc, const WCHAR *text, bool plateEntry, int left, int top, int height, HPEN dotted) {
    PlateCharPaint paint[kTextChars];
    size_t n = ColourPlateText(text, plateEntry, paint, ARRAYSIZE(paint));
    int x = 0;
    for (size_t i = 0; i < n; i++) {
        int w = CharWidth(dc, &text[i]);
        if (paint[i].prefixLine >= 0 && dotted != NULL) {
            HGDIOBJ old = SelectObject(dc, dotted);
            MoveToEx(dc, left + x + w, paint[i].prefixLine, NULL);
            LineTo(dc, left + x + w, height - 1);
            SelectObject(dc, old);
        }
        SetTextColor(dc, paint[i].colour);
        RECT r = {left + x, top, left + x + w + 1, top + height};
        DrawTextW(dc, &text[i], 1, &r, DT_NOPREFIX);
        x += w;
    }
}

}  // namespace

void PaintPlateEntry(void) {
    if (MultiColourText != 1 || PlateEntryEdit == NULL) return;
    static const struct {
        MainFont font;
        int margin;
    } kSteps[4] = {{kFontD, 6}, {kFontC, 12}, {kFontB, 21}, {kFontA, 28}};
    int step = PlateFontStep >= 0 && PlateFontStep <= 2 ? PlateFontStep : 3;
    // The entry repaints its plain text later for the change that called
    // us; let it do so now, or it would wipe the colours at once.
    UpdateWindow(PlateEntryEdit);

    OffscreenCanvas canvas(PlateEntryEdit);
    HDC dc = canvas.dc();
    RECT all = {0, 0, canvas.width(), canvas.height()};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SelectObject(dc, MainFonts[kSteps[step].font]);
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    int w = canvas.width(), h = canvas.height();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, 0, 0, NULL);
    LineTo(dc, w, 0);
    MoveToEx(dc, w - 1, 0, NULL);
    LineTo(dc, w - 1, h);
    MoveToEx(dc, w, h - 1, NULL);
    LineTo(dc, -1, h - 1);
    MoveToEx(dc, 0, h, NULL);
    LineTo(dc, 0, 0);

    WCHAR text[kTextChars];
    GetWindowTextW(PlateEntryEdit, text, ARRAYSIZE(text));
    HPEN dotted = CreatePen(PS_DOT, 1, RGB(255, 0, 0));
    DrawColouredText(dc, text, true, kSteps[step].margin, 2, h, dotted);
    if (dotted != NULL) DeleteObject(dotted);
}

void PaintFindHistory(void) {
    HWND history = MainControl(IDC_FIND_HISTORY);
    if (MultiColourText != 1 || history == NULL || !IsWindowVisible(history)) return;
    UpdateWindow(history);  // its own pending repaint first, as for the entry
    OffscreenCanvas canvas(history);
    HDC dc = canvas.dc();
    RECT all = {0, 0, canvas.width(), canvas.height()};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    SelectObject(dc, MainFonts[kFontC]);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, OPAQUE);
    RECT line = {0, 0, 0, 0};
    DrawTextW(dc, L"H", 1, &line, DT_CALCRECT | DT_NOPREFIX);
    int lineHeight = line.bottom - line.top;
    for (int i = 0; i < 3; i++) {
        WCHAR text[kTextChars];
        StringCchCopyW(text, ARRAYSIZE(text), FindHistory[2 - i]);
        DrawColouredText(dc, text, false, 0, lineHeight * i, lineHeight, NULL);
    }
}
