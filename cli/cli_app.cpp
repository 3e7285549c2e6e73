#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <iomanip>
#include <istream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>

#include "cli/child_processes.h"
#include "cli/job_log.h"
#include "cli/json_events.h"
#include "cli/listings.h"
#include "cli/many_loggers.h"
#include "cli/port_system.h"
#include "cli/program_name.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/vantrel_comm_thread.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/failures.h"
#include "link/serial.h"
#include "ui/job_rules.h"
#include "ui/options.h"
#include "ui/port_list.h"
#include "ui/presenter.h"
#include "vantrel/version.h"

namespace vantrel::cli {

namespace {

using namespace std::chrono_literals;

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
    // The help or a listing went to stdout as a document of its own, so no JSON exit event follows it.
    bool plainOutput = false;
};

// What the run leaves beside its exit status: for the JSON exit event, and the log that outlives it.
struct RunState {
    JsonLines* json = nullptr;
    JobLog log;
    // The failure's name (a failure code's, or one of the run's own: "usage", "image-file", ...), the
    // verdict or the error as the operator reads it, and what the program found out beyond it.
    std::string failure;
    std::string reason;
    std::string detail;
};

class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what, const char* failure = "usage")
        : std::runtime_error(what), failure(failure) {}
    const char* failure;
};

constexpr const char* kNotConfirmed = "not-confirmed";

// The question's two lines, joined by separator instead of CR LF.
std::string QuestionLines(const std::string& question, const std::string& separator) {
    std::string lines = question;
    for (std::size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at + separator.size())) {
        lines.replace(at, 2, separator);
    }
    return lines;
}

// The operator's answer to the question the Update button asks; a refusal ends the run with status 2.
void Confirm(const Arguments& args, ConsoleIo& io) {
    const std::optional<std::string> question = ui::UpdateConfirmation();
    if (!question || args.yes) return;
    if (!io.inIsTerminal) {
        throw UsageError("this update needs a confirmation (" + QuestionLines(*question, " ") +
                             "); answer it with --yes when no terminal is attached",
                         kNotConfirmed);
    }
    io.err << QuestionLines(*question, "\n") << " [y/N] " << std::flush;
    std::string answer;
    std::getline(io.in, answer);
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return;
    throw UsageError("not confirmed, nothing was done", kNotConfirmed);
}

// The name the exit event gives a job's exit status.
std::string FailureName(int status) {
    if (status == 0) return {};
    if (status == ui::kExitTimedOut) return "timeout";
    const char* name = link::FailureCodeName(status);
    return name != nullptr ? name : "unexpected";
}

std::string SecondsText(std::chrono::milliseconds duration) {
    std::ostringstream text;
    text << static_cast<double>(duration.count()) / 1000.0 << " s";
    return text.str();
}

std::string PortsAndSerialNumbers(const std::vector<ui::PortEntry>& ports) {
    std::string text;
    for (const ui::PortEntry& port : ports) {
        text += (text.empty() ? "" : ", ") + port.name + " (" +
                (port.identity.serialNumber.empty() ? "no serial number"
                                                    : "serial number " + port.identity.serialNumber) +
                ")";
    }
    return text.empty() ? "no logger port is connected" : "the logger ports: " + text;
}

// The one logger port whose adapter has this serial number; none, or several, leave the choice to the
// operator.
std::string PortWithSerialNumber(const std::string& serial) {
    const std::vector<ui::PortEntry> loggerPorts = ui::LoggerPortEntries(ui::CurrentPortSource().Enumerate());
    const std::vector<ui::PortEntry> matching = ui::PortsWithSerialNumber(loggerPorts, serial);
    if (matching.size() == 1) return matching.front().name;
    if (matching.empty()) {
        throw UsageError("no logger port's adapter has the serial number '" + serial + "'; " +
                         PortsAndSerialNumbers(loggerPorts));
    }
    throw UsageError("more than one adapter has the serial number '" + serial + "' (" +
                     PortsAndSerialNumbers(matching) + "); name the port with --port");
}

bool AnyPortWithSerialNumber(const std::string& serial) {
    return !ui::PortsWithSerialNumber(ui::LoggerPortEntries(ui::CurrentPortSource().Enumerate()), serial).empty();
}

// A quarter of a second after an adapter is plugged in is soon enough for the person who plugged it.
constexpr auto kPortPollInterval = 250ms;
// A converter timer at or below this costs little; the package's udev rule sets the wanted one.
constexpr auto kLowConverterLatency = 2ms;
constexpr auto kConverterLatencyWanted = 1ms;
// Identification, bootloader, identity, update-info block, begin and start: the transfers of a job
// beside its records.
constexpr int kTransfersBesideRecords = 12;

// Polls until present() holds or the deadline comes, on the process's clock. A cancel request ends the wait
// early; the job that follows sees it and ends before it opens the port.
bool WaitUntil(const std::function<bool()>& present, link::Micros deadline) {
    link::Clock& clock = link::CurrentClock();
    while (!present()) {
        if (link::CancelRequested.load()) return true;
        const link::Micros now = clock.Now();
        if (now >= deadline) return false;
        clock.Sleep(std::min<link::Micros>(kPortPollInterval, deadline - now));
    }
    return true;
}

// A converter that holds the logger's answers back costs that time on every record, so the operator
// learns what it costs and how to lower it, once, before the job.
void AdviseOnConverterLatency(const std::string& port, ConsoleIo& io) {
    const std::optional<ConverterLatency> latency = ConverterLatencyTimer(port, io.sysfsRoot);
    if (!latency || latency->timer <= kLowConverterLatency) return;
    // Every transfer waits for the logger's answer, which is shorter than the converter's packet: each
    // one then waits out the timer. The longest built-in image bounds the number of transfers.
    std::int32_t records = 0;
    for (int image = 1; image <= firmware::FirmwareImageCount(); ++image) {
        records = std::max(records, firmware::GetFirmwareLineCount(image));
    }
    const auto cost = (latency->timer - kConverterLatencyWanted) * (records + kTransfersBesideRecords);
    io.err << kProgramPrefix << "the USB serial converter of " << ShownSafely(port) << " holds what the logger "
           << "sends back for up to " << latency->timer.count() << " ms (its latency timer); that can make this "
           << "update up to " << std::chrono::duration_cast<std::chrono::seconds>(cost + 500ms).count()
           << " s slower; the package's udev rule sets it to " << kConverterLatencyWanted.count()
           << " ms when the converter is plugged in; or, as root: echo " << kConverterLatencyWanted.count() << " > "
           << kSystemSysfsRoot << latency->setting << '\n';
}

int RunUpdate(const Arguments& args, ConsoleIo& io, RunState& run) {
    auto queue = std::make_shared<engine::NotificationQueue>();
    engine::ScopedNotificationTarget registration(queue);
    JobLog* log = run.log.IsOpen() ? &run.log : nullptr;
    run.log.SetPort(args.port);
    ConsoleWindow window(io, run.json, log, args.port, args.readInfoOnly, registration.handle());
    ui::JobControl::SummarySink summary;
    if (log != nullptr) summary = [log](const std::string& line) { log->Summary(line); };
    ui::JobControl jobs(window, args.maxRestarts, std::move(summary));
    ui::Presenter presenter(window, jobs);

    // The time limit runs on the system's one clock, from the moment the run started.
    link::Clock& clock = link::CurrentClock();
    const std::optional<link::Micros> deadline = args.deadline;
    window.JobStarted();
    // A signal that came before this point was meant for this job: it ends before the port is opened.
    jobs.StartNew(args.port, ui::EarlierCancel::Keep);
    std::optional<int> status;
    auto lastHeard = std::chrono::steady_clock::now();
    while (!status) {
        // Woken every second at least: the status line's times move on, and the time limit is looked at.
        std::chrono::milliseconds wait = 1s;
        if (deadline && !jobs.TimeLimitReached()) {
            wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - clock.Now()), 0ms,
                              wait);
        }
        const std::optional<engine::Notification> n = queue->Wait(wait);
        if (deadline && !jobs.TimeLimitReached() && clock.Now() >= *deadline) jobs.CancelForTimeLimit();
        if (!n) {
            // Every job ends by itself (each transfer is bounded by its time-outs); this only guards against
            // a worker that died without its final notification.
            if (std::chrono::steady_clock::now() - lastHeard < 10min) {
                window.Tick();
                continue;
            }
            window.EndStatusLine();
            run.reason = "the job stopped reporting";
            io.err << kProgramPrefix << run.reason << '\n';
            status = ui::kExitUnexpected;
            jobs.Finished(*status, run.reason);
            break;
        }
        lastHeard = std::chrono::steady_clock::now();
        window.EmitNotification(*n);
        status = presenter.Handle(n->code, n->value);
        if (status) run.reason = JobTextAsJson(presenter.Verdict(), args.port);
    }
    window.EndStatusLine();
    engine::WaitForWorkersToEnd();

    run.failure = FailureName(*status);
    if (*status == link::feNoPort) {
        const link::OpenFailure why = link::LastOpenFailure();
        if (why.kind != link::OpenFailureKind::None) run.detail = link::DescribeOpenFailure(why);
    }
    if ((*status == link::feNoAnswer || *status == link::feProgramming) && args.maxRestarts) {
        run.detail = "gave up after " + std::to_string(jobs.Restarts()) + " automatic restart(s)";
    }
    if (*status == ui::kExitTimedOut) {
        run.detail = "the job did not finish within " + SecondsText(*args.timeLimit) + " and was cancelled";
    }
    if (!run.detail.empty()) io.err << kProgramPrefix << run.detail << '\n';
    return *status;
}

// The port appears within the wait (it is plugged in, its simulator starts); then the job starts on it.
// A port that did not appear is left to the job, which reports it as not ready. An adapter named by its
// serial number is looked for in the port list; the status is set here when none came. The time limit
// ends the wait too, when it comes first.
std::optional<int> WaitForThePort(Arguments& args, ConsoleIo& io, RunState& run) {
    const std::string seconds = std::to_string(args.wait->count());
    const link::Micros waitEnd = link::CurrentClock().Now() + *args.wait;
    const bool limitFirst = args.deadline && *args.deadline < waitEnd;
    const link::Micros deadline = limitFirst ? *args.deadline : waitEnd;
    auto timedOut = [&](const std::string& what) {
        run.failure = FailureName(ui::kExitTimedOut);
        run.detail = what + " did not appear within the time limit of " + SecondsText(*args.timeLimit) +
                     "; no job was started";
        io.err << kProgramPrefix << run.detail << '\n';
        return ui::kExitTimedOut;
    };
    if (args.portSerials.empty()) {
        if (!WaitUntil([&] { return PortPresent(args.port); }, deadline)) {
            if (limitFirst) return timedOut(ShownSafely(args.port));
            io.err << kProgramPrefix << ShownSafely(args.port) << " did not appear within " << seconds << " s\n";
        }
        return std::nullopt;
    }
    const std::string& serial = args.portSerials.front();
    const bool appeared = WaitUntil([&] { return AnyPortWithSerialNumber(serial); }, deadline);
    if (appeared && AnyPortWithSerialNumber(serial)) {
        args.port = PortWithSerialNumber(serial);
        return std::nullopt;
    }
    const std::string adapter = "the adapter with the serial number '" + ShownSafely(serial) + "'";
    if (appeared) {
        run.failure = FailureName(link::feCancelled);
        run.detail = "cancelled while waiting for " + adapter;
        io.err << kProgramPrefix << run.detail << '\n';
        return link::feCancelled;
    }
    if (limitFirst) return timedOut(adapter);
    // JSON readers get the reason as the operator does.
    run.failure = FailureName(link::feNoPort);
    run.detail = "no adapter with the serial number '" + ShownSafely(serial) + "' appeared within " + seconds + " s";
    io.err << kProgramPrefix << run.detail << '\n';
    return link::feNoPort;
}

// Each logger once: a port named twice, also under two names of one device, would be two jobs on one
// line. Adapters named by their serial number are looked up now, unless the children wait for them.
std::vector<PortChoice> ChosenPorts(const Arguments& args) {
    std::vector<PortChoice> choices;
    std::map<std::string, std::string> named;  // the device, and how it was named first
    auto choose = [&](const std::string& device, const std::string& shown, PortChoice choice) {
        const auto [earlier, fresh] = named.emplace(device, shown);
        if (!fresh) {
            throw UsageError(earlier->second == shown ? shown + " is named twice"
                                                      : shown + " and " + earlier->second + " are the same port");
        }
        choices.push_back(std::move(choice));
    };
    for (const std::string& port : args.ports) choose(SameDeviceKey(port), port, {"--port", port});
    for (const std::string& serial : args.portSerials) {
        const std::string shown = "the adapter with the serial number '" + serial + "'";
        if (args.wait) {
            choose(shown, shown, {"--port-serial", serial});
        } else {
            const std::string port = PortWithSerialNumber(serial);
            choose(SameDeviceKey(port), port + " (" + shown + ")", {"--port", port});
        }
    }
    return choices;
}

int UpdateManyLoggers(const Arguments& args, ConsoleIo& io, RunState& run) {
    const std::vector<PortChoice> choices = ChosenPorts(args);
    std::unique_ptr<ChildRunner> system;
    ChildRunner* children = io.children;
    if (children == nullptr) {
        system = SystemChildRunner();
        children = system.get();
    }
    if (children == nullptr) throw UsageError("one --port a run here: start a console for each logger");
    // Asked once for all of them, before any starts.
    if (args.file.empty()) Confirm(args, io);
    if (link::CancelRequested.load()) {
        io.err << kProgramPrefix << "cancelled before the updates started\n";
        run.failure = FailureName(link::feCancelled);
        return link::feCancelled;
    }
    std::vector<std::string> commandLine = args.commandLine;
    commandLine.front() = OwnProgram(commandLine.front());
    const int status = UpdateMany(commandLine, choices, run.json, io, *children);
    run.failure = FailureName(status);
    return status;
}

int Run(Arguments& args, ConsoleIo& io, const std::string& program, RunState& run) {
    if (args.timeLimit) args.deadline = link::CurrentClock().Now() + *args.timeLimit;
    std::vector<std::string> commandLine{program};
    commandLine.insert(commandLine.end(), args.keys.begin(), args.keys.end());
    ui::SetCommandLine(commandLine);
    const bool internal = ui::InternalMode();
    ui::ReadCommandLineOptions(internal);
    engine::CommThreadClass = &engine::CreateCommThread<engine::TVantrelCommThread>;

    // What cannot be done together is refused rather than partly ignored.
    if (args.listPorts && args.listImages) throw UsageError("--list-ports and --list-images are two runs, not one");
    const bool portGiven = !args.ports.empty() || !args.portSerials.empty();
    if ((args.listPorts || args.listImages) && portGiven) {
        throw UsageError("--port starts an update; it does not go with --list-ports or --list-images");
    }
    if (args.listPorts && args.fileGiven) throw UsageError("--file does not go with --list-ports");
    if (args.listImages && args.fileGiven && !internal) throw UsageError("--list-images --file needs internal mode");
    if (args.fileGiven && args.file.empty()) throw UsageError("--file needs the name of an image file");
    if ((args.listPorts || args.listImages) && (args.logGiven || args.timeLimit)) {
        throw UsageError("--log and --timeout belong to an update; they do not go with --list-ports or --list-images");
    }

    if (args.listPorts) {
        args.plainOutput = true;
        return ListPorts(args.json, io.out);
    }
    if (args.listImages) {
        const int status = ListImages(args.fileGiven ? std::optional<std::string>(args.file) : std::nullopt, args.json,
                                      io.out);
        args.plainOutput = true;
        return status;
    }

    for (const std::string& port : args.ports) {
        if (port.empty()) throw UsageError("--port needs the name of a port");
    }
    for (const std::string& serial : args.portSerials) {
        if (serial.empty()) throw UsageError("--port-serial needs the serial number of an adapter");
    }
    if (!portGiven) throw UsageError("--port is required to update a logger");
    const bool manyLoggers = args.ports.size() + args.portSerials.size() > 1;
    if (args.fileGiven && engine::FileMode != engine::kFileModeImageFiles) {
        throw UsageError("--file needs internal mode and the key f:+");
    }
    if (args.readInfoOnly && !internal) throw UsageError("--read-info-only needs internal mode");
    if (manyLoggers) return UpdateManyLoggers(args, io, run);
    if (args.logGiven && args.logPath.empty()) throw UsageError("--log needs the name of a file");
    // Before the question and the port: a log that cannot be kept is found out while nothing has happened.
    if (args.logGiven) {
        if (const std::optional<std::string> why = run.log.Open(args.logPath)) {
            throw UsageError("cannot write the log file " + args.logPath + ": " + *why, "log-file");
        }
    }
    // Without a wait the adapter must be there now, so a wrong serial number is found before anything is asked.
    if (!args.ports.empty()) args.port = args.ports.front();
    if (!args.portSerials.empty() && !args.wait) args.port = PortWithSerialNumber(args.portSerials.front());
    // An image file is the File button's job, which asks nothing; the Update button asks first.
    if (args.file.empty()) Confirm(args, io);
    if (args.wait) {
        if (const std::optional<int> status = WaitForThePort(args, io, run)) return *status;
    }
    ui::SelectImageSource(args.file);
    AdviseOnConverterLatency(args.port, io);
    return RunUpdate(args, io, run);
}

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

// A run that ends before any job: the reason on stderr and, for JSON readers, in the exit event.
int Refused(ConsoleIo& io, RunState& run, const char* failure, const std::string& reason, const char* hint,
            int status) {
    io.err << kProgramPrefix << reason << hint << "\n";
    run.failure = failure;
    run.reason = reason;
    return status;
}

// A wait of nothing is a slip, and one of more than a day is not a wait for a port.
constexpr int kLongestPortWaitSeconds = 86400;

int ParseAndRun(const std::vector<std::string>& argv, ConsoleIo& io, Arguments& args, RunState& run) {
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
    app.add_flag("--list-ports", args.listPorts, "List the logger ports and exit");
    app.add_flag("--list-images", args.listImages, "List the firmware images (and --file's header) and exit");
    app.set_version_flag("--version", VersionLine(kProgramName));
    app.add_option("keys", args.keys, "Start-up keys: cc:- cf:- ci:- (internal mode), mf:+ or mf:-, f:+")
        ->type_name("KEY:VALUE");

    std::vector<std::string> reversed(argv.rbegin(), argv.rend() - 1);
    try {
        // The parser would take the next argument as the value of "--port=": an empty value is refused here.
        for (const char* option :
             {"--port=", "--file=", "--max-restarts=", "--log=", "--timeout=", "--port-serial=", "--wait-for-port="}) {
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
        if (timeLimit->count() > 0) args.timeLimit = TimeLimit(args.timeLimitText);
        for (const auto& key : args.keys) {
            if (key.find(':') == std::string::npos) throw UsageError("not a KEY:VALUE start-up key: " + key);
            // The window ignores what it does not know, and so does the job; the operator learns of it.
            if (!KnownStartUpKey(key)) {
                io.err << kProgramPrefix << "the start-up key '" << ShownSafely(key)
                       << "' is not one of cc:- cf:- ci:- mf:+ mf:- f:+ f:- and is ignored\n";
            }
        }
        return Run(args, io, argv.empty() ? std::string() : argv[0], run);
    } catch (const CLI::CallForHelp&) {
        io.out << app.help();
        args.plainOutput = true;
        return 0;
    } catch (const CLI::CallForVersion& e) {
        io.out << e.what() << '\n';
        args.plainOutput = true;
        return 0;
    } catch (const CLI::ParseError& e) {
        return Refused(io, run, "usage", e.what(), "\nRun with --help for the usage.", kExitUsage);
    } catch (const UsageError& e) {
        return Refused(io, run, e.failure, e.what(), "", kExitUsage);
    } catch (const firmware::EInOutError& e) {
        return Refused(io, run, "image-file", std::string("cannot read the image file: ") + e.what(), "", kExitUsage);
    } catch (const firmware::EConvertError& e) {
        return Refused(io, run, "image-file", std::string("cannot read the image file: ") + e.what(), "", kExitUsage);
    } catch (const std::exception& e) {
        // Anything else is a fault of this program, reported like the worker's unexpected failures.
        return Refused(io, run, "unexpected", std::string("unexpected error: ") + e.what(), "", ui::kExitUnexpected);
    }
}

}  // namespace

int RunCli(const std::vector<std::string>& argv, ConsoleIo io) {
    Arguments args;
    // Looked for before parsing, so that a command line that cannot be parsed still ends with the event.
    args.json = std::find(argv.begin() + (argv.empty() ? 0 : 1), argv.end(), "--json") != argv.end();
    JsonLines json(io.out);
    RunState run;
    if (args.json) run.json = &json;
    const int status = ParseAndRun(argv, io, args, run);
    // A job runs to its end whatever happens to its log, as to its output; the operator learns of the gap.
    const std::optional<std::string>& logFailure = run.log.Failure();
    if (logFailure) {
        io.err << kProgramPrefix << "the log file " << run.log.Path() << " could not be written (" << *logFailure
               << "); the job ran on to its end, and the exit status is its verdict\n"
               << std::flush;
    }
    // A reader of the JSON Lines gets the outcome also when no job ran (usage errors, a declined question).
    if (args.json && !args.plainOutput) {
        const auto textOrNull = [](const std::string& text) {
            return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
        };
        nlohmann::ordered_json fields{{"status", status},
                                      {"failure", textOrNull(run.failure)},
                                      {"reason", textOrNull(run.reason)},
                                      {"detail", textOrNull(run.detail)}};
        if (logFailure) fields["log_error"] = *logFailure;
        json.Emit("exit", fields);
    }
    io.out.flush();
    const bool outputLost = io.out.fail();
    // The help and the listings are the output: if it could not be written, the run failed.
    if (args.plainOutput && outputLost) {
        io.err << kProgramPrefix << "the output could not be written\n" << std::flush;
        return ui::kExitUnexpected;
    }
    // A job runs to its end whatever happens to the output: stopping it halfway could leave the logger
    // erased. Its status is the job's; the operator learns that the report is incomplete.
    if (outputLost) {
        io.err << kProgramPrefix
               << "the report could not be written to the standard output; the job ran on to "
                  "its end, and the exit status is its verdict\n"
               << std::flush;
    }
    return status;
}

}  // namespace vantrel::cli
