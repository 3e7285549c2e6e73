#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "cli/console_platform.h"
#include "link/cancel.h"

namespace vantrel::cli {

namespace {

std::atomic<int> signalsSeen{0};

extern "C" void OnTerminationSignal(int signal) {
    if (signalsSeen.fetch_add(1) > 0) _exit(128 + signal);
    link::CancelRequested.store(true, std::memory_order_relaxed);
}

}  // namespace

void InstallCancelHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace vantrel::cli
