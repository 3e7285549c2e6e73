// The console front end run in-process against the simulated logger, in virtual time: the fixture every
// console test shares.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "app/port_list.h"
#include "cli/child_processes.h"
#include "cli/cli_app.h"
#include "cli/many_loggers.h"
#include "engine/notify.h"
#include "engine/process_state.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "tests/cli/json_schema.h"
#include "tests/support/job_runner.h"
#include "vantrel/version.h"

namespace vantrel::cli {

namespace fs = std::filesystem;
using sim::Fault;
using sim::FaultKind;
using sim::LoggerConfig;
using sim::RequestKind;
using testing::SimulatedLine;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Where the output goes when it cannot be written: a reader that closed its pipe, a full device.
class FailingBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

struct OutputFaults {
    bool out = false;
    bool err = false;
};

// What the streams are attached to, beyond stdin: a terminal on stderr (and stdout), one that is dumb,
// and how wide it is (0: unknown).
struct Screen {
    bool err = false;
    bool out = false;
    bool escapes = true;
    int columns = 0;
    int shrinksTo = 0;  // the width after the first shrinkAfter looks, as when the window is made narrower
    int shrinkAfter = 0;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        engine::ResetProcessState();
        config_ = fs::temp_directory_path() / ("vantrel-cli-test-" + std::to_string(::getpid()));
        fs::create_directories(config_ / "Velmora");
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }
    ~CliTest() override {
        engine::ResetProcessState();
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(config_);
    }

    void InternalMode() { std::ofstream(config_ / "Velmora" / "Qel.conf") << "[General]\nintern=7204\n"; }

    // Every preparation of what a second signal would still write: the exit event around its status, the
    // stderr line.
    struct LastWords {
        std::string before, after, err;
    };
    static inline std::vector<LastWords> lastWords;

    CliRun Cli(std::vector<std::string> args, const std::string& answer = "", bool terminal = false,
               OutputFaults faults = {}, Screen screen = {}, ChildRunner* children = nullptr) {
        args.insert(args.begin(), "vantrel-update-cli");
        std::istringstream in(answer);
        std::ostringstream out;
        std::ostringstream err;
        FailingBuffer failing;
        std::ostream failingOut(&failing);
        std::ostream failingErr(&failing);
        CliRun run;
        ConsoleIo io{in,
                     faults.out ? failingOut : out,
                     faults.err ? failingErr : err,
                     terminal,
                     screen.err,
                     screen.out,
                     screen.escapes};
        io.sysfsRoot = (config_ / "sys").string();
        io.children = children;
        lastWords.clear();
        io.lastWords = [](const std::string& before, const std::string& after, const std::string& errLine) {
            lastWords.push_back({before, after, errLine});
        };
        if (screen.columns > 0) {
            io.errColumns = [screen, looks = 0]() mutable {
                return screen.shrinksTo > 0 && ++looks > screen.shrinkAfter ? screen.shrinksTo : screen.columns;
            };
        }
        run.status = RunCli(args, io);
        run.out = out.str();
        run.err = err.str();
        engine::ResetProcessState();
        return run;
    }

    static std::vector<nlohmann::json> JsonLines(const std::string& text) {
        std::vector<nlohmann::json> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    // The events without their times, which differ from run to run.
    static std::vector<nlohmann::json> Untimed(const std::string& text) {
        std::vector<nlohmann::json> events = JsonLines(text);
        for (auto& event : events) event.erase("time");
        return events;
    }

    fs::path config_;
};

// The system's serial ports as a test makes them up; the list may change from one look to the next, as
// when an adapter is plugged in while the console waits for it.
class FakePorts final : public app::PortSource {
public:
    std::vector<app::PortEntry> Enumerate() override {
        ++looks;
        return looks > hiddenLooks ? entries : std::vector<app::PortEntry>{};
    }
    std::vector<app::PortEntry> entries;
    int hiddenLooks = 0;  // looks that find nothing before the entries appear
    int looks = 0;
};

// An adapter's port as the system's list gives it, with what the adapter says about itself.
app::PortEntry UsbPort(std::string name, std::string serialNumber, std::string stableLink = "");

LoggerConfig WithFaults(std::vector<Fault> faults, std::uint16_t platform = 15);

// An image file of the built-in image 2 (platform 15, print 39) with one change, for the checks that only
// an image file can fail.
fs::path ImageFile(const fs::path& folder, const std::function<void(std::vector<std::string>&)>& change);

}  // namespace vantrel::cli
