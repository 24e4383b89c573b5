// Owner-drawn buttons. Every brush used here is a stock or system brush,
// so a paint creates no GDI object and frees none.
#include "iconbutton.h"

namespace {

enum { kIconSize = 48, kCaptionChars = 100, kIconCaptionDrop = 20 };

struct ButtonState {
    bool pushed;
    bool focused;
    bool disabled;
};

ButtonState StateOf(const DRAWITEMSTRUCT *item) {
    return ButtonState{(item->itemState & ODS_SELECTED) != 0, (item->itemState & ODS_FOCUS) != 0,
                       (item->itemState & ODS_DISABLED) != 0};
}

// Background, frame and edge; returns the rectangle inside the focus frame.
RECT DrawButtonFace(HDC dc, const RECT &itemRect, const ButtonState &state) {
    SetBkMode(dc, TRANSPARENT);
    RECT r = itemRect;
    if (state.focused) {
        FrameRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
        InflateRect(&r, -1, -1);
    }
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (state.pushed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    } else {
        RECT edge = r;
        DrawFrameControl(dc, &edge, DFC_BUTTON, DFCS_BUTTONPUSH);
    }
    return r;
}

// The caption, word-wrapped and centred in the item, dropped by drop pixels.
void DrawCaption(HDC dc, const RECT &itemRect, const WCHAR *caption, const ButtonState &state,
                 COLORREF enabledColour, int drop) {
    RECT t = itemRect;
    if (state.pushed) OffsetRect(&t, 1, 1);
    RECT whole = t;
    DrawTextW(dc, caption, -1, &t, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    OffsetRect(&t, ((whole.right - whole.left) - (t.right - t.left)) / 2,
               ((whole.bottom - whole.top) - (t.bottom - t.top)) / 2 + drop);
    SetBkMode(dc, TRANSPARENT);
    if (state.disabled) {
        OffsetRect(&t, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, caption, -1, &t, DT_CENTER | DT_WORDBREAK);
        OffsetRect(&t, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
    } else {
        SetTextColor(dc, enabledColour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    }
    DrawTextW(dc, caption, -1, &t, DT_CENTER | DT_WORDBREAK);
}

void DrawFocus(HDC dc, RECT inner, const ButtonState &state) {
    if (!state.focused) return;
    InflateRect(&inner, -3, -3);
    DrawFocusRect(dc, &inner);
}

}  // namespace

void ComputeButtonIconRect(HWND, bool hasCaption, const RECT *itemRect, bool pushed, int iconWidth,
                           RECT *iconRect) {
    *iconRect = *itemRect;
    iconRect->left += ((itemRect->right - itemRect->left) - iconWidth) / 2;
    if (hasCaption) iconRect->top = 5;
    if (pushed) OffsetRect(iconRect, 1, 1);
}

void DrawButtonIcon(HWND button, HICON icon, HDC dc, bool hasCaption, const RECT *itemRect,
                    bool pushed, bool disabled) {
    RECT r;
    ComputeButtonIconRect(button, hasCaption, itemRect, pushed, kIconSize, &r);
    DrawStateW(dc, NULL, NULL, (LPARAM)icon, 0, r.left, r.top, kIconSize, kIconSize,
               DST_ICON | (disabled ? DSS_DISABLED : 0));
}

void DrawTextButton(const DRAWITEMSTRUCT *item, HWND button, COLORREF captionColour) {
    ButtonState state = StateOf(item);
    RECT inner = DrawButtonFace(item->hDC, item->rcItem, state);
    WCHAR caption[kCaptionChars];
    GetWindowTextW(button, caption, ARRAYSIZE(caption));
    if (caption[0] != 0) DrawCaption(item->hDC, item->rcItem, caption, state, captionColour, 0);
    DrawFocus(item->hDC, inner, state);
}

void DrawIconButton(const DRAWITEMSTRUCT *item, HWND button, HICON icon) {
    ButtonState state = StateOf(item);
    RECT inner = DrawButtonFace(item->hDC, item->rcItem, state);
    WCHAR caption[kCaptionChars];
    GetWindowTextW(button, caption, ARRAYSIZE(caption));
    bool hasCaption = caption[0] != 0;
    DrawButtonIcon(button, icon, item->hDC, hasCaption, &item->rcItem, state.pushed, state.disabled);
    if (hasCaption) {
        DrawCaption(item->hDC, item->rcItem, caption, state, GetSysColor(COLOR_BTNTEXT),
                    kIconCaptionDrop);
    }
    DrawFocus(item->hDC, inner, state);
}
