// What the agent is told about a damaged file: one message per fault, in
// words an agent understands.
#include <windows.h>

#include <strsafe.h>

#include "bookcheck.h"
#include "datastore.h"
#include "mainwindow.h"
#include "textutil.h"

WCHAR SetAsidePaths[kStartBookCount][kPathChars];
int DamagedDataShown;

namespace {

enum { kNoticeChars = 4096 };

struct SetAsideWords {
    const WCHAR *file;        // the book's file name
    const WCHAR *backupBase;  // its backups' base name; null: it has none
    const WCHAR *english;     // how a backup is brought back, or null
    const WCHAR *malay;
};

const SetAsideWords kBooks[kStartBookCount] = {
    {L"KorvaneInit.db", NULL, NULL, NULL},
    {L"KorvaneDiary.db", L"KorvaneDiary - BACKUP", L"can be restored with Use BackUp Diary",
     L"boleh dipulihkan dengan Guna Diary BackUp"},
    {L"LastRemark.db", L"LastRemark - BACKUP", L"can be brought back with Import Remark",
     L"boleh dimasukkan semula dengan Import Remark"},
};

// Appends one book's paragraph to text.
void AppendSetAsideParagraph(WCHAR *text, size_t textChars, int book) {
    const SetAsideWords &w = kBooks[book];
    WCHAR line[kPathChars * 3];
    if (UseEnglish)
        StringCchPrintfW(line, ARRAYSIZE(line),
                         L"%ls was damaged. It has been kept, unchanged, as \"%ls\", and a new, empty %ls "
                         L"has been started.",
                         w.file, SetAsidePaths[book], w.file);
    else
        StringCchPrintfW(line, ARRAYSIZE(line),
                         L"%ls telah rosak. Ia telah disimpan, tanpa diubah, sebagai \"%ls\", dan %ls baru "
                         L"yang kosong telah dimulakan.",
                         w.file, SetAsidePaths[book], w.file);
    if (text[0] != 0) StringCchCatW(text, textChars, L"\r\n\r\n");
    StringCchCatW(text, textChars, line);

    WCHAR backup[kPathChars];
    if (w.backupBase == NULL || !FindNewestBackup(w.backupBase, backup, ARRAYSIZE(backup))) return;
    StringCchPrintfW(line, ARRAYSIZE(line), UseEnglish ? L" The newest backup, \"%ls\", %ls."
                                                       : L" BackUp terbaru, \"%ls\", %ls.",
                     backup, Pick(w.english, w.malay));
    StringCchCatW(text, textChars, line);
}

}  // namespace

void ShowSetAsideNotice(HWND owner) {
    WCHAR text[kNoticeChars] = L"";
    for (int book = 0; book < kStartBookCount; book++) {
        if (SetAsidePaths[book][0] == 0) continue;
        AppendSetAsideParagraph(text, ARRAYSIZE(text), book);
        SetAsidePaths[book][0] = 0;
    }
    if (text[0] == 0) return;
    ShowMessageBox(owner, text, ErrorCaption(), MB_OK | MB_ICONEXCLAMATION);
}

void StopForDamagedData(const WCHAR *detail) {
    if (DamagedDataShown) return;
    DamagedDataShown = 1;
    ShowSetAsideNotice(MainWindow);
    WCHAR text[kNoticeChars];
    StringCchPrintfW(text, ARRAYSIZE(text),
                     L"Data kenderaan yang dikehendaki (KorvaneData.db) telah rosak. Sila salin semula "
                     L"KorvaneData.db dari pen drive, dan padamkan fail KorvaneData.db-journal di sebelahnya "
                     L"jika ada.\r\n"
                     L"The wanted-vehicle data (KorvaneData.db) is damaged. Please copy KorvaneData.db "
                     L"again from the pen drive, and delete the file KorvaneData.db-journal beside it if "
                     L"there is one.\r\n[%ls]",
                     detail != NULL ? detail : L"");
    ShowMessageBox(MainWindow, text, ErrorCaption(), MB_OK | MB_ICONHAND);
    if (MainWindow != NULL) DestroyWindow(MainWindow);
}
