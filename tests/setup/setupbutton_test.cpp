// The setup program's "Copy To PC" button, drawn by the icon-button drawing
// it shares with the main program: where the icon lands in each state, that
// a disabled icon is greyed, and that the caption sits under the icon.
#include <windows.h>

#include <gtest/gtest.h>

#include "setup.h"

namespace {

const int kWidth = 130, kHeight = 100;   // the button's size in the setup window
const COLORREF kMagenta = RGB(255, 0, 255);

// A 48 x 48 icon of one colour.
HICON SolidIcon(COLORREF colour) {
    HDC screen = GetDC(NULL);
    HBITMAP image = CreateCompatibleBitmap(screen, 48, 48);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, image);
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all = {0, 0, 48, 48};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    HBITMAP mask = CreateBitmap(48, 48, 1, 1, NULL);   // all 0: opaque
    HDC maskDc = CreateCompatibleDC(NULL);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    PatBlt(maskDc, 0, 0, 48, 48, BLACKNESS);
    SelectObject(maskDc, oldMask);
    DeleteDC(maskDc);
    ICONINFO info = {TRUE, 0, 0, mask, image};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(image);
    return icon;
}

// A 32-bit top-down canvas the size of the button.
class Canvas {
  public:
    Canvas() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(NULL);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, (void **)&bits_, NULL, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    HDC dc() const { return dc_; }
    COLORREF At(int x, int y) const {
        DWORD p = bits_[y * kWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The bounding box of the pixels matching pred; empty when none.
    template <typename Pred>
    RECT Box(Pred pred) const {
        GdiFlush();
        RECT box = {kWidth, kHeight, 0, 0};
        for (int y = 0; y < kHeight; y++) {
            for (int x = 0; x < kWidth; x++) {
                if (!pred(At(x, y))) continue;
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x + 1 > box.right) box.right = x + 1;
                if (y + 1 > box.bottom) box.bottom = y + 1;
            }
        }
        if (box.right == 0) SetRectEmpty(&box);
        return box;
    }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    DWORD *bits_ = nullptr;
};

class CopyButton : public testing::Test {
  protected:
    void SetUp() override {
        button_ = CreateWindowExA(0, "BUTTON", "Copy To PC", WS_POPUP | BS_OWNERDRAW, 0, 0, kWidth,
                                  kHeight, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(button_, (HWND)NULL);
        icon_ = SolidIcon(kMagenta);
        ASSERT_NE(icon_, (HICON)NULL);
    }
    void TearDown() override {
        DestroyIcon(icon_);
        DestroyWindow(button_);
    }
    void Draw(Canvas *canvas, UINT state) {
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.CtlID = 12001;
        item.hwndItem = button_;
        item.hDC = canvas->dc();
        item.itemState = state;
        SetRect(&item.rcItem, 0, 0, kWidth, kHeight);
        SetupDrawIconButton(&item, button_, icon_);
    }
    HWND button_ = NULL;
    HICON icon_ = NULL;
};

TEST_F(CopyButton, IconPlaceByState) {
    struct Case {
        const char *caption;
        UINT state;
        int left, top;
    } cases[] = {
        {"Copy To PC", 0, (kWidth - 48) / 2, 5},
        {"Copy To PC", ODS_SELECTED, (kWidth - 48) / 2 + 1, 6},
        {"Copy To PC", ODS_FOCUS, (kWidth - 48) / 2, 5},
        {"", 0, (kWidth - 48) / 2, 0},                 // no caption: at the item's top
        {"", ODS_SELECTED, (kWidth - 48) / 2 + 1, 1},
    };
    for (const Case &c : cases) {
        SetWindowTextA(button_, c.caption);
        Canvas canvas;
        Draw(&canvas, c.state);
        RECT icon = canvas.Box([](COLORREF p) { return p == kMagenta; });
        EXPECT_EQ(icon.left, c.left) << "'" << c.caption << "' state " << c.state;
        EXPECT_EQ(icon.top, c.top) << "'" << c.caption << "' state " << c.state;
        EXPECT_EQ(icon.right - icon.left, 48) << "the icon keeps its own size";
        EXPECT_EQ(icon.bottom - icon.top, 48);
    }
}

TEST_F(CopyButton, CaptionUnderTheIconAndDisabledLook) {
    Canvas canvas;
    Draw(&canvas, 0);
    RECT caption = canvas.Box([](COLORREF p) {
        return GetRValue(p) < 80 && GetGValue(p) < 80 && GetBValue(p) < 80;
    });
    ASSERT_FALSE(IsRectEmpty(&caption)) << "the caption is drawn in the button text colour";
    EXPECT_GE(caption.top, 5 + 48) << "the caption sits under the icon";
    EXPECT_LT(caption.bottom, kHeight - 1);

    Canvas disabled;
    Draw(&disabled, ODS_DISABLED);
    RECT icon = disabled.Box([](COLORREF p) { return p == kMagenta; });
    EXPECT_TRUE(IsRectEmpty(&icon)) << "a disabled icon is greyed";
    COLORREF highlight = GetSysColor(COLOR_3DHILIGHT);
    COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    RECT light = disabled.Box([highlight](COLORREF p) { return p == highlight; });
    RECT dark = disabled.Box([shadow](COLORREF p) { return p == shadow; });
    // The embossed caption: a light copy one pixel down and right of the
    // shadow-coloured text (the edges of the face use these colours too, so
    // look below the icon only).
    RECT below = {0, 5 + 48, kWidth, kHeight - 2};
    RECT lightText, darkText;
    IntersectRect(&lightText, &light, &below);
    IntersectRect(&darkText, &dark, &below);
    EXPECT_FALSE(IsRectEmpty(&lightText));
    EXPECT_FALSE(IsRectEmpty(&darkText));

    Canvas focused;
    Draw(&focused, ODS_FOCUS);
    EXPECT_EQ(focused.At(0, 0), RGB(0, 0, 0)) << "the focus frame is black";
    EXPECT_EQ(focused.At(kWidth - 1, kHeight - 1), RGB(0, 0, 0));
    Canvas pushed;
    Draw(&pushed, ODS_SELECTED);
    EXPECT_EQ(pushed.At(0, 0), GetSysColor(COLOR_BTNSHADOW)) << "a pushed button is framed flat";
    EXPECT_EQ(pushed.At(kWidth - 1, kHeight - 1), GetSysColor(COLOR_BTNSHADOW));
}

}  // namespace
