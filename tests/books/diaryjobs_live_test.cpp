// Update Diary over the live main window: a plate that the main window's
// search logged as not found, and that the data lists later, is marked
// new by Update Diary, which must find it with the search's own key.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booktest.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

using booktest::BookWindowTest;

std::string Field(const BlowfishContext &ctx, const WCHAR *text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text, field);
    return field;
}

void SearchThroughMainWindow(const WCHAR *plate) {
    SetWindowTextW(PlateEntryEdit, plate);
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_FIND, BN_CLICKED),
                 (LPARAM)GetDlgItem(MainWindow, IDC_FIND));
    live::Pump();
}

// The diary's C2 and C6 of plate's rows, "C2/C6" each.
std::vector<std::string> DiaryStates(const WCHAR *plate) {
    std::vector<std::string> states;
    std::string sql = "select C2 || '/' || C6 from VLS where C3 = '" + Field(LocalCipher, plate) + "'";
    for (const auto &row : testsupport::ReadBookRows(live::kDiaryBook, sql)) states.push_back(row.at(0));
    return states;
}

using DiaryJobsLiveTest = BookWindowTest;

TEST_F(DiaryJobsLiveTest, APlateSearchedAsNotFoundAndWantedLaterBecomesNew) {
    // " wq 77 z" is searched as WQ77Z; the data does not have it yet.
    SearchThroughMainWindow(L" wq 77 z");
    SearchThroughMainWindow(L"XX1");
    ASSERT_EQ(DiaryStates(L"WQ77Z"), (std::vector<std::string>{"0/"}));

    // The data now wants it: a VLD row keyed as the data tool keys it, with
    // the fillers the data carries.
    char key[kMd5HexBytes];
    VehicleLookupKey(L"WQ77Z", key);
    std::string row = "insert into VLD(C1, C2, C3, C4, C5) values('" + std::string(key) + "','" +
                      Field(DataCipher, L"##05 Mar 2025##") + "','" + Field(DataCipher, L"SALOON RED") + "','" +
                      Field(DataCipher, L"##BANK RAKYAT##") + "','" + Field(DataCipher, L"##4##") + "')";
    ASSERT_EQ(sqlite3_exec(DataDb, row.c_str(), NULL, NULL, NULL), SQLITE_OK) << sqlite3_errmsg(DataDb);

    PasswordEntryDialogHandle = NULL;
    UpdateDiaryFromData();
    EXPECT_EQ(DiaryStates(L"WQ77Z"), (std::vector<std::string>{"2/BANK RAKYAT"}));
    EXPECT_EQ(DiaryStates(L"XX1"), (std::vector<std::string>{"0/"}));
    EXPECT_TRUE(live::Shown.empty());

    // The main window goes on logging into the new diary.
    SearchThroughMainWindow(L"WQ77Z");
    EXPECT_EQ(DiaryStates(L"WQ77Z"), (std::vector<std::string>{"2/BANK RAKYAT", "1/BANK RAKYAT"}));
}

}  // namespace
