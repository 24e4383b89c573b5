// ListViewBox: a thin wrapper around one report-view list control. The
// kind (0-5) fixes the control id, styles, owner-data mode, icons and the
// columns with their texts in both languages.
#pragma once

#include <windows.h>

enum ListViewKind {
    kListResult = 0,        // 12005, main window, hidden
    kListDiary = 1,         // 12006, Diary window, owner data with icons
    kListContact = 2,       // 12007, main window, contact lines
    kListFoundVehicle = 3,  // 12008, main window, found vehicles, no header
    kListRemark = 4,        // 1222, FollowUp and Remark windows, owner data
    kListLocation = 5,      // 1304, List Location window, owner data with icons
};

class ListViewBox {
  public:
    ListViewBox() { ListViewBoxInit(); }
    ~ListViewBox() { ListViewBoxReset(); }
    ListViewBox(const ListViewBox &) = delete;
    ListViewBox &operator=(const ListViewBox &) = delete;

    void ListViewBoxInit() { parent = NULL; list = NULL; }
    // Forgets the handles; the control dies with its parent window.
    void ListViewBoxReset() { list = NULL; parent = NULL; }

    // Creates the control of the given kind and its columns, English when
    // language is 1, else Malay. A kind outside 0-5 creates nothing; a failed
    // image list leaves the control without columns.
    void ListViewBoxCreate(HWND parentWindow, HINSTANCE instanceHandle, int listKind, int x, int y,
                           int width, int height, int language);
    // Builds the 16x16 image list of icons 15000-15002 and sets it as the
    // list's small image list. Returns 1, or 0 when it could not be built.
    int ListViewBoxAddIcons(HWND listWindow);
    void ListViewBoxSetItemCount(int count);
    // Inserts one item with its main text; returns its index or -1.
    int ListViewBoxInsertItem(int index, const WCHAR *text);
    int ListViewBoxGetItemCount();
    void ListViewBoxClear();
    void ListViewBoxHide();
    void ListViewBoxShow();
    // Sets every column header to its text in language (1 English, else
    // Malay); widths and items stay.
    void ListViewBoxSetLanguage(int language);

    HWND parent;          // the owner window; NULL until created
    HINSTANCE instance;   // whose icons the list uses
    int kind;             // 0-5
    HWND list;            // the control; NULL until created or when creation failed
};

// listviewbox.cpp: the program's six lists
extern ListViewBox ResultList;        // main window; hidden, never filled
extern ListViewBox DiaryList;         // Diary window rows
extern ListViewBox ContactList;       // main window; the six contact lines
extern ListViewBox FoundVehicleList;  // main window; found vehicles, newest on top
extern ListViewBox RemarkList;        // FollowUp or Remark window, one at a time
extern ListViewBox LocationList;      // List Location window
