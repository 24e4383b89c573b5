// Owner-drawn buttons: where the icon goes, and that drawing changes the
// pixels the way a pushed or disabled button should look.
#include <windows.h>

#include <gtest/gtest.h>

#include "iconbutton.h"
#include "textbutton.h"

namespace {

TEST(IconButton, IconRectangle) {
    RECT item = {10, 20, 125, 124};  // 115 x 104, as the big buttons
    struct Case {
        bool caption, pushed;
        RECT expected;
    } cases[] = {
        {true, false, {10 + (115 - 48) / 2, 5, 125, 124}},
        {true, true, {10 + (115 - 48) / 2 + 1, 6, 126, 125}},
        {false, false, {10 + (115 - 48) / 2, 20, 125, 124}},
        {false, true, {10 + (115 - 48) / 2 + 1, 21, 126, 125}},
    };
    for (const Case &c : cases) {
        RECT r;
        ComputeButtonIconRect(NULL, c.caption, &item, c.pushed, 48, &r);
        EXPECT_EQ(r.left, c.expected.left) << c.caption << c.pushed;
        EXPECT_EQ(r.top, c.expected.top) << c.caption << c.pushed;
        EXPECT_EQ(r.right, c.expected.right) << c.caption << c.pushed;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.caption << c.pushed;
    }
    RECT narrow = {0, 0, 40, 40};
    RECT r;
    ComputeButtonIconRect(NULL, false, &narrow, false, 48, &r);
    EXPECT_EQ(r.left, -4) << "a button narrower than its icon centres it anyway";
}

// Draws a button into a memory bitmap and counts the pixels of a colour.
class Canvas {
  public:
    Canvas() {
        HDC screen = GetDC(NULL);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, 104, 47);
        ReleaseDC(NULL, screen);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    void Draw(HWND button, UINT state, COLORREF colour) {
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.hwndItem = button;
        item.hDC = dc_;
        item.itemState = state;
        SetRect(&item.rcItem, 0, 0, 104, 47);
        DrawTextButton(&item, button, colour);
    }
    int Count(COLORREF colour) {
        int n = 0;
        for (int y = 0; y < 47; y++) {
            for (int x = 0; x < 104; x++) n += GetPixel(dc_, x, y) == colour;
        }
        return n;
    }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

TEST(TextButton, CaptionColourAndDisabledLook) {
    HWND button = CreateWindowExW(0, L"BUTTON", L"GPS", WS_POPUP | BS_OWNERDRAW, 0, 0, 104, 47, NULL,
                                  NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(button, (HWND)NULL);
    HFONT font = CreateFontW(40, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
    Canvas canvas;
    const COLORREF red = RGB(255, 0, 0), green = RGB(36, 143, 36);
    canvas.Draw(button, 0, red);
    EXPECT_GT(canvas.Count(red), 20) << "the caption is drawn in the given colour";
    EXPECT_EQ(canvas.Count(green), 0);
    canvas.Draw(button, 0, green);
    EXPECT_GT(canvas.Count(green), 20);
    EXPECT_EQ(canvas.Count(red), 0);
    canvas.Draw(button, ODS_DISABLED, red);
    EXPECT_EQ(canvas.Count(red), 0) << "a disabled caption is embossed, not coloured";
    DeleteObject(font);
    DestroyWindow(button);
}

}  // namespace
