// The plate entry of the real main window as it stands on the screen after
// typing: several colours with multi-colour text on, plain text with it off.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "datastore.h"
#include "livewindow.h"
#include "mainwindow.h"
#include "platecolours.h"
#include "resource.h"

namespace {

// The pixels of a control's client area, copied from its window DC.
std::vector<COLORREF> ClientPixels(HWND control) {
    RECT rect;
    GetClientRect(control, &rect);
    int w = rect.right, h = rect.bottom;
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(control);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (dib != NULL) {
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, w, h, dc, 0, 0, SRCCOPY);
        GdiFlush();
        const DWORD *p = static_cast<const DWORD *>(bits);
        for (int i = 0; i < w * h; i++) pixels.push_back(RGB((p[i] >> 16) & 255, (p[i] >> 8) & 255, p[i] & 255));
        SelectObject(memory, old);
        DeleteObject(dib);
    }
    DeleteDC(memory);
    ReleaseDC(control, dc);
    return pixels;
}

struct ColourCount {
    int blue = 0, purple = 0, red = 0, green = 0;
    int tinted = 0;  // any other pixel that is not a grey
    int dark = 0;    // pixels darker than mid-grey
};

ColourCount Count(const std::vector<COLORREF> &pixels) {
    ColourCount n;
    for (COLORREF c : pixels) {
        int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
        if (c == PLATE_BLUE) {
            n.blue++;
        } else if (c == PLATE_PURPLE) {
            n.purple++;
        } else if (c == PLATE_RED) {
            n.red++;
        } else if (c == PLATE_GREEN) {
            n.green++;
        } else if (r != g || g != b) {
            n.tinted++;
        }
        if (r + g + b < 3 * 128) n.dark++;
    }
    return n;
}

class PlatePaint : public live::LiveMainWindow {
  protected:
    // Types the plate into the entry key by key, then lets every pending
    // paint run, as the message loop would.
    void Type(const wchar_t *plate) {
        SetWindowTextW(PlateEntryEdit, L"");
        SetFocus(PlateEntryEdit);
        for (const wchar_t *c = plate; *c != 0; c++) SendMessageW(PlateEntryEdit, WM_CHAR, *c, 1);
        Settle();
    }
    void Find() {
        SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_FIND, BN_CLICKED), (LPARAM)GetDlgItem(MainWindow, IDC_FIND));
        Settle();
    }
    static void Settle() {
        live::Pump();
        Sleep(100);
        live::Pump();
    }
};

TEST_F(PlatePaint, EntryIsColouredOnlyWhileMultiColourTextIsOn) {
    ASSERT_EQ(MultiColourText, 1) << "a new diary has it on";
    Type(L"IOU12345");
    ColourCount on = Count(ClientPixels(PlateEntryEdit));
    EXPECT_GT(on.green, 0) << "I and O";
    EXPECT_GT(on.purple, 0) << "U";
    EXPECT_GT(on.blue, 0) << "1 to 4";
    EXPECT_GT(on.red, 0) << "the fifth digit and the prefix line";

    // The find history after the search: U is its first counted letter.
    Find();
    ColourCount history = Count(ClientPixels(GetDlgItem(MainWindow, IDC_FIND_HISTORY)));
    EXPECT_GT(history.green, 0) << "I and O";
    EXPECT_GT(history.red, 0) << "U and the fifth digit";
    EXPECT_GT(history.blue, 0) << "1 to 4";

    MultiColourText = 0;
    Type(L"IOU12345");
    ColourCount off = Count(ClientPixels(PlateEntryEdit));
    EXPECT_GT(off.dark, 0) << "the entry shows its text";
    EXPECT_EQ(off.blue + off.purple + off.red + off.green + off.tinted, 0) << "in one colour, shades of grey only";

    // The history's own text is blue.
    Find();
    history = Count(ClientPixels(GetDlgItem(MainWindow, IDC_FIND_HISTORY)));
    EXPECT_GT(history.blue, 0);
    EXPECT_EQ(history.purple + history.red + history.green, 0);
}

}  // namespace
