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
#include "remarkform.h"
#include "testsupport.h"

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
        hwnd = CreateWindowExW(0, testsupport::TestWindowClass(L"KorvaneBookListTest", CountingProc), L"t", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, NULL, NULL,
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

int Selected(HWND list) { return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED); }

// A window holding two owner-data lists of the same size and rows, one
// with the Remark window's key filter and one without, that records for
// each list the row the windows' key handlers see when LVN_KEYDOWN comes.
class TwoLists {
  public:
    explicit TwoLists(int rows) {
        hwnd = CreateWindowExW(0, testsupport::TestWindowClass(L"KorvaneListMoveTest", Proc), L"t", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1100, 400,
                               NULL, NULL, GetModuleHandleW(NULL), NULL);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        quick.ListViewBoxCreate(hwnd, GetModuleHandleW(NULL), kListRemark, 0, 0, 500, 300, 1);
        plain.ListViewBoxCreate(hwnd, GetModuleHandleW(NULL), kListRemark, 520, 0, 500, 300, 1);
        SetWindowLongPtrW(plain.list, GWLP_ID, 2);  // the two lists told apart by id
        for (ListViewBox *box : {&quick, &plain}) box->ListViewBoxSetItemCount(rows);
        RemarkDialogHandle = hwnd;
        installed = InstallListKeyProc(quick.list, RemarkListKeyProc);
        UpdateWindow(hwnd);
    }
    ~TwoLists() {
        RemarkDialogHandle = NULL;
        DestroyWindow(hwnd);
    }
    TwoLists(const TwoLists &) = delete;
    TwoLists &operator=(const TwoLists &) = delete;

    // Posts the messages to list and takes them, and all they lead to,
    // through the dialog manager of the window.
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    void Deliver(HWND list, std::initializer_list<Posted> messages) {
        SetFocus(list);
        for (const Posted &m : messages) PostMessageW(list, m.message, m.wParam, m.lParam);
        MSG msg;
        for (int i = 0; i < 10000 && PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE); i++) {
            if (IsDialogMessageW(hwnd, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void Press(HWND list, UINT key) {
        LPARAM down = 1 | (LPARAM)MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16;
        Deliver(list, {{WM_KEYDOWN, key, down}, {WM_KEYUP, key, (LPARAM)((DWORD)down | 0xC0000000u)}});
    }
    void Click(HWND list, int row) {
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, (WPARAM)row, (LPARAM)&rect);
        LPARAM at = MAKELPARAM(rect.left + 40, (rect.top + rect.bottom) / 2);
        Deliver(list, {{WM_LBUTTONDOWN, MK_LBUTTON, at}, {WM_LBUTTONUP, 0, at}});
    }

    HWND hwnd;
    ListViewBox quick, plain;
    bool installed = false;
    int seenQuick = -2, seenPlain = -2;  // SelectedListRow at the last LVN_KEYDOWN
    int heldByQuick = -2;                 // the quick list's own selected row then

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        TwoLists *self = reinterpret_cast<TwoLists *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != NULL && msg == WM_NOTIFY) {
            NMHDR *header = reinterpret_cast<NMHDR *>(lParam);
            if (header->code == LVN_KEYDOWN) {
                (header->idFrom == 2 ? self->seenPlain : self->seenQuick) = SelectedListRow(header->hwndFrom);
                if (header->idFrom != 2) self->heldByQuick = Selected(header->hwndFrom);
            }
        }
        return DefWindowProcW(window, msg, wParam, lParam);
    }
};

TEST(ListMoveTest, KeysAndClicksMoveTheSelectionAsTheListItselfDoes) {
    const int kRows = 500;
    TwoLists lists(kRows);
    ASSERT_TRUE(lists.installed);
    int perPage = (int)SendMessageW(lists.plain.list, LVM_GETCOUNTPERPAGE, 0, 0);
    ASSERT_GT(perPage, 2);
    for (ListViewBox *box : {&lists.quick, &lists.plain}) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(box->list, LVM_SETITEMSTATE, 3, (LPARAM)&state);
    }
    struct Case {
        UINT key;
        int row;   // where the selection must be after the key; -1: wherever the list itself puts it
        int from;  // the row the key handler sees, -1: not checked
    };
    const Case kCases[] = {
        {VK_DOWN, 4, 3},       {VK_HOME, 0, 4},        {VK_UP, 0, 0},      {VK_DOWN, 1, 0},
        {VK_NEXT, -1, 1},      {VK_NEXT, -1, -1},      {VK_PRIOR, -1, -1}, {VK_UP, -1, -1},
        {VK_END, kRows - 1, -1}, {VK_DOWN, kRows - 1, kRows - 1}, {VK_NEXT, kRows - 1, kRows - 1},
        {VK_PRIOR, -1, kRows - 1}, {VK_LEFT, -1, -1},  {VK_HOME, 0, -1},
    };
    int step = 0;
    for (const Case &c : kCases) {
        SCOPED_TRACE(testing::Message() << "key " << step++ << " (" << c.key << ")");
        lists.Press(lists.plain.list, c.key);
        lists.Press(lists.quick.list, c.key);
        EXPECT_EQ(Selected(lists.quick.list), Selected(lists.plain.list)) << "the same row as the list's own move";
        if (c.row >= 0) {
            EXPECT_EQ(Selected(lists.quick.list), c.row);
        }
        EXPECT_EQ(SendMessageW(lists.quick.list, LVM_GETSELECTEDCOUNT, 0, 0), 1) << "one selected row, never none";
        EXPECT_EQ(lists.seenQuick, lists.seenPlain) << "the key handlers see the row the key moves from";
        if (c.key != VK_LEFT) {
            EXPECT_EQ(lists.heldByQuick, -1) << "the list had no selection left to clear when the key came";
        }
        if (c.from >= 0) {
            EXPECT_EQ(lists.seenQuick, c.from);
        }
    }
    // A click on a row selects it, the selected row too.
    lists.Press(lists.quick.list, VK_HOME);
    lists.Press(lists.plain.list, VK_HOME);
    for (int row : {2, 5, 5, 0}) {
        lists.Click(lists.plain.list, row);
        lists.Click(lists.quick.list, row);
        EXPECT_EQ(Selected(lists.quick.list), row);
        EXPECT_EQ(Selected(lists.plain.list), row);
        EXPECT_EQ(SendMessageW(lists.quick.list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    }
    EXPECT_EQ(SelectionMoveList, (HWND)NULL) << "no move is left half done";
}

}  // namespace
