// The console's command line: its options as read, and the rules that refuse what cannot be done together.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/clock.h"

namespace vantrel::cli {

struct Arguments {
    std::vector<std::string> commandLine;  // as given, the program first
    std::string port;
    std::vector<std::string> ports;        // as given with --port, in order
    std::vector<std::string> portSerials;  // as given with --port-serial
    std::string waitText;
    std::optional<std::chrono::seconds> wait;
    std::string file;
    bool fileGiven = false;
    bool readInfoOnly = false;
    bool yes = false;
    bool json = false;
    std::string maxRestartsText;
    std::optional<int> maxRestarts;
    bool listPorts = false;
    bool listImages = false;
    std::vector<std::string> keys;
    std::string logPath;
    bool logGiven = false;
    std::string timeLimitText;
    std::optional<std::chrono::milliseconds> timeLimit;
    // When the time limit runs out: it bounds the whole run, the wait for the port included.
    std::optional<link::Micros> deadline;
    // The station: every logger plugged in is updated, until it is stopped.
    bool station = false;
    std::string watchDir;
    bool watchDirGiven = false;
    std::vector<std::string> usbIdTexts;  // as given with --usb-id
    std::vector<std::string> usbIds;      // the same as "vvvv:pppp", lower-case hex
    bool includePresent = false;
    std::string maxLoggersText;
    std::optional<int> maxLoggers;
    // The job's summary line also goes to the per-user history (what the station gives each logger's job).
    bool addToHistory = false;
    bool history = false;
    bool csv = false;
    // The help or a listing went to stdout as a document of its own, so no JSON exit event follows it.
    bool plainOutput = false;
};

// A run refused before any job: status 2 and, for JSON readers, the failure's name.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what, const char* failure = "usage", const char* hint = "")
        : std::runtime_error(what), failure(failure), hint(hint) {}
    const char* failure;
    const char* hint;  // what stderr adds after the reason
};

// Reads argv (the program first) into args. Returns the text to print instead of a run (the help, the
// version); raises UsageError for what cannot be read. Start-up keys that do nothing are told on warnings.
std::optional<std::string> ParseArguments(const std::vector<std::string>& argv, Arguments& args,
                                          std::ostream& warnings);

// What the start-up keys made of the run, which some rules depend on.
struct RunMode {
    bool internal = false;    // the settings turn internal mode on
    bool imageFiles = false;  // internal mode and f:+
};

// Raises UsageError with the first rule the arguments break, in the order of the rules' table.
void CheckArguments(const Arguments& args, const RunMode& mode);

}  // namespace vantrel::cli
