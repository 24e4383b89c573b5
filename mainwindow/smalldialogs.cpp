// Two small modal dialogs: Email Setting, where the agent gives the address
// for update notices, and Vehicle Details, which shows one diary row in
// large type.
#include <windows.h>

#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "datastore.h"
#include "mainwindow.h"
#include "resource.h"
#include "textutil.h"

WCHAR VehicleDetailTexts[kVehicleDetailCount][kVehicleDetailChars];

namespace {

enum {
    kLargeFontHeight = 25,
    kSmallFontHeight = 18,
    kEmailReadChars = 1500,   // what Ok reads of the address field
    kStoredAnsiBytes = 255,   // the longest text a cipher field gives back whole
};

const COLORREF kLabelColour = RGB(0, 0, 255);

HFONT CreateDialogFont(int height) {
    LOGFONTW lf;
    ZeroMemory(&lf, sizeof lf);
    lf.lfHeight = height;
    lf.lfWeight = 400;
    lf.lfCharSet = OEM_CHARSET;
    StringCchCopyW(lf.lfFaceName, ARRAYSIZE(lf.lfFaceName), L"Arial");
    return CreateFontIndirectW(&lf);
}

// The fonts and the label brush of one open dialog, made at WM_INITDIALOG
// and freed after the dialog and its controls are gone (WM_NCDESTROY); the
// dialog keeps the object in DWLP_USER.
class DialogLook {
  public:
    explicit DialogLook(bool withSmallFont)
        : large_(CreateDialogFont(kLargeFontHeight)),
          small_(withSmallFont ? CreateDialogFont(kSmallFontHeight) : NULL),
          brush_(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))) {}
    ~DialogLook() {
        for (HGDIOBJ object : {(HGDIOBJ)large_, (HGDIOBJ)small_, (HGDIOBJ)brush_}) {
            if (object != NULL) DeleteObject(object);
        }
    }
    DialogLook(const DialogLook &) = delete;
    DialogLook &operator=(const DialogLook &) = delete;
    HFONT largeFont() const { return large_; }
    HFONT smallFont() const { return small_; }
    HBRUSH brush() const { return brush_; }

  private:
    HFONT large_;
    HFONT small_;
    HBRUSH brush_;
};

DialogLook *LookOf(HWND dialog) { return reinterpret_cast<DialogLook *>(GetWindowLongPtrW(dialog, DWLP_USER)); }

void AttachLook(HWND dialog, bool withSmallFont) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(new DialogLook(withSmallFont)));
}

void FreeLook(HWND dialog) {
    delete LookOf(dialog);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

void SetSmallIcon(HWND dialog) {
    HICON icon = (HICON)LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_KORVANE), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
}

void SetFont(HWND dialog, int id, HFONT font) {
    SendDlgItemMessageW(dialog, id, WM_SETFONT, (WPARAM)font, TRUE);
}

// The blue labels of both dialogs: blue on the button face, transparent.
INT_PTR ColourLabel(HWND dialog, HDC dc, HWND control, int first, int second) {
    int id = GetDlgCtrlID(control);
    DialogLook *look = LookOf(dialog);
    if ((id != first && id != second) || look == NULL) return FALSE;
    SetTextColor(dc, kLabelColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    return (INT_PTR)look->brush();
}

// Cuts text to its longest start whose ANSI form takes at most
// kStoredAnsiBytes, so that the address stored in the diary reads back
// as it is shown.
void CutToStoredLength(WCHAR *text) {
    int length = (int)wcslen(text);
    while (length > 0 && WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, NULL, NULL) > kStoredAnsiBytes) {
        length--;
        if (length > 0 && IS_LOW_SURROGATE(text[length]) && IS_HIGH_SURROGATE(text[length - 1])) length--;
    }
    text[length] = 0;
}

// ---- Email Setting ------------------------------------------------------------

INT_PTR Email_OnInit(HWND dialog) {
    SetSmallIcon(dialog);
    CenterWindowOnScreen(dialog);
    AttachLook(dialog, false);
    HFONT large = LookOf(dialog)->largeFont();
    for (int id : {IDC_EMAILSET_LABEL, IDC_EMAILSET_EXAMPLE, IDC_EMAILSET_ADDRESS}) SetFont(dialog, id, large);

    const WCHAR kExamples[] = L"\r\n   ahmad.recovery@gmail.com "
                              L"\r\n   siti_ejen88@yahoo.com "
                              L"\r\n   ejen.utara@hotmail.com";
    WCHAR text[kTextChars];
    bool english = UseEnglish == 1;
    SetDlgItemTextW(dialog, IDC_EMAILSET_LABEL, english ? L"Keyin your email:" : L"Masukkan email anda:");
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls%ls", english ? L"Email examples: " : L"Contoh email: ", kExamples);
    SetDlgItemTextW(dialog, IDC_EMAILSET_EXAMPLE, text);

    // A typed address stops where a stored one would be cut.
    SendDlgItemMessageW(dialog, IDC_EMAILSET_ADDRESS, EM_LIMITTEXT, kStoredAnsiBytes, 0);
    SetDlgItemTextW(dialog, IDC_EMAILSET_ADDRESS, EmailText);
    SetFocus(GetDlgItem(dialog, IDC_EMAILSET_ADDRESS));
    return FALSE;  // the focus is set
}

INT_PTR Email_OnOk(HWND dialog) {
    WCHAR text[kEmailReadChars];
    GetDlgItemTextW(dialog, IDC_EMAILSET_ADDRESS, text, ARRAYSIZE(text));
    // The rule holds for what the diary will keep: an '@' beyond that is
    // no address.
    CutToStoredLength(text);
    if (wcschr(text, L'@') != NULL) {
        TextCopy(EmailText, text);
        EndDialog(dialog, IDC_EMAILSET_OK);
        return TRUE;
    }
    ShowMessageBox(dialog,
                   UseEnglish == 1 ? L"The email's format is not correct. Please keyin the email again."
                                   : L"Format email adalah tidak betul. Sila masukkan lagi sekali.",
                   L"Error", MB_OK | MB_ICONHAND);
    SetFocus(GetDlgItem(dialog, IDC_EMAILSET_ADDRESS));
    return TRUE;
}

// ---- Vehicle Details ----------------------------------------------------------

struct DetailField {
    int id;
    VehicleDetail text;
    size_t limit;  // longest text shown in the large font
};

const DetailField kDetailFields[] = {
    {IDC_DETAIL_PLATE, kDetailPlate, 28},          {IDC_DETAIL_ARREARS, kDetailArrears, 12},
    {IDC_DETAIL_LASTPAY, kDetailLastPayment, 12},  {IDC_DETAIL_DESCRIPTION, kDetailDescription, 55},
    {IDC_DETAIL_FINANCIER, kDetailFinancier, 28},  {IDC_DETAIL_LOCATION, kDetailLocation, 28},
};

INT_PTR Details_OnInit(HWND dialog) {
    SetSmallIcon(dialog);
    CenterWindowOnScreen(dialog);
    AttachLook(dialog, true);
    const DialogLook *look = LookOf(dialog);

    SetDlgItemTextW(dialog, IDC_DETAIL_ARREARS_TITLE, UseEnglish == 1 ? L"Arrear Month" : L"Bulan Tunggakkan");
    SetDlgItemTextW(dialog, IDC_DETAIL_LASTPAY_TITLE, L"LastPayment");
    for (const DetailField &f : kDetailFields) {
        const WCHAR *text = VehicleDetailTexts[f.text];
        SetDlgItemTextW(dialog, f.id, text);
        size_t length = wcsnlen(text, kVehicleDetailChars);
        SetFont(dialog, f.id, length <= f.limit ? look->largeFont() : look->smallFont());
    }
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK EmailSettingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return Email_OnInit(dialog);
    case WM_CTLCOLORSTATIC:
        return ColourLabel(dialog, (HDC)wParam, (HWND)lParam, IDC_EMAILSET_LABEL, IDC_EMAILSET_EXAMPLE);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_EMAILSET_OK) return Email_OnOk(dialog);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, kEmailSettingClosed);
        return TRUE;
    case WM_NCDESTROY:
        FreeLook(dialog);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK VehicleDetailsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return Details_OnInit(dialog);
    case WM_CTLCOLORSTATIC:
        return ColourLabel(dialog, (HDC)wParam, (HWND)lParam, IDC_DETAIL_ARREARS_TITLE, IDC_DETAIL_LASTPAY_TITLE);
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_NCDESTROY:
        FreeLook(dialog);
        return FALSE;
    }
    return FALSE;
}

void OpenEmailSetting(void) {
    if (MainWindow == NULL) return;
    DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_EMAIL_SETTING), MainWindow, EmailSettingDialogProc, 0);
    SetWindowTextW(MainControl(IDC_EMAIL), EmailText);
    if (PlateEntryEdit != NULL) SetFocus(PlateEntryEdit);
}
