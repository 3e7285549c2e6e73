// The simulated logger behind the updater's serial layer, in the same process and on a virtual clock: a
// whole update, time-outs and retries included, runs in milliseconds of real time.
//
// Time: the updater's own pauses move the clock (link::Sleep); a read moves it to the moment the last
// byte it waits for is on the updater's side, or by the whole read time-out when they are not all there
// in time, exactly as a synchronous read on a real port would block.
//
// PurgeComm with the receive flag drops every reply byte the logger has queued, including those whose
// line time lies after Now: the updater purges only before a new attempt, and what is still under way
// then is the answer to an attempt it has given up on. (vantrel-sim on a pseudo-terminal cannot see the
// purge; there a reply that comes late enough lands in the next attempt's read, as on a real line.)
// The transmit flag recalls nothing: written bytes have been handed to the logger already.
//
// A logger that lost its power (dead-line fault) stays silent: reads time out. With `unplugOnPowerLoss`
// the port behaves instead like a USB adapter pulled from its socket: every call but CloseHandle fails,
// and Open finds nothing. With a statePath the flash is saved there the moment the power goes.
//
// Thread-safe: the updater's worker calls it while a test thread may inspect the model.
#pragma once

#include <mutex>
#include <string>

#include "link/clock.h"
#include "link/serial.h"
#include "sim/logger_model.h"
#include "sim/wire_trace.h"

namespace vantrel::sim {

class InProcessSerial final : public link::SerialBackend {
public:
    struct Options {
        std::string portName = "SIM1";
        bool unplugOnPowerLoss = false;
        std::string statePath;
    };

    // The model is built here with the backend's trace, so the trace sees every unit both ways.
    InProcessSerial(LoggerConfig config, link::VirtualClock& clock, Options options);
    InProcessSerial(LoggerConfig config, link::VirtualClock& clock)
        : InProcessSerial(std::move(config), clock, Options{}) {}

    link::PortHandle Open(const std::string& portName, std::int32_t baudRate) override;
    bool ClearCommError(link::PortHandle port) override;
    bool PurgeComm(link::PortHandle port, std::uint32_t flags) override;
    bool WriteFile(link::PortHandle port, const std::uint8_t* data, std::uint32_t count,
                   std::uint32_t& written) override;
    bool ReadFile(link::PortHandle port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& read) override;
    bool CloseHandle(link::PortHandle port) override;
    link::OpenFailure LastOpenFailure() const override;

    // Pulls or puts back the cable by hand.
    void SetUnplugged(bool unplugged);
    bool IsOpen() const;

    // Runs f on the model under the backend's lock, with the model brought up to the clock's time.
    template <typename F>
    auto Inspect(F&& f) {
        std::lock_guard lock(mutex_);
        model_.AdvanceTo(clock_.Now());
        return f(model_);
    }

    WireTrace& Trace() { return trace_; }

private:
    bool Usable(link::PortHandle port);
    void AfterInput();

    link::VirtualClock& clock_;
    Options options_;
    WireTrace trace_;
    mutable std::mutex mutex_;
    LoggerModel model_;
    link::PortHandle handle_ = link::kInvalidPortHandle;
    link::PortHandle nextHandle_ = 0x5100;
    bool unplugged_ = false;
    bool stateSaved_ = false;
    link::OpenFailure lastOpenFailure_;
};

}  // namespace vantrel::sim
