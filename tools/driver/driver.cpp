// The GUI driver.
#include "driver.h"

#include <commctrl.h>
#include <stdio.h>

#include <utility>

namespace driver {

namespace {

const DWORD kPollMs = 50;
const UINT kSendTimeoutMs = 5000;

struct FindState {
    DWORD pid;
    const wchar_t *className;
    const wchar_t *title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    FindState *state = reinterpret_cast<FindState *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (state->pid != 0 && pid != state->pid) return TRUE;
    if (state->visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (state->className != NULL && GetClass(window) != state->className) return TRUE;
    if (state->title != NULL) {
        wchar_t title[512];
        GetWindowTextW(window, title, ARRAYSIZE(title));
        if (wcscmp(title, state->title) != 0) return TRUE;
    }
    state->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Collect(DWORD pid, const wchar_t *className, const wchar_t *title,
                          bool visibleOnly) {
    FindState state{pid, className, title, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

// Memory in another process, freed when the guard goes.
class RemoteBuffer {
  public:
    RemoteBuffer(HANDLE process, size_t size) : process_(process) {
        address_ = VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_ != NULL) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer &) = delete;
    RemoteBuffer &operator=(const RemoteBuffer &) = delete;
    void *address() const { return address_; }
    bool Write(size_t offset, const void *data, size_t size) {
        SIZE_T done = 0;
        return WriteProcessMemory(process_, static_cast<char *>(address_) + offset, data, size,
                                  &done) &&
               done == size;
    }
    bool Read(size_t offset, void *data, size_t size) {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, static_cast<char *>(address_) + offset, data, size,
                                 &done) &&
               done == size;
    }

  private:
    HANDLE process_;
    void *address_;
};

}  // namespace

Program::Program(Program &&other) noexcept { *this = std::move(other); }

Program &Program::operator=(Program &&other) noexcept {
    if (this != &other) {
        Close();
        process = std::exchange(other.process, (HANDLE)NULL);
        thread = std::exchange(other.thread, (HANDLE)NULL);
        pid = std::exchange(other.pid, 0UL);
    }
    return *this;
}

void Program::Close() {
    if (thread != NULL) CloseHandle(thread);
    if (process != NULL) CloseHandle(process);
    thread = process = NULL;
    pid = 0;
}

bool Start(const std::wstring &exe, const std::wstring &workDir, Program *out,
           const std::wstring &arguments, DWORD creationFlags) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    // A start can fail for a moment on a loaded machine (Wine starts a
    // host process for each program): such a failure is said on stderr,
    // with its error code, and the start tried again. A missing or
    // unreadable program fails at once.
    const int kAttempts = 5;
    for (int attempt = 1;; attempt++) {
        if (CreateProcessW(exe.c_str(), buffer.data(), NULL, NULL, FALSE, creationFlags, NULL,
                           workDir.empty() ? NULL : workDir.c_str(), &startup, &info)) {
            break;
        }
        DWORD error = GetLastError();
        fwprintf(stderr, L"driver: CreateProcessW of %ls failed with error %lu (attempt %d of %d)\n",
                 exe.c_str(), (unsigned long)error, attempt, kAttempts);
        bool lasting = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_BAD_EXE_FORMAT || error == ERROR_DIRECTORY;
        if (lasting || attempt == kAttempts) {
            SetLastError(error);
            return false;
        }
        Sleep(200 * attempt);
    }
    out->Close();
    out->process = info.hProcess;
    out->thread = info.hThread;
    out->pid = info.dwProcessId;
    return true;
}

bool WaitForExit(const Program &program, DWORD timeoutMs, DWORD *exitCode) {
    if (WaitForSingleObject(program.process, timeoutMs) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(program.process, &code);
    if (exitCode) *exitCode = code;
    return true;
}

void Kill(const Program &program) {
    if (program.process == NULL) return;
    if (WaitForSingleObject(program.process, 0) == WAIT_OBJECT_0) return;
    TerminateProcess(program.process, 99);
    WaitForSingleObject(program.process, 10000);
}

std::vector<HWND> FindTopWindows(DWORD pid, const wchar_t *className, const wchar_t *title) {
    return Collect(pid, className, title, false);
}

HWND WaitForWindow(DWORD pid, const wchar_t *className, const wchar_t *title, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = Collect(pid, className, title, true);
        if (!found.empty()) return found.front();
        if (GetTickCount() - start >= timeoutMs) return NULL;
        Sleep(kPollMs);
    }
}

HWND FindControl(HWND parent, int id) { return GetDlgItem(parent, id); }

std::wstring GetClass(HWND window) {
    wchar_t name[256];
    int n = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, n > 0 ? n : 0);
}

std::wstring GetText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return std::wstring();
    }
    return std::wstring(buffer.data(), copied);
}

bool SetText(HWND window, const std::wstring &text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &result) != 0;
}

void Settle(HWND window) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

void Click(HWND button) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 60000, &result);
}

void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void PressKey(HWND window, UINT vk) {
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    Settle(window);
}

// True when window is the foreground window and its thread's keyboard
// focus lies in it: keys sent by SendInput then reach it.
static bool HasKeyboard(HWND window) {
    if (GetForegroundWindow() != window) return false;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info)) return false;
    return info.hwndFocus != NULL && (info.hwndFocus == window || IsChild(window, info.hwndFocus));
}

void PressCtrlKey(HWND window, WORD vk) {
    SetForegroundWindow(window);
    DWORD start = GetTickCount(), asked = start;
    while (!HasKeyboard(window) && GetTickCount() - start < kSendTimeoutMs) {
        Sleep(kPollMs / 5);
        if (GetTickCount() - asked >= 500) {
            SetForegroundWindow(window);
            asked = GetTickCount();
        }
    }
    INPUT keys[4] = {};
    const WORD vks[4] = {VK_CONTROL, vk, vk, VK_CONTROL};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = vks[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof keys[0]);
}

void TypeText(HWND window, const std::wstring &text) {
    for (wchar_t c : text) PostMessageW(window, WM_CHAR, c, 1);
    Settle(window);
}

std::vector<std::vector<std::wstring>> ReadListView(HWND list) {
    std::vector<std::vector<std::wstring>> rows;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
    if (process == NULL) return rows;

    DWORD_PTR count = 0, header = 0, columns = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count);
    SendMessageTimeoutW(list, LVM_GETHEADER, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &header);
    if (header != 0) {
        SendMessageTimeoutW((HWND)header, HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &columns);
    }
    if (columns == 0) columns = 1;

    const size_t kTextChars = 1024;
    RemoteBuffer remote(process, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    if (remote.address() != NULL) {
        wchar_t *remoteText =
            reinterpret_cast<wchar_t *>(static_cast<char *>(remote.address()) + sizeof(LVITEMW));
        for (DWORD_PTR row = 0; row < count; row++) {
            std::vector<std::wstring> cells;
            for (DWORD_PTR column = 0; column < columns; column++) {
                LVITEMW item;
                ZeroMemory(&item, sizeof item);
                item.iSubItem = (int)column;
                item.pszText = remoteText;
                item.cchTextMax = (int)kTextChars;
                wchar_t text[kTextChars] = {0};
                DWORD_PTR copied = 0;
                if (remote.Write(0, &item, sizeof item) &&
                    remote.Write(sizeof item, text, sizeof(wchar_t)) &&
                    SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row, (LPARAM)remote.address(),
                                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) &&
                    remote.Read(sizeof item, text, sizeof text)) {
                    text[kTextChars - 1] = 0;
                }
                cells.emplace_back(text);
            }
            rows.push_back(std::move(cells));
        }
    }
    CloseHandle(process);
    return rows;
}

bool WaitForMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxInfo *out) {
    HWND box = WaitForWindow(pid, L"#32770", NULL, timeoutMs);
    if (box == NULL) return false;
    out->window = box;
    wchar_t caption[512];
    GetWindowTextW(box, caption, ARRAYSIZE(caption));
    out->caption = caption;
    // The message of a message box is its static control 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    out->text = text != NULL ? GetText(text) : std::wstring();
    return true;
}

bool AnswerMessageBox(const MessageBoxInfo &box, int buttonId) {
    HWND button = GetDlgItem(box.window, buttonId);
    if (button == NULL) return false;
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)button);
    return true;
}

std::wstring HostPathToWindows(const std::string &hostPath) {
    std::wstring path = L"Z:";
    for (char c : hostPath) path.push_back(c == '/' ? L'\\' : (wchar_t)(unsigned char)c);
    return path;
}

}  // namespace driver
