// vantrel-sim: a simulated logger on a pseudo-terminal, for trying the updater without hardware.
// The first line on stdout is the path of the serial port to give the updater.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "sim/faults.h"
#include "sim/logger_model.h"
#include "sim/pty_server.h"
#include "sim/state_file.h"
#include "sim/wire_trace.h"
#include "vantrel/version.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested.store(true); }

}  // namespace

int main(int argc, char** argv) {
    using namespace vantrel::sim;
    LoggerConfig config;
    LoggerIdentity& id = config.identity;
    std::string mode = "application";
    bool noApplication = false;
    long long bootloaderStartupMs = 150, applicationStartupMs = 300, programmingMs = 20, usbLatencyMs = 0;
    std::vector<std::string> faultTexts;
    std::uint64_t seed = 1;
    std::string linkPath, statePath;
    bool trace = false;

    CLI::App app{
        "Simulated data logger on a pseudo-terminal. Prints the serial port path as its first line "
        "and serves until SIGINT or SIGTERM."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", vantrel::VersionLine("vantrel-sim"));
    app.option_defaults()->always_capture_default();
    app.add_option("--platform", id.platform, "Platform code the bootloader reports (e.g. 15, 14, 0x1234)");
    app.add_option("--print", id.print, "Print (board) code the bootloader reports");
    app.add_option("--info", id.info, "Info word the bootloader reports");
    app.add_option("--update-class", id.updateClass, "Update class kept in the update-info block");
    app.add_option("--update-id", id.updateId, "Update ID kept in the update-info block");
    app.add_option("--app-class", id.applicationClass, "Class of the application present at start");
    app.add_option("--app-version", id.applicationVersion, "Version of that application (major*256+minor)");
    app.add_option("--bootloader-version", id.bootloaderVersion, "Version the bootloader reports");
    app.add_option("--mode", mode, "Mode at start")->check(CLI::IsMember({"application", "bootloader"}));
    app.add_flag("--no-application", noApplication, "Flash holds no runnable application (starts in the bootloader)");
    app.add_option("--bootloader-startup", bootloaderStartupMs, "Milliseconds to restart into the bootloader");
    app.add_option("--app-startup", applicationStartupMs, "Milliseconds to start the application");
    app.add_flag("--paced", config.timing.paced, "Pace every byte at 9600 baud 8N1 both ways");
    app.add_option("--programming-time", programmingMs, "Milliseconds to program one record (with --paced)");
    app.add_option("--usb-latency", usbLatencyMs,
                   "Hold sent bytes back like a USB serial converter's latency timer: until 62 have collected "
                   "or this many milliseconds after the last one (0: off)")
        ->check(CLI::Range(0, 255));
    app.add_option("--fault", faultTexts, "A fault; repeatable. Forms:\n" + FaultSyntax());
    app.add_option("--seed", seed, "Seed for what faults make up (corrupted bytes, garbage)");
    app.add_option("--state", statePath, "State file: loaded at start if present, saved at power loss and on exit");
    app.add_option("--link", linkPath, "Keep a symlink to the serial port here (removed on exit)");
    app.add_flag("--trace", trace, "Log to stderr what goes over the line, both ways, and what it parses as");
    CLI11_PARSE(app, argc, argv);

    config.initialMode = mode == "bootloader" ? Mode::Bootloader : Mode::Application;
    config.applicationPresent = !noApplication;
    config.bootloaderStartup = std::chrono::milliseconds(bootloaderStartupMs);
    config.applicationStartup = std::chrono::milliseconds(applicationStartupMs);
    config.timing.programmingTime = std::chrono::milliseconds(programmingMs);
    config.timing.usbLatency = std::chrono::milliseconds(usbLatencyMs);
    config.faults.seed = seed;
    for (const std::string& text : faultTexts) {
        const Result<Fault> fault = ParseFault(text);
        if (!fault) {
            std::cerr << "vantrel-sim: " << fault.Error() << "\n" << FaultSyntax() << "\n";
            return 2;
        }
        config.faults.faults.push_back(*fault);
    }

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
