// Menu texts in both languages and the centring of windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include <commctrl.h>

#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"

namespace {

std::wstring MenuText(HMENU menu, UINT id) {
    wchar_t text[128] = {0};
    GetMenuStringW(menu, id, text, ARRAYSIZE(text), MF_BYCOMMAND);
    return text;
}

TEST(Menus, LanguageChangesSevenItems) {
    HMENU menu = LoadMenuW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDR_MAINMENU));
    ASSERT_NE(menu, (HMENU)NULL);
    HWND window = CreateWindowExW(0, L"STATIC", L"menu host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                                  NULL, menu, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(window, (HWND)NULL);
    MainWindow = window;
    EXPECT_EQ(MenuText(menu, IDM_UPDATE_DIARY), L"Kemaskini Diary") << "the resource holds Malay";

    SetMenuTextsEnglish();
    struct Case {
        UINT id;
        const wchar_t *english, *malay;
    } cases[] = {
        {IDM_DIARY, L"Diary", L"Diary"},
        {IDM_SETTING, L"Setting", L"Setting"},
        {IDM_CHANGE_DIARY_PASSWORD, L"Change Diary Password", L"Tukar Password Diary"},
        {IDM_CHANGE_REMARK_PASSWORD, L"Change Remark Password", L"Tukar Password Remark"},
        {IDM_UPDATE_DIARY, L"Update Diary", L"Kemaskini Diary"},
        {IDM_USE_BACKUP_DIARY, L"Use BackUp Diary", L"Guna Diary BackUp"},
        {IDM_IMPORT_DIARY, L"Import Diary", L"Import Diary"},
        {IDM_REMARK, L"Remark", L"Remark"},
        {IDM_IMPORT_REMARK, L"Import Remark", L"Import Remark"},
        {IDM_CLEANUP_DIARY, L"CleanUp Duplicate PlateNo In Diary", L"Cuci PlateNo Bertindan Dalam Diary"},
        {IDM_DELETE_OLD_DIARY, L"Delete Old Diary Data", L"Padam Data Diary Yang Lama"},
        {IDM_GET_IP_ALL, L"Get IP [ALL]", L"Get IP [SEMUA]"},
    };
    for (const Case &c : cases) EXPECT_EQ(MenuText(menu, c.id), c.english) << c.id;
    SetMenuTextsMalay();
    for (const Case &c : cases) EXPECT_EQ(MenuText(menu, c.id), c.malay) << c.id;

    DestroyWindow(window);
    MainWindow = NULL;
    SetMenuTextsEnglish();  // no main window: nothing happens
}

TEST(Centring, TwentyPixelsAboveTheCentreNeverOffScreen) {
    int sw = GetSystemMetrics(SM_CXSCREEN);
    int sh = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int w, h;
    } cases[] = {{400, 300}, {sw + 200, 250}, {300, sh + 100}, {301, 299}};
    for (const Case &c : cases) {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 5, 5, c.w, c.h, NULL, NULL,
                                      GetModuleHandleW(NULL), NULL);
        ASSERT_NE(window, (HWND)NULL);
        CenterWindowOnScreen(window);
        RECT r;
        GetWindowRect(window, &r);
        int x = sw / 2 - c.w / 2, y = (sh - 40) / 2 - c.h / 2;
        EXPECT_EQ(r.left, x < 0 ? 0 : x) << c.w << "x" << c.h;
        EXPECT_EQ(r.top, y < 0 ? 0 : y) << c.w << "x" << c.h;
        EXPECT_EQ(r.right - r.left, c.w) << "size kept";
        EXPECT_EQ(r.bottom - r.top, c.h) << "size kept";
        DestroyWindow(window);
    }
}

// A top-level window of a given outer width, standing in for a book window.
HWND Frame(int width, int height) {
    return CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP, 0, 0, width, height, NULL, NULL,
                           GetModuleHandleW(NULL), NULL);
}

int Width(HWND list, int column) { return (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0); }

TEST(ListFitting, DiaryColumnsShareTheSpareWidthOfAWideWindow) {
    struct Case {
        int windowWidth;
        bool split;
    } cases[] = {{1360, false}, {1361, true}, {1600, true}};
    for (const Case &c : cases) {
        HWND diary = Frame(c.windowWidth, 700);
        DiaryList.ListViewBoxCreate(diary, GetModuleHandleW(NULL), kListDiary, 1, 60, 1000, 500, 1);
        SplitWideListColumns();
        int fixed = 0;
        for (int col : {0, 1, 2, 3, 4, 5, 8, 9}) fixed += Width(DiaryList.list, col);
        if (c.split) {
            int half = (c.windowWidth - (fixed + 40)) / 2;
            EXPECT_EQ(Width(DiaryList.list, 6), half) << c.windowWidth;
            EXPECT_EQ(Width(DiaryList.list, 7), half) << c.windowWidth;
        } else {
            EXPECT_EQ(Width(DiaryList.list, 6), 240) << "kept";
            EXPECT_EQ(Width(DiaryList.list, 7), 300) << "kept";
        }
        DestroyWindow(diary);
        DiaryList.ListViewBoxReset();
    }
}

TEST(ListFitting, RemarkColumnFixedAndToItsWindow) {
    HWND window = Frame(1200, 600);
    RemarkList.ListViewBoxCreate(window, GetModuleHandleW(NULL), kListRemark, 1, 1, 920, 330, 1);
    int others = 115 + 80 + 70 + 35 + 80 + 190 + 0;
    FitListColumnsFixed();
    EXPECT_EQ(Width(RemarkList.list, 6), 930 - (others + 30));
    FitListColumnsToWindow();
    EXPECT_EQ(Width(RemarkList.list, 6), 1200 - (others + 40));
    DestroyWindow(window);
    RemarkList.ListViewBoxReset();
}

TEST(ListFitting, DiaryEditsFollowTheWindowWidth) {
    struct Case {
        int windowWidth, editWidth;
    } cases[] = {{788, 208}, {789, 14}, {1000, 225}};
    for (const Case &c : cases) {
        HWND diary = Frame(c.windowWidth, 700);
        DiaryList.ListViewBoxCreate(diary, GetModuleHandleW(NULL), kListDiary, 1, 60, 700, 500, 1);
        HWND location = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 5, 5, 50, 20, diary,
                                        (HMENU)(INT_PTR)IDC_DIARY_LOCATION_EDIT, GetModuleHandleW(NULL), NULL);
        HWND remark = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 5, 30, 50, 20, diary,
                                      (HMENU)(INT_PTR)IDC_DIARY_REMARK_EDIT, GetModuleHandleW(NULL), NULL);
        ResizeDialogEditBoxes();
        for (HWND edit : {location, remark}) {
            RECT r;
            GetWindowRect(edit, &r);
            EXPECT_EQ(r.right - r.left, c.editWidth) << c.windowWidth;
            EXPECT_EQ(r.bottom - r.top, 25);
        }
        DestroyWindow(diary);
        DiaryList.ListViewBoxReset();
    }
}

TEST(MainLayout, NarrowWindowsAreLaidOutAsIf788Wide) {
    struct Case {
        int windowWidth, expectedW;
    } cases[] = {{700, 778}, {790, 778}, {791, 781}, {983, 973}};
    HWND window = Frame(983, 753);
    MainWindow = window;
    FrameAllowance = 10;
    SmallScreen = 0;
    SmallScreenShift = 0;
    HugeResultSize = 0;
    PlateEntryEdit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, window,
                                     (HMENU)(INT_PTR)IDC_PLATE_ENTRY, GetModuleHandleW(NULL), NULL);
    HWND save = CreateWindowExW(0, L"BUTTON", L"Save", WS_CHILD, 0, 0, 10, 10, window, (HMENU)(INT_PTR)IDC_SAVE,
                                GetModuleHandleW(NULL), NULL);
    for (const Case &c : cases) {
        SetWindowPos(window, NULL, 0, 0, c.windowWidth, 753, SWP_NOMOVE | SWP_NOZORDER);
        LayoutMainWindow();
        RECT r, parent;
        GetWindowRect(save, &r);
        GetWindowRect(window, &parent);
        EXPECT_EQ(r.left - parent.left, c.expectedW - 50 - 10) << c.windowWidth;
        GetWindowRect(PlateEntryEdit, &r);
        EXPECT_EQ(r.right - r.left, 573 - 10);
    }
    DestroyWindow(window);
    MainWindow = NULL;
    PlateEntryEdit = NULL;
}

}  // namespace
