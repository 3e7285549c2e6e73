#include "link/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "link/link_times.h"
#include "link/port_holders.h"

namespace vantrel::link {

namespace {

int ToFd(PortHandle port) {
    return port == kInvalidPortHandle || port > static_cast<PortHandle>(INT_MAX) ? -1 : static_cast<int>(port);
}

bool SpeedFor(std::int32_t baudRate, speed_t& speed) {
    switch (baudRate) {
        case 1200: speed = B1200; return true;
        case 2400: speed = B2400; return true;
        case 4800: speed = B4800; return true;
        case 9600: speed = B9600; return true;
        case 19200: speed = B19200; return true;
        case 38400: speed = B38400; return true;
        case 57600: speed = B57600; return true;
        case 115200: speed = B115200; return true;
        default: return false;
    }
}

// Devices without modem-control lines (pseudo-terminals, some adapters) refuse the request with EINVAL,
// macOS with ENOTTY: they have no line to set, which is not a failure of the open.
bool SetModemLine(int fd, unsigned long request, int line) {
    if (ioctl(fd, request, &line) == 0) return true;
    return errno == EINVAL || errno == ENOTTY;
}

// Whether the peer of an open port is gone: a hung-up or failed descriptor fails every call at once
// instead of letting the job run into time-outs.
bool Vanished(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

int PollMs(Micros remaining) {
    if (remaining <= Micros::zero()) return 0;
    const auto ms = (remaining.count() + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

std::string PosixSerialBackend::DevicePath(const std::string& portName) {
    if (portName.find('/') != std::string::npos) return portName;
    return "/dev/" + portName;
}

OpenFailure PosixSerialBackend::OpenFailureOf(int error, const std::string& path) {
    const std::string what = path + ": " + std::strerror(error);
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR: return {OpenFailureKind::NotFound, error, what};
        case EACCES:
        case EPERM: {
            // Only for a serial device is the operator told how to get access (group membership, a udev
            // rule); for a plain file or a folder that advice would only mislead.
            struct stat st {};
            if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {OpenFailureKind::Other, error, what};
            const std::string advice = PermissionAdvice(InstalledUdevRule());
            return {OpenFailureKind::PermissionDenied, error, what + " (" + advice + ")"};
        }
        case EBUSY: {
            const std::string holders = OpenersOf(path);
            return {OpenFailureKind::Busy, error, holders.empty() ? what : what + ", held by " + holders};
        }
        default: return {OpenFailureKind::Other, error, what};
    }
}

const std::vector<std::string>& PosixSerialBackend::UdevRuleFolders() {
    static const std::vector<std::string> folders{"/etc/udev/rules.d", "/run/udev/rules.d",
                                                  "/usr/local/lib/udev/rules.d", "/usr/lib/udev/rules.d",
                                                  "/lib/udev/rules.d"};
    return folders;
}

std::optional<std::string> PosixSerialBackend::InstalledUdevRule(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        const std::string rule = folder + "/" + kUdevRuleName;
        struct stat st {};
        if (stat(rule.c_str(), &st) != 0) continue;
        // The first file of the name is the one udev reads: a masked one switches the rule off.
        if (!S_ISREG(st.st_mode) || st.st_size == 0) return std::nullopt;
        return rule;
    }
    return std::nullopt;
}

std::string PosixSerialBackend::PermissionAdvice(const std::optional<std::string>& rule) {
    if (!rule) {
        return std::string("install the package's udev rule ") + kInstalledUdevRule +
               " and plug the logger in again, or join the 'dialout' group and log in again";
    }
    return "the udev rule " + *rule +
           " gives logger ports to the user of the active local session (plug the logger in again if it was plugged "
           "in before the rule was installed); from another session, or for another converter, join the 'dialout' "
           "group and log in again";
}

PortHandle PosixSerialBackend::Fail(OpenFailure failure, int fd) {
    if (fd >= 0) close(fd);
    std::lock_guard lock(mutex_);
    lastOpenFailure_ = std::move(failure);
    return kInvalidPortHandle;
}

PortHandle PosixSerialBackend::Fail(OpenFailureKind kind, int error, const std::string& what, int fd) {
    return Fail(OpenFailure{kind, error, what}, fd);
}

PortHandle PosixSerialBackend::Open(const std::string& portName, std::int32_t baudRate) {
    const std::string path = DevicePath(portName);
    if (portName.empty()) return Fail(OpenFailureKind::NotFound, ENOENT, "no port name given", -1);

    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(OpenFailureOf(errno, path), -1);
    if (!isatty(fd)) return Fail(OpenFailureKind::SettingsRefused, ENOTTY, path + ": not a serial port", fd);

    // TIOCEXCL keeps out every later opener but root; the lock keeps out root as well.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        std::string holders = LockHolderOf(fd);
        if (holders.empty()) holders = OpenersOf(path);
        return Fail(OpenFailureKind::Busy, error,
                    path + ": in use by another program" + (holders.empty() ? "" : ", held by " + holders), fd);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        return Fail(OpenFailureKind::SettingsRefused, error, path + ": exclusive mode: " + std::strerror(error), fd);
    }
    // From here on the exclusive mode is this open's own: a refusal ends it, since it outlives the
    // descriptor and would keep every later opener but root out of the port.
    const auto refuse = [&](int error, const std::string& what) {
        ioctl(fd, TIOCNXCL);
        return Fail(OpenFailureKind::SettingsRefused, error, path + what, fd);
    };

    termios tio{};
    speed_t speed{};
    if (!SpeedFor(baudRate, speed)) return refuse(EINVAL, ": unsupported baud rate " + std::to_string(baudRate));
    if (tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        return refuse(error, std::string(": ") + std::strerror(error));
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 || tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        return refuse(error, std::string(": line settings: ") + std::strerror(error));
    }
    if (!SetModemLine(fd, TIOCMBIC, TIOCM_RTS) || !SetModemLine(fd, TIOCMBIS, TIOCM_DTR)) {
        const int error = errno;
        return refuse(error, std::string(": modem lines: ") + std::strerror(error));
    }
    {
        std::lock_guard lock(mutex_);
        lastOpenFailure_ = {};
    }
    return static_cast<PortHandle>(fd);
}

bool PosixSerialBackend::ClearCommError(PortHandle port) {
    const int fd = ToFd(port);
    if (fd < 0) return false;
    pollfd p{fd, 0, 0};
    if (poll(&p, 1, 0) < 0) return false;
    return !Vanished(p.revents);
}

bool PosixSerialBackend::PurgeComm(PortHandle port, std::uint32_t flags) {
    const int fd = ToFd(port);
    if (fd < 0) return false;
    // Only the input queue is emptied. A write here has ended once its bytes are in the kernel's hands, and
    // what a finished write handed over is sent: flushing the output would take back bytes a caller counts
    // as sent, on a pseudo-terminal even those waiting unread at the other end (a command followed at once
    // by the next transfer's purge would then never arrive).
    if ((flags & kPurgeRxClear) == 0) return true;
    return tcflush(fd, TCIFLUSH) == 0;
}

bool PosixSerialBackend::WriteFile(PortHandle port, const std::uint8_t* data, std::uint32_t count,
                                   std::uint32_t& written) {
    written = 0;
    const int fd = ToFd(port);
    if (fd < 0) return false;
    const Micros deadline = clock_.Now() + WriteTimeout(count);
    while (written < count) {
        const ssize_t n = write(fd, data + written, count - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const Micros remaining = deadline - clock_.Now();
        if (remaining <= Micros::zero()) return true;
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, PollMs(remaining));
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && Vanished(p.revents)) return false;
    }
    return true;
}

bool PosixSerialBackend::ReadFile(PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    read = 0;
    const int fd = ToFd(port);
    if (fd < 0) return false;
    const Micros deadline = clock_.Now() + ReadTimeout(count);
    bool readable = false;
    while (read < count) {
        const ssize_t n = ::read(fd, buffer + read, count - read);
        if (n > 0) {
            read += static_cast<std::uint32_t>(n);
            readable = false;
            continue;
        }
        // With VMIN = VTIME = 0 an empty queue reads as 0 bytes; after poll said readable, 0 bytes means the
        // device is gone.
        if (n == 0 && readable) return false;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const Micros remaining = deadline - clock_.Now();
        if (remaining <= Micros::zero()) return true;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, PollMs(remaining));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (ready > 0) {
            readable = (p.revents & POLLIN) != 0;
            // A hang-up with nothing left to read: the device is gone.
            if (!readable && Vanished(p.revents)) return false;
        }
    }
    return true;
}

bool PosixSerialBackend::CloseHandle(PortHandle port) {
    const int fd = ToFd(port);
    if (fd < 0) return false;
    ioctl(fd, TIOCNXCL);
    return close(fd) == 0;
}

OpenFailure PosixSerialBackend::LastOpenFailure() const {
    std::lock_guard lock(mutex_);
    return lastOpenFailure_;
}

SerialBackend& SystemSerialBackend() {
    static PosixSerialBackend backend;
    return backend;
}

}  // namespace vantrel::link
