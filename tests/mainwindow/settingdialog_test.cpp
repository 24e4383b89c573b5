// The Setting dialog over the real main window, in process: the language
// switch and what it relabels (menus included, which another process cannot
// read under Wine), the small-screen rule, the storage place and search
// input choices, and a diary that cannot be opened again.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "datastore.h"
#include "listviewbox.h"
#include "livewindow.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlite3.h"
#include "textutil.h"

namespace {

using live::kDiaryBook;
using live::kInitBook;
using live::ReadEncipheredKey;
using live::ReadKey;
using live::Shown;

std::wstring Text(HWND window) {
    wchar_t text[1024] = {0};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

std::wstring ColumnText(const ListViewBox &box, int column) {
    wchar_t text[256] = {0};
    LVCOLUMNW lvc = {};
    lvc.mask = LVCF_TEXT;
    lvc.pszText = text;
    lvc.cchTextMax = ARRAYSIZE(text);
    SendMessageW(box.list, LVM_GETCOLUMNW, column, (LPARAM)&lvc);
    return text;
}

std::wstring MenuText(UINT id) {
    wchar_t text[128] = {0};
    GetMenuStringW(GetMenu(MainWindow), id, text, ARRAYSIZE(text), MF_BYCOMMAND);
    return text;
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

void CloseBox(HWND dialog) { SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

class Setting : public live::LiveMainWindow {
  protected:
    // Opens the dialog as the menu item does, lets act look and change,
    // and closes it with its close box.
    bool Run(const std::function<void(HWND)> &act) {
        return live::RunModal(
            L"Korvane Setting", [] { SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDM_SETTING, 0), 0); },
            [&](HWND dialog) {
                act(dialog);
                CloseBox(dialog);
            });
    }
};

// The engine counts every row a statement writes, even one that gets the
// value it had, which the file alone would not show.
TEST_F(Setting, UntouchedCloseWritesNoKeyButReloadsTheLogo) {
    sqlite3 *diary = DiaryDb;
    sqlite3_int64 diaryWrites = sqlite3_total_changes64(DiaryDb);
    sqlite3_int64 initWrites = sqlite3_total_changes64(InitDb);
    HBITMAP oldLogo = LogoBitmap;
    ASSERT_NE(oldLogo, (HBITMAP)NULL);
    ASSERT_TRUE(Run([](HWND) {}));
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(DiaryDb, diary) << "the diary stays open";
    EXPECT_EQ(sqlite3_total_changes64(DiaryDb), diaryWrites);
    EXPECT_EQ(sqlite3_total_changes64(InitDb), initWrites);
    EXPECT_NE(LogoBitmap, (HBITMAP)NULL);
    EXPECT_NE(LogoBitmap, oldLogo) << "bitmap 122 is loaded again";
    EXPECT_EQ(GetObjectType(oldLogo), 0u) << "and the handle it replaced is freed";
    EXPECT_EQ(GetFocus(), PlateEntryEdit);
}

TEST_F(Setting, LanguageSwitchRelabelsTheMainWindowAndItsMenu) {
    struct Label {
        int id;
        const wchar_t *english, *malay;
    } labels[] = {
        {IDC_FIND, L"Find", L"Cari"},
        {IDC_DELETE_PLATE, L"<-Delete This PlateNo[F4]", L"<-Padam PlateNo Ini[F4]"},
        {IDC_DATE_LABEL, L"[Day-Month-Year]", L"[Hari-Bulan-Tahun]"},
        {IDC_FINANCIER_LABEL, L"Financier", L"Bank"},
        {IDC_DELETE_ROW, L"Delete This Row", L"Padam Baris Ini"},
        {IDC_DELETE_ALL, L"Delete All", L"Padam Semua"},
        {IDC_BIG_CHANGE_DIARY_PASSWORD, L"Change Diary Password", L"Tukar Password Diary"},
        {IDC_BIG_UPDATE_DIARY, L"Update Diary", L"Kemaskini Diary"},
        {IDC_BIG_USE_BACKUP_DIARY, L" Use BackUp Diary ", L"Guna Diary BackUp"},
        {IDC_BIG_SETTING, L"Setting", L"Setting"},
        {IDC_DATA_VERSION, L"Data Version: ", L"Data Versi: "},  // a prefix
        {IDC_START_MESSAGE, L"Software Version: Korvane 14.906\r\nData Version: ",
         L"Software Versi: Korvane 14.906\r\nData Versi: "},  // a prefix
        {IDC_EMAIL_NOTE, L"Put in your email [example ", L"Masukkan email anda [contoh "},  // a prefix
    };
    struct Column {
        const ListViewBox *box;
        int column;
        const wchar_t *english, *malay;
    } columns[] = {
        {&FoundVehicleList, 0, L"Found vehicle list", L"Kenderaan yang kena"},
        {&ResultList, 0, L"Plate No.", L"No. Plate"},
        {&ResultList, 1, L"Arr", L"Tunggakkan"},
        {&ResultList, 2, L"LastPayment", L"LastPayment"},
        {&ResultList, 3, L"Description", L"Penjelasan"},
        {&ResultList, 4, L"Financier", L"Bank"},
        {&ContactList, 0, L"For new data, please contact", L"Untuk data terbaru, sila hubungi"},
    };
    struct Item {
        UINT id;
        const wchar_t *english, *malay;
    } items[] = {
        {IDM_DIARY, L"Diary", L"Diary"},
        {IDM_UPDATE_DIARY, L"Update Diary", L"Kemaskini Diary"},
        {IDM_GET_IP_ALL, L"Get IP [ALL]", L"Get IP [SEMUA]"},
    };
    auto expectLanguage = [&](bool english) {
        const char *name = english ? "English" : "Malay";
        for (const Label &l : labels) {
            std::wstring want = english ? l.english : l.malay;
            EXPECT_EQ(Text(GetDlgItem(MainWindow, l.id)).substr(0, want.size()), want) << name << " " << l.id;
        }
        for (const Column &c : columns) {
            EXPECT_EQ(ColumnText(*c.box, c.column), english ? c.english : c.malay) << name << " column " << c.column;
        }
        for (const Item &i : items) EXPECT_EQ(MenuText(i.id), english ? i.english : i.malay) << name << " " << i.id;
        EXPECT_EQ(ReadKey(kDiaryBook, "PRS", "B"), english ? "1" : "0");
        EXPECT_EQ(UseEnglish, english ? 1 : 0);
    };
    expectLanguage(false);

    std::wstring malayGroup;
    ASSERT_TRUE(Run([&](HWND dialog) {
        malayGroup = Text(GetDlgItem(dialog, IDC_SETTING_LANGUAGE_GROUP));
        EXPECT_TRUE(Checked(dialog, IDC_SETTING_MALAY));
        Click(dialog, IDC_SETTING_ENGLISH);
    }));
    EXPECT_EQ(malayGroup, L"Bahasa Yang Digunakan");
    expectLanguage(true);
    EXPECT_TRUE(Shown.empty());

    // Choosing the language in force relabels nothing: a text changed here
    // stays as it is.
    SetWindowTextW(GetDlgItem(MainWindow, IDC_FIND), L"sentinel");
    std::wstring englishGroup, version;
    ASSERT_TRUE(Run([&](HWND dialog) {
        englishGroup = Text(GetDlgItem(dialog, IDC_SETTING_LANGUAGE_GROUP));
        version = Text(GetDlgItem(dialog, IDC_SETTING_DATABASE_VERSION));
    }));
    EXPECT_EQ(englishGroup, L"Language Used");
    EXPECT_EQ(version, std::wstring(L"Database Version: ") + DataVersionUpdate);
    EXPECT_EQ(Text(GetDlgItem(MainWindow, IDC_FIND)), L"sentinel");

    ASSERT_TRUE(Run([&](HWND dialog) { Click(dialog, IDC_SETTING_MALAY); }));
    expectLanguage(false);
}

TEST_F(Setting, SmallScreenClearsAndDisablesTheHugeResultBox) {
    RunOnDiary("update PRS set C2 = '1' where C1 = 'HRS'");
    HugeResultSize = 1;

    bool checked = false, enabled = false;
    ASSERT_TRUE(Run([&](HWND dialog) {
        checked = Checked(dialog, IDC_SETTING_HUGE_RESULT);
        enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SETTING_HUGE_RESULT)) != FALSE;
    }));
    EXPECT_TRUE(checked && enabled) << "a normal screen shows the setting as it is";
    EXPECT_EQ(HugeResultSize, 1);
    EXPECT_EQ(ReadKey(kDiaryBook, "PRS", "HRS"), "1");

    SmallScreen = 1;
    ASSERT_TRUE(Run([&](HWND dialog) {
        checked = Checked(dialog, IDC_SETTING_HUGE_RESULT);
        enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SETTING_HUGE_RESULT)) != FALSE;
    }));
    SmallScreen = 0;
    EXPECT_FALSE(checked);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(HugeResultSize, 0) << "closing takes the cleared box";
    EXPECT_EQ(ReadKey(kDiaryBook, "PRS", "HRS"), "0");
}

TEST_F(Setting, ChoicesNotOfferedAreRefusedAndKeptWhileTheOthersAreStored) {
    // A storage place and a search input that the dialog does not offer.
    RunOnDiary("create temp table marker(x)");
    TextCopy(DiaryStoragePlace, L"D:\\");
    TextCopy(SearchUsing, L"Suara");
    int storage = -2, search = -2;
    ASSERT_TRUE(Run([&](HWND dialog) {
        storage = (int)SendDlgItemMessageW(dialog, IDC_SETTING_STORAGE_PLACE, CB_GETCURSEL, 0, 0);
        search = (int)SendDlgItemMessageW(dialog, IDC_SETTING_SEARCH_USING, CB_GETCURSEL, 0, 0);
        Click(dialog, IDC_SETTING_SOUND);  // on in a new diary
    }));
    EXPECT_EQ(storage, CB_ERR);
    EXPECT_EQ(search, CB_ERR);
    ASSERT_EQ(Shown.size(), 2u);
    EXPECT_EQ(Shown[0].text, L"cboDiaryStoragePlace is empty");
    EXPECT_EQ(Shown[1].text, L"cboSearchUsing is empty");
    for (const live::ShownMessage &m : Shown) {
        EXPECT_EQ(m.caption, L"Error");
        EXPECT_EQ(m.type & MB_ICONMASK, (UINT)MB_ICONHAND);
    }
    EXPECT_STREQ(DiaryStoragePlace, L"D:\\");
    EXPECT_STREQ(SearchUsing, L"Suara");
    EXPECT_EQ(ReadEncipheredKey(kInitBook, "PRI", "DSP"), L"C:\\");
    EXPECT_EQ(ReadEncipheredKey(kDiaryBook, "PRS", "SU"), L"Papan Kekunci/KeyBoard");
    EXPECT_EQ(sqlite3_exec(DiaryDb, "select * from temp.marker", NULL, NULL, NULL), SQLITE_OK)
        << "the diary was not reopened";
    EXPECT_EQ(SoundOnFound, 0);
    EXPECT_EQ(ReadKey(kDiaryBook, "PRS", "SND"), "0");
}

TEST_F(Setting, FirstStoredPlaceAndInputAreWrittenAndTheDiaryReopened) {
    // An init book without its 'DSP' row and a diary with an empty 'SU'.
    ASSERT_EQ(sqlite3_exec(InitDb, "delete from PRI where C1 = 'DSP'", NULL, NULL, NULL), SQLITE_OK);
    RunOnDiary("update PRS set C2 = '' where C1 = 'SU'");
    RunOnDiary("create temp table marker(x)");
    DiaryStoragePlace[0] = 0;
    SearchUsing[0] = 0;

    std::wstring storage, search;
    ASSERT_TRUE(Run([&](HWND dialog) {
        storage = Text(GetDlgItem(dialog, IDC_SETTING_STORAGE_PLACE));
        search = Text(GetDlgItem(dialog, IDC_SETTING_SEARCH_USING));
    }));
    EXPECT_EQ(storage, L"C:\\") << "an empty place selects the one offered";
    EXPECT_EQ(search, L"Papan Kekunci/KeyBoard");
    EXPECT_TRUE(Shown.empty());
    EXPECT_EQ(ReadEncipheredKey(kInitBook, "PRI", "DSP"), L"C:\\");
    EXPECT_EQ(ReadEncipheredKey(kDiaryBook, "PRS", "SU"), L"Papan Kekunci/KeyBoard");
    ASSERT_NE(DiaryDb, (sqlite3 *)NULL);
    EXPECT_NE(sqlite3_exec(DiaryDb, "select * from temp.marker", NULL, NULL, NULL), SQLITE_OK)
        << "a new connection has no temporary table of the old one";

    // The reopened diary takes the next search.
    SetWindowTextW(PlateEntryEdit, L"QQQ123");
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_FIND, BN_CLICKED), (LPARAM)GetDlgItem(MainWindow, IDC_FIND));
    EXPECT_EQ(live::CountRows(kDiaryBook, "select 1 from VLS"), 1);
}

TEST_F(Setting, DiaryThatCannotBeOpenedAgainEndsTheDialogThenTheProgram) {
    ASSERT_EQ(sqlite3_exec(InitDb, "update PRI set C2 = '' where C1 = 'DSP'", NULL, NULL, NULL), SQLITE_OK);
    DiaryStoragePlace[0] = 0;
    // Another program holds the diary alone when the dialog reopens it.
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    HANDLE lock = CreateFileW(kDiaryBook, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    // The dialog itself only ends, with its code; its owner lives on.
    INT_PTR result = -1;
    bool ended = live::RunModal(
        L"Korvane Setting",
        [&] {
            result = DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_SETTING), MainWindow, SettingDialogProc, 0);
        },
        CloseBox);
    EXPECT_TRUE(ended);
    EXPECT_EQ(result, kSettingDiaryLost);
    EXPECT_TRUE(MainWindow != NULL && IsWindow(MainWindow));
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].text, L"Tidak dapat membuka database[KorvaneDiary.db]");
    EXPECT_EQ(Shown[0].caption, L"Error");
    EXPECT_EQ(ReadEncipheredKey(kInitBook, "PRI", "DSP"), L"C:\\") << "the place was stored before";

    // The main window's command then ends the program by its shutdown.
    DiaryStoragePlace[0] = 0;
    ended = live::RunModal(
        L"Korvane Setting", [] { SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_BIG_SETTING, BN_CLICKED), 0); },
        CloseBox);
    CloseHandle(lock);
    EXPECT_TRUE(ended);
    EXPECT_EQ(Shown.size(), 2u);
    EXPECT_EQ(MainWindow, (HWND)NULL);
    EXPECT_TRUE(live::Pump()) << "WM_QUIT is posted";
}

}  // namespace
