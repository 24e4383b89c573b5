// The dialogs that follow the main window's file choice: Use BackUp Diary
// and Import Diary (800), Import Remark (901). Each asks for the own diary
// password and the chosen book's, then runs its job and shows how it ended.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include <initializer_list>

#include "bookjob.h"
#include "books.h"
#include "datastore.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

HWND ImportDiaryDialogHandle;
HWND ImportRemarkDialogHandle;

namespace {

enum { kPasswordChars = 20 };

const UINT_PTR kNoQuoteSubclassId = 7;

// The owner name takes neither '|' nor the apostrophe.
LRESULT CALLBACK NoQuoteEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(edit, NoQuoteEditProc, kNoQuoteSubclassId);
    if (msg == WM_CHAR && (wParam == '|' || wParam == '\'')) return 0;
    return DefSubclassProc(edit, msg, wParam, lParam);
}

// Beep, the message box "Error", then the focus to field, its text
// selected when select is set.
void Refuse(HWND dialog, int field, bool select, const WCHAR *english, const WCHAR *malay) {
    MessageBeep(MB_ICONEXCLAMATION);
    ShowMessageBox(dialog, Pick(english, malay), L"Error", MB_OK | MB_ICONERROR);
    HWND control = GetDlgItem(dialog, field);
    SetFocus(control);
    if (select) SendMessageW(control, EM_SETSEL, 0, -1);
}

void ItemText(HWND dialog, int id, WCHAR *text, int chars) {
    text[0] = 0;
    GetDlgItemTextW(dialog, id, text, chars);
}

void SetCloseCommand(HWND dialog, bool enabled) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    if (menu != NULL)
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

void ShowWaitText(HWND dialog, int id, const WCHAR *english, const WCHAR *malay) {
    HWND box = GetDlgItem(dialog, id);
    SetWindowTextW(box, Pick(english, malay));
    ShowWindow(box, SW_SHOW);
    UpdateWindow(box);
}

void SetSmallIcon(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
}

// RemarkToScreen is 0 for the life of the guard, so that the remark lookups
// of Import Remark do not fill the main window; 1 again afterwards.
class RemarkOffScreen {
  public:
    RemarkOffScreen() { RemarkToScreen = 0; }
    ~RemarkOffScreen() { RemarkToScreen = 1; }
    RemarkOffScreen(const RemarkOffScreen &) = delete;
    RemarkOffScreen &operator=(const RemarkOffScreen &) = delete;
};

// ---- Dialog 800: Import Diary (5) and Use BackUp Diary (4) ------------------------

bool IsRestore() { return PendingAction == kActionUseBackUpDiary; }

BOOL ImportDiary_OnInit(HWND dialog) {
    ImportDiaryDialogHandle = dialog;
    ShowWindow(GetDlgItem(dialog, IDC_ID_MSGBOX), SW_HIDE);
    SetSmallIcon(dialog);
    CenterWindowOnScreen(dialog);
    SetDlgItemTextW(dialog, IDC_ID_OWN_LABEL, Pick(L"Your Diary Password:", L"Password Diary anda:"));
    if (IsRestore()) {
        const WCHAR *title = Pick(L"Use BackUp Diary", L"Guna Diary BackUp");
        SetWindowTextW(dialog, title);
        SetDlgItemTextW(dialog, IDC_ID_START, title);
        SetDlgItemTextW(dialog, IDC_ID_FILE_LABEL, Pick(L"BackUp Diary Password:", L"Password Diary BackUp:"));
        ShowWindow(GetDlgItem(dialog, IDC_ID_OWNER_LABEL), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, IDC_ID_OWNER), SW_HIDE);
    } else {
        SetDlgItemTextW(dialog, IDC_ID_FILE_LABEL, Pick(L"Import Diary Password:", L"Password Diary yang diimport:"));
        SetDlgItemTextW(dialog, IDC_ID_OWNER_LABEL,
                        Pick(L"'Diary Owner' name:", L"Nama 'Diary Owner' yang diimport:"));
    }
    SetWindowSubclass(GetDlgItem(dialog, IDC_ID_OWNER), NoQuoteEditProc, kNoQuoteSubclassId, 0);
    for (int id : {IDC_ID_OWN_PASSWORD, IDC_ID_FILE_PASSWORD, IDC_ID_OWNER})
        SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kPasswordChars, 0);
    SetFocus(GetDlgItem(dialog, IDC_ID_OWN_PASSWORD));
    return FALSE;  // the focus is set
}

// The checks of the start button, in order; false when one refused.
bool ImportDiary_Check(HWND dialog) {
    WCHAR own[kTextChars], file[kTextChars], owner[kTextChars];
    ItemText(dialog, IDC_ID_OWN_PASSWORD, own, ARRAYSIZE(own));
    ItemText(dialog, IDC_ID_FILE_PASSWORD, file, ARRAYSIZE(file));
    ItemText(dialog, IDC_ID_OWNER, owner, ARRAYSIZE(owner));
    if (own[0] == 0) {
        Refuse(dialog, IDC_ID_OWN_PASSWORD, false, L"Please key in your Diary Password.",
               L"Sila masukkan Password Diary anda.");
        return false;
    }
    if (file[0] == 0) {
        if (IsRestore())
            Refuse(dialog, IDC_ID_FILE_PASSWORD, false, L"Please key in the BackUp Diary Password.",
                   L"Sila masukkan Password Diary BackUp anda.");
        else
            Refuse(dialog, IDC_ID_FILE_PASSWORD, false, L"Please key in the Import Diary Password.",
                   L"Sila masukkan Password Diary yang diimport.");
        return false;
    }
    if (!IsRestore()) {
        StringCchCopyW(ImportOwnerName, ARRAYSIZE(ImportOwnerName), owner);
        if (owner[0] == 0) {
            Refuse(dialog, IDC_ID_OWNER, false,
                   L"Please key in the 'Diary Owner' name, otherwise you wouldn't able to distinguish the data in "
                   L"your diary.",
                   L"Sila masukkan nama 'Diary Owner', jika tidak anda tidak akan dapat membezakan dengan data "
                   L"diary anda.");
            return false;
        }
    }
    if (_wcsicmp(own, DiaryPassword) != 0) {
        Refuse(dialog, IDC_ID_OWN_PASSWORD, true, L"Your Diary Password is not correct.",
               L"Password Diary anda tidak betul.");
        return false;
    }
    if (_wcsicmp(file, ImportFilePassword) != 0) {
        if (IsRestore())
            Refuse(dialog, IDC_ID_FILE_PASSWORD, true, L"The BackUp Diary Password is not correct.",
                   L"Password Diary BackUp yang anda ingin gunakan adalah tidak betul.");
        else
            Refuse(dialog, IDC_ID_FILE_PASSWORD, true, L"The Import Diary Password is not correct.",
                   L"Password Diary yang anda ingin import adalah tidak betul.");
        return false;
    }
    return true;
}

void HideDiaryInputs(HWND dialog) {
    for (int id : {IDC_ID_OWN_LABEL, IDC_ID_OWN_PASSWORD, IDC_ID_FILE_LABEL, IDC_ID_FILE_PASSWORD,
                   IDC_ID_OWNER_LABEL, IDC_ID_OWNER, IDC_ID_START})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    EnableWindow(GetDlgItem(dialog, IDC_ID_START), FALSE);
}

// Use BackUp Diary once the passwords are right: asked first, nothing
// closed or changed before "Yes".
void RunRestore(HWND dialog) {
    int answer = ShowMessageBox(
        dialog,
        Pick(L"If you are sure that you want to use the BackUp Diary then press the 'Yes' button, otherwise "
             L"press the 'No' button.",
             L"Jika anda pasti yang anda ingin menggunakan balik Diary BackUp anda maka tekan button 'Yes', jika "
             L"tidak tekan button 'No'."),
        Pick(L"Use BackUp Diary", L"Guna Diary BackUp"), MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    if (answer != IDYES) {
        EndDialog(dialog, 0);
        return;
    }
    WCHAR chosen[kPathChars];
    StringCchCopyW(chosen, ARRAYSIZE(chosen), DiaryBackupPath);
    HideDiaryInputs(dialog);
    ShowWaitText(dialog, IDC_ID_MSGBOX, L"\r\nPlease wait. Copying the BackUp Diary now.",
                 L"\r\nSila tunggu. Sedang copy BackUp Diary.");
    SetCloseCommand(dialog, false);
    if (RestoreBackUpDiary(chosen)) {
        SetDlgItemTextW(dialog, IDC_ID_MSGBOX,
                        Pick(L"\r\nWork done. You are now using the BackUp Diary.",
                             L"\r\nKerja sudah selesai. Anda sekarang sedang menggunakan Diary BackUp"));
        SetWindowTextW(dialog, Pick(L"Use BackUp Diary - Finished", L"Guna Diary BackUp - Selesai"));
    } else {
        SetDlgItemTextW(dialog, IDC_ID_MSGBOX,
                        Pick(L"\r\nThe BackUp Diary was not used.\r\nYour diary is as it was.",
                             L"\r\nDiary BackUp tidak digunakan.\r\nDiary anda kekal seperti asal."));
    }
    SetCloseCommand(dialog, true);
}

void ImportDiary_OnStart(HWND dialog) {
    if (!ImportDiary_Check(dialog)) return;
    if (IsRestore()) {
        RunRestore(dialog);
        return;
    }
    HideDiaryInputs(dialog);
    ShowWaitText(dialog, IDC_ID_MSGBOX, L"\r\nPlease wait. Importing the diary now.",
                 L"\r\nSila tunggu. Import diary sedang dijalankan.");
    SetCloseCommand(dialog, false);
    ImportDiary();
    SetCloseCommand(dialog, true);
}

INT_PTR CALLBACK ImportDiaryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return ImportDiary_OnInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ID_START && HIWORD(wParam) == BN_CLICKED) ImportDiary_OnStart(dialog);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        CloseImportBook();
        ImportDiaryDialogHandle = NULL;
        return FALSE;
    }
    return FALSE;
}

// ---- Dialog 901: Import Remark ----------------------------------------------------

BOOL ImportRemark_OnInit(HWND dialog) {
    ImportRemarkDialogHandle = dialog;
    ShowWindow(GetDlgItem(dialog, IDC_IR_MSGBOX), SW_HIDE);
    SetSmallIcon(dialog);
    CenterWindowOnScreen(dialog);
    SetDlgItemTextW(dialog, IDC_IR_OWN_LABEL, Pick(L"Your Diary Password:", L"Password Diary anda:"));
    SetDlgItemTextW(dialog, IDC_IR_FILE_LABEL, Pick(L"Import Remark Password:", L"Password Remark yang diimport:"));
    SetDlgItemTextW(dialog, IDC_IR_QUESTION,
                    Pick(L"If the Remark data which is being imported has the same PlateNo which existed in your "
                         L"Remark, then use Remark belonging to:",
                         L"Jika data Remark yang diimport juga mempunyai PlateNo yang sudah wujud dalam Remark "
                         L"anda, maka gunakan Remark kepunyaan:"));
    SetDlgItemTextW(dialog, IDC_IR_KEEP_OWN, Pick(L"You", L"Anda"));
    SetDlgItemTextW(dialog, IDC_IR_TAKE_IMPORTED, Pick(L"Imported one", L"Yang diimport"));
    CheckRadioButton(dialog, IDC_IR_KEEP_OWN, IDC_IR_TAKE_IMPORTED, IDC_IR_KEEP_OWN);
    for (int id : {IDC_IR_OWN_PASSWORD, IDC_IR_FILE_PASSWORD})
        SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kPasswordChars, 0);
    SetFocus(GetDlgItem(dialog, IDC_IR_OWN_PASSWORD));
    return FALSE;
}

bool ImportRemark_Check(HWND dialog) {
    WCHAR own[kTextChars], file[kTextChars];
    ItemText(dialog, IDC_IR_OWN_PASSWORD, own, ARRAYSIZE(own));
    ItemText(dialog, IDC_IR_FILE_PASSWORD, file, ARRAYSIZE(file));
    if (own[0] == 0) {
        Refuse(dialog, IDC_IR_OWN_PASSWORD, false, L"Please key in your Diary Password.",
               L"Sila masukkan Password Diary anda.");
        return false;
    }
    if (file[0] == 0) {
        Refuse(dialog, IDC_IR_FILE_PASSWORD, false, L"Please key in the Import Remark Password.",
               L"Sila masukkan Password Remark yang diimport.");
        return false;
    }
    if (_wcsicmp(own, DiaryPassword) != 0) {
        Refuse(dialog, IDC_IR_OWN_PASSWORD, true, L"Your Diary Password is not correct.",
               L"Password Diary anda tidak betul.");
        return false;
    }
    if (_wcsicmp(file, ImportFilePassword) != 0) {
        Refuse(dialog, IDC_IR_FILE_PASSWORD, true, L"The Import Remark Password is not correct.",
               L"Password Remark yang anda ingin import adalah tidak betul.");
        return false;
    }
    return true;
}

void ImportRemark_OnStart(HWND dialog) {
    if (!ImportRemark_Check(dialog)) return;
    KeepOwnRemark = SendDlgItemMessageW(dialog, IDC_IR_KEEP_OWN, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    for (int id : {IDC_IR_OWN_LABEL, IDC_IR_OWN_PASSWORD, IDC_IR_FILE_LABEL, IDC_IR_FILE_PASSWORD, IDC_IR_QUESTION,
                   IDC_IR_START, IDC_IR_KEEP_OWN, IDC_IR_TAKE_IMPORTED, IDC_IR_GROUP})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    EnableWindow(GetDlgItem(dialog, IDC_IR_START), FALSE);
    ShowWaitText(dialog, IDC_IR_MSGBOX, L"\r\nPlease wait. Importing the Remark now.",
                 L"\r\nSila tunggu. Import Remark sedang dijalankan.");
    SetCloseCommand(dialog, false);
    {
        RemarkOffScreen offScreen;
        ImportRemark();
    }
    SetCloseCommand(dialog, true);
}

INT_PTR CALLBACK ImportRemarkDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return ImportRemark_OnInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_IR_START && HIWORD(wParam) == BN_CLICKED) ImportRemark_OnStart(dialog);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        CloseImportBook();
        ImportRemarkDialogHandle = NULL;
        return FALSE;
    }
    return FALSE;
}

}  // namespace

void ShowImportDiaryDialog(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_IMPORT_DIARY), owner, ImportDiaryDialogProc, 0);
    CloseImportBook();
}

void ShowImportRemarkDialog(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_IMPORT_REMARK), owner, ImportRemarkDialogProc, 0);
    CloseImportBook();
    RemarkToScreen = 1;
}
