#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/base_directory_posix.h"
#include "app/job_record.h"

namespace vantrel::app {

std::string UserHistoryPath() {
    const std::string stateHome = BaseDirectory("XDG_STATE_HOME", ".local/state");
    return stateHome.empty() ? stateHome : stateHome + "/vantrel/updates.log";
}

bool AppendWholeLine(const std::string& path, const std::string& line) {
    // O_APPEND puts each write(2) at the end of the file as one piece, whoever else appends at the same
    // time; the whole line is therefore one write. A short write (a full disk) is not continued: a second
    // write could land after another writer's line.
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::string whole = line + '\n';
    struct stat status {};
    char last = '\n';
    if (fstat(fd, &status) == 0 && status.st_size > 0 && pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
        whole.insert(whole.begin(), '\n');
    }
    const ssize_t written = write(fd, whole.data(), whole.size());
    const bool closed = close(fd) == 0;
    return written == static_cast<ssize_t>(whole.size()) && closed;
}

}  // namespace vantrel::app
