// vantrel-update-cli: the console front end.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/cli_app.h"
#include "cli/console_platform.h"

int main(int argc, char** argv) {
    vantrel::cli::InstallSignalHandlers();

    const std::vector<std::string> args(argv, argv + argc);
    // A terminal that declares itself dumb shows escape sequences as text.
    const char* term = std::getenv("TERM");
    const bool dumb = term != nullptr && std::strcmp(term, "dumb") == 0;
    vantrel::cli::ConsoleIo io{std::cin,
                               std::cout,
                               std::cerr,
                               vantrel::cli::StdinIsTerminal(),
                               vantrel::cli::StderrIsTerminal(),
                               vantrel::cli::StdoutIsTerminal(),
                               !dumb};
    io.errColumns = vantrel::cli::StderrColumns;
    io.lastWords = vantrel::cli::SetLastWords;
    return vantrel::cli::RunCli(args, io);
}
