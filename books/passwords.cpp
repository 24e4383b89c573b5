// The guarded actions: the code of the action that waits for a password,
// the password set-up dialog (500) and the password entry dialog (600),
// and what follows a right password.
#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "phonelink.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

int PendingAction;
HWND PasswordEntryDialogHandle;
HWND PasswordSetupDialogHandle;
int CleanUpMode;
GuardedStepFn GuardedStepHook;

namespace {

enum {
    kPasswordLimit = 20,             // characters a password edit takes
    kPasswordEditSubclassId = 600,
    kShortPauseMs = 1000,            // an empty box
    kLongPauseMs = 3000,             // a wrong or mismatched password, the reminder
};

// Codes 2 and 6 guard the remark book; every other code the diary.
bool GuardsRemark(int code) { return code == kActionChangeRemarkPassword || code == kActionRemark; }

// The password that dialog 600 compares for code. The remark book takes
// the diary's password until it has one of its own, as at start-up.
const WCHAR *StoredPasswordFor(int code) {
    if (!GuardsRemark(code)) return DiaryPassword;
    return RemarkPassword[0] != 0 ? RemarkPassword : DiaryPassword;
}

HWND OwnerOf(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    return owner != NULL ? owner : MainWindow;
}

// Shows text in a dialog's message line, painted at once, and leaves it there.
void ShowMessageLine(HWND dialog, int id, const WCHAR *text) {
    HWND line = GetDlgItem(dialog, id);
    SetWindowTextW(line, text);
    ShowWindow(line, SW_SHOW);
    UpdateWindow(line);
}

// Shows text in a dialog's message line for ms milliseconds, then hides it.
void FlashMessage(HWND dialog, int id, const WCHAR *text, DWORD ms) {
    ShowMessageLine(dialog, id, text);
    JobPause(ms);
    ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

void EnableCloseCommand(HWND dialog, bool enable) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    if (menu != NULL) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
}

void Hide(HWND dialog, int id) { ShowWindow(GetDlgItem(dialog, id), SW_HIDE); }

void SetUpDialogLook(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_KORVANE)));
    CenterWindowOnScreen(dialog);
}

// ---- The password edits' key filter ------------------------------------------------

// Lets through the digits, the letters of the ASCII alphabet and Backspace;
// Enter clicks okId; every other character is dropped.
LRESULT FilterPasswordKey(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, int okId, SUBCLASSPROC self) {
    switch (msg) {
    case WM_CHAR:
        if (wParam == '\r') {
            SendMessageW(GetDlgItem(GetParent(edit), okId), BM_CLICK, 0, 0);
            return 0;
        }
        if ((wParam >= '0' && wParam <= '9') || (wParam >= 'A' && wParam <= 'Z') || (wParam >= 'a' && wParam <= 'z') ||
            wParam == VK_BACK)
            break;
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, self, kPasswordEditSubclassId);
        break;
    }
    return DefSubclassProc(edit, msg, wParam, lParam);
}

LRESULT CALLBACK PasswordEntryEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return FilterPasswordKey(edit, msg, wParam, lParam, IDC_PWENTRY_OK, PasswordEntryEditProc);
}

LRESULT CALLBACK PasswordSetupFirstEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR) {
    return FilterPasswordKey(edit, msg, wParam, lParam, IDC_PWSET_OK, PasswordSetupFirstEditProc);
}

LRESULT CALLBACK PasswordSetupSecondEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR) {
    return FilterPasswordKey(edit, msg, wParam, lParam, IDC_PWSET_OK, PasswordSetupSecondEditProc);
}

void PreparePasswordEdit(HWND dialog, int id, SUBCLASSPROC proc) {
    HWND edit = GetDlgItem(dialog, id);
    SetWindowSubclass(edit, proc, kPasswordEditSubclassId, 0);
    SendMessageW(edit, EM_LIMITTEXT, kPasswordLimit, 0);
}

// ---- Set-up dialog (500) ------------------------------------------------------------

INT_PTR PasswordSetup_OnInit(HWND dialog) {
    PasswordSetupDialogHandle = dialog;
    Hide(dialog, IDC_PWSET_MSGBOX);
    SetUpDialogLook(dialog);
    bool remark = GuardsRemark(PendingAction);
    SetWindowTextW(dialog, remark ? L"Remark Password" : L"Diary Password");
    if (remark) {
        SetDlgItemTextW(dialog, IDC_PWSET_PROMPT1,
                        Pick(L"Please enter your remark password:", L"Sila masukkan password remark anda:"));
        SetDlgItemTextW(dialog, IDC_PWSET_PROMPT2,
                        Pick(L"Please enter your remark password again:",
                             L"Sila masukkan password remark anda sekali lagi:"));
    } else {
        SetDlgItemTextW(dialog, IDC_PWSET_PROMPT1,
                        Pick(L"Please enter your diary password:", L"Sila masukkan password diary anda:"));
        SetDlgItemTextW(dialog, IDC_PWSET_PROMPT2,
                        Pick(L"Please enter your diary password again:",
                             L"Sila masukkan password diary anda sekali lagi:"));
    }
    PreparePasswordEdit(dialog, IDC_PWSET_FIRST, PasswordSetupFirstEditProc);
    PreparePasswordEdit(dialog, IDC_PWSET_SECOND, PasswordSetupSecondEditProc);
    SetFocus(GetDlgItem(dialog, IDC_PWSET_FIRST));
    return FALSE;  // the focus is set
}

// Writes the new password into the books that PendingAction names and
// into memory, each book's copy only once its book holds it. Returns false
// when a write failed (shown).
bool StoreNewPassword(HWND dialog, const WCHAR *password) {
    if (PendingAction != kActionChangeRemarkPassword) {
        if (!StoreBookPassword(&DiaryDb, password, dialog)) return false;
        StringCchCopyW(DiaryPassword, ARRAYSIZE(DiaryPassword), password);
    }
    if (!StoreBookPassword(&RemarkDb, password, dialog)) return false;
    StringCchCopyW(RemarkPassword, ARRAYSIZE(RemarkPassword), password);
    return true;
}

void PasswordSetup_OnOk(HWND dialog) {
    WCHAR first[kTextChars], second[kTextChars];
    GetDlgItemTextW(dialog, IDC_PWSET_FIRST, first, ARRAYSIZE(first));
    GetDlgItemTextW(dialog, IDC_PWSET_SECOND, second, ARRAYSIZE(second));
    if (first[0] == 0) {
        MessageBeep(MB_ICONEXCLAMATION);
        FlashMessage(dialog, IDC_PWSET_MSGBOX,
                     Pick(L"\r\nPlease key in a password in the first box.",
                          L"\r\nSila masukkan password dalam kotak pertama."),
                     kShortPauseMs);
        SetFocus(GetDlgItem(dialog, IDC_PWSET_FIRST));
        return;
    }
    if (second[0] == 0) {
        MessageBeep(MB_ICONEXCLAMATION);
        FlashMessage(dialog, IDC_PWSET_MSGBOX,
                     Pick(L"\r\nPlease key in a password in the second box.",
                          L"\r\nSila masukkan password dalam kotak kedua."),
                     kShortPauseMs);
        SetFocus(GetDlgItem(dialog, IDC_PWSET_SECOND));
        return;
    }
    if (_wcsicmp(first, second) != 0) {
        FlashMessage(dialog, IDC_PWSET_MSGBOX,
                     Pick(L"\r\nThe password entered are both not the same, please try again.",
                          L"\r\nPassword yang dimasukkan adalah tidak sama, sila masukkan sekali lagi."),
                     kLongPauseMs);
        SetDlgItemTextW(dialog, IDC_PWSET_FIRST, L"");
        SetDlgItemTextW(dialog, IDC_PWSET_SECOND, L"");
        SetFocus(GetDlgItem(dialog, IDC_PWSET_FIRST));
        return;
    }
    FlashMessage(dialog, IDC_PWSET_MSGBOX,
                 Pick(L"\r\nPlease don't forget your password.", L"\r\nJangan lupa password anda."), kLongPauseMs);
    HWND owner = OwnerOf(dialog);
    bool stored = StoreNewPassword(dialog, first);
    EndDialog(dialog, IDC_PWSET_OK);
    if (!stored) return;  // shown; no window opens behind a password that is not in its book
    bool remark = PendingAction == kActionChangeRemarkPassword || PendingAction == kActionRemark;
    RunGuardedStep(remark ? kStepRemarkWindow : kStepDiaryWindow, 0, owner);
}

// ---- Entry dialog (600) -------------------------------------------------------------

INT_PTR PasswordEntry_OnInit(HWND dialog) {
    PasswordEntryDialogHandle = dialog;
    Hide(dialog, IDC_PWENTRY_MSGBOX);
    if (PendingAction == kActionCleanUp) {
        CheckRadioButton(dialog, IDC_PWENTRY_KEEP_LATEST, IDC_PWENTRY_KEEP_TIME, IDC_PWENTRY_KEEP_LATEST);
    } else {
        for (int id : {IDC_PWENTRY_KEEP_LATEST, IDC_PWENTRY_KEEP_LOCATION, IDC_PWENTRY_KEEP_TIME,
                       IDC_PWENTRY_CLEANUP_GROUP})
            Hide(dialog, id);
    }
    SetUpDialogLook(dialog);
    bool remark = GuardsRemark(PendingAction);
    SetWindowTextW(dialog, remark ? L"Remark Password" : L"Diary Password");
    SetDlgItemTextW(dialog, IDC_PWENTRY_PROMPT,
                    remark ? Pick(L"Please enter your remark password:", L"Sila masukkan password remark anda:")
                           : Pick(L"Please enter your diary password:", L"Sila masukkan password diary anda:"));
    SetDlgItemTextW(dialog, IDC_PWENTRY_KEEP_LATEST,
                    Pick(L"Keep PlateNo with latest location only", L"Simpan PlateNo dengan lokasi terkini saja"));
    SetDlgItemTextW(dialog, IDC_PWENTRY_KEEP_LOCATION,
                    Pick(L"Keep PlateNo with different location", L"Simpan PlateNo dengan lokasi berlainan"));
    SetDlgItemTextW(dialog, IDC_PWENTRY_KEEP_TIME,
                    Pick(L"Keep PlateNo with different location and time",
                         L"Simpan PlateNo dengan lokasi dan masa berlainan"));
    SetDlgItemTextW(dialog, IDC_PWENTRY_CLEANUP_GROUP, Pick(L"CleanUp Choice", L"Cara Cuci"));
    PreparePasswordEdit(dialog, IDC_PWENTRY_PASSWORD, PasswordEntryEditProc);
    SetFocus(GetDlgItem(dialog, IDC_PWENTRY_PASSWORD));
    return FALSE;  // the focus is set
}

// Once a job is to run inside the entry dialog, nothing of it takes input
// again: a second Enter or click while the job pumps messages starts no
// second job. The job hides OK and Cancel for good.
void CloseEntryForJob(HWND dialog) {
    for (int id : {IDC_PWENTRY_OK, IDC_PWENTRY_CANCEL, IDC_PWENTRY_PASSWORD})
        EnableWindow(GetDlgItem(dialog, id), FALSE);
}

// Update Diary inside the entry dialog: the handphone link stops first,
// for the diary is rewritten under it.
void RunUpdateDiary(HWND dialog) {
    CloseEntryForJob(dialog);
    ShowMessageLine(dialog, IDC_PWENTRY_MSGBOX,
                    Pick(L"\r\nPlease wait. Updating the diary now.",
                         L"\r\nSila tunggu. Kemaskini diary sedang dijalankan."));
    EnableCloseCommand(dialog, false);
    Hide(dialog, IDC_PWENTRY_PROMPT);
    Hide(dialog, IDC_PWENTRY_PASSWORD);
    if (HandphoneLinkOn.load() == 1) {
        StopHandphoneLink();
        InvalidateRect(MainControl(IDC_GPS), NULL, TRUE);
        InvalidateRect(MainControl(IDC_LOCATION), NULL, TRUE);
    }
    RunGuardedStep(kStepUpdateDiary, 0, OwnerOf(dialog));
    EnableCloseCommand(dialog, true);
    RepostTakenQuit();  // a quit that came while the job pumped messages
}

void RunCleanUp(HWND dialog) {
    CloseEntryForJob(dialog);
    for (int id : {IDC_PWENTRY_KEEP_LATEST, IDC_PWENTRY_KEEP_LOCATION, IDC_PWENTRY_KEEP_TIME}) {
        Hide(dialog, id);
        EnableWindow(GetDlgItem(dialog, id), FALSE);
    }
    Hide(dialog, IDC_PWENTRY_CLEANUP_GROUP);
    UpdateWindow(dialog);
    PumpPendingMessages();
    ShowMessageLine(dialog, IDC_PWENTRY_MSGBOX,
                    Pick(L"\r\nPlease wait. Cleaning up the diary now.",
                         L"\r\nSila tunggu. Cuci diary sedang dijalankan."));
    EnableCloseCommand(dialog, false);
    Hide(dialog, IDC_PWENTRY_PROMPT);
    Hide(dialog, IDC_PWENTRY_PASSWORD);
    if (IsDlgButtonChecked(dialog, IDC_PWENTRY_KEEP_LATEST) == BST_CHECKED)
        CleanUpMode = 0;
    else if (IsDlgButtonChecked(dialog, IDC_PWENTRY_KEEP_LOCATION) == BST_CHECKED)
        CleanUpMode = 1;
    else
        CleanUpMode = 2;
    RunGuardedStep(kStepCleanUp, CleanUpMode, OwnerOf(dialog));
    EnableCloseCommand(dialog, true);
    RepostTakenQuit();
}

void PasswordEntry_OnOk(HWND dialog) {
    // A command that came while a job pumps messages (a posted Enter, a
    // click queued before OK was disabled) starts nothing.
    if (BookJobBusy || !IsWindowEnabled(GetDlgItem(dialog, IDC_PWENTRY_OK))) return;
    WCHAR typed[kTextChars];
    GetDlgItemTextW(dialog, IDC_PWENTRY_PASSWORD, typed, ARRAYSIZE(typed));
    if (typed[0] == 0) {
        MessageBeep(MB_ICONEXCLAMATION);
        FlashMessage(dialog, IDC_PWENTRY_MSGBOX,
                     Pick(L"\r\nPlease key in a password.", L"\r\nSila masukkan password."), kShortPauseMs);
        SetFocus(GetDlgItem(dialog, IDC_PWENTRY_PASSWORD));
        return;
    }
    if (_wcsicmp(typed, StoredPasswordFor(PendingAction)) != 0) {
        FlashMessage(dialog, IDC_PWENTRY_MSGBOX,
                     Pick(L"\r\nThe password entered is not correct.",
                          L"\r\nPassword yang dimasukkan adalah tidak betul."),
                     kLongPauseMs);
        EndDialog(dialog, IDC_PWENTRY_OK);
        return;
    }
    HWND owner = OwnerOf(dialog);
    switch (PendingAction) {
    case kActionUpdateDiary:
        RunUpdateDiary(dialog);
        return;
    case kActionCleanUp:
        RunCleanUp(dialog);
        return;
    case kActionChangeDiaryPassword:
    case kActionChangeRemarkPassword:
        EndDialog(dialog, IDC_PWENTRY_OK);
        DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PASSWORD_SETUP), owner,
                        PasswordSetupDialogProc, 0);
        return;
    case kActionRemark:
        EndDialog(dialog, IDC_PWENTRY_OK);
        RunGuardedStep(kStepRemarkWindow, 0, owner);
        return;
    default:
        EndDialog(dialog, IDC_PWENTRY_OK);
        RunGuardedStep(kStepDiaryWindow, 0, owner);
        return;
    }
}

}  // namespace

INT_PTR CALLBACK PasswordSetupDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return PasswordSetup_OnInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PWSET_OK) {
            PasswordSetup_OnOk(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_PWSET_CANCEL || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDC_PWSET_CANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        if (PasswordSetupDialogHandle == dialog) PasswordSetupDialogHandle = NULL;
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK PasswordEntryDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return PasswordEntry_OnInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PWENTRY_OK) {
            PasswordEntry_OnOk(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_PWENTRY_CANCEL || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDC_PWENTRY_CANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        if (PasswordEntryDialogHandle == dialog) PasswordEntryDialogHandle = NULL;
        return FALSE;
    }
    return FALSE;
}

void OpenPasswordDialog(HWND owner, bool setUp) {
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(setUp ? IDD_PASSWORD_SETUP : IDD_PASSWORD_ENTRY), owner,
                    setUp ? PasswordSetupDialogProc : PasswordEntryDialogProc, 0);
}

void RunGuardedStep(int step, int arg, HWND owner) {
    if (GuardedStepHook != NULL) {
        GuardedStepHook(step, arg, owner);
        return;
    }
    switch (step) {
    case kStepDiaryWindow:
        ShowDiaryWindow(owner);
        break;
    case kStepRemarkWindow:
        ShowRemarkWindow(owner);
        break;
    case kStepUpdateDiary:
        UpdateDiaryFromData();
        break;
    case kStepCleanUp:
        CleanUpDiaryDuplicates(arg);
        break;
    case kStepImportDiary:
        ShowImportDiaryDialog(owner);
        break;
    case kStepImportRemark:
        ShowImportRemarkDialog(owner);
        break;
    case kStepDeleteOldDiary:
        ShowDeleteOldDiaryDialog(owner);
        break;
    }
}

bool StoreBookPassword(sqlite3 **db, const WCHAR *password, HWND window) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, password, field);
    WCHAR update[kStatementChars], insert[kStatementChars];
    if (!FormatJobStatement(update, ARRAYSIZE(update), L"update PRS set C2 = '%hs' where C1 = 'D'", field) ||
        !FormatJobStatement(insert, ARRAYSIZE(insert), L"INSERT INTO PRS VALUES('D','%hs')", field))
        return false;
    BookJob job(db, window);
    if (!job.Begin() || !job.Run(update)) return false;
    if (sqlite3_changes(*db) == 0 && !job.Run(insert)) return false;
    return job.Commit();
}
