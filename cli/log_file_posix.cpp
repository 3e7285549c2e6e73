#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/log_file.h"

namespace vantrel::cli {

namespace {

constexpr const char* kNotAFile = "neither a regular file nor a character device";

std::string Reason(int error) { return std::strerror(error != 0 ? error : EINVAL); }

}  // namespace

std::variant<OpenedLogFile, std::string> OpenLogFile(const std::string& path) {
    // Without blocking: a FIFO with no reader would hold open() for ever.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // A FIFO that no one reads yet refuses a writer that will not wait; a device that is not there
        // (/dev/tty without a controlling terminal) gives the same error for a reason of its own.
        struct stat st {};
        const bool fifo = error == ENXIO && ::stat(path.c_str(), &st) == 0 &&
                          (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
        return fifo ? std::string(kNotAFile) : Reason(error);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return Reason(error);
    }
    // A file, or a device that takes what is written (/dev/null, /dev/full, a terminal); a FIFO or a
    // socket could stop the job at any line.
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return std::string(kNotAFile);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    OpenedLogFile opened;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        // Read through a descriptor of its own: the log may be writable only.
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char last = '\n';
        if (reader >= 0) {
            opened.lastLineUnfinished = ::pread(reader, &last, 1, st.st_size - 1) == 1 && last != '\n';
            ::close(reader);
        }
    }
    errno = 0;
    opened.file = ::fdopen(fd, "ab");
    if (opened.file == nullptr) {
        const int error = errno;
        ::close(fd);
        return Reason(error);
    }
    return opened;
}

}  // namespace vantrel::cli
