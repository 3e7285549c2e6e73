// vantrel-update-cli: the console front end.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>

#include "cli/cli_app.h"
#include "link/cancel.h"

namespace {

std::atomic<int> signalsSeen{0};

// The first signal asks the job to stop at its next transfer, which leaves the logger in its bootloader;
// a second one ends the program at once.
extern "C" void OnTerminationSignal(int signal) {
    if (signalsSeen.fetch_add(1) > 0) _exit(128 + signal);
    vantrel::link::CancelRequested.store(true, std::memory_order_relaxed);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::vector<std::string> args(argv, argv + argc);
    vantrel::cli::ConsoleIo io{std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1, isatty(STDERR_FILENO) == 1};
    return vantrel::cli::RunCli(args, io);
}
