// A simulated logger with the board of a built-in image on a line paced at 9600 baud, in virtual time: the
// process's clock and serial backend are switched to it for the object's lifetime.
#pragma once

#include <cstdint>

#include "engine/process_state.h"
#include "link/clock.h"
#include "link/serial.h"
#include "sim/inprocess_serial.h"

namespace vantrel::bench {

struct Board {
    std::uint16_t platform;
    std::uint16_t print;
};
// The boards of the built-in images 1 to 4.
inline constexpr Board kBoards[] = {{15, 19}, {15, 39}, {21, 39}, {21, 48}};

class PacedLine {
public:
    // usbLatency: a USB serial converter's latency timer between logger and host (zero: none).
    explicit PacedLine(int image, link::Micros usbLatency = link::Micros::zero())
        : serial_(Config(image, usbLatency), clock_), useClock_(clock_), useSerial_(serial_) {
        engine::ResetProcessState();
    }
    link::VirtualClock& Clock() { return clock_; }
    sim::InProcessSerial& Serial() { return serial_; }

private:
    static sim::LoggerConfig Config(int image, link::Micros usbLatency) {
        sim::LoggerConfig config;
        config.identity.platform = kBoards[image - 1].platform;
        config.identity.print = kBoards[image - 1].print;
        config.timing.paced = true;
        config.timing.usbLatency = usbLatency;
        return config;
    }

    link::VirtualClock clock_;
    sim::InProcessSerial serial_;
    link::ScopedClock useClock_;
    link::ScopedSerialBackend useSerial_;
};

}  // namespace vantrel::bench
