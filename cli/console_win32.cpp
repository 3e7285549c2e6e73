#include "link/windows_headers.h"

#include <atomic>
#include <iostream>
#include <streambuf>
#include <string>

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
        default: return FALSE;
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

namespace {

// A console that does not interpret escape sequences prints them as they are. The live status line uses
// one, erase-line after a carriage return; on such a console it becomes blanks over the console's width,
// so the bar is redrawn in place with nothing but carriage returns.
class EraseLineAsBlanks final : public std::streambuf {
public:
    EraseLineAsBlanks(std::streambuf* target, HANDLE console) : target_(target), console_(console) {}

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        pending_.push_back(static_cast<char>(c));
        if (kEraseLine.compare(0, pending_.size(), pending_) != 0) return Release();
        if (pending_.size() < kEraseLine.size()) return c;
        pending_.clear();
        CONSOLE_SCREEN_BUFFER_INFO info{};
        const int width = GetConsoleScreenBufferInfo(console_, &info) ? info.dwSize.X : 80;
        const std::string blanks = std::string(static_cast<std::size_t>(width > 1 ? width - 1 : 0), ' ') + "\r";
        return target_->sputn(blanks.data(), static_cast<std::streamsize>(blanks.size())) ==
                       static_cast<std::streamsize>(blanks.size())
                   ? c
                   : traits_type::eof();
    }
    int sync() override { return Release() == traits_type::eof() ? -1 : target_->pubsync(); }

private:
    int Release() {
        const std::string text = std::move(pending_);
        pending_.clear();
        return target_->sputn(text.data(), static_cast<std::streamsize>(text.size())) ==
                       static_cast<std::streamsize>(text.size())
                   ? 0
                   : traits_type::eof();
    }

    static inline const std::string kEraseLine = "\x1b[2K";
    std::streambuf* target_;
    HANDLE console_;
    std::string pending_;
};

}  // namespace

bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool StdoutIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }

bool StderrIsTerminal() {
    if (!IsConsole(STD_ERROR_HANDLE)) return false;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
        SetConsoleMode(console, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return true;
    }
    static EraseLineAsBlanks plain(std::cerr.rdbuf(), console);
    std::cerr.rdbuf(&plain);
    return true;
}

int StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// The console ends the process itself on a second Ctrl+C (ExitProcess, which runs no handler of ours);
// nothing is kept for it here.
void SetLastWords(const std::string&, const std::string&, const std::string&) {}

}  // namespace vantrel::cli
