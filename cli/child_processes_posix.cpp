#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>

#include "cli/child_processes.h"
#include "cli/console_platform.h"
#include "link/cancel.h"

namespace vantrel::cli {

namespace {

// Interrupts that reached the parent, counted in its signal handler, and the signal of the last one.
std::atomic<int> interruptsSeen{0};
std::atomic<int> lastInterrupt{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The children still running, for the handler to pass an insisting interrupt on itself before the parent
// ends: 0 is a free slot. Children beyond the slots still get every interrupt from the poll loop.
constexpr std::size_t kSignalledChildren = 256;
std::atomic<pid_t> runningChildren[kSignalledChildren];
static_assert(std::atomic<pid_t>::is_always_lock_free);

// The station's requests: interrupts within a second of the first of a burst are one request (`timeout`
// and service managers send several at once).
std::atomic<bool> keepTheFirst{false};
std::atomic<int> requests{0};
std::atomic<std::int64_t> requestStartedAt{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
constexpr std::int64_t kOneRequestNanos = 1'000'000'000;

std::int64_t MonotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kOneRequestNanos + now.tv_nsec;
}

void EndEveryChildAndThisRun(int signal) {
    for (const std::atomic<pid_t>& child : runningChildren) {
        if (const pid_t pid = child.load(); pid > 0) kill(pid, signal);
    }
    EndAtOnce(signal);
}

extern "C" void CountInterrupt(int signal) {
    lastInterrupt.store(signal);
    link::CancelRequested.store(true, std::memory_order_relaxed);
    const std::int64_t now = MonotonicNanos();
    if (requests.load() == 0 || now - requestStartedAt.load() >= kOneRequestNanos) {
        requestStartedAt.store(now);
        requests.fetch_add(1);
    }
    if (keepTheFirst.load()) {
        // The first request only stops the station taking loggers; the later ones go to the jobs.
        if (requests.load() >= 2) interruptsSeen.fetch_add(1);
        if (requests.load() >= 3) EndEveryChildAndThisRun(signal);
        return;
    }
    interruptsSeen.fetch_add(1);
    // An interrupt a second after the first ends each child at once, and this run with them: its own exit
    // event and stderr line (prepared by the run), whatever the children still had to say.
    if (InterruptEndsAtOnce()) EndEveryChildAndThisRun(signal);
}

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kPollMs = 50;

// What a child gets when this process ends, however it ends (a signal that cannot be caught or passed on
// included): it cancels its job as on a first interrupt (console_posix.cpp), so no logger is left being
// programmed unseen, its port held.
constexpr int kParentEndedSignal = SIGUSR1;

// The bytes read until the end, at most size: how many.
std::size_t ReadAll(int fd, void* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, static_cast<char*>(into) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// In the forked child, before its program runs: only calls that are safe after fork. Its own process group,
// so that a terminal's Ctrl+C reaches a child once, through the parent.
[[noreturn]] void StartChild(char* const* argv, int out, int err, int failure, const sigset_t& blocked, pid_t parent) {
    sigprocmask(SIG_SETMASK, &blocked, nullptr);
    setpgid(0, 0);
    int error = 0;
    const int input = open("/dev/null", O_RDONLY);
    // A descriptor already in its place (this program's own stdout was closed) keeps its close-on-exec flag
    // through dup2, so it is cleared by hand.
    const auto place = [](int fd, int target) { return fd == target ? fcntl(fd, F_SETFD, 0) : dup2(fd, target); };
    if (input < 0 || place(input, STDIN_FILENO) < 0 || place(out, STDOUT_FILENO) < 0 || place(err, STDERR_FILENO) < 0 ||
        prctl(PR_SET_PDEATHSIG, kParentEndedSignal) != 0) {
        error = errno;
    } else {
        // The parent may have ended before the request above: then the child learns it now, the same way.
        if (getppid() != parent) kill(getpid(), kParentEndedSignal);
        execv(argv[0], argv);
        error = errno;
    }
    (void)!write(failure, &error, sizeof error);
    _exit(127);
}

class PosixChildren final : public ChildRunner {
public:
    explicit PosixChildren(InterruptPolicy policy) {
        keepTheFirst.store(policy == InterruptPolicy::KeepTheFirst);
        // The parent never ends at once: each child decides for itself, and the parent waits for them.
        struct sigaction action {};
        action.sa_handler = CountInterrupt;
        sigemptyset(&action.sa_mask);
        for (const int signal : kInterrupts) sigaction(signal, &action, nullptr);
        passedOn_ = interruptsSeen.load();
    }

    bool Start(const std::vector<std::string>& commandLine, std::string& whyNot) override {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            whyNot = std::strerror(errno);
            return false;
        }
        if (pipe2(err, O_CLOEXEC) != 0) {
            whyNot = std::strerror(errno);
            close(out[0]);
            close(out[1]);
            return false;
        }
        // The interrupts stay blocked until the child has its handlers: one passed on at once is not lost.
        sigset_t blocked;
        sigemptyset(&blocked);
        for (const int signal : kInterrupts) sigaddset(&blocked, signal);
        sigaddset(&blocked, kParentEndedSignal);
        std::vector<std::string> copies = commandLine;
        std::vector<char*> argv;
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        // The child tells why it could not run its program through this pipe; the pipe closes unread when
        // the program runs.
        int failure[2];
        if (pipe2(failure, O_CLOEXEC) != 0) {
            whyNot = std::strerror(errno);
            for (const int fd : {out[0], out[1], err[0], err[1]}) close(fd);
            return false;
        }
        const pid_t parent = getpid();
        const pid_t pid = fork();
        const int forkError = errno;
        if (pid == 0) StartChild(argv.data(), out[1], err[1], failure[1], blocked, parent);
        close(out[1]);
        close(err[1]);
        close(failure[1]);
        int childError = 0;
        const bool ran = pid > 0 && ReadAll(failure[0], &childError, sizeof childError) == 0;
        close(failure[0]);
        if (!ran) {
            whyNot = std::strerror(pid < 0 ? forkError : childError);
            if (pid > 0) waitpid(pid, nullptr, 0);
            close(out[0]);
            close(err[0]);
            return false;
        }
        children_.push_back({pid, {out[0], err[0]}, {}, false, 0});
        for (std::atomic<pid_t>& slot : runningChildren) {
            pid_t free = 0;
            if (slot.compare_exchange_strong(free, pid)) break;
        }
        return true;
    }

    std::optional<ChildEvent> Next() override { return Read(std::nullopt); }
    std::optional<ChildEvent> NextWithin(std::chrono::milliseconds wait) override { return Read(wait); }
    int StopRequests() const override { return requests.load(); }

private:
    std::optional<ChildEvent> Read(std::optional<std::chrono::milliseconds> wait) {
        const auto until = std::chrono::steady_clock::now() + wait.value_or(std::chrono::milliseconds::zero());
        while (ready_.empty()) {
            PassInterruptsOn();
            std::vector<pollfd> polled;
            std::vector<std::pair<std::size_t, int>> owners;  // child, stream
            for (std::size_t c = 0; c < children_.size(); ++c) {
                for (int s = 0; s < 2; ++s) {
                    if (children_[c].fds[s] < 0) continue;
                    polled.push_back({children_[c].fds[s], POLLIN, 0});
                    owners.emplace_back(c, s);
                }
            }
            if (polled.empty() && !wait) return std::nullopt;
            int pollMs = kPollMs;
            if (wait) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    until - std::chrono::steady_clock::now());
                if (left.count() <= 0) return std::nullopt;
                pollMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), kPollMs));
            }
            if (poll(polled.data(), polled.size(), pollMs) < 0 && errno != EINTR) return std::nullopt;
            for (std::size_t i = 0; i < polled.size(); ++i) {
                if ((polled[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) Read(owners[i].first, owners[i].second);
            }
        }
        ChildEvent event = std::move(ready_.front());
        ready_.pop_front();
        return event;
    }

    struct Child {
        pid_t pid;
        int fds[2];
        std::string partial[2];
        bool ended;
        int status;
    };

    void PassInterruptsOn() {
        const int seen = interruptsSeen.load();
        for (; passedOn_ < seen; ++passedOn_) {
            for (const Child& child : children_) {
                if (!child.ended) kill(child.pid, lastInterrupt.load());
            }
        }
    }

    void Read(std::size_t c, int stream) {
        Child& child = children_[c];
        char buffer[4096];
        const ssize_t n = read(child.fds[stream], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) return;
        const auto kind = stream == 0 ? ChildEvent::Kind::Out : ChildEvent::Kind::Err;
        std::string& partial = child.partial[stream];
        if (n > 0) {
            partial.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
                ready_.push_back({kind, c, partial.substr(0, end)});
                partial.erase(0, end + 1);
            }
            return;
        }
        // The end of this output: a last line without its end counts too.
        if (!partial.empty()) ready_.push_back({kind, c, partial});
        partial.clear();
        close(child.fds[stream]);
        child.fds[stream] = -1;
        if (child.fds[0] < 0 && child.fds[1] < 0) Reap(c);
    }

    // Both outputs are closed: the child is ending.
    void Reap(std::size_t c) {
        Child& child = children_[c];
        // Out of the handler's reach before it is reaped, so that it never signals a pid used again.
        for (std::atomic<pid_t>& slot : runningChildren) {
            pid_t ended = child.pid;
            if (slot.compare_exchange_strong(ended, 0)) break;
        }
        int status = 0;
        while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) PassInterruptsOn();
        child.ended = true;
        child.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
        ready_.push_back({ChildEvent::Kind::Ended, c, {}, child.status});
    }

    std::vector<Child> children_;
    std::deque<ChildEvent> ready_;
    int passedOn_ = 0;
};

}  // namespace

std::string OwnProgram(const std::string& argv0) {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : argv0;
}

std::unique_ptr<ChildRunner> SystemChildRunner(InterruptPolicy policy) {
    return std::make_unique<PosixChildren>(policy);
}

}  // namespace vantrel::cli
