// Helpers shared by the test programs: scratch folders on drive C of the
// test prefix, the fixtures folder, and raw file access.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The Windows path of a host folder named by environment variable name
// (a Unix path, as ctest passes it); empty when the variable is not set.
std::wstring HostFolderFromEnv(const char *name);

// A fresh, empty folder for one test under the prefix's temporary folder;
// removed with everything in it when the guard goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring &name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::wstring &path() const { return path_; }   // ends in a backslash
    std::wstring File(const std::wstring &name) const { return path_ + name; }

  private:
    std::wstring path_;
};

// Removes a folder and everything in it; true when it is gone.
bool RemoveTree(const std::wstring &folder);

bool ReadFileBytes(const std::wstring &path, std::vector<unsigned char> *bytes);
bool WriteFileBytes(const std::wstring &path, const std::vector<unsigned char> &bytes);
bool CopyOneFile(const std::wstring &from, const std::wstring &to);
bool FileExists(const std::wstring &path);

// UTF-8 text of a wide text, for engine calls and messages.
std::string Utf8(const std::wstring &text);

}  // namespace testsupport
