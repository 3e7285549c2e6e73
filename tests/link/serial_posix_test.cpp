// The termios backend against real pseudo-terminals: the logger's side is the master.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/link_times.h"
#include "link/serial_posix.h"

namespace vantrel::link {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// How late a time-out may end on a loaded machine (the suite runs tests side by side under sanitizers):
// generous, since what matters is that the wait is neither cut short nor restarted by interruptions.
constexpr auto kSchedulingSlack = 400ms;

// Whether the terminal is in exclusive mode, which keeps out every opener but root: a test run as root
// would not see a mode left behind by trying to open the port again.
bool ExclusiveMode(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = 0;
    const bool queried = fd >= 0 && ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    if (fd >= 0) close(fd);
    return !queried || exclusive != 0;
}

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slavePath_ = ptsname(master_);
        }
        termios tio{};
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
    ~PseudoTerminal() { CloseMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    void Send(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What has arrived at this end, after a short wait for it.
    std::string Received() {
        std::string bytes;
        pollfd p{master_, POLLIN, 0};
        char chunk[64];
        while (poll(&p, 1, 200) > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0) break;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        return bytes;
    }
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

class PosixSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        port = backend.Open(pty.SlavePath(), kLineBaudRate);
        ASSERT_NE(port, kInvalidPortHandle) << backend.LastOpenFailure().detail;
    }
    void TearDown() override {
        if (port != kInvalidPortHandle) backend.CloseHandle(port);
    }

    PseudoTerminal pty;
    PosixSerialBackend backend;
    PortHandle port = kInvalidPortHandle;
};

TEST_F(PosixSerialTest, OpensRawEightNOneAtTheRequestedRate) {
    termios tio{};
    ASSERT_EQ(tcgetattr(static_cast<int>(port), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(PosixSerialTest, SecondOpenIsRefusedWhileTheFirstHoldsThePort) {
    PosixSerialBackend other;
    EXPECT_EQ(other.Open(pty.SlavePath(), kLineBaudRate), kInvalidPortHandle);
    EXPECT_EQ(other.LastOpenFailure().kind, OpenFailureKind::Busy);
    // The refused opener leaves the holder's exclusive mode alone.
    EXPECT_TRUE(ExclusiveMode(pty.SlavePath()));
    // A plain open by anyone (root included) must not get the lock either.
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
    backend.CloseHandle(port);
    EXPECT_FALSE(ExclusiveMode(pty.SlavePath()));
    port = other.Open(pty.SlavePath(), kLineBaudRate);
    EXPECT_NE(port, kInvalidPortHandle);
    if (port != kInvalidPortHandle) {
        other.CloseHandle(port);
        port = kInvalidPortHandle;
    }
}

TEST_F(PosixSerialTest, ReadFromASilentPeerWaitsTheWholeTimeOut) {
    std::uint8_t buffer[8];
    std::uint32_t received = 99;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(backend.ReadFile(port, buffer, 8, received));
    const auto elapsed = SteadyClock::now() - start;
    EXPECT_EQ(received, 0u);
    EXPECT_GE(elapsed, ReadTimeout(8));
    EXPECT_LT(elapsed, ReadTimeout(8) + kSchedulingSlack);
}

extern "C" void IgnoreAlarm(int) {}

TEST_F(PosixSerialTest, SignalsDoNotShortenOrStretchTheTimeOut) {
    struct sigaction action {};
    action.sa_handler = IgnoreAlarm;  // no SA_RESTART: every tick interrupts poll with EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    itimerval timer{{0, 7000}, {0, 7000}};
    setitimer(ITIMER_REAL, &timer, nullptr);

    std::uint8_t buffer[8];
    std::uint32_t received = 99;
    const auto start = SteadyClock::now();
    const bool ok = backend.ReadFile(port, buffer, 8, received);
    const auto elapsed = SteadyClock::now() - start;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_TRUE(ok);
    EXPECT_EQ(received, 0u);
    EXPECT_GE(elapsed, ReadTimeout(8));
    EXPECT_LT(elapsed, ReadTimeout(8) + kSchedulingSlack);
}

TEST_F(PosixSerialTest, ReadReturnsAsSoonAsAllBytesArrived) {
    std::thread peer([&] {
        std::this_thread::sleep_for(20ms);
        pty.Send("1234");
        std::this_thread::sleep_for(20ms);
        pty.Send("5678");
    });
    std::uint8_t buffer[8];
    std::uint32_t received = 0;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(backend.ReadFile(port, buffer, 8, received));
    const auto elapsed = SteadyClock::now() - start;
    peer.join();
    EXPECT_EQ(received, 8u);
    EXPECT_EQ(std::string(buffer, buffer + 8), "12345678");
    EXPECT_LT(elapsed, ReadTimeout(8));
}

TEST_F(PosixSerialTest, PartialReplyIsReturnedAfterTheTimeOut) {
    pty.Send("123");
    std::uint8_t buffer[8];
    std::uint32_t received = 0;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(backend.ReadFile(port, buffer, 8, received));
    EXPECT_EQ(received, 3u);
    EXPECT_GE(SteadyClock::now() - start, ReadTimeout(8));
}

TEST_F(PosixSerialTest, PurgeDropsWhatWaitsInTheInputQueue) {
    pty.Send("stale");
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(backend.PurgeComm(port, kPurgeTxClear | kPurgeRxClear));
    std::uint8_t buffer[1];
    std::uint32_t received = 0;
    EXPECT_TRUE(backend.ReadFile(port, buffer, 1, received));
    EXPECT_EQ(received, 0u);
}

// A command that wants no reply is followed at once by the next transfer, which purges both queues first:
// the command must still reach the logger, however late the other end reads it. Whether the kernel has
// passed a write on yet when the purge comes is a race, so it is run often enough to be lost without care.
TEST_F(PosixSerialTest, WriteReachesThePeerDespiteTheNextPurge) {
    const std::string frame("\x81\0\0\0\0\0\0\xAA", 8);
    std::string sent;
    for (int i = 0; i < 40; ++i) {
        std::uint32_t written = 0;
        EXPECT_TRUE(backend.WriteFile(port, reinterpret_cast<const std::uint8_t*>(frame.data()), 8, written));
        EXPECT_EQ(written, 8u);
        EXPECT_TRUE(backend.PurgeComm(port, kPurgeTxClear | kPurgeRxClear));
        sent += frame;
    }
    const std::string received = pty.Received();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
}

TEST_F(PosixSerialTest, VanishedPeerFailsEveryCallAtOnce) {
    pty.CloseMaster();
    const auto start = SteadyClock::now();
    std::uint8_t buffer[8];
    std::uint32_t count = 0;
    EXPECT_FALSE(backend.ClearCommError(port));
    EXPECT_FALSE(backend.ReadFile(port, buffer, 8, count));
    EXPECT_LT(SteadyClock::now() - start, 100ms);
}

TEST_F(PosixSerialTest, PeerVanishingDuringAReadFailsItBeforeTheTimeOut) {
    std::thread peer([&] {
        std::this_thread::sleep_for(30ms);
        pty.CloseMaster();
    });
    std::uint8_t buffer[139];
    std::uint32_t count = 0;
    const auto start = SteadyClock::now();
    EXPECT_FALSE(backend.ReadFile(port, buffer, 139, count));
    peer.join();
    EXPECT_LT(SteadyClock::now() - start, ReadTimeout(139));
}

TEST(PosixSerialOpen, FailuresGiveTheInvalidHandleAndTheirReason) {
    struct Case {
        const char* name;
        OpenFailureKind kind;
    };
    const Case cases[] = {
        {"/dev/vantrel-no-such-port", OpenFailureKind::NotFound},
        {"vantrel-no-such-port", OpenFailureKind::NotFound},
        {"", OpenFailureKind::NotFound},
        {"/dev/null", OpenFailureKind::SettingsRefused},
    };
    for (const Case& c : cases) {
        PosixSerialBackend backend;
        EXPECT_EQ(backend.Open(c.name, kLineBaudRate), kInvalidPortHandle) << c.name;
        EXPECT_EQ(backend.LastOpenFailure().kind, c.kind) << c.name;
        EXPECT_FALSE(backend.LastOpenFailure().detail.empty()) << c.name;
    }
}

// The errors of the open call, one row each. Only a serial device the user may not open is a permission
// matter with advice (group membership); a plain file or a folder that cannot be opened is not a port.
TEST(PosixSerialOpen, OpenErrorsAreDecodedInOnePlace) {
    const std::string plainFile = (std::filesystem::temp_directory_path() /
                                   ("vantrel-open-errors-" + std::to_string(getpid()) + ".txt"))
                                      .string();
    std::ofstream(plainFile) << "not a port\n";
    struct Case {
        int error;
        std::string path;
        OpenFailureKind kind;
        bool advice;
    };
    const Case cases[] = {
        {EACCES, "/dev/null", OpenFailureKind::PermissionDenied, true},
        {EPERM, "/dev/null", OpenFailureKind::PermissionDenied, true},
        {EACCES, plainFile, OpenFailureKind::Other, false},
        {EACCES, "/tmp", OpenFailureKind::Other, false},
        {EACCES, "/dev/vantrel-no-such-port", OpenFailureKind::Other, false},
        {ENOENT, "/dev/vantrel-no-such-port", OpenFailureKind::NotFound, false},
        {ENXIO, "/dev/null", OpenFailureKind::NotFound, false},
        {ENODEV, "/dev/null", OpenFailureKind::NotFound, false},
        {ENOTDIR, plainFile + "/x", OpenFailureKind::NotFound, false},
        {EBUSY, plainFile, OpenFailureKind::Busy, false},
        {EIO, "/dev/null", OpenFailureKind::Other, false},
    };
    for (const Case& c : cases) {
        const OpenFailure failure = PosixSerialBackend::OpenFailureOf(c.error, c.path);
        const std::string row = c.path + " errno " + std::to_string(c.error);
        EXPECT_EQ(failure.kind, c.kind) << row;
        EXPECT_EQ(failure.systemCode, c.error) << row;
        EXPECT_EQ(failure.detail.rfind(c.path + ": " + std::strerror(c.error), 0), 0u) << failure.detail;
        const std::string described = DescribeOpenFailure(failure);
        EXPECT_EQ(described.find("dialout") != std::string::npos, c.advice) << described;
    }
    EXPECT_EQ(DescribeOpenFailure(PosixSerialBackend::OpenFailureOf(EACCES, "/dev/null")),
              "permission denied: /dev/null: Permission denied (" +
                  PosixSerialBackend::PermissionAdvice(PosixSerialBackend::InstalledUdevRule()) + ")");
    std::filesystem::remove(plainFile);
}

// The advice names the packaged udev rule while udev has none to use, and the rule udev uses once there
// is one: a file of the name in an earlier folder (the administrator's) wins, and a masked one (linked
// to /dev/null, or empty) means there is none.
TEST(PosixSerialOpen, PermissionAdviceFollowsTheInstalledUdevRule) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("vantrel-udev-rules-" + std::to_string(getpid()));
    const std::filesystem::path admin = root / "etc", packaged = root / "lib";
    std::filesystem::create_directories(admin);
    std::filesystem::create_directories(packaged);
    const std::vector<std::string> folders{admin.string(), packaged.string()};
    const std::string name = PosixSerialBackend::kUdevRuleName;
    auto write = [](const std::filesystem::path& path, const std::string& text) { std::ofstream(path) << text; };

    EXPECT_EQ(PosixSerialBackend::InstalledUdevRule(folders), std::nullopt) << "no rule yet";
    const std::string missing = PosixSerialBackend::PermissionAdvice(std::nullopt);
    EXPECT_NE(missing.find(std::string("/usr/lib/udev/rules.d/") + name), std::string::npos) << missing;
    EXPECT_NE(missing.find("dialout"), std::string::npos) << missing;

    write(packaged / name, "TAG+=\"uaccess\"\n");
    EXPECT_EQ(PosixSerialBackend::InstalledUdevRule(folders), (packaged / name).string()) << "the packaged rule";
    const std::string present = PosixSerialBackend::PermissionAdvice((packaged / name).string());
    EXPECT_NE(present.find((packaged / name).string()), std::string::npos) << present;
    EXPECT_EQ(present.find("install the"), std::string::npos) << "no advice to install what is there: " << present;
    EXPECT_NE(present.find("dialout"), std::string::npos) << present;

    write(admin / name, "TAG+=\"uaccess\"\n");
    EXPECT_EQ(PosixSerialBackend::InstalledUdevRule(folders), (admin / name).string()) << "the administrator's copy";
    write(admin / name, "");
    EXPECT_EQ(PosixSerialBackend::InstalledUdevRule(folders), std::nullopt) << "masked by an empty file";
    std::filesystem::remove(admin / name);
    std::filesystem::create_symlink("/dev/null", admin / name);
    EXPECT_EQ(PosixSerialBackend::InstalledUdevRule(folders), std::nullopt) << "masked by a link to /dev/null";
    std::filesystem::remove_all(root);
}

TEST(PosixSerialOpen, UnsupportedRateIsRefused) {
    PseudoTerminal pty;
    PosixSerialBackend backend;
    EXPECT_EQ(backend.Open(pty.SlavePath(), 12345), kInvalidPortHandle);
    EXPECT_EQ(backend.LastOpenFailure().kind, OpenFailureKind::SettingsRefused);
    // The refused open must not keep the port, nor leave it exclusive for a normal user's next open.
    EXPECT_FALSE(ExclusiveMode(pty.SlavePath()));
    const PortHandle port = backend.Open(pty.SlavePath(), kLineBaudRate);
    EXPECT_NE(port, kInvalidPortHandle);
    backend.CloseHandle(port);
}

TEST(PosixSerialOpen, BareNamesLiveUnderDev) {
    EXPECT_EQ(PosixSerialBackend::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PosixSerialBackend::DevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(PosixSerialBackend::DevicePath("./link"), "./link");
}

}  // namespace
}  // namespace vantrel::link
