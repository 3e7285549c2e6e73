#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/state_file.h"

namespace vantrel::sim {

namespace {

constexpr link::Micros kLongestWait = std::chrono::milliseconds(20);

Failure SystemError(const std::string& what) { return {what + ": " + std::strerror(errno)}; }

bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

PtyServer::PtyServer(LoggerModel& model, Options options, link::Clock& clock)
    : model_(model), options_(std::move(options)), clock_(clock) {}

PtyServer::~PtyServer() {
    if (linkMade_) unlink(options_.linkPath.c_str());
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

Result<> PtyServer::Open() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return SystemError("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return SystemError("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return SystemError("ptsname_r");
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return SystemError(slavePath_);
    // Raw before anyone sees the path: an echoing or newline-translating slave would answer for the logger.
    if (!MakeRaw(slave_) || !MakeRaw(master_)) return SystemError("raw mode");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return SystemError("O_NONBLOCK");
    if (!options_.linkPath.empty()) {
        struct stat st {};
        if (lstat(options_.linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) return Failure{options_.linkPath + ": exists and is not a symlink"};
            unlink(options_.linkPath.c_str());
        }
        if (symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) return SystemError(options_.linkPath);
        linkMade_ = true;
    }
    return {};
}

Result<> PtyServer::Flush() {
    while (!backlog_.empty()) {
        const ssize_t n = write(master_, backlog_.data(), backlog_.size());
        if (n > 0) {
            backlog_.erase(backlog_.begin(), backlog_.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO)) return {};
        return SystemError("write to the pseudo-terminal");
    }
    return {};
}

Result<> PtyServer::Serve(const std::atomic<bool>& stop) {
    std::uint8_t buffer[4096];
    while (!stop.load()) {
        link::Micros now = clock_.Now();
        model_.AdvanceTo(now);
        const std::vector<std::uint8_t> due = model_.TakeOutput(now);
        backlog_.insert(backlog_.end(), due.begin(), due.end());
        if (Result<> flushed = Flush(); !flushed) return flushed;

        link::Micros wait = kLongestWait;
        if (!backlog_.empty()) wait = std::chrono::milliseconds(1);
        if (const auto next = model_.NextOutputTime()) wait = std::clamp(*next - now, link::Micros::zero(), wait);
        const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000),
                               static_cast<long>(wait.count() % 1'000'000 * 1000)};
        pollfd p{master_, POLLIN, 0};
        const int ready = ppoll(&p, 1, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return SystemError("poll");
        }
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                model_.Receive({buffer, static_cast<std::size_t>(n)}, clock_.Now());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                return SystemError("read from the pseudo-terminal");
            }
        } else if (ready > 0) {
            // Hang-up without data: nobody but us holds the slave. Keep serving; the next job reopens it.
            clock_.Sleep(std::chrono::milliseconds(5));
        }
        if (model_.PoweredOff() && !options_.statePath.empty() && !stateSaved_) {
            stateSaved_ = SaveStateFile(model_, options_.statePath).Ok();
        }
    }
    return {};
}

}  // namespace vantrel::sim
