// The console's --log file: the report with the date and time on every line, and one summary line a job
// (app/job_record.h), appended. The file is opened before the port, so a name that cannot be written stops
// the run before the logger is touched; once the job runs, a write that fails (a full disk) does not stop
// it: the log falls silent and the failure is told at the end.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/job_record.h"

namespace vantrel::cli {

class JobLog {
public:
    // nullopt once the file is open for appending; otherwise the system's reason.
    std::optional<std::string> Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }

    // The port the job runs on, named on every report line from now on.
    void SetPort(const std::string& port) { port_ = port; }
    void Report(const std::string& text, app::WallTime when);
    void Summary(const std::string& line);

    // Why the log stopped, if it did.
    const std::optional<std::string>& Failure() const { return failure_; }
    const std::string& Path() const { return path_; }

private:
    void Write(const std::string& line);

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::string port_;
    std::optional<std::string> failure_;
    bool needsNewline_ = false;  // the file's last line was left without its newline
};

}  // namespace vantrel::cli
