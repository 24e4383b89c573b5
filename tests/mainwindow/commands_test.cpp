// The main window's file choices of Use BackUp Diary, Import Diary and
// Import Remark, and Get IP, over the live main window: the file is
// "chosen" through ChooseFileHook, the adapters come from AdaptersInfoHook.
#include <winsock2.h>

#include <windows.h>

#include <iphlpapi.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "booktest.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

// ---- The file choice ------------------------------------------------------------

std::wstring ChosenPath;
bool ChoiceCancelled;

int ChooseRecorded(HWND, WCHAR *file, DWORD fileChars, WCHAR *title, DWORD titleChars) {
    if (ChoiceCancelled) return 0;
    lstrcpynW(file, ChosenPath.c_str(), (int)fileChars);
    size_t slash = ChosenPath.find_last_of(L"\\/");
    lstrcpynW(title, ChosenPath.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), (int)titleChars);
    return 1;
}

struct Step {
    int step;
    int action;  // PendingAction when it ran
};
std::vector<Step> Steps;
sqlite3 *ImportDbAtStep;

void RecordStep(int step, int, HWND) {
    Steps.push_back({step, PendingAction});
    ImportDbAtStep = ImportDb;
}

const wchar_t kFolder[] = L"C:\\KorvaneChoice";
const wchar_t kDiaryCopy[] = L"C:\\KorvaneChoice\\diary copy.db";
const wchar_t kPlainDiary[] = L"C:\\KorvaneChoice\\no password.db";
const wchar_t kRemarkCopy[] = L"C:\\KorvaneChoice\\remark copy.db";
const wchar_t kNoSettings[] = L"C:\\KorvaneChoice\\no settings.db";
const wchar_t kMissing[] = L"C:\\KorvaneChoice\\missing.db";

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

void RunOn(const wchar_t *book, const std::string &sql) {
    sqlite3 *db = NULL;
    ASSERT_EQ(sqlite3_open(testsupport::Utf8(book).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), NULL, NULL, NULL), SQLITE_OK) << sql;
    sqlite3_close(db);
}

class FileChoice : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        testsupport::RemoveTree(kFolder);
        ASSERT_TRUE(CreateDirectoryW(kFolder, NULL));
        // Copies of the program's own books, made while nothing writes them.
        ASSERT_TRUE(CopyFileW(live::kDiaryBook, kDiaryCopy, FALSE));
        ASSERT_TRUE(CopyFileW(live::kDiaryBook, kPlainDiary, FALSE));
        ASSERT_TRUE(CopyFileW(live::kRemarkBook, kRemarkCopy, FALSE));
        RunOn(kDiaryCopy, "update PRS set C2 = '" + Field(L"COPY7") + "' where C1 = 'D'");
        RunOn(kPlainDiary, "delete from PRS where C1 = 'D'");
        RunOn(kRemarkCopy, "update PRS set C2 = '" + Field(L"REMC3") + "' where C1 = 'D'");
        RunOn(kNoSettings, "create table X(A)");
        Steps.clear();
        ChoiceCancelled = false;
        ChooseFileHook = ChooseRecorded;
        GuardedStepHook = RecordStep;
    }
    void TearDown() override {
        ChooseFileHook = NULL;
        GuardedStepHook = NULL;
        if (ImportDb != NULL) sqlite3_close(ImportDb);
        ImportDb = NULL;
        BookWindowTest::TearDown();
        testsupport::RemoveTree(kFolder);
    }
};

TEST_F(FileChoice, RefusalsAndChoicesOfTheThreeCommands) {
    const std::wstring kVersionFailed = L"Can't get the 'Import Diary' version.";
    struct Case {
        const char *name;
        int command;
        std::wstring path;
        std::wstring message;  // the last message shown; empty when none
        bool focusKept;        // the focus stays where it was
        int step;              // the step that follows; -1 none
        const wchar_t *password;
    };
    const int none = -1;
    const Case cases[] = {
        // Use BackUp Diary
        {"backup: cancelled", IDM_USE_BACKUP_DIARY, L"<cancel>", L"", false, none, L""},
        {"backup: empty", IDC_BIG_USE_BACKUP_DIARY, L"", L"Please choose a 'BackUp Diary' file.", false, none, L""},
        {"backup: settings file", IDM_USE_BACKUP_DIARY, L"C:\\KorvaneInit.db",
         L"This is a setting file not a diary file.", false, none, L""},
        {"backup: remark book by name", IDM_USE_BACKUP_DIARY, L"c:\\lastremark.db",
         L"This is a LastRemark file not a diary file.", false, none, L""},
        {"backup: missing file", IDM_USE_BACKUP_DIARY, kMissing, L"Can't open the 'BackUp Diary'.", false, none, L""},
        {"backup: a remark book", IDM_USE_BACKUP_DIARY, kRemarkCopy, L"Sorry, this is not a Diary file.", true, none,
         L""},
        {"backup: no settings table", IDM_USE_BACKUP_DIARY, kNoSettings, kVersionFailed, true, none, L""},
        {"backup: the own diary is taken", IDM_USE_BACKUP_DIARY, L"C:\\KorvaneDiary.db", L"", false,
         kStepImportDiary, L""},
        {"backup: a diary with a password", IDC_BIG_USE_BACKUP_DIARY, kDiaryCopy, L"", false, kStepImportDiary,
         L"COPY7"},
        {"backup: then one without", IDM_USE_BACKUP_DIARY, kPlainDiary, L"", false, kStepImportDiary, L""},
        // Import Diary
        {"import: cancelled", IDM_IMPORT_DIARY, L"<cancel>", L"", false, none, L""},
        {"import: own diary", IDC_BIG_IMPORT_DIARY, L"c:\\KORVANEDIARY.db",
         L"You can't import your own Diary because it will create duplicate data.", false, none, L""},
        {"import: settings file", IDM_IMPORT_DIARY, L"C:\\KorvaneChoice\\KorvaneInit.db",
         L"You can't import the Setting file, because its not a Diary file.", false, none, L""},
        {"import: remark book by name", IDM_IMPORT_DIARY, L"C:\\LastRemark.db",
         L"You can't import the LastRemark file, because its not a Diary file.", false, none, L""},
        {"import: empty", IDM_IMPORT_DIARY, L"", L"Please choose a Diary file to import.", false, none, L""},
        {"import: missing file", IDM_IMPORT_DIARY, kMissing, L"Can't open the 'Import Diary'.", false, none, L""},
        {"import: a remark book", IDM_IMPORT_DIARY, kRemarkCopy, L"Sorry, this is not a Diary file.", true, none,
         L""},
        {"import: no settings table", IDM_IMPORT_DIARY, kNoSettings, kVersionFailed, true, none, L""},
        {"import: a diary with a password", IDM_IMPORT_DIARY, kDiaryCopy, L"", false, kStepImportDiary, L"COPY7"},
        {"import: then one without", IDC_BIG_IMPORT_DIARY, kPlainDiary, L"", false, kStepImportDiary, L""},
        // Import Remark
        {"remark: cancelled", IDM_IMPORT_REMARK, L"<cancel>", L"", false, none, L""},
        {"remark: own remark book", IDC_BIG_IMPORT_REMARK, L"c:\\lastremark.DB",
         L"You can't import your own Remark because it will create duplicate data.", false, none, L""},
        {"remark: settings file", IDM_IMPORT_REMARK, L"C:\\KorvaneInit.db",
         L"You can't import the Setting file, because its not a Remark file.", false, none, L""},
        {"remark: the diary by name", IDM_IMPORT_REMARK, L"C:\\KorvaneDiary.db",
         L"You can't import the KorvaneDiary file, because its not a Remark file.", false, none, L""},
        {"remark: empty", IDM_IMPORT_REMARK, L"", L"Please choose a Diary file to import.", false, none, L""},
        {"remark: missing file", IDM_IMPORT_REMARK, kMissing, L"Can't open the 'Import Diary'.", false, none, L""},
        {"remark: a diary", IDM_IMPORT_REMARK, kDiaryCopy, L"Sorry, this is not a Remark file.", true, none, L""},
        {"remark: no settings table", IDM_IMPORT_REMARK, kNoSettings, kVersionFailed, true, none, L""},
        {"remark: a remark book", IDM_IMPORT_REMARK, kRemarkCopy, L"", false, kStepImportRemark, L"REMC3"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        live::Shown.clear();
        Steps.clear();
        ChoiceCancelled = c.path == L"<cancel>";
        ChosenPath = c.path;
        SetFocus(ContactList.list);
        ASSERT_EQ(GetFocus(), ContactList.list);
        SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED), 0);
        EXPECT_EQ(live::Shown.empty() ? L"" : live::Shown.back().text, c.message);
        if (!c.message.empty()) {
            EXPECT_EQ(live::Shown.back().caption, L"Error");
        }
        EXPECT_EQ(GetFocus(), c.focusKept ? ContactList.list : PlateEntryEdit);
        EXPECT_EQ(ImportDb, (sqlite3 *)NULL) << "no connection is left open";
        bool backup = c.command == IDM_USE_BACKUP_DIARY || c.command == IDC_BIG_USE_BACKUP_DIARY;
        bool remark = c.command == IDM_IMPORT_REMARK || c.command == IDC_BIG_IMPORT_REMARK;
        EXPECT_EQ(PendingAction, backup ? kActionUseBackUpDiary : remark ? kActionImportRemark : kActionImportDiary);
        if (c.step == none) {
            EXPECT_TRUE(Steps.empty());
        } else {
            ASSERT_EQ(Steps.size(), 1u);
            EXPECT_EQ(Steps[0].step, c.step);
            EXPECT_STREQ(ImportFilePassword, c.password) << "the chosen file's password, never an earlier one";
            if (backup) {
                EXPECT_EQ(ImportDbAtStep, (sqlite3 *)NULL) << "the restore reads the file from its path";
                EXPECT_EQ(std::wstring(DiaryBackupPath), c.path);
            } else {
                EXPECT_NE(ImportDbAtStep, (sqlite3 *)NULL) << "the import reads the open connection";
                EXPECT_EQ(std::wstring(ImportFilePath), c.path);
            }
        }
        EXPECT_EQ(GetFileAttributesW(kMissing), INVALID_FILE_ATTRIBUTES) << "no file is made for a missing name";
    }
}

TEST_F(FileChoice, RefusalsInMalay) {
    UseEnglish = 0;
    struct Case {
        int command;
        std::wstring path;
        std::wstring message;
    } cases[] = {
        {IDM_IMPORT_DIARY, kRemarkCopy, L"Maaf, ini bukan file Diary."},
        {IDM_IMPORT_REMARK, kDiaryCopy, L"Maaf, ini bukan file Remark."},
        {IDM_USE_BACKUP_DIARY, L"", L"Sila pilih file 'BackUp Diary'."},
        {IDM_IMPORT_DIARY, L"C:\\KorvaneDiary.db",
         L"Anda tidak boleh import Diary anda sendiri kerana akan menyebabkan masaalah data duplicate."},
    };
    for (const Case &c : cases) {
        live::Shown.clear();
        ChosenPath = c.path;
        SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(c.command, 0), 0);
        ASSERT_FALSE(live::Shown.empty());
        EXPECT_EQ(live::Shown.back().text, c.message);
        EXPECT_EQ(live::Shown.back().caption, L"Masaalah");
    }
    EXPECT_TRUE(Steps.empty());
}

// ---- Get IP ----------------------------------------------------------------------

struct FakeAdapter {
    const char *address;
    const char *description;
};
std::vector<FakeAdapter> Adapters;
std::vector<ULONG> AskedSizes;
DWORD AdapterFailure;

DWORD FakeAdaptersInfo(IP_ADAPTER_INFO *info, ULONG *size) {
    AskedSizes.push_back(*size);
    if (AdapterFailure != NO_ERROR) return AdapterFailure;
    ULONG needed = (ULONG)(Adapters.size() * sizeof(IP_ADAPTER_INFO));
    if (*size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    memset(info, 0, needed);
    for (size_t i = 0; i < Adapters.size(); i++) {
        strcpy(info[i].IpAddressList.IpAddress.String, Adapters[i].address);
        strcpy(info[i].Description, Adapters[i].description);
        info[i].Next = i + 1 < Adapters.size() ? &info[i + 1] : NULL;
    }
    return NO_ERROR;
}

class GetIp : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        AdaptersInfoHook = FakeAdaptersInfo;
        AskedSizes.clear();
        AdapterFailure = NO_ERROR;
        Adapters = {
            {"192.168.1.20", "Realtek PCIe GbE Family Controller"},
            {"0.0.0.0", "Intel(R) Wi-Fi 6 AX201"},
            {"192.168.56.1", "VirtualBox Host-Only Ethernet Adapter"},
            {"10.0.0.5", "Intel(R) Ethernet Connection"},
            {"192.168.85.1", "VMware Virtual Ethernet Adapter for VMnet8"},
            {"169.254.1.1", "Npcap Loopback Adapter"},
            {"172.16.0.9", "vmware virtual switch"},
        };
    }
    void TearDown() override {
        AdaptersInfoHook = NULL;
        BookWindowTest::TearDown();
    }
    static std::vector<std::wstring> Lines() {
        std::vector<std::wstring> lines;
        int count = FoundVehicleList.ListViewBoxGetItemCount();
        for (int i = 0; i < count; i++) lines.push_back(booktest::Cell(FoundVehicleList.list, i, 0));
        return lines;
    }
    static std::wstring Line(const wchar_t *address, const wchar_t *description) {
        return std::wstring(address) + L"              >> " + description;
    }
};

TEST_F(GetIp, TheButtonLeavesOutVirtualAdaptersTheMenuListsEveryOneLastOnTop) {
    FoundVehicleList.ListViewBoxInsertItem(0, L"an earlier line");
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_GET_IP, BN_CLICKED), 0);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{Line(L"172.16.0.9", L"vmware virtual switch"),
                                                  Line(L"10.0.0.5", L"Intel(R) Ethernet Connection"),
                                                  Line(L"192.168.1.20", L"Realtek PCIe GbE Family Controller")}));
    ASSERT_EQ(AskedSizes.size(), 2u) << "asked again with the size the first call gave";
    EXPECT_EQ(AskedSizes[1], (ULONG)(Adapters.size() * sizeof(IP_ADAPTER_INFO)));
    EXPECT_EQ(GetFocus(), PlateEntryEdit);

    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDM_GET_IP_ALL, 0), 0);
    EXPECT_EQ(PendingAction, kActionGetIpAll);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{
                           Line(L"172.16.0.9", L"vmware virtual switch"),
                           Line(L"169.254.1.1", L"Npcap Loopback Adapter"),
                           Line(L"192.168.85.1", L"VMware Virtual Ethernet Adapter for VMnet8"),
                           Line(L"10.0.0.5", L"Intel(R) Ethernet Connection"),
                           Line(L"192.168.56.1", L"VirtualBox Host-Only Ethernet Adapter"),
                           Line(L"192.168.1.20", L"Realtek PCIe GbE Family Controller"),
                       }));
    EXPECT_TRUE(live::Shown.empty());
}

TEST_F(GetIp, AFailureIsOneLine) {
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDM_GET_IP_ALL, 0), 0);
    ASSERT_EQ(Lines().size(), 6u);
    AdapterFailure = ERROR_NO_DATA;
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_GET_IP, BN_CLICKED), 0);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"Fail to get the IP address"}));
}

}  // namespace
