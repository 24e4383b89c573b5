// The setup program's routines in this process: the progress position, the
// path rules, the trimming of system texts, and the copy that replaces a
// desktop file only with a complete new one.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup.h"
#include "testsupport.h"

namespace {

TEST(SetupProgress, PercentOfTheFileCopied) {
    const LONGLONG kFiveGigabytes = 5LL * 1024 * 1024 * 1024;
    struct Case {
        LONGLONG transferred, total;
        int expected;
    } cases[] = {
        {0, 0, 100},                                  // an empty file is complete at once
        {0, 100, 0},
        {1, 3, 33},
        {2, 3, 66},
        {99, 100, 99},
        {100, 100, 100},
        {150, 100, 100},                              // never beyond the bar's range
        {kFiveGigabytes / 2, kFiveGigabytes, 50},     // sizes beyond 32 bits
        {kFiveGigabytes - 1, kFiveGigabytes, 99},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CopyProgressPercent(c.transferred, c.total), c.expected)
            << c.transferred << " of " << c.total;
    }
}

TEST(SetupPaths, DesktopPathRules) {
    std::string longName(240, 'x');
    struct Case {
        const char *shell, *user;
        std::string name;
        int pre2000;
        bool fits;
        const char *expected;
    } cases[] = {
        {"C:\\users\\ali\\Desktop", "ali", "Korvane.exe", 1, true, "C:\\Windows\\Desktop\\Korvane.exe"},
        {"C:\\users\\ali\\Desktop", "ali", "Korvane.exe", 0, true, "C:\\users\\ali\\Desktop\\Korvane.exe"},
        {"D:\\Profiles\\ali\\Desktop\\", "ali", "a.db", 0, true, "D:\\Profiles\\ali\\Desktop\\a.db"},
        {"", "ali", "a.db", 0, true, "C:\\Documents and Settings\\ali\\Desktop\\a.db"},
        {NULL, "", "a.db", 0, true, "C:\\Documents and Settings\\All Users\\Desktop\\a.db"},
        {"C:\\users\\ali\\Desktop", "ali", longName, 0, false, ""},
        {NULL, "ali", longName, 0, false, ""},
        {NULL, "ali", longName, 1, false, ""},        // 19 + 240 characters do not fit 256 bytes
    };
    for (const Case &c : cases) {
        char out[kSetupTextBytes] = "junk";
        bool fits = BuildDesktopPath(out, sizeof out, c.shell, c.user, c.name.c_str(), c.pre2000);
        EXPECT_EQ(fits, c.fits) << c.name.size() << " " << (c.shell ? c.shell : "(none)");
        EXPECT_STREQ(out, c.expected) << "a path that does not fit is never used cut short";
    }

    // The longest name that fits: 255 characters and the terminator.
    char out[kSetupTextBytes];
    std::string fitting(255 - 19, 'y');   // "C:\Windows\Desktop\" is 19 characters
    EXPECT_TRUE(BuildDesktopPath(out, sizeof out, NULL, "", fitting.c_str(), 1));
    EXPECT_EQ(std::string(out).size(), 255u);
}

TEST(SetupPaths, DesktopAndSourceOfThisProcess) {
    char shell[MAX_PATH] = {0};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, shell)));
    const char *desktop = DesktopPathOf("Korvane.exe", 0);
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(std::string(desktop), std::string(shell) + "\\Korvane.exe");
    EXPECT_EQ(desktop, DesktopPath) << "the result lives in the shared buffer";
    EXPECT_EQ(DesktopPathOf(std::string(300, 'z').c_str(), 0), nullptr);

    char module[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, module, MAX_PATH);
    std::string folder(module);
    folder.erase(folder.rfind('\\') + 1);
    char setupFolder[kSetupTextBytes];
    EXPECT_EQ(GetSetupFolder(setupFolder), 1);
    EXPECT_EQ(std::string(setupFolder), folder);
    const char *source = SourcePathOf("KorvaneData.db");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(std::string(source), folder + "KorvaneData.db");
    EXPECT_EQ(SourcePathOf(std::string(300, 'z').c_str()), nullptr);
}

TEST(SetupPaths, SystemTextIsTrimmed) {
    struct Case {
        const char *text, *expected;
    } cases[] = {
        {"The system cannot find the file specified.\r\n", "The system cannot find the file specified"},
        {"Access is denied. \r\n", "Access is denied"},
        {"first line\r\nsecond line.", "first line"},
        {"a\tb...", "a\tb"},
        {"Fichier introuvable \xE9t\xE9.\r\n", "Fichier introuvable \xE9t\xE9"},  // ANSI letters stay
        {"...", ""},
        {"", ""},
    };
    for (const Case &c : cases) {
        char text[kSetupTextBytes];
        lstrcpynA(text, c.text, sizeof text);
        TrimSystemMessage(text);
        EXPECT_STREQ(text, c.expected) << c.text;
    }
}

// ReplaceWithNewCopy in a scratch folder; the desktop file is replaced only
// by a whole new copy.
class ReplaceCopy : public testing::Test {
  protected:
    void SetUp() override {
        source_ = Narrow(folder_.File(L"source.bin"));
        target_ = Narrow(folder_.File(L"target.bin"));
        temporary_ = target_ + ".new";
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        SetupProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 20, NULL,
                                           NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(SetupProgressBar, (HWND)NULL);
        SendMessageA(SetupProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    void TearDown() override {
        DestroyWindow(SetupProgressBar);
        SetupProgressBar = NULL;
        SetFileAttributesA(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    static std::string Narrow(const std::wstring &text) { return std::string(text.begin(), text.end()); }
    static std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }
    void Write(const std::string &path, const std::string &text) {
        ASSERT_TRUE(testsupport::WriteFileBytes(Wide(path), std::vector<unsigned char>(text.begin(), text.end())));
    }
    std::string Read(const std::string &path) {
        std::vector<unsigned char> bytes;
        if (!testsupport::ReadFileBytes(Wide(path), &bytes)) return "(missing)";
        return std::string(bytes.begin(), bytes.end());
    }
    int Progress() { return (int)SendMessageA(SetupProgressBar, PBM_GETPOS, 0, 0); }

    testsupport::ScratchFolder folder_{L"setup-replace"};
    std::string source_, target_, temporary_;
};

TEST_F(ReplaceCopy, EmptyFileShowsFullProgress) {
    Write(source_, "");
    Write(target_, "old");
    SendMessageA(SetupProgressBar, PBM_SETPOS, 37, 0);
    EXPECT_TRUE(ReplaceWithNewCopy(source_.c_str(), target_.c_str(), 0));
    EXPECT_EQ(Read(target_), "");
    EXPECT_EQ(Progress(), 100);
    LARGE_INTEGER empty = {};
    EXPECT_EQ(CopyProgressCallback(empty, empty, empty, empty, 1, CALLBACK_STREAM_SWITCH, NULL,
                                   NULL, NULL),
              (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(Progress(), 100) << "the progress routine on an empty file";
}

TEST_F(ReplaceCopy, StaleReadOnlyTemporaryCopyIsOverwritten) {
    Write(source_, "new program");
    Write(target_, "old program");
    Write(temporary_, "half a copy from a pulled pen drive");
    ASSERT_TRUE(SetFileAttributesA(temporary_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(ReplaceWithNewCopy(source_.c_str(), target_.c_str(), 0));
    EXPECT_EQ(Read(target_), "new program");
    EXPECT_EQ(Read(temporary_), "(missing)");
}

TEST_F(ReplaceCopy, FailuresKeepTheOldFile) {
    Write(target_, "old program");
    // The source went away (the pen drive was pulled) before the copy.
    EXPECT_FALSE(ReplaceWithNewCopy(source_.c_str(), target_.c_str(), 0));
    EXPECT_EQ(Read(target_), "old program");
    // The temporary name cannot be written: the copy fails, nothing changes.
    Write(source_, "new program");
    ASSERT_TRUE(CreateDirectoryA(temporary_.c_str(), NULL));
    EXPECT_FALSE(ReplaceWithNewCopy(source_.c_str(), target_.c_str(), 1));
    EXPECT_EQ(Read(target_), "old program");
    EXPECT_TRUE(GetFileAttributesA(temporary_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(temporary_.c_str());
    // Before Windows 2000 the copy takes the plain road and the bar stays.
    SendMessageA(SetupProgressBar, PBM_SETPOS, 0, 0);
    EXPECT_TRUE(ReplaceWithNewCopy(source_.c_str(), target_.c_str(), 1));
    EXPECT_EQ(Read(target_), "new program");
    EXPECT_EQ(Progress(), 0);
}

// A new copy of a database leaves none of the engine's files of the old one
// beside it, whatever the run meets; a failed copy keeps the old file with
// its journal.
TEST_F(ReplaceCopy, ADatabaseLeavesNoEngineFileOfTheOldOneBehind) {
    const char *const kSuffixes[] = {"-journal", "-wal", "-shm"};
    struct Case {
        const char *name;
        bool present[3];   // -journal, -wal, -shm beside the old file
        bool readOnly;     // the journal is read-only
        bool staleAside;   // "-journal.old" of an interrupted run lies there
        bool sourceGone;   // the copy fails
        bool held;         // the journal is held open by another program
        bool replaced;
    } cases[] = {
        {"no journal", {false, false, false}, false, false, false, false, true},
        {"a journal", {true, false, false}, false, false, false, false, true},
        {"all three", {true, true, true}, false, false, false, false, true},
        {"a read-only journal", {true, false, false}, true, false, false, false, true},
        {"an interrupted run's", {true, false, false}, false, true, false, false, true},
        {"the copy fails", {true, true, false}, false, false, true, false, false},
        {"the journal is held", {true, false, false}, false, false, false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(source_.c_str());
        if (!c.sourceGone) Write(source_, "new data");
        Write(target_, "old data");
        for (int i = 0; i < 3; i++) {
            std::string file = target_ + kSuffixes[i];
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file.c_str());
            if (c.present[i]) {
                Write(file, std::string("old ") + kSuffixes[i]);
            }
        }
        if (c.staleAside) Write(target_ + "-journal.old", "older still");
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesA((target_ + "-journal").c_str(), FILE_ATTRIBUTE_READONLY));
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.held) {
            held = CreateFileA((target_ + "-journal").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }

        EXPECT_EQ(ReplaceDatabaseWithNewCopy(source_.c_str(), target_.c_str(), 0), c.replaced);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(Read(target_), c.replaced ? "new data" : "old data");
        for (int i = 0; i < 3; i++) {
            std::string file = target_ + kSuffixes[i];
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(Read(file), c.present[i] && !c.replaced ? std::string("old ") + kSuffixes[i] : "(missing)")
                << kSuffixes[i];
            EXPECT_EQ(Read(file + ".old"), "(missing)") << kSuffixes[i];
        }
    }
}

}  // namespace
