// The error of the console's time-left estimate (app/time_left.h) over whole updates on a line paced at 9600
// baud, the simulator's --paced model: at every progress report from 10 % on, the estimate against the time
// the job then really still took, relative to the latter.
//  - TimeLeftPaced: the in-process simulator in virtual time, every built-in image.
//  - TimeLeftPacedPty: vantrel-sim --paced on a pseudo-terminal in real time (image 1, about 8 minutes).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/time_left.h"
#include "bench/paced_line.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/process_state.h"
#include "engine/vantrel_comm_thread.h"
#include "link/clock.h"
#include "link/serial.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using vantrel::engine::Notification;
using vantrel::link::Micros;

// Feeds the estimate on the worker's own thread, so that it sees each report at the moment it was made,
// and keeps what it said then.
class EstimatingTarget final : public vantrel::engine::NotificationTarget {
public:
    EstimatingTarget(vantrel::link::Clock& clock, std::shared_ptr<vantrel::engine::NotificationQueue> queue)
        : clock_(clock), estimate_(clock), queue_(std::move(queue)) {
        estimate_.JobStarted();
    }
    void Post(const Notification& n) override {
        std::lock_guard lock(mutex_);
        estimate_.Note(n);
        if (n.code == vantrel::engine::ncProgress) {
            const auto left = estimate_.Left();
            samples.push_back({n.value, clock_.Now(), left ? left->left : 0ms});
        }
        queue_->Post(n);
    }

    struct Sample {
        int percent;
        Micros at;
        std::chrono::milliseconds said;
    };
    std::vector<Sample> samples;

private:
    std::mutex mutex_;
    vantrel::link::Clock& clock_;
    vantrel::app::TimeLeft estimate_;
    std::shared_ptr<vantrel::engine::NotificationQueue> queue_;
};

struct Errors {
    double max = 0;
    double mean = 0;
    bool verified = false;
};

// Runs one job on the current clock and backend; the relative errors from 10 % on.
Errors MeasureJob(vantrel::link::Clock& clock, const std::string& port) {
    auto queue = std::make_shared<vantrel::engine::NotificationQueue>();
    auto target = std::make_shared<EstimatingTarget>(clock, queue);
    vantrel::engine::ScopedNotificationTarget window(target);
    vantrel::engine::JobRequest request;
    request.FsPort = port;
    request.FhWindow = window.handle();
    vantrel::engine::CreateCommThread<vantrel::engine::TVantrelCommThread>(request, vantrel::engine::TCmd::tCMD0,
                                                                           nullptr);
    Errors errors;
    while (auto n = queue->Wait(15min)) {
        if (!vantrel::engine::IsFinalNotification(n->code)) continue;
        errors.verified = n->code == vantrel::engine::ncDone;
        break;
    }
    vantrel::engine::WaitForWorkersToEnd();
    const Micros end = clock.Now();
    int counted = 0;
    for (const auto& sample : target->samples) {
        if (sample.percent < 10) continue;
        const double truth = std::chrono::duration<double>(end - sample.at).count();
        const double said = std::chrono::duration<double>(sample.said).count();
        const double error = std::abs(said - truth) / truth;
        errors.max = std::max(errors.max, error);
        errors.mean += error;
        ++counted;
    }
    if (counted > 0) errors.mean /= counted;
    return errors;
}

void Report(benchmark::State& state, const Errors& errors) {
    if (!errors.verified) state.SkipWithError("update failed");
    state.counters["max_error_pct"] = errors.max * 100;
    state.counters["mean_error_pct"] = errors.mean * 100;
}

void TimeLeftPaced(benchmark::State& state) {
    const auto image = static_cast<int>(state.range(0));
    Errors errors;
    for (auto _ : state) {
        vantrel::bench::PacedLine line(image);
        errors = MeasureJob(line.Clock(), "SIM1");
    }
    Report(state, errors);
}
BENCHMARK(TimeLeftPaced)->DenseRange(1, 4)->Iterations(1)->Unit(benchmark::kSecond);

#ifdef VANTREL_SIM_BINARY

void TimeLeftPacedPty(benchmark::State& state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return state.SkipWithError("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string binary = VANTREL_SIM_BINARY;
    std::string paced = "--paced";
    char* argv[] = {binary.data(), paced.data(), nullptr};
    pid_t sim = -1;
    posix_spawn(&sim, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string port;
    for (char c = 0; read(pipeFds[0], &c, 1) == 1 && c != '\n';) port += c;
    Errors errors;
    for (auto _ : state) {
        vantrel::engine::ResetProcessState();
        errors = MeasureJob(vantrel::link::SystemClock(), port);
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    close(pipeFds[0]);
    Report(state, errors);
}
BENCHMARK(TimeLeftPacedPty)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

#endif

}  // namespace
