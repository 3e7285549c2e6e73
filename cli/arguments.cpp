#include "cli/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <set>

#include "cli/program_name.h"
#include "cli/shown_safely.h"
#include "vantrel/version.h"

namespace vantrel::cli {

namespace {

// Seconds greater than 0, in decimal digits with an optional fraction: "90", "1.5".
std::chrono::milliseconds TimeLimit(const std::string& text) {
    static const std::regex kSeconds("[0-9]{1,9}(\\.[0-9]{1,3})?");
    const std::chrono::milliseconds limit(std::regex_match(text, kSeconds) ? std::llround(std::stod(text) * 1000.0)
                                                                           : 0);
    if (limit <= std::chrono::milliseconds::zero()) {
        throw UsageError(
            "--timeout takes a number of seconds greater than 0 (up to 999999999, at most three decimals), "
            "not '" +
            text + "'");
    }
    return limit;
}

// Decimal digits only: a number written 010 or 0x2 is not read as some other number than the one typed.
int DecimalNumber(const std::string& option, const std::string& what, int low, int high, const std::string& text) {
    const bool digits = !text.empty() &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (!digits || error != std::errc{} || end != text.data() + text.size() || number < low || number > high) {
        throw UsageError(option + " takes " + what + " from " + std::to_string(low) + " to " + std::to_string(high) +
                         " in decimal digits, not '" + text + "'");
    }
    return number;
}

// The start-up keys and the values that change something (cc:+ and the like are the defaults, written out).
bool KnownStartUpKey(const std::string& key) {
    static const std::set<std::string> kKnown{"cc:-", "cc:+", "cf:-", "cf:+", "ci:-",
                                              "ci:+", "mf:+", "mf:-", "f:+",  "f:-"};
    return kKnown.count(key) > 0;
}

// A wait of nothing is a slip, and one of more than a day is not a wait for a port.
constexpr int kLongestPortWaitSeconds = 86400;

bool Listing(const Arguments& args) { return args.listPorts || args.listImages || args.history; }
bool StationOption(const Arguments& args) {
    return args.watchDirGiven || !args.usbIdTexts.empty() || args.includePresent || args.maxLoggers;
}

// A USB converter's vendor and product ID as lsusb shows them, "0403:6001"; kept in lower case, as the
// port list reports them.
std::string UsbId(const std::string& text) {
    static const std::regex kUsbId("[0-9A-Fa-f]{4}:[0-9A-Fa-f]{4}");
    if (!std::regex_match(text, kUsbId)) {
        throw UsageError("--usb-id takes a vendor and a product ID as VID:PID in hexadecimal (0403:6001), not '" +
                         text + "'");
    }
    std::string id = text;
    std::transform(id.begin(), id.end(), id.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return id;
}
bool PortGiven(const Arguments& args) { return !args.ports.empty() || !args.portSerials.empty(); }
bool AnyEmpty(const std::vector<std::string>& values) {
    return std::any_of(values.begin(), values.end(), [](const std::string& value) { return value.empty(); });
}

// What cannot be done together is refused rather than partly ignored. The first rule a command line
// breaks is the one reported, so the listings' rules come before those of an update.
struct Refusal {
    bool (*breaks)(const Arguments& args, const RunMode& mode);
    const char* message;
};

constexpr Refusal kRefusals[] = {
    {[](const Arguments& a, const RunMode&) { return a.history && (a.listPorts || a.listImages || a.station); },
     "--history is a run of its own; it does not go with --list-ports, --list-images or --station"},
    {[](const Arguments& a, const RunMode&) { return a.csv && !a.history; }, "--csv goes with --history"},
    {[](const Arguments& a, const RunMode&) { return a.csv && a.json; }, "--history takes --json or --csv, not both"},
    {[](const Arguments& a, const RunMode&) { return a.station && (a.listPorts || a.listImages); },
     "--station does not go with --list-ports or --list-images"},
    {[](const Arguments& a, const RunMode&) { return a.station && PortGiven(a); },
     "--station finds the ports itself; it does not go with --port or --port-serial"},
    {[](const Arguments& a, const RunMode&) { return a.station && a.wait; },
     "--wait-for-port does not go with --station, which waits for every logger"},
    {[](const Arguments& a, const RunMode&) { return !a.station && StationOption(a); },
     "--watch-dir, --usb-id, --include-present and --max-loggers belong to --station"},
    {[](const Arguments& a, const RunMode&) { return a.watchDirGiven && a.watchDir.empty(); },
     "--watch-dir needs the name of a folder"},
    {[](const Arguments& a, const RunMode&) { return a.listPorts && a.listImages; },
     "--list-ports and --list-images are two runs, not one"},
    {[](const Arguments& a, const RunMode&) { return Listing(a) && PortGiven(a); },
     "--port starts an update; it does not go with --list-ports or --list-images"},
    {[](const Arguments& a, const RunMode&) { return a.listPorts && a.fileGiven; },
     "--file does not go with --list-ports"},
    {[](const Arguments& a, const RunMode& m) { return a.listImages && a.fileGiven && !m.internal; },
     "--list-images --file needs internal mode"},
    {[](const Arguments& a, const RunMode&) { return a.fileGiven && a.file.empty(); },
     "--file needs the name of an image file"},
    {[](const Arguments& a, const RunMode&) { return Listing(a) && (a.logGiven || a.timeLimit); },
     "--log and --timeout belong to an update; they do not go with --list-ports or --list-images"},
    // The rules of an update.
    {[](const Arguments& a, const RunMode&) { return !Listing(a) && AnyEmpty(a.ports); },
     "--port needs the name of a port"},
    {[](const Arguments& a, const RunMode&) { return !Listing(a) && AnyEmpty(a.portSerials); },
     "--port-serial needs the serial number of an adapter"},
    {[](const Arguments& a, const RunMode&) { return !Listing(a) && !a.station && !PortGiven(a); },
     "--port is required to update a logger"},
    {[](const Arguments& a, const RunMode& m) { return !Listing(a) && a.fileGiven && !m.imageFiles; },
     "--file needs internal mode and the key f:+"},
    {[](const Arguments& a, const RunMode& m) { return !Listing(a) && a.readInfoOnly && !m.internal; },
     "--read-info-only needs internal mode"},
    {[](const Arguments& a, const RunMode&) { return !Listing(a) && a.logGiven && a.logPath.empty(); },
     "--log needs the name of a file"},
};

}  // namespace

void CheckArguments(const Arguments& args, const RunMode& mode) {
    for (const Refusal& refusal : kRefusals) {
        if (refusal.breaks(args, mode)) throw UsageError(refusal.message);
    }
}

std::optional<std::string> ParseArguments(const std::vector<std::string>& argv, Arguments& args,
                                          std::ostream& warnings) {
    CLI::App app{"Vantrel Firmware Update: puts new firmware on a Vantrel data logger.", kProgramName};
    // Each value is named by what it means, as the manual page shows it.
    app.add_option("--port", args.ports,
                   "Serial port of the logger (a device path, or a name under /dev); repeated, loggers updated at once")
        ->type_name("PORT")
        ->allow_extra_args(false);
    app.add_option("--port-serial", args.portSerials, "The logger port whose USB adapter has this serial number")
        ->type_name("SERIAL")
        ->allow_extra_args(false);
    CLI::Option* wait = app.add_option("--wait-for-port", args.waitText,
                                       "Wait up to SECONDS (1 to 86400) for the port to appear before the job")
                            ->type_name("SECONDS");
    CLI::Option* file = app.add_option("--file", args.file,
                                       "Image file to program instead of the built-in images (internal mode, f:+)")
                            ->type_name("IMAGE");
    app.add_flag("--read-info-only", args.readInfoOnly, "Stop after identifying the logger (internal mode)");
    app.add_flag("--yes", args.yes, "Answer the confirmation with Yes");
    app.add_flag("--json", args.json, "JSON Lines on stdout instead of the report");
    CLI::Option* maxRestarts = app.add_option("--max-restarts", args.maxRestartsText,
                                              "Bound on automatic restarts, decimal (default: none)")
                                   ->type_name("N");
    CLI::Option* log = app.add_option("--log", args.logPath, "Append the report and a summary line of the job to FILE")
                           ->type_name("FILE");
    CLI::Option* timeLimit =
        app.add_option("--timeout", args.timeLimitText,
                       "Cancel the run if it has not ended after SECONDS, the wait for the port included: the "
                       "shorter of --timeout and --wait-for-port ends the wait (exit status 124)")
            ->type_name("SECONDS");
    app.add_flag("--station", args.station,
                 "Update every logger plugged in until stopped: each new port in the watched folder, once until "
                 "it is unplugged");
    CLI::Option* watchDir =
        app.add_option("--watch-dir", args.watchDir,
                       "Folder of port links the station watches (default /dev/serial/by-id; on Windows the port list)")
            ->type_name("DIR");
    app.add_option("--usb-id", args.usbIdTexts,
                   "A converter's VID:PID the station takes besides the udev rule's (repeatable)")
        ->type_name("VID:PID")
        ->allow_extra_args(false);
    app.add_flag("--include-present", args.includePresent, "The station also updates the ports there at its start");
    CLI::Option* maxLoggers =
        app.add_option("--max-loggers", args.maxLoggersText, "The station ends after taking N loggers")->type_name("N");
    app.add_flag("--add-to-history", args.addToHistory,
                 "Append the job's summary line to the history file the windows keep (the station's jobs do)");
    app.add_flag("--history", args.history, "Print the job history (--json: one document, --csv: a table) and exit");
    app.add_flag("--csv", args.csv, "With --history: comma-separated values");
    app.add_flag("--list-ports", args.listPorts, "List the logger ports and exit");
    app.add_flag("--list-images", args.listImages, "List the firmware images (and --file's header) and exit");
    app.set_version_flag("--version", VersionLine(kProgramName));
    app.add_option("keys", args.keys, "Start-up keys: cc:- cf:- ci:- (internal mode), mf:+ or mf:-, f:+")
        ->type_name("KEY:VALUE");

    try {
        std::vector<std::string> reversed(argv.rbegin(), argv.rend() - 1);
        // The parser would take the next argument as the value of "--port=": an empty value is refused here.
        for (const char* option : {"--port=", "--file=", "--max-restarts=", "--log=", "--timeout=", "--port-serial=",
                                   "--wait-for-port=", "--watch-dir=", "--usb-id=", "--max-loggers="}) {
            if (std::find(argv.begin() + 1, argv.end(), option) != argv.end()) {
                throw UsageError(std::string(option, std::strlen(option) - 1) + " needs a value");
            }
        }
        app.parse(reversed);
        args.commandLine = argv;
        args.fileGiven = file->count() > 0;
        if (maxRestarts->count() > 0) {
            args.maxRestarts = DecimalNumber("--max-restarts", "a number of restarts", 0,
                                             std::numeric_limits<int>::max(), args.maxRestartsText);
        }
        if (wait->count() > 0) {
            args.wait = std::chrono::seconds(
                DecimalNumber("--wait-for-port", "a number of seconds", 1, kLongestPortWaitSeconds, args.waitText));
        }
        args.logGiven = log->count() > 0;
        args.watchDirGiven = watchDir->count() > 0;
        for (const std::string& id : args.usbIdTexts) args.usbIds.push_back(UsbId(id));
        if (maxLoggers->count() > 0) {
            args.maxLoggers = DecimalNumber("--max-loggers", "a number of loggers", 1, std::numeric_limits<int>::max(),
                                            args.maxLoggersText);
        }
        if (timeLimit->count() > 0) args.timeLimit = TimeLimit(args.timeLimitText);
        for (const auto& key : args.keys) {
            if (key.find(':') == std::string::npos) throw UsageError("not a KEY:VALUE start-up key: " + key);
            // The window ignores what it does not know, and so does the job; the operator learns of it.
            if (!KnownStartUpKey(key)) {
                warnings << kProgramPrefix << "the start-up key '" << ShownSafely(key)
                         << "' is not one of cc:- cf:- ci:- mf:+ mf:- f:+ f:- and is ignored\n";
            }
        }
    } catch (const CLI::CallForHelp&) {
        return app.help();
    } catch (const CLI::CallForVersion& e) {
        return std::string(e.what()) + "\n";
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what(), "usage", "\nRun with --help for the usage.");
    }
    return std::nullopt;
}

}  // namespace vantrel::cli
