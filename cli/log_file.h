// Opening the --log file the way the system allows without waiting: one file for each OS.
#pragma once

#include <cstdio>
#include <string>
#include <variant>

namespace vantrel::cli {

struct OpenedLogFile {
    std::FILE* file = nullptr;        // the caller closes it
    bool lastLineUnfinished = false;  // the file ends without a newline (a run that was killed)
};

// The file opened for appending, or the system's reason why it cannot be a log: a FIFO or a socket is
// refused, as waiting for its reader would hold the run before the job and beyond any time limit.
std::variant<OpenedLogFile, std::string> OpenLogFile(const std::string& path);

}  // namespace vantrel::cli
