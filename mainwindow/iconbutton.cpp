// Owner-drawn push buttons: face, icon, caption and focus.
#include "iconbutton.h"

namespace {

// A solid brush that is deleted when the guard goes.
class SolidBrush {
  public:
    explicit SolidBrush(COLORREF colour) : brush_(CreateSolidBrush(colour)) {}
    ~SolidBrush() {
        if (brush_ != NULL) DeleteObject(brush_);
    }
    SolidBrush(const SolidBrush &) = delete;
    SolidBrush &operator=(const SolidBrush &) = delete;
    HBRUSH get() const { return brush_; }

  private:
    HBRUSH brush_;
};

const UINT kCaptionFormat = DT_CENTER | DT_WORDBREAK;

}  // namespace

void ComputeButtonIconRect(HWND button, BOOL hasCaption, const RECT *item, BOOL pushed,
                           int iconWidth, RECT *iconRect) {
    *iconRect = *item;
    int itemWidth = item->right - item->left;
    iconRect->left += (itemWidth - iconWidth) / 2;
    if (hasCaption) iconRect->top = 5;
    if (pushed) OffsetRect(iconRect, 1, 1);
}

void DrawButtonIcon(HWND button, HICON icon, HDC dc, BOOL hasCaption, const RECT *item,
                    BOOL pushed, BOOL disabled) {
    if (icon == NULL) return;
    RECT place;
    ComputeButtonIconRect(button, hasCaption, item, pushed, kButtonIconSize, &place);
    UINT flags = DST_ICON | (disabled ? DSS_DISABLED : 0);
    DrawStateW(dc, NULL, NULL, (LPARAM)icon, 0, place.left, place.top,
               place.right - place.left, place.bottom - place.top, flags);
}

void DrawButtonFace(const DRAWITEMSTRUCT *draw, RECT *face) {
    HDC dc = draw->hDC;
    BOOL pushed = (draw->itemState & ODS_SELECTED) != 0;
    BOOL focused = (draw->itemState & ODS_FOCUS) != 0;
    *face = draw->rcItem;
    SetBkMode(dc, TRANSPARENT);
    if (focused) {
        SolidBrush black(RGB(0, 0, 0));
        FrameRect(dc, face, black.get());
        InflateRect(face, -1, -1);
    }
    {
        SolidBrush buttonFace(GetSysColor(COLOR_BTNFACE));
        FillRect(dc, face, buttonFace.get());
    }
    if (pushed) {
        SolidBrush shadow(GetSysColor(COLOR_BTNSHADOW));
        FrameRect(dc, face, shadow.get());
    } else {
        DrawFrameControl(dc, face, DFC_BUTTON, DFCS_BUTTONPUSH);
    }
}

void DrawButtonCaption(HDC dc, const WCHAR *caption, const RECT *item, BOOL pushed,
                       BOOL disabled, int drop, COLORREF colour) {
    if (caption == NULL || caption[0] == 0) return;
    RECT text = *item;
    if (pushed) OffsetRect(&text, 1, 1);
    RECT room = text;
    DrawTextW(dc, caption, -1, &text, DT_CALCRECT | kCaptionFormat);
    // Centre the word-wrapped block in the room it was measured in.
    OffsetRect(&text, ((room.right - room.left) - (text.right - text.left)) / 2,
               ((room.bottom - room.top) - (text.bottom - text.top)) / 2);
    OffsetRect(&text, 0, drop);
    SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        OffsetRect(&text, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, caption, -1, &text, kCaptionFormat);
        OffsetRect(&text, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
    } else {
        SetTextColor(dc, colour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    }
    DrawTextW(dc, caption, -1, &text, kCaptionFormat);
}

void DrawButtonFocus(const DRAWITEMSTRUCT *draw, const RECT *face) {
    if (!(draw->itemState & ODS_FOCUS)) return;
    RECT focus = *face;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(draw->hDC, &focus);
}

void DrawIconButton(const DRAWITEMSTRUCT *draw, HWND button, HICON icon) {
    BOOL pushed = (draw->itemState & ODS_SELECTED) != 0;
    BOOL disabled = (draw->itemState & ODS_DISABLED) != 0;
    RECT face;
    DrawButtonFace(draw, &face);
    WCHAR caption[100];
    caption[0] = 0;
    GetWindowTextW(button, caption, ARRAYSIZE(caption));
    DrawButtonIcon(button, icon, draw->hDC, caption[0] != 0, &draw->rcItem, pushed, disabled);
    DrawButtonCaption(draw->hDC, caption, &draw->rcItem, pushed, disabled,
                      kIconButtonCaptionDrop, GetSysColor(COLOR_BTNTEXT));
    DrawButtonFocus(draw, &face);
}
