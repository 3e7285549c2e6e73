#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

#include "cli/console_platform.h"
#include "link/cancel.h"

namespace vantrel::cli {

namespace {

constexpr ULONGLONG kInsistAfterMs = 1000;

// When the first request arrived (GetTickCount64, never 0); 0 before any.
std::atomic<ULONGLONG> firstRequestAt{0};

// Runs on a thread the system creates for the event. Returning TRUE keeps the process alive for
// Ctrl+C and Ctrl+Break; on closing the console the system ends the process a few seconds later anyway,
// time enough for the job to notice the request and close the port.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: {
            const ULONGLONG now = GetTickCount64() + 1;
            ULONGLONG first = 0;
            if (firstRequestAt.compare_exchange_strong(first, now)) {
                link::CancelRequested.store(true, std::memory_order_relaxed);
                return TRUE;
            }
            // Events that arrive together are one request; only one a second later ends the program at once.
            if (now - first >= kInsistAfterMs) ExitProcess(STATUS_CONTROL_C_EXIT);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

// Windows has no SIGPIPE: a write to a closed pipe fails with an error, and the job runs on.
void InstallSignalHandlers() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

namespace {
// A console, not merely a character device: _isatty also says yes for NUL, from which no answer comes.
bool IsConsole(DWORD stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}
}  // namespace

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

}  // namespace vantrel::cli
