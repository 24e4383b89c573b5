// The main window's guarded commands: the book windows and diary jobs
// behind their password dialogs, the three file choices of the imports and
// the restore, and Get IP.
#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>
#include <iphlpapi.h>
#include <string.h>
#include <strsafe.h>
#include <wchar.h>

#include <vector>

#include "books.h"
#include "datastore.h"
#include "dbfiles.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

WCHAR ImportFilePath[kPathChars];
AdaptersInfoFn AdaptersInfoHook;

namespace {

struct Text {
    const WCHAR *english;
    const WCHAR *malay;
};

// What one file choice refuses, and its messages.
struct FileChoice {
    int action;              // PendingAction: 4, 5 or 7
    const WCHAR *ownPath;    // the agent's own book, refused by its path; NULL: none refused
    Text ownBook;
    const WCHAR *names[2];   // file names refused whatever their folder
    Text refusedNames[2];
    Text empty;
    Text cannotOpen;
    Text passwordFailed;
    bool wantsRemark;        // a remark book (version 1000 and later), else a diary
    Text wrongKind;
};

const Text kVersionFailed = {L"Can't get the 'Import Diary' version.", L"Tidak dapat membuka versi 'Import Diary'."};

const FileChoice kUseBackUpDiary = {
    kActionUseBackUpDiary,
    NULL,
    {NULL, NULL},
    {L"KORVANEINIT.DB", L"LASTREMARK.DB"},
    {{L"This is a setting file not a diary file.", L"Ini ialah file setting bukannya file diary."},
     {L"This is a LastRemark file not a diary file.", L"Ini ialah file LastRemark bukannya file diary."}},
    {L"Please choose a 'BackUp Diary' file.", L"Sila pilih file 'BackUp Diary'."},
    {L"Can't open the 'BackUp Diary'.", L"Tidak dapat membuka 'BackUp Diary'."},
    {L"Can't get the 'BackUp Diary' password.", L"Tidak dapat membuka password 'BackUp Diary'."},
    false,
    {L"Sorry, this is not a Diary file.", L"Maaf, ini bukan file Diary."},
};

const FileChoice kImportDiary = {
    kActionImportDiary,
    DiaryDbPath,
    {L"You can't import your own Diary because it will create duplicate data.",
     L"Anda tidak boleh import Diary anda sendiri kerana akan menyebabkan masaalah data duplicate."},
    {L"KORVANEINIT.DB", L"LASTREMARK.DB"},
    {{L"You can't import the Setting file, because its not a Diary file.",
      L"Anda tidak boleh import file Setting ini, kerana ianya bukan file Diary."},
     {L"You can't import the LastRemark file, because its not a Diary file.",
      L"Anda tidak boleh import file LastRemark ini, kerana ianya bukan file Diary."}},
    {L"Please choose a Diary file to import.", L"Sila pilih file Diary untuk diimport."},
    {L"Can't open the 'Import Diary'.", L"Tidak dapat membuka 'Import Diary'."},
    {L"Can't get the 'Import Diary' password.", L"Tidak dapat membuka password 'Import Diary'."},
    false,
    {L"Sorry, this is not a Diary file.", L"Maaf, ini bukan file Diary."},
};

const FileChoice kImportRemark = {
    kActionImportRemark,
    RemarkDbPath,
    {L"You can't import your own Remark because it will create duplicate data.",
     L"Anda tidak boleh import Remark anda sendiri kerana akan menyebabkan masaalah data duplicate."},
    {L"KORVANEINIT.DB", L"KORVANEDIARY.DB"},
    {{L"You can't import the Setting file, because its not a Remark file.",
      L"Anda tidak boleh import file Setting ini, kerana ianya bukan file Remark."},
     {L"You can't import the KorvaneDiary file, because its not a Remark file.",
      L"Anda tidak boleh import file KorvaneDiary ini, kerana ianya bukan file Remark."}},
    {L"Please choose a Diary file to import.", L"Sila pilih file Diary untuk diimport."},
    {L"Can't open the 'Import Diary'.", L"Tidak dapat membuka 'Import Diary'."},
    {L"Can't get the 'Import Diary' password.", L"Tidak dapat membuka password 'Import Diary'."},
    true,
    {L"Sorry, this is not a Remark file.", L"Maaf, ini bukan file Remark."},
};

enum { kRemarkVersionFloor = 1000 };  // remark books count their schema versions from here

void ShowRefusal(HWND window, const Text &text) {
    ShowMessageBox(window, Pick(text.english, text.malay), ErrorCaption(), MB_OK);
}

void CloseImportDb() {
    CloseBookConnection(&ImportDb);
}

// The name part of a path: what follows its last '\' or '/'.
const WCHAR *FileNameOf(const WCHAR *path) {
    const WCHAR *name = path;
    for (const WCHAR *p = path; *p != 0; p++) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

// True when both paths name the same file as the system resolves them.
bool SamePath(const WCHAR *a, const WCHAR *b) {
    WCHAR fullA[kPathChars * 2], fullB[kPathChars * 2];
    DWORD na = GetFullPathNameW(a, ARRAYSIZE(fullA), fullA, NULL);
    DWORD nb = GetFullPathNameW(b, ARRAYSIZE(fullB), fullB, NULL);
    if (na == 0 || na >= ARRAYSIZE(fullA) || nb == 0 || nb >= ARRAYSIZE(fullB)) return _wcsicmp(a, b) == 0;
    return _wcsicmp(fullA, fullB) == 0;
}

// Checks the chosen path against what choice refuses before anything opens
// it. Returns false when it was refused (shown).
bool PassesNameChecks(HWND window, const FileChoice &choice, const WCHAR *path) {
    if (choice.ownPath != NULL && path[0] != 0 && SamePath(path, choice.ownPath)) {
        ShowRefusal(window, choice.ownBook);
        return false;
    }
    const WCHAR *name = FileNameOf(path);
    for (int i = 0; i < 2; i++) {
        if (_wcsicmp(name, choice.names[i]) == 0) {
            ShowRefusal(window, choice.refusedNames[i]);
            return false;
        }
    }
    if (path[0] == 0) {
        ShowRefusal(window, choice.empty);
        return false;
    }
    return true;
}

enum ChoiceEnd { kChoiceRefused, kChoiceRefusedKeepFocus, kChoiceTaken };

// Opens the chosen book as ImportDb (never creating it), reads its schema
// version and its password into RemarkSchemaVersion and ImportFilePassword,
// both emptied first, and checks that it is the kind of book choice wants.
// On a refusal ImportDb is closed again.
ChoiceEnd ReadChosenBook(HWND window, const FileChoice &choice, const WCHAR *path) {
    ImportFilePassword[0] = 0;
    RemarkSchemaVersion = 0;
    if (OpenBookConnection(&ImportDb, path) != SQLITE_OK) {
        ShowRefusal(window, choice.cannotOpen);
        return kChoiceRefused;
    }
    if (SelectSql(ImportDb, L"SELECT C2 FROM PRS WHERE C1 ='DSV'", kModeRemarkVersion) != SQLITE_OK) {
        CloseImportDb();
        ShowRefusal(window, kVersionFailed);
        return kChoiceRefusedKeepFocus;
    }
    if ((RemarkSchemaVersion >= kRemarkVersionFloor) != choice.wantsRemark) {
        CloseImportDb();
        ShowRefusal(window, choice.wrongKind);
        return kChoiceRefusedKeepFocus;
    }
    int rc = SelectSql(ImportDb, L"SELECT C2 FROM PRS WHERE C1 ='D'", kModeImportPassword);
    // The restore reads the file again from its path; only the imports keep
    // the connection for their jobs.
    if (rc != SQLITE_OK || choice.action == kActionUseBackUpDiary) CloseImportDb();
    if (rc != SQLITE_OK) {
        ImportFilePassword[0] = 0;
        ShowRefusal(window, choice.passwordFailed);
        return kChoiceRefused;
    }
    return kChoiceTaken;
}

// Use BackUp Diary, Import Diary and Import Remark: the file choice, then
// the dialog that asks for the chosen book's password.
void ChooseBookFile(HWND window, const FileChoice &choice) {
    PendingAction = choice.action;
    CloseImportDb();  // a connection an earlier import dialog left open
    WCHAR path[kPathChars] = {0};
    WCHAR title[kPathChars] = {0};
    if (!ChooseDiaryFile(window, path, ARRAYSIZE(path), title, ARRAYSIZE(title))) {
        SetFocus(PlateEntryEdit);
        return;
    }
    if (!PassesNameChecks(window, choice, path)) {
        SetFocus(PlateEntryEdit);
        return;
    }
    ChoiceEnd end = ReadChosenBook(window, choice, path);
    if (end == kChoiceRefusedKeepFocus) return;
    if (end == kChoiceTaken) {
        if (choice.action == kActionUseBackUpDiary) {
            StringCchCopyW(DiaryBackupPath, ARRAYSIZE(DiaryBackupPath), path);
            RunGuardedStep(kStepImportDiary, 0, window);
        } else {
            StringCchCopyW(ImportFilePath, ARRAYSIZE(ImportFilePath), path);
            RunGuardedStep(choice.action == kActionImportRemark ? kStepImportRemark : kStepImportDiary, 0, window);
        }
        CloseImportDb();  // the dialog is over; a job that ran has closed it already
    }
    SetFocus(PlateEntryEdit);
}

// ---- Password-guarded commands ----------------------------------------------------

bool IsEmpty(const WCHAR *password) { return password[0] == 0; }

void Guard(HWND window, int action, const WCHAR *password) {
    PendingAction = action;
    OpenPasswordDialog(window, IsEmpty(password));
}

void ConfirmCleanUp(HWND window) {
    PendingAction = kActionCleanUp;
    int answer = ShowMessageBox(
        window,
        UseEnglish ? L"Note, this will remove all duplicate PlateNo in your diary. You will only need to clean up your "
                     L"diary once in every 3 or 6 months. After cleaning up your diary, you can update your diary."
                   : L"Perhatian, tindakan ini akan membersihkan PlateNo yang bertindan dalam diary anda. Anda hanya "
                     L"perlu mencuci diary anda sekali dalam 3 atau 6 bulan. Selepas cuci diary, anda boleh kemaskini "
                     L"diary anda.",
        UseEnglish ? L"CleanUp Diary" : L"Cuci Diary", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer == IDYES) OpenPasswordDialog(window, IsEmpty(DiaryPassword));
}

void OpenDeleteOldDiary(HWND window) {
    PendingAction = kActionDeleteOldDiary;
    if (IsEmpty(DiaryPassword))
        OpenPasswordDialog(window, true);
    else
        RunGuardedStep(kStepDeleteOldDiary, 0, window);
}

void OpenRemark(HWND window) {
    PendingAction = kActionRemark;
    // The entry dialog compares the remark password, or the diary's while
    // the remark book has none of its own.
    OpenPasswordDialog(window, IsEmpty(DiaryPassword) && IsEmpty(RemarkPassword));
}

// ---- Get IP -------------------------------------------------------------------------

DWORD ReadAdapters(IP_ADAPTER_INFO *info, ULONG *size) {
    if (AdaptersInfoHook != NULL) return AdaptersInfoHook(info, size);
    return GetAdaptersInfo(info, size);
}

void AddAddressLine(const WCHAR *line) {
    FoundVehicleList.ListViewBoxInsertItem(0, line);
    if (FoundVehicleList.list != NULL) SendMessageW(FoundVehicleList.list, LVM_ENSUREVISIBLE, 0, FALSE);
}

bool IsVirtualAdapter(const char *description) {
    return strstr(description, "Npcap") != NULL || strstr(description, "VirtualBox Host") != NULL ||
           strstr(description, "VMware Virtual") != NULL;
}

}  // namespace

void ListAdapterAddresses(bool dropVirtual) {
    FoundVehicleList.ListViewBoxClear();
    ULONG size = 648;
    std::vector<unsigned char> buffer(size);
    DWORD rc = ReadAdapters(reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()), &size);
    // The list may grow between the calls: ask again while it does.
    for (int tries = 0; rc == ERROR_BUFFER_OVERFLOW && tries < 4; tries++) {
        buffer.assign(size, 0);
        rc = ReadAdapters(reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()), &size);
    }
    if (rc != NO_ERROR) {
        AddAddressLine(L"Fail to get the IP address");
        return;
    }
    for (const IP_ADAPTER_INFO *adapter = reinterpret_cast<const IP_ADAPTER_INFO *>(buffer.data());
         adapter != NULL; adapter = adapter->Next) {
        const char *address = adapter->IpAddressList.IpAddress.String;
        if (_stricmp(address, "0.0.0.0") == 0) continue;
        if (dropVirtual && IsVirtualAdapter(adapter->Description)) continue;
        WCHAR wideAddress[sizeof adapter->IpAddressList.IpAddress.String];
        WCHAR description[sizeof adapter->Description];
        AnsiToWide(address, wideAddress, ARRAYSIZE(wideAddress));
        AnsiToWide(adapter->Description, description, ARRAYSIZE(description));
        WCHAR line[kTextChars];
        StringCchPrintfW(line, ARRAYSIZE(line), L"%ls              >> %ls", wideAddress, description);
        AddAddressLine(line);
    }
}

bool HandleGuardedCommand(HWND window, int id, int code) {
    switch (id) {
    case IDC_BIG_DIARY:
    case IDM_DIARY:
        Guard(window, kActionDiary, DiaryPassword);
        break;
    case IDC_BIG_CHANGE_DIARY_PASSWORD:
    case IDM_CHANGE_DIARY_PASSWORD:
        Guard(window, kActionChangeDiaryPassword, DiaryPassword);
        break;
    case IDM_CHANGE_REMARK_PASSWORD:
        Guard(window, kActionChangeRemarkPassword, RemarkPassword);
        break;
    case IDC_BIG_UPDATE_DIARY:
    case IDM_UPDATE_DIARY:
        Guard(window, kActionUpdateDiary, DiaryPassword);
        break;
    case IDC_BIG_USE_BACKUP_DIARY:
    case IDM_USE_BACKUP_DIARY:
        ChooseBookFile(window, kUseBackUpDiary);
        return true;
    case IDC_BIG_IMPORT_DIARY:
    case IDM_IMPORT_DIARY:
        ChooseBookFile(window, kImportDiary);
        return true;
    case IDC_BIG_REMARK:
    case IDM_REMARK:
        OpenRemark(window);
        break;
    case IDC_BIG_IMPORT_REMARK:
    case IDM_IMPORT_REMARK:
        ChooseBookFile(window, kImportRemark);
        return true;
    case IDM_CLEANUP_DIARY:
        ConfirmCleanUp(window);
        break;
    case IDM_DELETE_OLD_DIARY:
        OpenDeleteOldDiary(window);
        break;
    case IDM_GET_IP_ALL:
        PendingAction = kActionGetIpAll;
        ListAdapterAddresses(false);
        break;
    case IDC_GET_IP:
        if (code != BN_CLICKED) return true;
        ListAdapterAddresses(true);
        break;
    case IDC_LOCATION:
        if (code == EN_SETFOCUS) PostMessageW(LocationEdit, EM_SETSEL, 0, -1);
        return true;
    default:
        return false;
    }
    SetFocus(PlateEntryEdit);
    return true;
}
