// A plate search over the live main window while drive C is full: every
// write of the engine fails as the system fails it (WriteFile with
// ERROR_DISK_FULL), so the diary takes neither the history nor the row.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "cipher.h"
#include "datastore.h"
#include "livewindow.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

BOOL WINAPI FullDiskWriteFile(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
    if (written != NULL) *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// While it lives, the engine's every file write meets a full disk.
class FullDisk {
  public:
    FullDisk() : vfs_(sqlite3_vfs_find(NULL)) {
        ok_ = vfs_ != NULL && vfs_->iVersion >= 3 &&
              vfs_->xSetSystemCall(vfs_, "WriteFile", (sqlite3_syscall_ptr)FullDiskWriteFile) == SQLITE_OK;
    }
    ~FullDisk() {
        if (ok_) vfs_->xSetSystemCall(vfs_, "WriteFile", NULL);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    bool ok() const { return ok_; }

  private:
    sqlite3_vfs *vfs_;
    bool ok_;
};

std::string Field(const BlowfishContext &ctx, const WCHAR *text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text, field);
    return field;
}

class SearchLogTest : public live::LiveMainWindow {
  protected:
    void SetUp() override {
        LiveMainWindow::SetUp();
        UseEnglish = 1;
        // A wanted vehicle, through the program's own data connection.
        char key[kMd5HexBytes];
        VehicleLookupKey(L"WFD4411", key);
        key_ = key;
        std::string row = "insert into VLD(C1, C2, C3, C4, C5) values('" + key_ + "','" +
                          Field(DataCipher, L"##05 Mar 2025##") + "','" + Field(DataCipher, L"SALOON RED") + "','" +
                          Field(DataCipher, L"##BANK RAKYAT##") + "','" + Field(DataCipher, L"##4##") + "')";
        ASSERT_EQ(sqlite3_exec(DataDb, row.c_str(), NULL, NULL, NULL), SQLITE_OK) << sqlite3_errmsg(DataDb);
    }
    void TearDown() override {
        if (DataDb != NULL) sqlite3_exec(DataDb, ("delete from VLD where C1 = '" + key_ + "'").c_str(), NULL, NULL, NULL);
        LiveMainWindow::TearDown();
    }
    // Keys plate into the plate entry and presses Enter, as the agent does.
    static void KeyIn(const std::wstring &plate) {
        SetFocus(PlateEntryEdit);
        for (wchar_t c : plate) SendMessageW(PlateEntryEdit, WM_CHAR, c, 1);
        SendMessageW(PlateEntryEdit, WM_CHAR, L'\r', 1);
        live::Pump();
    }
    static std::wstring Text(int id) {
        WCHAR text[512] = {0};
        GetWindowTextW(MainControl(id), text, ARRAYSIZE(text));
        return text;
    }
    std::string key_;
};

TEST_F(SearchLogTest, WithDriveCFullTheHitIsShownAndSaidOnce) {
    int rows = live::CountRows(live::kDiaryBook, "select rowid from VLS");
    {
        FullDisk full;
        ASSERT_TRUE(full.ok());
        KeyIn(L"wfd4411");
    }
    EXPECT_EQ(Text(IDC_RESULT), L"WFD4411 | 4 | 05 Mar 2025 | BANK RAKYAT | SALOON RED");
    EXPECT_TRUE(IsWindowVisible(MainControl(IDC_RESULT)));
    ASSERT_EQ(live::Shown.size(), 1u);
    EXPECT_EQ(live::Shown[0].caption, L"Error");
    EXPECT_EQ(live::Shown[0].text.rfind(L"This search could not be written into the Diary: the Diary cannot be written "
                                        L"now (drive C may be full, or another program may be using the Diary).",
                                        0),
              0u)
        << testsupport::Utf8(live::Shown[0].text);
    EXPECT_NE(live::Shown[0].text.find(L"[database or disk is full]"), std::wstring::npos);
    ASSERT_NE(MainWindow, (HWND)NULL) << "the program goes on";
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select rowid from VLS"), rows);
    EXPECT_EQ(live::ReadEncipheredKey(live::kDiaryBook, "PRS", "FH1"), L"");

    // Room again: the next search is logged, history and row.
    live::Shown.clear();
    KeyIn(L"WFD4411");
    EXPECT_TRUE(live::Shown.empty());
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select rowid from VLS"), rows + 1);
    EXPECT_EQ(live::ReadEncipheredKey(live::kDiaryBook, "PRS", "FH1"), L"WFD4411");
    EXPECT_EQ(live::CountRows(live::kDiaryBook, ("select rowid from VLS where C2 = 1 and C3 = '" +
                                                 Field(LocalCipher, L"WFD4411") + "'")
                                                    .c_str()),
              1);
}

}  // namespace
