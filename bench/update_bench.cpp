// Whole updates of the built-in images:
//  - PacedUpdate: through the in-process simulator with every byte paced at 9600 baud and 20 ms of
//    programming per record, in virtual time; reported against the wire-time bound, the time the bytes
//    themselves need on the line plus the fixed waits of the sequence.
//  - PacedUpdateUsbLatency: the same for image 1 with a USB serial converter between logger and host
//    whose latency timer is 1 ms (what the package's udev rule sets) or 16 ms (the drivers' default).
//  - PtyUpdate: against vantrel-sim on a pseudo-terminal without line timing, in real time: records per
//    second while programming, and the CPU time the updater spends on the whole job.
//  - CliPeakMemory: the console front end's peak resident memory during an update (maximum RSS of the
//    child process).
//  - ManyPacedLoggers: image 1 onto one paced vantrel-sim, then onto eight at once with one console
//    (a child process a logger), in real time: how much longer the eight take than the one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/paced_line.h"
#include "engine/comm_thread.h"
#include "engine/engine_times.h"
#include "engine/notify.h"
#include "engine/process_state.h"
#include "engine/vantrel_comm_thread.h"
#include "firmware/catalogue.h"
#include "link/clock.h"
#include "link/serial.h"
#include "sim/inprocess_serial.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using vantrel::engine::Notification;

using vantrel::bench::Board;
using vantrel::bench::kBoards;

// Runs one job on the current clock and backend; returns its notifications with the real time each
// arrived at.
std::vector<std::pair<Notification, std::chrono::steady_clock::time_point>> RunJob(const std::string& port) {
    auto queue = std::make_shared<vantrel::engine::NotificationQueue>();
    vantrel::engine::ScopedNotificationTarget window(queue);
    vantrel::engine::JobRequest request;
    request.FsPort = port;
    request.FhWindow = window.handle();
    vantrel::engine::CreateCommThread<vantrel::engine::TVantrelCommThread>(request, vantrel::engine::TCmd::tCMD0,
                                                                           nullptr);
    std::vector<std::pair<Notification, std::chrono::steady_clock::time_point>> seen;
    while (auto n = queue->Wait(5min)) {
        seen.emplace_back(*n, std::chrono::steady_clock::now());
        if (vantrel::engine::IsFinalNotification(n->code)) break;
    }
    vantrel::engine::WaitForWorkersToEnd();
    return seen;
}

void PacedUpdateOf(benchmark::State& state, int image, vantrel::link::Micros usbLatency) {
    double virtualSeconds = 0;
    double boundSeconds = 0;
    for (auto _ : state) {
        vantrel::bench::PacedLine line(image, usbLatency);
        vantrel::link::VirtualClock& clock = line.Clock();
        vantrel::sim::InProcessSerial& serial = line.Serial();
        const auto start = clock.Now();
        const auto seen = RunJob("SIM1");
        if (seen.empty() || seen.back().first.code != vantrel::engine::ncDone) state.SkipWithError("update failed");
        virtualSeconds = std::chrono::duration<double>(clock.Now() - start).count();

        std::size_t bytes = 0;
        for (const auto& entry : serial.Trace().Entries()) bytes += entry.bytes.size();
        const double byteSeconds = 10.0 / 9600.0;
        const auto fixed = 2 * vantrel::engine::kZeroFramePause + vantrel::engine::kEnterBootloaderWait +
                           vantrel::engine::kStartApplicationDelay + vantrel::engine::kStartApplicationWait;
        boundSeconds = static_cast<double>(bytes) * byteSeconds + std::chrono::duration<double>(fixed).count();
        state.SetIterationTime(virtualSeconds);
        state.counters["line_bytes"] = static_cast<double>(bytes);
    }
    state.counters["update_s"] = virtualSeconds;
    state.counters["wire_bound_s"] = boundSeconds;
    state.counters["ratio_to_bound"] = virtualSeconds / boundSeconds;
    state.counters["records"] = vantrel::firmware::GetFirmwareLineCount(image);
}

void PacedUpdate(benchmark::State& state) { PacedUpdateOf(state, static_cast<int>(state.range(0)), 0us); }
BENCHMARK(PacedUpdate)->DenseRange(1, 4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void PacedUpdateUsbLatency(benchmark::State& state) {
    PacedUpdateOf(state, 1, std::chrono::milliseconds(state.range(0)));
}
BENCHMARK(PacedUpdateUsbLatency)->Arg(1)->Arg(16)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

#ifdef VANTREL_SIM_BINARY

// A child process with its stdout on a pipe.
struct Child {
    pid_t pid = -1;
    int out = -1;
};

Child Spawn(const std::vector<std::string>& args, bool quiet) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    child.out = pipeFds[0];
    return child;
}

std::string FirstLine(int fd) {
    std::string line;
    char c = 0;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10'000) <= 0 || read(fd, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

struct Simulator {
    explicit Simulator(const Board& board, bool paced = false)
        : child(Spawn(SimulatorArgs(board, paced), false)), port(FirstLine(child.out)) {}
    ~Simulator() {
        kill(child.pid, SIGTERM);
        waitpid(child.pid, nullptr, 0);
        close(child.out);
    }
    static std::vector<std::string> SimulatorArgs(const Board& board, bool paced) {
        std::vector<std::string> args{VANTREL_SIM_BINARY, "--platform", std::to_string(board.platform), "--print",
                                      std::to_string(board.print)};
        if (paced) args.push_back("--paced");
        return args;
    }
    Child child;
    std::string port;
};

double ThreadlessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void PtyUpdate(benchmark::State& state) {
    const auto image = static_cast<int>(state.range(0));
    Simulator sim(kBoards[image - 1]);
    double recordsPerSecond = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        vantrel::engine::ResetProcessState();
        const double cpuBefore = ThreadlessCpuSeconds();
        const auto seen = RunJob(sim.port);
        cpuSeconds = ThreadlessCpuSeconds() - cpuBefore;
        if (seen.empty() || seen.back().first.code != vantrel::engine::ncDone) state.SkipWithError("update failed");
        std::chrono::steady_clock::time_point begin{};
        std::chrono::steady_clock::time_point end{};
        for (const auto& [n, at] : seen) {
            if (n.code == vantrel::engine::ncUpdateStart) begin = at;
            if (n.code == vantrel::engine::ncVectorTable && n.value == 1) end = at;
        }
        recordsPerSecond = vantrel::firmware::GetFirmwareLineCount(image) /
                           std::chrono::duration<double>(end - begin).count();
    }
    state.counters["records_per_s"] = recordsPerSecond;
    state.counters["updater_cpu_s"] = cpuSeconds;
}
BENCHMARK(PtyUpdate)->DenseRange(1, 4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void CliPeakMemory(benchmark::State& state) {
    Simulator sim(kBoards[0]);
    long maxRssKiB = 0;
    for (auto _ : state) {
        Child cli = Spawn({VANTREL_CLI_BINARY, "--port", sim.port, "--yes"}, true);
        int status = 0;
        rusage usage{};
        wait4(cli.pid, &status, 0, &usage);
        close(cli.out);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("update failed");
        maxRssKiB = usage.ru_maxrss;
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(maxRssKiB);
}
BENCHMARK(CliPeakMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Wall-clock seconds of one console run updating image 1 onto `loggers` paced simulators at once.
double PacedConsoleRun(int loggers, bool& updated) {
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::string> args{VANTREL_CLI_BINARY, "--yes"};
    for (int i = 0; i < loggers; ++i) {
        sims.push_back(std::make_unique<Simulator>(kBoards[0], true));
        args.insert(args.end(), {"--port", sims.back()->port});
    }
    const auto start = std::chrono::steady_clock::now();
    Child cli = Spawn(args, true);
    int status = 0;
    waitpid(cli.pid, &status, 0);
    close(cli.out);
    updated = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ManyPacedLoggers(benchmark::State& state) {
    const auto loggers = static_cast<int>(state.range(0));
    double oneSeconds = 0;
    double manySeconds = 0;
    for (auto _ : state) {
        bool oneUpdated = false;
        bool allUpdated = false;
        oneSeconds = PacedConsoleRun(1, oneUpdated);
        manySeconds = PacedConsoleRun(loggers, allUpdated);
        if (!oneUpdated || !allUpdated) state.SkipWithError("update failed");
        state.SetIterationTime(oneSeconds + manySeconds);
    }
    state.counters["one_logger_s"] = oneSeconds;
    state.counters["all_loggers_s"] = manySeconds;
    state.counters["ratio"] = manySeconds / oneSeconds;
}
BENCHMARK(ManyPacedLoggers)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

#endif

}  // namespace

BENCHMARK_MAIN();
