// vantrel-update-cli: the console front end.
#include <iostream>

#include "cli/cli_app.h"
#include "cli/console_platform.h"

int main(int argc, char** argv) {
    vantrel::cli::InstallSignalHandlers();

    const std::vector<std::string> args(argv, argv + argc);
    vantrel::cli::ConsoleIo io{std::cin, std::cout, std::cerr, vantrel::cli::StdinIsTerminal(),
                               vantrel::cli::StderrIsTerminal()};
    return vantrel::cli::RunCli(args, io);
}
