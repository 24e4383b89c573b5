// The List Location window over the live main window's diary, opened over
// a stand-in Diary window whose view control (406) carries the view text:
// the rows of each view, the window that never shows, and the choice that
// goes back to the Diary window.
#include <windows.h>

#include <commctrl.h>
#include <strsafe.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "booktest.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "testsupport.h"

namespace {

typedef std::vector<std::pair<std::wstring, std::wstring>> Rows;  // location, count

class ListLocation : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        diary_ = CreateWindowExW(0, L"STATIC", L"Diary stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, NULL, NULL,
                                 GetModuleHandleW(NULL), NULL);
        ASSERT_NE(diary_, (HWND)NULL);
        view_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 280, 20, diary_,
                                (HMENU)(INT_PTR)IDC_LL_DIARY_VIEW, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(view_, (HWND)NULL);
    }
    void TearDown() override {
        DestroyWindow(diary_);
        BookWindowTest::TearDown();
    }
    // The small diary: found states (C2) and locations (C8), some blank.
    void AddFixture() {
        RunOnDiary("INSERT INTO VLS(C1, C2, C8) VALUES"
                   "('2026-01-01 10:00:00', 1, 'KL SENTRAL'), ('2026-01-01 10:01:00', 1, 'KL SENTRAL'),"
                   "('2026-01-01 10:02:00', 2, 'KL SENTRAL'), ('2026-01-01 10:03:00', 0, 'KL SENTRAL'),"
                   "('2026-01-01 10:04:00', 1, 'kl sentral'), ('2026-01-01 10:05:00', 0, 'IPOH'),"
                   "('2026-01-01 10:06:00', '2', 'JALAN O''REILLY'), ('2026-01-01 10:07:00', 1, ''),"
                   "('2026-01-01 10:08:00', 0, ''), ('', '0', '')");
    }
    int Open(const WCHAR *view, const std::function<void(HWND)> &act, bool *appeared = NULL) {
        SetWindowTextW(view_, view);
        int chosen = -1;
        bool shown = live::RunModal(UseEnglish ? L"List Location" : L"List Lokasi", [&] { chosen = ShowListLocationWindow(diary_); }, act);
        if (appeared != NULL) *appeared = shown;
        return chosen;
    }
    static HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_LOCATION_LIST); }
    static int Image(HWND list, int row) {
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        item.iImage = -1;
        SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)&item);
        return item.iImage;
    }

    HWND diary_ = NULL;
    HWND view_ = NULL;
};

// Each view lists its own rows, grouped and ordered by the stored text
// exactly, empty locations left out; the view is matched without regard
// to case, in either language.
TEST_F(ListLocation, EachViewListsItsRowsAndCounts) {
    AddFixture();
    const Rows kAll = {{L"IPOH", L"1"}, {L"JALAN O'REILLY", L"1"}, {L"KL SENTRAL", L"4"}, {L"kl sentral", L"1"}};
    const Rows kFound = {{L"JALAN O'REILLY", L"1"}, {L"KL SENTRAL", L"3"}, {L"kl sentral", L"1"}};
    const Rows kNew = {{L"JALAN O'REILLY", L"1"}, {L"KL SENTRAL", L"1"}};
    struct Case {
        const WCHAR *view;
        const Rows *rows;
        const WCHAR *count;
        int image;  // of every row; -1: not checked
    };
    const Case kCases[] = {
        {L"Find the Location below", &kAll, L"4 rows", -1},
        {L"Find the Location below [Found]", &kFound, L"3 rows", 1},
        {L"FIND THE LOCATION BELOW [NEW]", &kNew, L"2 rows", 2},
        {L"Cari Lokasi di bawah [Kena]", &kFound, L"3 rows", 1},
        {L"cari lokasi di bawah [baru]", &kNew, L"2 rows", 2},
    };
    for (const Case &c : kCases) {
        SCOPED_TRACE(testsupport::Utf8(c.view));
        Rows rows;
        std::wstring count, caption;
        std::vector<int> images;
        bool waitHidden = false;
        bool appeared = false;
        int chosen = Open(
            c.view,
            [&](HWND dialog) {
                HWND list = List(dialog);
                int items = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
                for (int row = 0; row < items; row++) {
                    rows.push_back({booktest::Cell(list, row, 0), booktest::Cell(list, row, 1)});
                    images.push_back(Image(list, row));
                }
                count = booktest::Text(dialog, IDC_LL_COUNT);
                waitHidden = !IsWindowVisible(GetDlgItem(dialog, IDC_LL_MSGBOX));
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            },
            &appeared);
        EXPECT_TRUE(appeared);
        EXPECT_EQ(chosen, 0) << "nothing clicked, nothing chosen";
        EXPECT_EQ(rows, *c.rows);
        EXPECT_EQ(count, c.count);
        EXPECT_TRUE(waitHidden);
        if (c.image >= 0) {
            EXPECT_EQ(images, std::vector<int>(c.rows->size(), c.image));
        }
        EXPECT_EQ(ListLocationBrush, (HBRUSH)NULL) << "the brush goes with the window";
        EXPECT_EQ(LocationRowCache, (cached_alpha_view *)NULL);
    }
}

// With nothing to list the window ends before it is seen, whatever view;
// one location shows the count in the singular.
TEST_F(ListLocation, NoLocationNeverShowsTheWindow) {
    RunOnDiary("INSERT INTO VLS(C1, C2, C8) VALUES('2026-01-01 10:00:00', 1, ''), "
               "('2026-01-01 10:01:00', 0, 'IPOH'), ('2026-01-01 10:02:00', 1, NULL)");
    StringCchCopyW(VehicleDetailTexts[kDetailLocation], kVehicleDetailChars, L"OLD CHOICE");
    for (const WCHAR *view : {L"Find the Location below [Found]", L"Find the Location below [New]"}) {
        bool appeared = true;
        int chosen = Open(view, [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }, &appeared);
        EXPECT_FALSE(appeared) << testsupport::Utf8(view);
        EXPECT_EQ(chosen, 0);
        EXPECT_STREQ(VehicleDetailTexts[kDetailLocation], L"");
        EXPECT_EQ(ListLocationBrush, (HBRUSH)NULL);
        EXPECT_EQ(LocationRowCache, (cached_alpha_view *)NULL);
    }
    std::wstring count;
    bool appeared = false;
    Open(
        L"Find the Location below",
        [&](HWND dialog) {
            count = booktest::Text(dialog, IDC_LL_COUNT);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        },
        &appeared);
    EXPECT_TRUE(appeared) << "every row counts in this view: IPOH";
    EXPECT_EQ(count, L"1 row");
}

// A click chooses and the window stays; a later click chooses again; a row
// reached with the keys chooses nothing; the close box keeps the last click.
TEST_F(ListLocation, ClickChoosesAndStays) {
    AddFixture();
    std::wstring afterFirst, afterSecond;
    bool stayed = false;
    int chosen = Open(L"Find the Location below [Found]", [&](HWND dialog) {
        HWND list = List(dialog);
        booktest::ClickRow(dialog, list, 0);
        afterFirst = VehicleDetailTexts[kDetailLocation];
        booktest::ClickRow(dialog, list, 2);
        afterSecond = VehicleDetailTexts[kDetailLocation];
        stayed = IsWindowVisible(dialog) != FALSE;
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 1, (LPARAM)&state);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(afterFirst, L"JALAN O'REILLY") << "the apostrophe comes back intact";
    EXPECT_EQ(afterSecond, L"kl sentral");
    EXPECT_TRUE(stayed);
    EXPECT_EQ(chosen, 1);
    EXPECT_STREQ(VehicleDetailTexts[kDetailLocation], L"kl sentral");
}

// A double click without a selected row does nothing; on a row it chooses
// that row and ends the window.
TEST_F(ListLocation, DoubleClickChoosesAndCloses) {
    AddFixture();
    bool stayedWithoutRow = false;
    int chosen = Open(L"Find the Location below", [&](HWND dialog) {
        HWND list = List(dialog);
        NMITEMACTIVATE dbl = {};
        dbl.hdr.hwndFrom = list;
        dbl.hdr.idFrom = IDC_LOCATION_LIST;
        dbl.hdr.code = NM_DBLCLK;
        dbl.iItem = -1;
        SendMessageW(dialog, WM_NOTIFY, IDC_LOCATION_LIST, (LPARAM)&dbl);
        stayedWithoutRow = IsWindow(dialog) && IsWindowVisible(dialog);
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 1, (LPARAM)&state);
        dbl.iItem = 1;
        SendMessageW(dialog, WM_NOTIFY, IDC_LOCATION_LIST, (LPARAM)&dbl);  // ends the window
    });
    EXPECT_TRUE(stayedWithoutRow);
    EXPECT_EQ(chosen, 1);
    EXPECT_STREQ(VehicleDetailTexts[kDetailLocation], L"JALAN O'REILLY");
}

// In Malay: the caption, the instruction and the count.
TEST_F(ListLocation, SpeaksMalay) {
    AddFixture();
    UseEnglish = 0;
    std::wstring count, info, header;
    bool appeared = false;
    Open(
        L"Find the Location below [Found]",
        [&](HWND dialog) {
            count = booktest::Text(dialog, IDC_LL_COUNT);
            info = booktest::Text(dialog, IDC_LL_INFO);
            WCHAR text[64] = {0};
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = ARRAYSIZE(text);
            SendMessageW(List(dialog), LVM_GETCOLUMNW, 1, (LPARAM)&column);
            header = text;
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        },
        &appeared);
    EXPECT_TRUE(appeared);
    EXPECT_EQ(count, L"3 baris");
    EXPECT_EQ(info, L"Sila klik pada lokasi yang dikehendaki dan tutup dialog box ini ATAU double klik pada baris "
                    L"yang dikehendaki.");
    EXPECT_EQ(header, L"Bilangan Kenderaan");
}

}  // namespace
