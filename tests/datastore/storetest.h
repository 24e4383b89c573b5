// Shared pieces of the store tests: a self-closing connection for checks,
// a message-box recorder, books in a scratch folder, and a stand-in main
// window whose destruction closes the connections as the real one does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "sqlite3.h"
#include "testsupport.h"

namespace storetest {

// A connection of the test's own, for checking files.
using Db = testsupport::CheckDb;

struct Message {
    std::wstring text, caption;
    UINT type;
};
// Every message box shown while a Recorder lives.
extern std::vector<Message> Messages;
class Recorder {
  public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;
};

// The store's books in a scratch folder: the path globals point there,
// the cipher contexts are keyed, messages are recorded, and every
// connection and flag is reset before and after.
class StoreTest : public testing::Test {
  protected:
    explicit StoreTest(const wchar_t *name = L"store") : dir_(name) {}
    void SetUp() override;
    void TearDown() override;
    std::wstring File(const wchar_t *name) const { return dir_.File(name); }

    testsupport::ScratchFolder dir_;
    Recorder recorder_;
};

// Closes every connection of the store and forgets it.
void CloseAllConnections();

// A top-level window standing in for the main window: MainWindow while it
// lives; its WM_DESTROY closes the connections and clears MainWindow, as
// the real one's shutdown does.
class FakeMainWindow {
  public:
    FakeMainWindow();
    ~FakeMainWindow();
    FakeMainWindow(const FakeMainWindow &) = delete;
    FakeMainWindow &operator=(const FakeMainWindow &) = delete;
    HWND hwnd() const { return hwnd_; }
    bool alive() const { return IsWindow(hwnd_) != FALSE; }
    // Adds a child control of class cls with id.
    HWND Add(const wchar_t *cls, int id, DWORD style = 0);
    // The main-window controls the select modes fill.
    void AddResultControls();
    std::wstring Text(int id) const;
    int ComboSelection(int id) const;

  private:
    HWND hwnd_ = NULL;
};

// UTF-8 of a wide text.
std::string U8(const std::wstring &text);
// The LocalCipher / DataCipher field of a text.
std::string LocalField(const std::wstring &text);
std::string DataField(const std::wstring &text);
std::wstring LocalPlain(const std::string &field);

}  // namespace storetest
