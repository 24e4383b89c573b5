// The list-view wrapper: each kind's id, styles, icons and columns in both
// languages, on real controls in a window of this test.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listviewbox.h"

namespace {

class ListHost : public testing::Test {
  protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 800, NULL,
                                  NULL, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(parent_, (HWND)NULL);
    }
    void TearDown() override { DestroyWindow(parent_); }

    static std::vector<std::wstring> Headers(HWND list) {
        std::vector<std::wstring> out;
        HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
        int n = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < n; i++) {
            WCHAR text[128] = {0};
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = ARRAYSIZE(text);
            SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&column);
            out.push_back(text);
        }
        return out;
    }
    static int Width(HWND list, int column) {
        return (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
    }

    HWND parent_ = NULL;
};

TEST_F(ListHost, KindsHaveTheirIdsStylesAndImages) {
    struct Case {
        int kind, id;
        DWORD mustHave, mustNotHave;
        bool images;
    } cases[] = {
        {0, 12005, 0, LVS_OWNERDATA | LVS_NOCOLUMNHEADER, false},
        {1, 12006, LVS_OWNERDATA, 0, true},
        {2, 12007, 0, LVS_OWNERDATA, false},
        {3, 12008, LVS_NOCOLUMNHEADER, LVS_OWNERDATA, false},
        {4, 1222, LVS_OWNERDATA, 0, false},
        {5, 1304, LVS_OWNERDATA, 0, true},
    };
    for (const Case &c : cases) {
        ListViewBox box;
        box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), c.kind, 1, 1, 900, 300, 1);
        ASSERT_NE(box.list, (HWND)NULL) << c.kind;
        EXPECT_EQ(GetDlgCtrlID(box.list), c.id) << c.kind;
        DWORD style = (DWORD)GetWindowLongW(box.list, GWL_STYLE);
        DWORD common = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
        EXPECT_EQ(style & common, common) << c.kind;
        EXPECT_EQ(style & c.mustHave, c.mustHave) << c.kind;
        EXPECT_EQ(style & c.mustNotHave, 0u) << c.kind;
        DWORD ex = (DWORD)SendMessageW(box.list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        EXPECT_TRUE(ex & LVS_EX_FULLROWSELECT) << c.kind;
        EXPECT_EQ((ex & LVS_EX_SUBITEMIMAGES) != 0, c.images) << c.kind;
        HIMAGELIST images = (HIMAGELIST)SendMessageW(box.list, LVM_GETIMAGELIST, LVSIL_SMALL, 0);
        EXPECT_EQ(images != NULL, c.images) << c.kind;
        if (images != NULL) {
            EXPECT_EQ(ImageList_GetImageCount(images), 3) << c.kind;
        }
        DestroyWindow(box.list);
    }
    ListViewBox none;
    none.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), 6, 0, 0, 10, 10, 1);
    EXPECT_EQ(none.list, (HWND)NULL) << "a kind outside 0-5 creates no control";
}

TEST_F(ListHost, ColumnsInBothLanguages) {
    ListViewBox box;
    box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListDiary, 1, 60, 1000, 500, 0);
    EXPECT_EQ(Headers(box.list),
              (std::vector<std::wstring>{L"Tarikh Cari", L"No Kereta", L"Tunggakkan", L"LastPayment",
                                         L"Penjelasan", L"Bank", L"Lokasi", L"Remark", L"Diary Owner",
                                         L"RowID"}));
    EXPECT_EQ(Width(box.list, 9), 0) << "the RowID column is invisible";
    DestroyWindow(box.list);

    box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListDiary, 1, 60, 1000, 500, 1);
    EXPECT_EQ(Headers(box.list)[0], L"Find Date");
    EXPECT_EQ(Headers(box.list)[5], L"Financier");
    DestroyWindow(box.list);

    for (int language : {0, 1, 7}) {
        box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListRemark, 1, 1, 920, 330, language);
        EXPECT_EQ(Headers(box.list),
                  (std::vector<std::wstring>{L"Last Saved at", L"FollowUp", L"PlateNo", L"ArrearNo",
                                             L"LastPayment", L"Bank", L"Remark", L"RowID"}))
            << language;
        DestroyWindow(box.list);
    }

    box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListFoundVehicle, 566, 369, 397, 312, 0);
    EXPECT_EQ(Headers(box.list), std::vector<std::wstring>{L"Kenderaan yang kena"});
    DestroyWindow(box.list);
    box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListContact, 2, 183, 961, 228, 1);
    EXPECT_EQ(Headers(box.list), std::vector<std::wstring>{L"For new data, please contact"});
    EXPECT_EQ(Width(box.list, 0), 960);
    DestroyWindow(box.list);
}

TEST_F(ListHost, LocationColumnsFollowTheWidth) {
    struct Case {
        int width, first, second;
    } cases[] = {{800, 650, 110}, {801, 760, 150}, {930, 760, 150}};
    for (const Case &c : cases) {
        ListViewBox box;
        box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListLocation, 1, 28, c.width, 484, 0);
        EXPECT_EQ(Headers(box.list), (std::vector<std::wstring>{L"List Lokasi", L"Bilangan Kenderaan"}));
        EXPECT_EQ(Width(box.list, 0), c.first) << c.width;
        EXPECT_EQ(Width(box.list, 1), c.second) << c.width;
        DestroyWindow(box.list);
    }
}

TEST_F(ListHost, InsertClearCountAndHiddenRowIdText) {
    ListViewBox box;
    EXPECT_EQ(box.ListViewBoxInsertItem(0, L"nothing yet"), -1) << "no control, no effect";
    box.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListResult, 1, 124, 961, 95, 1);
    EXPECT_EQ(box.ListViewBoxInsertItem(0, L"WA1234B"), 0);
    EXPECT_EQ(box.ListViewBoxInsertItem(0, L"BJK9921"), 0);
    EXPECT_EQ(box.ListViewBoxGetItemCount(), 2);
    WCHAR text[32] = {0};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    SendMessageW(box.list, LVM_GETITEMTEXTW, 0, (LPARAM)&item);
    EXPECT_STREQ(text, L"BJK9921") << "the newest insert at index 0 stands on top";
    box.ListViewBoxHide();
    EXPECT_FALSE(IsWindowVisible(box.list));
    box.ListViewBoxClear();
    EXPECT_EQ(box.ListViewBoxGetItemCount(), 0);

    ListViewBox remark;
    remark.ListViewBoxCreate(parent_, GetModuleHandleW(NULL), kListRemark, 1, 1, 920, 330, 1);
    remark.ListViewBoxSetItemCount(1234);
    EXPECT_EQ(remark.ListViewBoxGetItemCount(), 1234);
}

}  // namespace
