#include "tests/support/job_runner.h"

#include <chrono>

#include "engine/vantrel_comm_thread.h"

namespace vantrel::testing {

using namespace std::chrono_literals;

SimulatedLine::SimulatedLine(sim::LoggerConfig config, sim::InProcessSerial::Options options)
    : port_(options.portName),
      serial_(std::make_unique<sim::InProcessSerial>(std::move(config), clock_, std::move(options))),
      useClock_(clock_),
      useSerial_(*serial_) {}

SimulatedLine::~SimulatedLine() { engine::WaitForWorkersToEnd(); }

std::vector<std::int32_t> JobResult::Values(std::uint32_t code) const {
    std::vector<std::int32_t> values;
    for (const auto& n : notifications) {
        if (n.code == code) values.push_back(n.value);
    }
    return values;
}

std::vector<std::uint32_t> JobResult::CodesWithoutProgress() const {
    std::vector<std::uint32_t> codes;
    for (const auto& n : notifications) {
        if (n.code != engine::ncProgress) codes.push_back(n.code);
    }
    return codes;
}

JobResult RunJob(const std::string& port, engine::TCommThreadClass workerClass, engine::TCmd cmd) {
    engine::JobRequest request;
    request.FsPort = port;
    request.Checks = engine::CurrentJobChecks();
    return RunJob(std::move(request), workerClass, cmd);
}

JobResult RunJob(engine::JobRequest request, engine::TCommThreadClass workerClass, engine::TCmd cmd) {
    auto queue = std::make_shared<engine::NotificationQueue>();
    engine::ScopedNotificationTarget window(queue);
    if (workerClass == nullptr) workerClass = &engine::CreateCommThread<engine::TVantrelCommThread>;
    request.FhWindow = window.handle();
    auto outcome = std::make_shared<engine::JobOutcome>();
    workerClass(request, cmd, outcome);
    JobResult result;
    // A job on the virtual clock takes milliseconds; the bound only keeps a broken job from hanging the suite.
    while (auto n = queue->Wait(60s)) {
        result.notifications.push_back(*n);
        if (engine::IsFinalNotification(n->code)) {
            ++result.finals;
            break;
        }
    }
    engine::WaitForWorkersToEnd();
    while (auto late = queue->TryPop()) {
        result.notifications.push_back(*late);
        if (engine::IsFinalNotification(late->code)) ++result.finals;
    }
    result.selectedImage = outcome->SelectedImage.load();
    result.applicationStartSent = outcome->ApplicationStartSent.load();
    return result;
}

}  // namespace vantrel::testing
