// vantrel-sim: a simulated logger on a pseudo-terminal, for trying the updater without hardware.
// The first line on stdout is the path of the serial port to give the updater.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/logger_model.h"
#include "sim/pty_server.h"
#include "sim/state_file.h"
#include "sim/wire_trace.h"
#include "vantrel/version.h"

namespace {

using namespace vantrel::sim;

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested.store(true); }

// The words the bootloader and the application report, each an option of its own.
struct IdentityOption {
    const char* name;
    std::uint16_t LoggerIdentity::*field;
    const char* help;
};

constexpr IdentityOption kIdentityOptions[] = {
    {"--platform", &LoggerIdentity::platform, "Platform code the bootloader reports (e.g. 15, 14, 0x1234)"},
    {"--print", &LoggerIdentity::print, "Print (board) code the bootloader reports"},
    {"--info", &LoggerIdentity::info, "Info word the bootloader reports"},
    {"--update-class", &LoggerIdentity::updateClass, "Update class kept in the update-info block"},
    {"--update-id", &LoggerIdentity::updateId, "Update ID kept in the update-info block"},
    {"--app-class", &LoggerIdentity::applicationClass, "Class of the application present at start"},
    {"--app-version", &LoggerIdentity::applicationVersion, "Version of that application (major*256+minor)"},
    {"--bootloader-version", &LoggerIdentity::bootloaderVersion, "Version the bootloader reports"},
};

// The logger's times, in milliseconds on the command line.
struct TimeOption {
    const char* name;
    Micros& (*field)(LoggerConfig& config);
    const char* help;
};

const TimeOption kTimeOptions[] = {
    {"--bootloader-startup", [](LoggerConfig& c) -> Micros& { return c.bootloaderStartup; },
     "Milliseconds to restart into the bootloader"},
    {"--app-startup", [](LoggerConfig& c) -> Micros& { return c.applicationStartup; },
     "Milliseconds to start the application"},
    {"--programming-time", [](LoggerConfig& c) -> Micros& { return c.timing.programmingTime; },
     "Milliseconds to program one record (with --paced)"},
};

// What the command line asks beside the logger itself.
struct Run {
    LoggerConfig config;
    std::string linkPath;
    std::string statePath;
    bool trace = false;
};

// The command line into a run; the exit status when the program ends here (help, version, a usage error).
std::optional<int> ParseCommandLine(int argc, char** argv, Run& run) {
    LoggerConfig& config = run.config;
    std::string mode = "application";
    bool noApplication = false;
    long long usbLatencyMs = 0;
    std::vector<long long> times;
    for (const TimeOption& option : kTimeOptions) {
        times.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(option.field(config)).count());
    }
    std::vector<std::string> faultTexts;

    CLI::App app{
        "Simulated data logger on a pseudo-terminal. Prints the serial port path as its first line "
        "and serves until SIGINT or SIGTERM."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", vantrel::VersionLine("vantrel-sim"));
    app.option_defaults()->always_capture_default();
    for (const IdentityOption& option : kIdentityOptions) {
        app.add_option(option.name, config.identity.*option.field, option.help);
    }
    app.add_option("--mode", mode, "Mode at start")->check(CLI::IsMember({"application", "bootloader"}));
    app.add_flag("--no-application", noApplication, "Flash holds no runnable application (starts in the bootloader)");
    for (std::size_t i = 0; i < std::size(kTimeOptions); ++i) {
        app.add_option(kTimeOptions[i].name, times[i], kTimeOptions[i].help);
    }
    app.add_flag("--paced", config.timing.paced, "Pace every byte at 9600 baud 8N1 both ways");
    app.add_option("--usb-latency", usbLatencyMs,
                   "Hold sent bytes back like a USB serial converter's latency timer: until 62 have collected "
                   "or this many milliseconds after the last one (0: off)")
        ->check(CLI::Range(0, 255));
    app.add_option("--fault", faultTexts, "A fault; repeatable. Forms:\n" + FaultSyntax());
    app.add_option("--seed", config.faults.seed, "Seed for what faults make up (corrupted bytes, garbage)");
    app.add_option("--state", run.statePath, "State file: loaded at start if present, saved at power loss and on exit");
    app.add_option("--link", run.linkPath, "Keep a symlink to the serial port here (removed on exit)");
    app.add_flag("--trace", run.trace, "Log to stderr what goes over the line, both ways, and what it parses as");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    config.initialMode = mode == "bootloader" ? Mode::Bootloader : Mode::Application;
    config.applicationPresent = !noApplication;
    for (std::size_t i = 0; i < std::size(kTimeOptions); ++i) {
        kTimeOptions[i].field(config) = std::chrono::milliseconds(times[i]);
    }
    config.timing.usbLatency = std::chrono::milliseconds(usbLatencyMs);
    for (const std::string& text : faultTexts) {
        const Result<Fault> fault = ParseFault(text);
        if (!fault) {
            std::cerr << "vantrel-sim: " << fault.Error() << "\n" << FaultSyntax() << "\n";
            return 2;
        }
        config.faults.faults.push_back(*fault);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    if (const std::optional<int> status = ParseCommandLine(argc, argv, run)) return *status;
    const LoggerConfig& config = run.config;
    const LoggerIdentity& id = config.identity;
    const std::string& linkPath = run.linkPath;
    const std::string& statePath = run.statePath;
    const bool trace = run.trace;

    WireTrace wire;
    const vantrel::link::Micros origin = vantrel::link::SystemClock().Now();
    if (trace) {
        wire.SetSink([origin](const TraceEntry& entry) {
            TraceEntry shown = entry;
            shown.at -= origin;
            std::cerr << FormatEntry(shown) << std::endl;
        });
    }
    LoggerModel model(config, &wire);
    if (!statePath.empty() && std::filesystem::exists(statePath)) {
        if (const Result<> loaded = LoadStateFile(model, statePath); !loaded) {
            std::cerr << "vantrel-sim: " << loaded.Error() << "\n";
            return 1;
        }
    }

    PtyServer server(model, {linkPath, statePath});
    if (const Result<> opened = server.Open(); !opened) {
        std::cerr << "vantrel-sim: " << opened.Error() << "\n";
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::cout << server.SlavePath() << std::endl;
    if (trace) {
        std::cerr << "vantrel-sim: " << ModeName(model.CurrentMode()) << ", platform " << id.platform << ", print "
                  << id.print;
        for (const Fault& fault : config.faults.faults) std::cerr << "; " << Describe(fault);
        std::cerr << std::endl;
    }

    const Result<> served = server.Serve(stopRequested);
    if (!statePath.empty()) {
        if (const Result<> saved = SaveStateFile(model, statePath); !saved) {
            std::cerr << "vantrel-sim: " << saved.Error() << "\n";
        }
    }
    if (!served) {
        std::cerr << "vantrel-sim: " << served.Error() << "\n";
        return 1;
    }
    return 0;
}
