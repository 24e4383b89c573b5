// The main window's controls: created in their start-screen state, the
// search controls hidden until the first Find.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "remarkform.h"
#include "resource.h"
#include "textutil.h"

namespace {

// One control of the main window. y is added to SmallScreenShift when
// shifted is set; malay NULL means the same text in both languages.
struct ControlLayout {
    int id;
    const WCHAR *cls;
    DWORD style;
    const WCHAR *english;
    const WCHAR *malay;
    int x, y, w, h;
    bool shifted;
    int limit;  // EM_LIMITTEXT for edits; 0 none
};

const DWORD kField = WS_BORDER | ES_AUTOHSCROLL | ES_UPPERCASE;
const DWORD kCombo = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

// The remark and follow-up fields, 11010 to 11029, in creation order.
const ControlLayout kRemarkFields[] = {
    {IDC_PLATE_LABEL, L"STATIC", 0, L"PlateNo", NULL, 2, 218, 150, 20, true, 0},
    {IDC_PLATE, L"STATIC", 0, L"", NULL, 2, 240, 160, 25, true, 0},
    {IDC_ARREARS_LABEL, L"STATIC", 0, L"ArrearNo", NULL, 156, 218, 80, 20, true, 0},
    {IDC_ARREARS, L"EDIT", kField, L"", NULL, 156, 240, 60, 25, true, 6},
    {IDC_DATE_LABEL, L"STATIC", 0, L"[Day-Month-Year]", L"[Hari-Bulan-Tahun]", 237, 218, 155, 20, true, 0},
    {IDC_LASTPAY_DAY, L"EDIT", kField, L"", NULL, 238, 240, 30, 25, true, 2},
    {IDC_LASTPAY_MONTH, L"COMBOBOX", kCombo, L"", NULL, 271, 238, 60, 260, true, 0},
    {IDC_LASTPAY_YEAR, L"EDIT", kField, L"", NULL, 333, 240, 50, 25, true, 4},
    {IDC_FINANCIER_LABEL, L"STATIC", 0, L"Financier", L"Bank", 398, 218, 150, 20, true, 0},
    {IDC_FINANCIER, L"EDIT", kField, L"", NULL, 398, 240, 150, 25, true, 100},
    {IDC_REMARK_LABEL, L"STATIC", 0, L"Remark", NULL, 550, 218, 80, 20, true, 0},
    {IDC_REMARK, L"EDIT", WS_BORDER | ES_MULTILINE | ES_UPPERCASE, L"", NULL, 550, 240, 360, 60, true, 132},
    {IDC_LAST_SAVED, L"STATIC", SS_RIGHT, L"", NULL, 660, 218, 300, 20, true, 0},
    {IDC_SAVE, L"BUTTON", BS_PUSHBUTTON, L"Save", NULL, 912, 260, 50, 40, true, 0},
    {IDC_DELETE_REMARK, L"BUTTON", BS_PUSHBUTTON, L"<- X", NULL, 912, 240, 50, 19, true, 0},
    {IDC_FOLLOWUP_LABEL, L"STATIC", SS_RIGHT, L"FollowUp->", NULL, 127, 269, 110, 25, true, 0},
    {IDC_FOLLOWUP_DAY, L"EDIT", kField, L"", NULL, 238, 266, 30, 25, true, 2},
    {IDC_FOLLOWUP_MONTH, L"COMBOBOX", kCombo, L"", NULL, 271, 265, 60, 260, true, 0},
    {IDC_FOLLOWUP_YEAR, L"EDIT", kField, L"", NULL, 333, 266, 50, 25, true, 4},
};

struct BigButton {
    const WCHAR *english;
    const WCHAR *malay;
};
const BigButton kBigButtons[8] = {
    {L"Diary", L"Diary"},
    {L"Setting", L"Setting"},
    {L"Change Diary Password", L"Tukar Password Diary"},
    {L"Update Diary", L"Kemaskini Diary"},
    {L" Use BackUp Diary ", L"Guna Diary BackUp"},
    {L"Import Diary", L"Import Diary"},
    {L"Remark", L"Remark"},
    {L"Import Remark", L"Import Remark"},
};

const WCHAR kEmailExample[] = L"ejen.korvane@gmail.com";

// The buttons whose text follows the language, besides the big buttons.
struct SwitchedText {
    int id;
    const WCHAR *english;
    const WCHAR *malay;
};
const SwitchedText kSwitchedButtons[] = {
    {IDC_FIND, L"Find", L"Cari"},
    {IDC_DELETE_PLATE, L"<-Delete This PlateNo[F4]", L"<-Padam PlateNo Ini[F4]"},
    {IDC_DELETE_ROW, L"Delete This Row", L"Padam Baris Ini"},
    {IDC_DELETE_ALL, L"Delete All", L"Padam Semua"},
};

HWND Create(HWND parent, const ControlLayout &c) {
    const WCHAR *text = (UseEnglish || c.malay == NULL) ? c.english : c.malay;
    int y = c.shifted ? SmallScreenShift + c.y : c.y;
    HWND control = CreateWindowExW(0, c.cls, text, WS_CHILD | WS_VISIBLE | c.style, c.x, y, c.w, c.h, parent,
                                   (HMENU)(INT_PTR)c.id, AppInstance, NULL);
    if (control != NULL && c.limit > 0) SendMessageW(control, EM_LIMITTEXT, c.limit, 0);
    return control;
}

HWND Make(HWND parent, int id, const WCHAR *cls, DWORD style, const WCHAR *text, int x, int y, int w, int h) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           (HMENU)(INT_PTR)id, AppInstance, NULL);
}

void Hide(int id) { ShowWindow(MainControl(id), SW_HIDE); }
void Show(int id) { ShowWindow(MainControl(id), SW_SHOW); }
void SetFont(int id, MainFont font) { SendMessageW(MainControl(id), WM_SETFONT, (WPARAM)MainFonts[font], TRUE); }

const WCHAR *ButtonText(int id) {
    for (const SwitchedText &t : kSwitchedButtons) {
        if (t.id == id) return Pick(t.english, t.malay);
    }
    return L"";
}

// 13005: the invitation to give an e-mail address.
void SetEmailNote() {
    WCHAR text[kTextChars * 2];
    if (UseEnglish) {
        StringCchPrintfW(text, ARRAYSIZE(text),
                         L"Put in your email [example %ls] if you want to receive a notice when the latest "
                         L"Fresh RO daily update is given out. Make sure your laptop/HP has internet "
                         L"connection to download the Fresh RO.",
                         kEmailExample);
    } else {
        StringCchPrintfW(text, ARRAYSIZE(text),
                         L"Masukkan email anda [contoh %ls] jika anda ingin dapat notis bila keluar data "
                         L"update Fresh RO harian yang terbaru. Pastikan laptop/HP anda ada sambungan "
                         L"internet untuk download Fresh RO.",
                         kEmailExample);
    }
    SetWindowTextW(MainControl(IDC_EMAIL_NOTE), text);
}

}  // namespace

void ShowVersionTexts(void) {
    WCHAR text[kTextChars * 2];
    StringCchPrintfW(text, ARRAYSIZE(text), Pick(L"Data Version: %ls", L"Data Versi: %ls"), DataVersionText);
    SetWindowTextW(MainControl(IDC_DATA_VERSION), text);
    StringCchPrintfW(text, ARRAYSIZE(text),
                     Pick(L"Software Version: %ls\r\nData Version: %ls", L"Software Versi: %ls\r\nData Versi: %ls"),
                     kProgramTitle, DataVersionText);
    SetWindowTextW(MainControl(IDC_START_MESSAGE), text);
}

void CreateMainControls(HWND window) {
    const int s = SmallScreenShift;
    const bool huge = HugeResultSize == 1 && SmallScreen == 0;

    ContactList.ListViewBoxCreate(window, AppInstance, kListContact, 2, s + 183, 961, 228, UseEnglish);
    SendMessageW(ContactList.list, WM_SETFONT, (WPARAM)MainFonts[kFontG], TRUE);
    InstallInputFilter(ContactList.list);
    if (huge) {
        ResultList.ListViewBoxCreate(window, AppInstance, kListResult, 1, 1, 961, 218, UseEnglish);
    } else {
        ResultList.ListViewBoxCreate(window, AppInstance, kListResult, 1, s + 124, 961, 95, UseEnglish);
    }
    ResultList.ListViewBoxHide();
    InstallInputFilter(ResultList.list);

    if (HugeResultSize == 1) {
        Make(window, IDC_RESULT, L"STATIC", WS_BORDER | SS_EDITCONTROL | SS_NOTIFY, L"", 2, s + 1, 961, 210);
    } else {
        Make(window, IDC_RESULT, L"STATIC", WS_BORDER | SS_EDITCONTROL | SS_NOTIFY, L"", 2, s + 124, 961, 90);
    }
    Hide(IDC_RESULT);  // shown by the first hit
    Make(window, IDC_START_MESSAGE, L"STATIC", WS_BORDER | SS_CENTER, L"", 2, s + 124, 961, 60);

    for (const ControlLayout &c : kRemarkFields) {
        HWND control = Create(window, c);
        if (c.id == IDC_LASTPAY_MONTH || c.id == IDC_FOLLOWUP_MONTH) {
            FillMonthCombo(control);
        }
        InstallInputFilter(control);  // only the fields that have a filter take it
    }
    if (SmallScreen) {
        Make(window, IDC_DELETE_ROW, L"BUTTON", BS_PUSHBUTTON, ButtonText(IDC_DELETE_ROW), 600,
             s + 386, 150, 18);
        Make(window, IDC_GET_IP, L"BUTTON", BS_OWNERDRAW, L"Get IP", 620, s + 370, 60, 18);
        Make(window, IDC_DELETE_ALL, L"BUTTON", BS_PUSHBUTTON, ButtonText(IDC_DELETE_ALL), 600, s + 356,
             150, 18);
    } else {
        Make(window, IDC_DELETE_ROW, L"BUTTON", BS_PUSHBUTTON, ButtonText(IDC_DELETE_ROW), 568,
             s + 344, 150, 24);
        Make(window, IDC_GET_IP, L"BUTTON", BS_OWNERDRAW, L"Get IP", 735, s + 344, 60, 24);
        Make(window, IDC_DELETE_ALL, L"BUTTON", BS_PUSHBUTTON, ButtonText(IDC_DELETE_ALL), 812, s + 344,
             150, 24);
    }
    for (int id = IDC_PLATE_LABEL; id <= IDC_GET_IP; id++) Hide(id);

    Make(window, IDC_BIG_BUTTON_FRAME, L"BUTTON", BS_GROUPBOX, L"", 2, 0, 962, 122);
    for (int i = 0; i < 8; i++) {
        Make(window, IDC_BIG_BUTTON_FIRST + i, L"BUTTON", BS_OWNERDRAW,
             Pick(kBigButtons[i].english, kBigButtons[i].malay), 7 + 119 * i, 13, 115, 104);
    }
    Make(window, IDC_DELETE_PLATE, L"BUTTON", BS_PUSHBUTTON,
         ButtonText(IDC_DELETE_PLATE), 356, s + 370, 209, 40);
    Make(window, IDC_FIND, L"BUTTON", BS_OWNERDRAW, ButtonText(IDC_FIND), 859, s + 412, 104, 104);
    if (SmallScreen) {
        Hide(IDC_BIG_BUTTON_FRAME);
        for (int id = IDC_BIG_BUTTON_FIRST; id <= IDC_BIG_BUTTON_LAST; id++) Hide(id);
    }
    Make(window, IDC_GPS, L"BUTTON", BS_OWNERDRAW, L"GPS", 388, s + 270, 104, 47);
    Make(window, IDC_FIND_HISTORY, L"STATIC", SS_LEFTNOWORDWRAP, L"", 2, s + 290, 350, 120);
    Make(window, IDC_STATUS_LINE, L"STATIC", WS_BORDER | SS_RIGHT, L"", 550, s + 300, 360, 20);
    Make(window, IDC_HIT_COUNT, L"STATIC", SS_RIGHT, L"", 650, s + 253, 110, 20);
    Make(window, IDC_EMPTY_ENTRY_MESSAGE, L"STATIC", WS_BORDER | SS_CENTER, L"", 2, s + 412,
         (SmallScreen ? 403 : 573) - FrameAllowance, 104);
    PlateEntryEdit = Make(window, IDC_PLATE_ENTRY, L"EDIT", WS_BORDER | ES_AUTOHSCROLL | ES_UPPERCASE, L"", 2,
                          s + 412, 855, 104);
    LocationEdit = Make(window, IDC_LOCATION, L"EDIT", kField, L"", 356, s + 340, 607, 25);
    Make(window, IDC_LINK_STATUS, L"STATIC", 0, L"", 428, s + 300, 534, 18);
    Make(window, IDC_GPS_STATUS, L"STATIC", 0, L"", 357, s + 344, 210, 23);
    SetFont(IDC_FIND, kFontC);
    SetFont(IDC_FIND_HISTORY, kFontC);
    SetFont(IDC_PLATE_ENTRY, kFontA);
    PlateFontStep = 3;
    SetFont(IDC_GPS, kFontC);
    SetFont(IDC_LOCATION, kFontD);
    SetFont(IDC_PLATE, kFontD);
    for (int id : {IDC_DELETE_PLATE, IDC_STATUS_LINE, IDC_HIT_COUNT, IDC_GPS, IDC_LOCATION, IDC_LINK_STATUS,
                   IDC_GPS_STATUS, IDC_EMPTY_ENTRY_MESSAGE}) {
        Hide(id);
    }

    if (SmallScreen) {
        FoundVehicleList.ListViewBoxCreate(window, AppInstance, kListFoundVehicle, 396, s + 412, 394, 200,
                                           UseEnglish);
    } else {
        FoundVehicleList.ListViewBoxCreate(window, AppInstance, kListFoundVehicle, 566, 369, 397, 312, UseEnglish);
    }
    SendMessageW(FoundVehicleList.list, WM_SETFONT, (WPARAM)MainFonts[kFontG], TRUE);
    FoundVehicleList.ListViewBoxHide();

    if (UseEnglish) {
        SetMenuTextsEnglish();
    } else {
        SetMenuTextsMalay();
    }

    Make(window, IDC_UPDATE_STATUS, L"STATIC", WS_BORDER, L".......", 10, s + 518, 410, 40);
    Make(window, IDC_DOWNLOAD_1, L"BUTTON", BS_PUSHBUTTON, L"Download Fresh RO Online 1", 10, s + 560, 200, 30);
    Make(window, IDC_DOWNLOAD_2, L"BUTTON", BS_PUSHBUTTON, L"Download Fresh RO Online 2", 220, s + 560, 200, 30);
    Make(window, IDC_DATA_VERSION, L"STATIC", 0, L"", 10, s + 595, 450, 20);
    HWND email = Make(window, IDC_EMAIL, L"EDIT", WS_BORDER | ES_AUTOHSCROLL, L"", 10, s + 620, 319, 23);
    Make(window, IDC_EMAIL_NOTE, L"STATIC", 0, L"", 10, s + 643, 400, 50);
    SetFont(IDC_EMAIL_NOTE, kFontF);
    SetWindowTextW(email, EmailText);
}

// The texts that start-up fills once the settings and data versions are
// known (after the mutex): versions, the e-mail note, the location, the
// contact lines, the find history.
void FillMainTexts(void) {
    SetWindowTextW(MainControl(IDC_STATUS_LINE), L"");
    ShowVersionTexts();
    SetEmailNote();
    InstallInputFilter(PlateEntryEdit);
    SetWindowTextW(LocationEdit, LocationText);
    InstallInputFilter(LocationEdit);
}

void FillStartScreen(void) {
    ShowVersionTexts();
    SetFont(IDC_START_MESSAGE, kFontG);
    SetFont(IDC_RESULT, HugeResultSize == 1 ? kFontB : kFontI);
    WCHAR text[kTextChars * 2];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls\r\n%ls\r\n%ls\r\n", FindHistory[0], FindHistory[1],
                     FindHistory[2]);
    SetWindowTextW(MainControl(IDC_FIND_HISTORY), text);

    ContactList.ListViewBoxClear();
    for (int i = 0; i < kContactLineCount; i++) {
        bool vacant = wcsncmp(ContactLines[i], L"-akan dilantik-", 15) == 0;
        ContactList.ListViewBoxInsertItem(i, vacant ? L"" : ContactLines[i]);
    }
    SendMessageW(PlateEntryEdit, EM_LIMITTEXT, 40, 0);
    SendMessageW(LocationEdit, EM_LIMITTEXT, 130, 0);
    Hide(IDC_FIND_HISTORY);
    SetFocus(PlateEntryEdit);
}

void ShowSearchScreen(void) {
    ContactList.ListViewBoxHide();
    Hide(IDC_START_MESSAGE);
    Show(IDC_FIND_HISTORY);
    UpdateWindow(MainControl(IDC_FIND_HISTORY));
    for (int id : {IDC_GPS, IDC_LOCATION, IDC_DELETE_PLATE, IDC_LINK_STATUS}) Show(id);
    for (int id = IDC_PLATE_LABEL; id <= IDC_FOLLOWUP_YEAR; id++) Show(id);
    for (int id : {IDC_GPS_STATUS, IDC_DELETE_ROW, IDC_GET_IP, IDC_DELETE_ALL}) Show(id);
    FoundVehicleList.ListViewBoxShow();
}

void RelabelMainControls(void) {
    for (const SwitchedText &t : kSwitchedButtons) SetWindowTextW(MainControl(t.id), Pick(t.english, t.malay));
    // The two remark-field labels that have a Malay text.
    for (const ControlLayout &c : kRemarkFields) {
        if (c.malay != NULL) SetWindowTextW(MainControl(c.id), Pick(c.english, c.malay));
    }
    FoundVehicleList.ListViewBoxSetLanguage(UseEnglish);
    // Change Diary Password, Update Diary, Use BackUp Diary; the other big
    // buttons read the same in both languages.
    for (int i = 2; i <= 4; i++) {
        SetWindowTextW(MainControl(IDC_BIG_BUTTON_FIRST + i), Pick(kBigButtons[i].english, kBigButtons[i].malay));
    }
    if (UseEnglish) {
        SetMenuTextsEnglish();
    } else {
        SetMenuTextsMalay();
    }
    ResultList.ListViewBoxSetLanguage(UseEnglish);
    ContactList.ListViewBoxSetLanguage(UseEnglish);
    ShowVersionTexts();
    SetEmailNote();
}
