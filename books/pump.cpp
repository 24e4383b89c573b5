// The message pump of long jobs.
#include "books.h"

int QuitTakenDuringJob;
int QuitExitCode;

namespace {

bool IsCloseRequest(const MSG &msg) {
    return msg.message == WM_DESTROY || msg.message == WM_CLOSE || msg.message == WM_SYSCOMMAND ||
           msg.wParam == SC_CLOSE;
}

}  // namespace

int PumpPendingMessages(void) {
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE)) {
        if (GetMessageW(&msg, NULL, 0, 0) <= 0) {
            // WM_QUIT (or a broken queue): keep it for the job to post again.
            QuitTakenDuringJob = 1;
            QuitExitCode = (int)msg.wParam;
            return 1;
        }
        if (IsCloseRequest(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void RepostTakenQuit(void) {
    if (!QuitTakenDuringJob) return;
    QuitTakenDuringJob = 0;
    PostQuitMessage(QuitExitCode);
}
