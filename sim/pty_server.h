// The simulated logger on a pseudo-terminal, in real time: the updater opens the slave side like any
// serial port, and the server feeds what arrives on the master side to the model and writes the model's
// reply bytes when they are due.
//
// The server keeps a descriptor of the slave open itself, so the master never sees a hang-up when the
// updater closes the port between jobs; the updater's exclusive open (TIOCEXCL, flock) still works,
// since TIOCEXCL only keeps out later opens and this descriptor holds no lock.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "link/clock.h"
#include "sim/logger_model.h"
#include "sim/result.h"

namespace vantrel::sim {

class PtyServer {
public:
    struct Options {
        std::string linkPath;   // a symlink to the slave kept there while the server lives
        std::string statePath;  // where the flash is saved when the power goes
    };

    PtyServer(LoggerModel& model, Options options, link::Clock& clock = link::SystemClock());
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal (raw on both sides, so nothing is translated) and the symlink.
    Result<> Open();
    const std::string& SlavePath() const { return slavePath_; }

    // Serves until stop is set; looks at it at least every 20 ms. Fails only when the pseudo-terminal
    // itself does.
    Result<> Serve(const std::atomic<bool>& stop);

private:
    Result<> Flush();

    LoggerModel& model_;
    Options options_;
    link::Clock& clock_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    bool linkMade_ = false;
    bool stateSaved_ = false;
    std::vector<std::uint8_t> backlog_;
};

}  // namespace vantrel::sim
