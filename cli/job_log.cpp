#include "cli/job_log.h"

#include <cerrno>
#include <cstring>

#include "cli/log_file.h"
#include "cli/shown_safely.h"

namespace vantrel::cli {

std::optional<std::string> JobLog::Open(const std::string& path) {
    path_ = path;
    std::variant<OpenedLogFile, std::string> opened = OpenLogFile(path);
    if (const std::string* why = std::get_if<std::string>(&opened)) return *why;
    file_.reset(std::get<OpenedLogFile>(opened).file);
    // The next line starts on its own, after one that a killed run left unfinished.
    needsNewline_ = std::get<OpenedLogFile>(opened).lastLineUnfinished;
    return std::nullopt;
}

void JobLog::Report(const std::string& text, app::WallTime when) {
    // The port on every line: the jobs of several loggers write one log, and the summary lines name it too.
    Write(app::IsoTime(when) + (port_.empty() ? "" : " port=" + ShownSafely(port_)) + " -> " + ShownSafely(text));
}

void JobLog::Summary(const std::string& line) { Write(line); }

// Flushed line by line, so that the log holds everything up to a crash and a full disk shows at once.
void JobLog::Write(const std::string& line) {
    if (!file_ || failure_) return;
    errno = 0;
    const std::string text = (needsNewline_ ? "\n" : "") + line + "\n";
    needsNewline_ = false;
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size() || std::fflush(file_.get()) != 0) {
        failure_ = std::strerror(errno != 0 ? errno : EIO);
    }
}

}  // namespace vantrel::cli
