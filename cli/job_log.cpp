#include "cli/job_log.h"

#include <cerrno>
#include <cstring>

#include "cli/console_window.h"

namespace vantrel::cli {

std::optional<std::string> JobLog::Open(const std::string& path) {
    path_ = path;
    errno = 0;
    file_.reset(std::fopen(path.c_str(), "ab"));
    if (!file_) return std::string(std::strerror(errno != 0 ? errno : EINVAL));
    return std::nullopt;
}

void JobLog::Report(const std::string& text, ui::WallTime when) {
    Write(ui::IsoTime(when) + " -> " + ShownSafely(text));
}

void JobLog::Summary(const std::string& line) { Write(line); }

// Flushed line by line, so that the log holds everything up to a crash and a full disk shows at once.
void JobLog::Write(const std::string& line) {
    if (!file_ || failure_) return;
    errno = 0;
    const std::string text = line + "\n";
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size() || std::fflush(file_.get()) != 0) {
        failure_ = std::strerror(errno != 0 ? errno : EIO);
    }
}

}  // namespace vantrel::cli
