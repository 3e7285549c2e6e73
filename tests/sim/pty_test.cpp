#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "link/cancel.h"
#include "link/clock.h"
#include "link/comm_link.h"
#include "link/command_frame.h"
#include "link/link_times.h"
#include "link/serial.h"
#include "sim/logger_model.h"
#include "sim/pty_server.h"
#include "tests/sim/sim_test_support.h"

extern char** environ;

namespace vantrel::sim {
namespace {

using namespace std::chrono_literals;
using namespace testing;

class PtyTest : public ::testing::Test {
protected:
    PtyTest() : model(LoggerConfig{}, &trace), server(model, {}) {}

    void SetUp() override {
        link::CancelRequested = false;
        const Result<> opened = server.Open();
        ASSERT_TRUE(opened) << opened.Error();
        serving = std::thread([this] { served = server.Serve(stop).Ok(); });
    }

    void TearDown() override {
        stop = true;
        if (serving.joinable()) serving.join();
        EXPECT_TRUE(served);
    }

    WireTrace trace;
    LoggerModel model;
    PtyServer server;
    std::atomic<bool> stop{false};
    std::atomic<bool> served{true};
    std::thread serving;
};

TEST_F(PtyTest, WholeUpdateThroughThePseudoTerminal) {
    link::TCommLink link;
    link.FhPort = link::OpenCommPort(server.SlavePath(), link::kLineBaudRate);
    ASSERT_NE(link.FhPort, link::kInvalidPortHandle) << link::DescribeOpenFailure(link::LastOpenFailure());
    // The updater holds the port exclusively, even though the server keeps the slave open too.
    EXPECT_EQ(link::OpenCommPort(server.SlavePath(), link::kLineBaudRate), link::kInvalidPortHandle);
    EXPECT_EQ(link::LastOpenFailure().kind, link::OpenFailureKind::Busy);

    link.SendCommand(false, link::cmdZeroFrame, 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(IdentifyClass(link), kInstalledClass);
    SendEnterBootloader(link);
    link::Sleep(1ms);
    ASSERT_EQ(IdentifyClass(link), firmware::kBootloader3Class);

    const SyntheticImage image = MakeImage(kNewClass, kNewVersion);
    ASSERT_EQ(ProgramImage(link, image), -1);
    // The application needs 300 ms to start; the identify retries cover what this pause does not.
    link::Sleep(200ms);
    EXPECT_EQ(IdentifyClass(link), kNewClass);

    // Between jobs the updater closes the port; the next job finds the logger still there.
    link.CloseCommPort();
    link.FhPort = link::OpenCommPort(server.SlavePath(), link::kLineBaudRate);
    ASSERT_NE(link.FhPort, link::kInvalidPortHandle);
    EXPECT_EQ(IdentifyClass(link), kNewClass);
    link.CloseCommPort();

    stop = true;
    serving.join();
    EXPECT_EQ(model.ApplicationStarts(), 1);
    EXPECT_EQ(model.ProgrammedSinceBegin().size(), image.records.size() + 1);
    EXPECT_EQ(trace.Matching("record: echo block").size(), image.records.size() + 1);
}

// Runs the simulator binary with stdout on a pipe; returns its pid.
pid_t Spawn(const std::vector<std::string>& args, int& stdoutFd) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    std::string binary = VANTREL_SIM_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdoutFd = out[0];
    return pid;
}

std::string ReadAll(int fd, bool firstLineOnly) {
    std::string text;
    char c = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10'000) <= 0) break;
        if (read(fd, &c, 1) != 1) break;
        if (firstLineOnly && c == '\n') break;
        text += c;
    }
    return text;
}

TEST(SimBinaryTest, ServesOnThePrintedPortAndTheLinkUntilTerminated) {
    link::CancelRequested = false;
    const std::string linkPath = ScratchPath("vantrel-sim-link");
    int out = -1;
    const pid_t pid = Spawn({"--link", linkPath, "--mode", "bootloader", "--trace", "--fault", "no-reply:identify:1"},
                            out);
    ASSERT_GT(pid, 0);
    const std::string slave = ReadAll(out, true);
    ASSERT_FALSE(slave.empty());
    EXPECT_EQ(std::filesystem::read_symlink(linkPath).string(), slave);
    {
        link::TCommLink link;
        link.FhPort = link::OpenCommPort(linkPath, link::kLineBaudRate);
        ASSERT_NE(link.FhPort, link::kInvalidPortHandle) << link::DescribeOpenFailure(link::LastOpenFailure());
        // The first identify goes unanswered by the fault; the retry is answered by the bootloader.
        EXPECT_EQ(IdentifyClass(link), firmware::kBootloader3Class);
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink(linkPath));
}

TEST(SimBinaryTest, HelpListsEveryOption) {
    int out = -1;
    const pid_t pid = Spawn({"--help"}, out);
    ASSERT_GT(pid, 0);
    const std::string help = ReadAll(out, false);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const char* option : {"--platform",
                               "--print",
                               "--info",
                               "--update-class",
                               "--update-id",
                               "--app-class",
                               "--app-version",
                               "--bootloader-version",
                               "--mode",
                               "--no-application",
                               "--bootloader-startup",
                               "--app-startup",
                               "--paced",
                               "--programming-time",
                               "--fault",
                               "--seed",
                               "--state",
                               "--link",
                               "--trace",
                               "no-reply:KIND",
                               "dead-from:J"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace vantrel::sim
