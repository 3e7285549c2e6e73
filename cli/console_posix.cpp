#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "cli/console_platform.h"
#include "link/cancel.h"

namespace vantrel::cli {

namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// When the first request arrived, in nanoseconds of the monotonic clock; 0 before any. Read in a signal
// handler, so only clock_gettime, which may be called there, and a lock-free atomic.
std::atomic<std::int64_t> firstRequestAt{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

std::int64_t MonotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNanosPerSecond + now.tv_nsec + 1;  // never 0
}

// The last words in two slots: the one being written is never the one a signal handler may be reading.
struct LastWordsSlot {
    char jsonBefore[1024];
    char jsonAfter[2048];
    char err[2048];
};
LastWordsSlot lastWords[2];
std::atomic<int> activeLastWords{-1};
static_assert(std::atomic<int>::is_always_lock_free);

void CopyCut(char* to, std::size_t room, const std::string& text) {
    const std::size_t length = std::min(text.size(), room - 1);
    std::memcpy(to, text.data(), length);
    to[length] = '\0';
}

void WriteAll(int fd, const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(fd, text, left);
        if (written <= 0) return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void Append(char* to, std::size_t room, const char* text) {
    std::size_t at = std::strlen(to);
    while (*text != '\0' && at + 1 < room) to[at++] = *text++;
    to[at] = '\0';
}

// The program ends the moment this is written, so it must never wait for a reader: a pipe nobody drains
// would hold it for as long as the reader likes. What does not fit now is lost; the exit status still says
// how the program ended.
void NeverWait(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Only write(2), fcntl(2) and plain copies: this runs in the signal handler.
void WriteLastWords(int status) {
    const int slot = activeLastWords.load();
    if (slot < 0) return;
    const LastWordsSlot& words = lastWords[slot];
    NeverWait(STDOUT_FILENO);
    NeverWait(STDERR_FILENO);
    if (words.jsonBefore[0] != '\0') {
        char digits[4] = {static_cast<char>('0' + status / 100 % 10), static_cast<char>('0' + status / 10 % 10),
                          static_cast<char>('0' + status % 10), '\0'};
        // In one write, which a pipe takes whole or not at all: a reader never gets half an event.
        char event[sizeof words.jsonBefore + sizeof digits + sizeof words.jsonAfter] = "";
        Append(event, sizeof event, words.jsonBefore);
        Append(event, sizeof event, status >= 100 ? digits : status >= 10 ? digits + 1 : digits + 2);
        Append(event, sizeof event, words.jsonAfter);
        WriteAll(STDOUT_FILENO, event);
    }
    WriteAll(STDERR_FILENO, words.err);
}

// A parent updating several loggers has ended (child_processes_posix.cpp): nobody is left to insist, so
// this is only ever a request to cancel, like a first interrupt.
extern "C" void OnParentEnded(int) { link::CancelRequested.store(true, std::memory_order_relaxed); }

extern "C" void OnTerminationSignal(int signal) {
    link::CancelRequested.store(true, std::memory_order_relaxed);
    if (InterruptEndsAtOnce()) EndAtOnce(signal);
}

}  // namespace

bool InterruptEndsAtOnce() {
    const std::int64_t now = MonotonicNanos();
    std::int64_t first = 0;
    if (firstRequestAt.compare_exchange_strong(first, now)) return false;
    // `timeout`, a closing terminal or a service manager send several signals at once: they are one
    // request. Only an operator who insists, a second later, ends the program without waiting for the
    // job, whatever state the logger is left in.
    return now - first >= kNanosPerSecond;
}

void EndAtOnce(int signal) {
    WriteLastWords(128 + signal);
    _exit(128 + signal);
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A parent updating several loggers starts each child with these blocked, so that a request passed on
    // the moment the child starts waits for its handler instead of ending it.
    struct sigaction parentEnded {};
    parentEnded.sa_handler = OnParentEnded;
    sigemptyset(&parentEnded.sa_mask);
    sigaction(SIGUSR1, &parentEnded, nullptr);
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&interrupts, signal);
    sigprocmask(SIG_UNBLOCK, &interrupts, nullptr);
    // A reader that went away (`| head`) must not end the program between two records: the write fails
    // with EPIPE instead, and the job runs on.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

void SetLastWords(const std::string& jsonBeforeStatus, const std::string& jsonAfterStatus, const std::string& errLine) {
    const int next = activeLastWords.load() == 0 ? 1 : 0;
    CopyCut(lastWords[next].jsonBefore, sizeof lastWords[next].jsonBefore, jsonBeforeStatus);
    CopyCut(lastWords[next].jsonAfter, sizeof lastWords[next].jsonAfter, jsonAfterStatus);
    CopyCut(lastWords[next].err, sizeof lastWords[next].err, errLine);
    activeLastWords.store(next);
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

int StderrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace vantrel::cli
