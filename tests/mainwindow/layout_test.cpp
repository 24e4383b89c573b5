// Menu texts in both languages and the centring of windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
