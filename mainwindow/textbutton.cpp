// Caption-only owner-drawn buttons, from the pieces of the icon buttons.
#include "textbutton.h"

#include "iconbutton.h"

void DrawTextButton(const DRAWITEMSTRUCT *item, HWND button, COLORREF captionColour) {
    RECT face;
    DrawButtonFace(item, &face);
    WCHAR caption[100];
    caption[0] = 0;
    GetWindowTextW(button, caption, ARRAYSIZE(caption));
    DrawButtonCaption(item->hDC, caption, &item->rcItem, (item->itemState & ODS_SELECTED) != 0,
                      (item->itemState & ODS_DISABLED) != 0, 0, captionColour);
    DrawButtonFocus(item, &face);
}
