// The message pump of long jobs, the row colours and the delete keys of the
// book lists.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "books.h"
#include "listviewbox.h"

namespace {

LRESULT CALLBACK CountingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::vector<UINT> *seen = reinterpret_cast<std::vector<UINT> *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (seen != NULL && msg >= WM_APP) seen->push_back(msg);
    if (seen != NULL && msg == WM_COMMAND) seen->push_back(LOWORD(wParam));
    return DefWindowProcW(window, msg, wParam, lParam);
}

// A top-level window that records its WM_APP messages and the ids of its
// commands.
class TestWindow {
  public:
    TestWindow() {
        static ATOM atom = 0;
        if (atom == 0) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = CountingProc;
            wc.hInstance = GetModuleHandleW(NULL);
            wc.lpszClassName = L"KorvaneBookListTest";
            atom = RegisterClassW(&wc);
        }
        hwnd = CreateWindowExW(0, L"KorvaneBookListTest", L"t", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, NULL, NULL,
                               GetModuleHandleW(NULL), NULL);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
    }
    ~TestWindow() { DestroyWindow(hwnd); }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;
    HWND hwnd;
    std::vector<UINT> seen;
};

TEST(PumpTest, DropsCloseRequestsDispatchesTheRestAndStopsAtQuit) {
    TestWindow window;
    PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
    PostMessageW(window.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(window.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PostMessageW(window.hwnd, WM_APP + 1, SC_CLOSE, 0);  // any message with SC_CLOSE
    PostMessageW(window.hwnd, WM_APP + 2, 0, 0);
    EXPECT_EQ(PumpPendingMessages(), 0);
    EXPECT_TRUE(IsWindow(window.hwnd)) << "a close request during a job is dropped";
    EXPECT_FALSE(IsIconic(window.hwnd));
    EXPECT_EQ(window.seen, std::vector<UINT>{WM_APP + 2});
    EXPECT_EQ(PumpPendingMessages(), 0) << "an empty queue returns at once";

    PostMessageW(window.hwnd, WM_APP + 3, 0, 0);
    PostQuitMessage(3);
    EXPECT_EQ(PumpPendingMessages(), 1);
    EXPECT_EQ(QuitTakenDuringJob, 1);
    EXPECT_EQ(QuitExitCode, 3);
    RepostTakenQuit();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(QuitTakenDuringJob, 0);
}

TEST(ListColourTest, StagesAndRowParities) {
    struct Case {
        DWORD stage;
        DWORD_PTR row;
        LRESULT result;
        COLORREF location, remark, diary;  // clrTextBk after each handler; 1 = untouched
    };
    const COLORREF kUntouched = 1;
    const Case kCases[] = {
        {CDDS_PREPAINT, 0, CDRF_NOTIFYITEMDRAW, kUntouched, kUntouched, kUntouched},
        {CDDS_ITEMPREPAINT, 1, CDRF_NOTIFYSUBITEMDRAW, kUntouched, kUntouched, kUntouched},
        {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 0, CDRF_NEWFONT, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},
        {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 1, CDRF_NEWFONT, 0xF4F0C0, 0xD2FFD2, 0xAAFFFF},
        {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 4, CDRF_NEWFONT, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},
        {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 7, CDRF_NEWFONT, 0xF4F0C0, 0xD2FFD2, 0xAAFFFF},
        {CDDS_POSTPAINT, 1, CDRF_DODEFAULT, kUntouched, kUntouched, kUntouched},
        {CDDS_ITEMPOSTPAINT, 1, CDRF_DODEFAULT, kUntouched, kUntouched, kUntouched},
    };
    LRESULT (*const handlers[3])(NMLVCUSTOMDRAW *) = {ColourListLocationRows, ColourRemarkRows, ColourDiaryRows};
    for (const Case &c : kCases) {
        const COLORREF expected[3] = {c.location, c.remark, c.diary};
        for (int h = 0; h < 3; h++) {
            NMLVCUSTOMDRAW draw = {};
            draw.nmcd.dwDrawStage = c.stage;
            draw.nmcd.dwItemSpec = c.row;
            draw.iSubItem = 2;  // not the Diary's Location
            draw.clrTextBk = kUntouched;
            draw.clrText = 0x123456;
            EXPECT_EQ(handlers[h](&draw), c.result) << "stage " << c.stage << " handler " << h;
            EXPECT_EQ(draw.clrTextBk, expected[h]) << "stage " << c.stage << " row " << c.row << " handler " << h;
            EXPECT_EQ(draw.clrText, 0x123456u) << "the text colour is never changed";
        }
    }
}

// The Diary's Location band over an owner-data-free list holding the
// locations: case-blind, kept across paints.
TEST(ListColourTest, DiaryLocationBandsFollowChangesOfLocation) {
    TestWindow window;
    ListViewBox box;
    box.ListViewBoxCreate(window.hwnd, GetModuleHandleW(NULL), kListContact, 0, 0, 500, 300, 1);
    for (int i = 1; i < 8; i++) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 40;
        SendMessageW(box.list, LVM_INSERTCOLUMNW, i, (LPARAM)&column);
    }
    const wchar_t *const kLocations[] = {L"", L"Ampang", L"AMPANG", L"Klang", L"Klang"};
    for (int i = 0; i < 5; i++) {
        box.ListViewBoxInsertItem(i, L"row");
        LVITEMW item = {};
        item.iSubItem = 6;
        item.pszText = const_cast<wchar_t *>(kLocations[i]);
        SendMessageW(box.list, LVM_SETITEMTEXTW, i, (LPARAM)&item);
    }
    LocationBandFlag = 0;
    LocationBandText[0] = 0;
    const COLORREF kFlag0 = 0xE0EEF4, kFlag1 = 0xFFDCDC;
    const COLORREF expected[] = {kFlag0, kFlag1, kFlag1, kFlag0, kFlag0};
    for (int row = 0; row < 5; row++) {
        NMLVCUSTOMDRAW draw = {};
        draw.nmcd.hdr.hwndFrom = box.list;
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        draw.nmcd.dwItemSpec = row;
        draw.iSubItem = 6;
        EXPECT_EQ(ColourDiaryRows(&draw), CDRF_NEWFONT);
        EXPECT_EQ(draw.clrTextBk, expected[row]) << "row " << row;
    }
    EXPECT_EQ(LocationBandFlag, 0) << "the band state lives on after the paint";
    EXPECT_STREQ(LocationBandText, L"Klang");
}

TEST(ListQueryTest, AQueryThatDoesNotFitIsRefusedNotCut) {
    ASSERT_TRUE(SetListQuery(L"select *,rowid from VLS order by C6 desc"));
    std::wstring longQuery = L"select *,rowid from VLS where C5 = '" + std::wstring(kListQueryBytes, L'A') + L"'";
    EXPECT_FALSE(SetListQuery(longQuery.c_str()));
    EXPECT_STREQ(CurrentListQuery, "select *,rowid from VLS order by C6 desc");
    std::wstring fits = L"select *,rowid from VLS where C5 = '" + std::wstring(1000, L'A') + L"'";
    EXPECT_TRUE(SetListQuery(fits.c_str())) << "a filtered query with a long quoted text";
    EXPECT_EQ(strlen(CurrentListQuery), fits.size());
}

TEST(ListKeysTest, DeleteAndF4ClickTheRowButtonOtherKeysReachTheList) {
    struct Case {
        HWND *handle;
        SUBCLASSPROC proc;
        int button;
    };
    const Case kCases[] = {
        {&FollowUpDialogHandle, FollowUpListKeyProc, 1002},
        {&RemarkDialogHandle, RemarkListKeyProc, 1204},
        {&DiaryDialogHandle, DiaryListKeyProc, 404},
    };
    for (const Case &c : kCases) {
        TestWindow window;
        CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD, 0, 0, 10, 10, window.hwnd, (HMENU)(INT_PTR)c.button,
                        GetModuleHandleW(NULL), NULL);
        ListViewBox box;
        box.ListViewBoxCreate(window.hwnd, GetModuleHandleW(NULL), kListContact, 0, 20, 500, 300, 1);
        for (int i = 0; i < 3; i++) box.ListViewBoxInsertItem(i, L"row");
        ASSERT_TRUE(InstallListKeyProc(box.list, c.proc));
        *c.handle = window.hwnd;
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(box.list, LVM_SETITEMSTATE, 0, (LPARAM)&state);

        SendMessageW(box.list, WM_KEYDOWN, VK_DELETE, 0);
        SendMessageW(box.list, WM_KEYDOWN, VK_F4, 0);
        EXPECT_EQ(window.seen, (std::vector<UINT>{(UINT)c.button, (UINT)c.button}));
        SendMessageW(box.list, WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_EQ(window.seen.size(), 2u) << "other keys do not click";
        EXPECT_EQ(SendMessageW(box.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 1)
            << "the arrow key reached the list";
        *c.handle = NULL;
    }
}

}  // namespace
