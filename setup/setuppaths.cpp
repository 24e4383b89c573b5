// Paths of the setup program: its own folder, the copy sources, the desktop
// destinations, and the text of a failed call.
#include <windows.h>

#include <shlobj.h>
#include <strsafe.h>

#include "setup.h"

char SetupUserName[kSetupUserNameBytes];
char SetupFolder[kSetupTextBytes];
char SourcePath[kSetupTextBytes];
char DesktopPath[kSetupTextBytes];

namespace {

const char kOldDesktopFolder[] = "C:\\Windows\\Desktop\\";
const char kProfileDesktop[] = "C:\\Documents and Settings\\%hs\\Desktop\\%hs";
const char kAllUsers[] = "All Users";

// Writes the module path into buffer (bytes long). Returns false when it did
// not fit; the buffer then holds as much as fitted, terminated.
bool ModulePath(char *buffer, DWORD bytes) {
    buffer[0] = 0;
    DWORD length = GetModuleFileNameA(NULL, buffer, bytes);
    buffer[bytes - 1] = 0;
    return length > 0 && length < bytes;
}

char *LastBackslash(char *text) {
    char *last = NULL;
    for (char *p = text; *p; p++)
        if (*p == '\\') last = p;
    return last;
}

}  // namespace

int GetSetupFolder(char *buffer) {
    bool whole = ModulePath(buffer, kSetupTextBytes);
    char *slash = LastBackslash(buffer);
    if (slash == NULL) return 0;
    slash[1] = 0;
    return whole ? 1 : 0;
}

const char *SourcePathOf(const char *name) {
    char folder[kSetupTextBytes];
    SourcePath[0] = 0;
    if (!ModulePath(folder, sizeof folder)) return NULL;
    char *slash = LastBackslash(folder);
    if (slash != NULL)
        slash[1] = 0;
    else
        folder[0] = 0;
    if (FAILED(StringCchPrintfA(SourcePath, ARRAYSIZE(SourcePath), "%hs%hs", folder, name))) {
        SourcePath[0] = 0;
        return NULL;
    }
    return SourcePath;
}

bool BuildDesktopPath(char *out, size_t outBytes, const char *shellDesktop, const char *user,
                      const char *name, int pre2000) {
    HRESULT hr;
    if (pre2000) {
        hr = StringCchPrintfA(out, outBytes, "%hs%hs", kOldDesktopFolder, name);
    } else if (shellDesktop != NULL && shellDesktop[0] != 0) {
        size_t length = 0;
        StringCchLengthA(shellDesktop, STRSAFE_MAX_CCH, &length);
        const char *separator = shellDesktop[length - 1] == '\\' ? "" : "\\";
        hr = StringCchPrintfA(out, outBytes, "%hs%hs%hs", shellDesktop, separator, name);
    } else {
        const char *owner = (user != NULL && user[0] != 0) ? user : kAllUsers;
        hr = StringCchPrintfA(out, outBytes, kProfileDesktop, owner, name);
    }
    if (FAILED(hr)) {
        out[0] = 0;
        return false;
    }
    return true;
}

const char *DesktopPathOf(const char *name, int pre2000) {
    char shellDesktop[MAX_PATH];
    shellDesktop[0] = 0;
    // Windows 2000 and later know where the user's desktop is; the profile
    // folder of older setups is only the fallback.
    if (!pre2000 && FAILED(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL,
                                            SHGFP_TYPE_CURRENT, shellDesktop))) {
        shellDesktop[0] = 0;
    }
    if (!BuildDesktopPath(DesktopPath, ARRAYSIZE(DesktopPath), shellDesktop, SetupUserName, name,
                          pre2000)) {
        return NULL;
    }
    return DesktopPath;
}

void TrimSystemMessage(char *text) {
    unsigned char *p = (unsigned char *)text;
    size_t length = 0;
    while (p[length] != 0 && (p[length] >= 32 || p[length] == '\t')) length++;
    p[length] = 0;
    while (length > 0 && (p[length - 1] == '.' || p[length - 1] < '!')) p[--length] = 0;
}

void ShowLastErrorBox(const char *call) {
    DWORD code = GetLastError();
    char system[kSetupTextBytes];
    system[0] = 0;
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), system, ARRAYSIZE(system),
                       NULL) == 0) {
        system[0] = 0;
    }
    TrimSystemMessage(system);
    char message[kSetupTextBytes];
    StringCchPrintfA(message, ARRAYSIZE(message), "%hs failed with error %d (%hs)", call,
                     (int)code, system);
    SetupMessageBox(SetupWindow, message, "Masaalah", MB_OK);
}
