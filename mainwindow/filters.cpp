// Input filters of the main window's entry fields: they drop characters a
// field must not hold and turn Enter and Tab into clicks and focus moves, so
// the search and the remark fields can be worked from the keyboard alone.
#include <windows.h>

#include <commctrl.h>

#include "mainwindow.h"
#include "resource.h"

namespace {

enum CharClass {
    kPlateChars,     // digits, letters, Backspace
    kFreeText,       // everything but '|' and the apostrophe
    kDigits,         // digits, Backspace
    kArrearChars,    // digits, Backspace, '.'
    kMonthChars,     // '1'-'9' pick that month; everything else passes
    kToPlateEntry,   // every character goes to the plate entry
};

// What Tab or Enter does in a field.
struct KeyMove {
    int clickId;       // button to click first, 0 for none
    bool deselectSelf; // EM_SETSEL (0, 0) on the field itself
    int focusId;       // control to focus, 0 for none
    bool selectTarget; // select the whole text of the focused control
};

// The input rule of one field: the characters it takes and what Tab and
// Enter do in it.
struct FilterRule {
    int id;
    CharClass chars;
    KeyMove tab;
    KeyMove enter;
};

const KeyMove kFindClick = {IDC_FIND, false, 0, false};

const FilterRule kFilters[] = {
    {IDC_PLATE_ENTRY, kPlateChars, {0, false, IDC_LOCATION, true}, kFindClick},
    {IDC_LOCATION, kFreeText, {0, true, IDC_REMARK, false}, {0, true, IDC_REMARK, false}},
    {IDC_ARREARS, kArrearChars, {0, true, IDC_LASTPAY_DAY, false}, {0, true, IDC_LASTPAY_DAY, false}},
    {IDC_LASTPAY_DAY, kDigits, {0, true, IDC_LASTPAY_MONTH, false}, {0, true, IDC_LASTPAY_MONTH, false}},
    {IDC_LASTPAY_MONTH, kMonthChars, {0, false, IDC_LASTPAY_YEAR, false}, {0, false, IDC_LASTPAY_YEAR, false}},
    {IDC_LASTPAY_YEAR, kDigits, {0, true, IDC_FINANCIER, false}, {0, true, IDC_FINANCIER, false}},
    {IDC_FINANCIER, kFreeText, {0, true, IDC_REMARK, false}, {0, true, IDC_REMARK, false}},
    {IDC_REMARK, kFreeText, {0, true, IDC_FOLLOWUP_DAY, false}, {IDC_SAVE, true, IDC_PLATE_ENTRY, false}},
    {IDC_FOLLOWUP_DAY, kDigits, {0, true, IDC_FOLLOWUP_MONTH, false}, {0, true, IDC_FOLLOWUP_MONTH, false}},
    {IDC_FOLLOWUP_MONTH, kMonthChars, {0, false, IDC_FOLLOWUP_YEAR, false}, {0, false, IDC_FOLLOWUP_YEAR, false}},
    {IDC_FOLLOWUP_YEAR, kDigits, {0, true, IDC_PLATE_ENTRY, false}, {0, true, IDC_PLATE_ENTRY, false}},
    {IDC_CONTACT_LIST, kToPlateEntry, {}, {}},
    {IDC_RESULT_LIST, kToPlateEntry, {}, {}},
};

const UINT_PTR kFilterSubclassId = 1;

bool IsDigit(WPARAM c) { return c >= '0' && c <= '9'; }
bool IsLetter(WPARAM c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Returns true when the character may reach the field.
bool Passes(CharClass chars, WPARAM c) {
    switch (chars) {
    case kPlateChars:
        return IsDigit(c) || IsLetter(c) || c == VK_BACK;
    case kFreeText:
        return c != '|' && c != '\'';
    case kDigits:
        return IsDigit(c) || c == VK_BACK;
    case kArrearChars:
        return IsDigit(c) || c == VK_BACK || c == '.';
    case kMonthChars:
    case kToPlateEntry:
        return true;
    }
    return true;
}

void Move(HWND field, const KeyMove &move) {
    if (move.clickId != 0) SendMessageW(MainControl(move.clickId), BM_CLICK, 0, 0);
    if (move.deselectSelf) SendMessageW(field, EM_SETSEL, 0, 0);
    if (move.focusId != 0) {
        HWND target = MainControl(move.focusId);
        SetFocus(target);
        if (move.selectTarget) SendMessageW(target, EM_SETSEL, 0, -1);
    }
}

// Handles one WM_CHAR; returns true when the character was consumed.
bool FilterChar(HWND field, const FilterRule &rule, WPARAM c) {
    if (rule.chars == kToPlateEntry) {
        SetFocus(PlateEntryEdit);
        SendMessageW(PlateEntryEdit, WM_CHAR, c, 0);
        return true;
    }
    if (rule.chars == kFreeText && !Passes(kFreeText, c)) return true;
    if (rule.chars == kMonthChars && c >= '1' && c <= '9') {
        SendMessageW(field, CB_SETCURSEL, c - '0', 0);
        return true;
    }
    if (c == '\r') {
        Move(field, rule.enter);
        return true;
    }
    if (c == '\t') {
        Move(field, rule.tab);
        return true;
    }
    return !Passes(rule.chars, c);
}

LRESULT CALLBACK FilterProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR refData) {
    const FilterRule &rule = kFilters[refData];
    switch (msg) {
    case WM_CHAR:
        if (FilterChar(field, rule, wParam)) return 0;
        break;
    case WM_KEYDOWN:
        if (rule.id == IDC_PLATE_ENTRY && wParam == VK_F4) {
            SendMessageW(MainControl(IDC_DELETE_PLATE), BM_CLICK, 0, 0);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(field, FilterProc, kFilterSubclassId);
        break;
    }
    return DefSubclassProc(field, msg, wParam, lParam);
}

}  // namespace

bool InstallInputFilter(HWND control) {
    int id = GetDlgCtrlID(control);
    for (size_t i = 0; i < ARRAYSIZE(kFilters); i++) {
        if (kFilters[i].id == id) {
            return SetWindowSubclass(control, FilterProc, kFilterSubclassId, (DWORD_PTR)i) != FALSE;
        }
    }
    return false;
}
