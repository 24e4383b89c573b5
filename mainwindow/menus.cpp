// The main window's menu in either language, and the open-file dialog that
// picks a book to import or restore.
#include <windows.h>

#include <commdlg.h>

#include "mainwindow.h"
#include "resource.h"

namespace {

struct MenuText {
    UINT id;
    const WCHAR *malay;
    const WCHAR *english;
};

// The seven items that change with the language; the other five read the
// same in both.
const MenuText kMenuTexts[] = {
    {IDM_CHANGE_DIARY_PASSWORD, L"Tukar Password Diary", L"Change Diary Password"},
    {IDM_CHANGE_REMARK_PASSWORD, L"Tukar Password Remark", L"Change Remark Password"},
    {IDM_UPDATE_DIARY, L"Kemaskini Diary", L"Update Diary"},
    {IDM_USE_BACKUP_DIARY, L"Guna Diary BackUp", L"Use BackUp Diary"},
    {IDM_CLEANUP_DIARY, L"Cuci PlateNo Bertindan Dalam Diary", L"CleanUp Duplicate PlateNo In Diary"},
    {IDM_DELETE_OLD_DIARY, L"Padam Data Diary Yang Lama", L"Delete Old Diary Data"},
    {IDM_GET_IP_ALL, L"Get IP [SEMUA]", L"Get IP [ALL]"},
};

void SetMenuTexts(bool english) {
    HMENU menu = MainWindow != NULL ? GetMenu(MainWindow) : NULL;
    if (menu == NULL) return;
    for (const MenuText &item : kMenuTexts) {
        MENUITEMINFOW info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE;
        info.fType = MFT_STRING;
        info.dwTypeData = const_cast<WCHAR *>(english ? item.english : item.malay);
        SetMenuItemInfoW(menu, item.id, FALSE, &info);
    }
    DrawMenuBar(MainWindow);
}

}  // namespace

ChooseFileFn ChooseFileHook;

void SetMenuTextsMalay(void) { SetMenuTexts(false); }

void SetMenuTextsEnglish(void) { SetMenuTexts(true); }

int ChooseDiaryFile(HWND owner, WCHAR *file, DWORD fileChars, WCHAR *fileTitle, DWORD titleChars) {
    if (ChooseFileHook != NULL) return ChooseFileHook(owner, file, fileChars, fileTitle, titleChars);
    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Diary Files (*.db)\0*.db\0";
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = file;
    ofn.nMaxFile = fileChars;
    ofn.lpstrFileTitle = fileTitle;
    ofn.nMaxFileTitle = titleChars;
    ofn.lpstrInitialDir = L"C:\\";
    ofn.lpstrTitle = L"Choose File";
    ofn.Flags = OFN_CREATEPROMPT | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = L"db";
    return GetOpenFileNameW(&ofn) ? 1 : 0;
}
