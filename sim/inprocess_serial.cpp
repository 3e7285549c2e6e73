#include "sim/inprocess_serial.h"

#include "link/link_times.h"
#include "sim/state_file.h"

namespace vantrel::sim {

InProcessSerial::InProcessSerial(LoggerConfig config, link::VirtualClock& clock, Options options)
    : clock_(clock), options_(std::move(options)), model_(std::move(config), &trace_) {}

link::PortHandle InProcessSerial::Open(const std::string& portName, std::int32_t) {
    std::lock_guard lock(mutex_);
    if (portName != options_.portName || unplugged_) {
        lastOpenFailure_ = {link::OpenFailureKind::NotFound, 2, portName + ": no such port"};
        return link::kInvalidPortHandle;
    }
    if (handle_ != link::kInvalidPortHandle) {
        lastOpenFailure_ = {link::OpenFailureKind::Busy, 16, portName + ": already open"};
        return link::kInvalidPortHandle;
    }
    handle_ = nextHandle_++;
    lastOpenFailure_ = {};
    return handle_;
}

bool InProcessSerial::Usable(link::PortHandle port) {
    return port != link::kInvalidPortHandle && port == handle_ && !unplugged_;
}

bool InProcessSerial::ClearCommError(link::PortHandle port) {
    std::lock_guard lock(mutex_);
    return Usable(port);
}

bool InProcessSerial::PurgeComm(link::PortHandle port, std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    if (!Usable(port)) return false;
    const link::Micros now = clock_.Now();
    model_.AdvanceTo(now);
    if ((flags & link::kPurgeRxClear) != 0) model_.DiscardOutput(now);
    return true;
}

bool InProcessSerial::WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                                std::uint32_t& written) {
    std::lock_guard lock(mutex_);
    written = 0;
    if (!Usable(port)) return false;
    model_.Receive({data, count}, clock_.Now());
    written = count;
    AfterInput();
    return true;
}

void InProcessSerial::AfterInput() {
    if (!model_.PoweredOff()) return;
    if (options_.unplugOnPowerLoss) unplugged_ = true;
    if (!options_.statePath.empty() && !stateSaved_) {
        stateSaved_ = SaveStateFile(model_, options_.statePath).Ok();
    }
}

bool InProcessSerial::ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) {
    std::lock_guard lock(mutex_);
    read = 0;
    if (!Usable(port)) return false;
    if (count == 0) return true;
    const link::Micros now = clock_.Now();
    const link::Micros deadline = now + link::ReadTimeout(count);
    model_.AdvanceTo(now);

    const auto& pending = model_.PendingOutput();
    std::size_t inTime = 0;
    while (inTime < pending.size() && inTime < count && pending[inTime].at <= deadline) ++inTime;
    // A read returns as soon as its last byte is there; otherwise it blocks for the whole time-out.
    const link::Micros returnAt = inTime == count ? std::max(now, pending[inTime - 1].at) : deadline;
    const std::vector<std::uint8_t> bytes = model_.TakeOutput(returnAt, count);
    std::copy(bytes.begin(), bytes.end(), buffer);
    read = static_cast<std::uint32_t>(bytes.size());
    clock_.Advance(returnAt - now);
    model_.AdvanceTo(returnAt);
    return true;
}

bool InProcessSerial::CloseHandle(link::PortHandle port) {
    std::lock_guard lock(mutex_);
    if (port == link::kInvalidPortHandle || port != handle_) return false;
    handle_ = link::kInvalidPortHandle;
    return true;
}

link::OpenFailure InProcessSerial::LastOpenFailure() const {
    std::lock_guard lock(mutex_);
    return lastOpenFailure_;
}

void InProcessSerial::SetUnplugged(bool unplugged) {
    std::lock_guard lock(mutex_);
    unplugged_ = unplugged;
}

bool InProcessSerial::IsOpen() const {
    std::lock_guard lock(mutex_);
    return handle_ != link::kInvalidPortHandle;
}

}  // namespace vantrel::sim
