// Running whole jobs in tests: a simulated logger joined to the serial layer on a virtual clock, and a
// job of the Vantrel worker run to its final notification.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/comm_thread.h"
#include "engine/job_request.h"
#include "engine/notify.h"
#include "link/clock.h"
#include "link/serial.h"
#include "sim/inprocess_serial.h"

namespace vantrel::testing {

// A logger on the line for the lifetime of the object; the process's clock and serial backend are
// switched to it meanwhile.
class SimulatedLine {
public:
    explicit SimulatedLine(sim::LoggerConfig config = {}, sim::InProcessSerial::Options options = {});
    ~SimulatedLine();
    SimulatedLine(const SimulatedLine&) = delete;
    SimulatedLine& operator=(const SimulatedLine&) = delete;

    sim::InProcessSerial& Serial() { return *serial_; }
    link::VirtualClock& Clock() { return clock_; }
    const std::string& Port() const { return port_; }

private:
    link::VirtualClock clock_;
    std::string port_;
    std::unique_ptr<sim::InProcessSerial> serial_;
    link::ScopedClock useClock_;
    link::ScopedSerialBackend useSerial_;
};

struct JobResult {
    std::vector<engine::Notification> notifications;  // everything the job posted, final one last
    int finals = 0;                                   // final notifications seen (must be 1)
    std::int32_t selectedImage = -1;                  // the image the worker chose (JobOutcome)
    bool applicationStartSent = false;

    engine::Notification Final() const {
        return notifications.empty() ? engine::Notification{99, -1} : notifications.back();
    }
    // The values posted with one code, in order.
    std::vector<std::int32_t> Values(std::uint32_t code) const;
    // The codes in order, without progress.
    std::vector<std::uint32_t> CodesWithoutProgress() const;
};

// Runs one job of this request with the given worker class (the Vantrel worker by default) and waits for it
// to end; the request's notification handle is the runner's own. The cancel request is used as the caller
// left it.
JobResult RunJob(engine::JobRequest request, engine::TCommThreadClass workerClass = nullptr,
                 engine::TCmd cmd = engine::TCmd::tCMD0);
// The same for a job on port with the built-in images and the checks the option flags set.
JobResult RunJob(const std::string& port, engine::TCommThreadClass workerClass = nullptr,
                 engine::TCmd cmd = engine::TCmd::tCMD0);

}  // namespace vantrel::testing
