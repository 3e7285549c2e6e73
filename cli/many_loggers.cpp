#include "cli/many_loggers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <tuple>

#include "app/exit_status.h"
#include "app/job_record.h"
#include "cli/program_name.h"
#include "cli/shown_safely.h"
#include "link/cancel.h"
#include "link/failures.h"

namespace vantrel::cli {

namespace {

struct PortRun {
    PortChoice port;
    std::string shown;    // the port as the table names it
    std::string verdict;  // the reason of the child's exit event: the verdict message, or why it failed
    std::optional<int> status;
    std::string failure;        // the failure's name in the child's exit event, or the parent's for a child without one
    bool exitSeen = false;      // the child wrote its exit event
    std::string progress = {};  // the port's live line: bar, percent, time left (empty before the first progress)
    std::string logError = {};  // why the child's --log stopped, if it did
};

// The columns a name takes on a terminal: one for each character, not for each byte of its UTF-8.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t columns) {
    return text + std::string(columns > Columns(text) ? columns - Columns(text) : 0, ' ');
}

constexpr int kBarWidth = 20;

// The port's live line from a progress event of its child.
bool TakeProgressEvent(const std::string& line, PortRun& run) {
    std::optional<std::string> text = ProgressText(line);
    if (!text) return false;
    run.progress = std::move(*text);
    return true;
}

// One live line a port on the terminal, drawn below everything else and redrawn in place: the cursor
// goes back up over the lines drawn before. Anything else written first takes them away.
class PortLines {
public:
    PortLines(ConsoleIo& io, bool shown) : io_(io), shown_(shown) {}
    void Draw(const std::vector<PortRun>& runs) {
        if (!shown_) return;
        Erase();
        std::size_t width = 0;
        for (const PortRun& run : runs) width = std::max(width, Columns(run.shown));
        for (const PortRun& run : runs) {
            if (run.status || run.progress.empty()) continue;
            std::string line = Padded(run.shown, width + 1) + run.progress;
            if (const int columns = io_.errColumns ? io_.errColumns() : 0; columns > 1) {
                line = line.substr(0, static_cast<std::size_t>(columns - 1));
            }
            io_.err << line << '\n';
            ++drawn_;
        }
        io_.err << std::flush;
    }
    void Erase() {
        if (drawn_ == 0) return;
        io_.err << "\x1b[" << drawn_ << "A\r\x1b[J" << std::flush;
        drawn_ = 0;
    }

private:
    ConsoleIo& io_;
    bool shown_;
    int drawn_ = 0;
};

// What a second signal, which ends this run at once, still says (ConsoleIo::lastWords): the run's own exit
// event and a line on stderr naming the ports whose updates were still running, prepared whenever that
// changes so that the signal handler only copies bytes.
void PrepareLastWords(const std::vector<PortRun>& runs, JsonLines* json, ConsoleIo& io) {
    if (io.lastWords == nullptr) return;
    std::string running;
    std::string runningShown;
    for (const PortRun& run : runs) {
        if (run.status) continue;
        running += (running.empty() ? "" : ", ") + run.port.value;
        runningShown += (runningShown.empty() ? "" : ", ") + run.shown;
    }
    const std::string detail = "ended at once by a second signal, whatever state the loggers are in";
    const auto withPorts = [&](const std::string& ports) {
        return ports.empty() ? detail : detail + "; still running then: " + ports;
    };
    std::string before;
    std::string after;
    if (json != nullptr) {
        std::tie(before, after) = SignalExitEventHalves(withPorts(running));
    }
    io.lastWords(before, after, std::string(kProgramPrefix) + withPorts(runningShown) + "\n");
}

// The child's exit event, which says how its run ended whatever it printed before.
void TakeExitEvent(const std::string& line, PortRun& run) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object() || event.value("event", "") != "exit") return;
    run.exitSeen = true;
    if (event.contains("reason") && event["reason"].is_string()) run.verdict = event["reason"];
    if (event.contains("failure") && event["failure"].is_string()) run.failure = event["failure"];
    if (event.contains("log_error") && event["log_error"].is_string()) run.logError = event["log_error"];
}

// The parent's own exit event for a port, with the port after the event's name as in the children's.
void ParentsExitEvent(const PortRun& run, int status, const std::string& detail, JsonLines* json) {
    if (json == nullptr) return;
    nlohmann::ordered_json event{
        {"event", "exit"},  {"port", run.port.value}, {"time", app::IsoTime(std::chrono::system_clock::now())},
        {"status", status}, {"failure", run.failure}, {"reason", nullptr},
        {"detail", detail}};
    json->Relay(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// A port whose child the system would not start (no process or descriptor left): the system's reason.
void NotStarted(PortRun& run, const std::string& whyNot, JsonLines* json, ConsoleIo& io) {
    const std::string detail = "the update could not be started: " + whyNot;
    io.err << kProgramPrefix << run.shown << ": " << detail << '\n';
    run.status = app::kExitUnexpected;
    run.verdict = "not started (" + whyNot + ")";
    run.failure = "unexpected";
    ParentsExitEvent(run, *run.status, detail, json);
}

// A child that ended without its exit event was killed (by a signal: 128 + its number) or died; the
// parent says so for it, so that every port has its exit event.
void ChildEndedWithoutExitEvent(PortRun& run, int status, JsonLines* json) {
    const bool signalled = status > app::kExitSignalBase;
    run.failure = signalled ? "signal" : "unexpected";
    const std::string detail = signalled ? "ended by signal " + std::to_string(status - app::kExitSignalBase)
                                         : "ended without saying how (status " + std::to_string(status) + ")";
    run.verdict = detail;
    ParentsExitEvent(run, status, detail, json);
}

void PrintTable(const std::vector<PortRun>& runs, std::ostream& out) {
    std::size_t width = std::string("port").size();
    for (const PortRun& run : runs) width = std::max(width, Columns(run.shown));
    out << '\n' << Padded("port", width + 2) << Padded("status", 8) << "verdict\n";
    for (const PortRun& run : runs) {
        out << Padded(run.shown, width + 2) << Padded(std::to_string(*run.status), 8) << ShownSafely(run.verdict)
            << '\n';
    }
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
        if (choice.option == "--port") RefuseLogOnThePort(args, choice.value);
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

}  // namespace

std::optional<std::string> ProgressText(const std::string& line) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object() || event.value("event", "") != "progress") return std::nullopt;
    const int percent = std::clamp(event.value("percent", 0), 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::string text = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " + std::to_string(percent) +
                       "% ";
    const auto seconds = [](double value) { return std::chrono::milliseconds(std::llround(value * 1000.0)); };
    if (event.contains("elapsed_s") && event["elapsed_s"].is_number()) {
        text += app::ClockText(seconds(event["elapsed_s"].get<double>())) + " elapsed";
    }
    if (event.contains("remaining_s") && event["remaining_s"].is_number()) {
        text += ", " + app::ClockText(seconds(event["remaining_s"].get<double>())) + " left";
    }
    return text;
}

std::string TaggedJson(const std::string& line, const std::string& port) {
    nlohmann::ordered_json event = nlohmann::ordered_json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) {
        event = nlohmann::ordered_json{{"event", "output"}, {"text", line}};
    }
    nlohmann::ordered_json tagged;
    for (auto field = event.begin(); field != event.end(); ++field) {
        tagged[field.key()] = field.value();
        if (field.key() == "event") tagged["port"] = port;
    }
    if (!tagged.contains("port")) tagged["port"] = port;
    return tagged.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<std::string> ChildCommandLine(const std::vector<std::string>& commandLine, const PortChoice& port) {
    std::vector<std::string> child{commandLine.empty() ? std::string() : commandLine.front()};
    bool answered = false;
    bool json = false;
    for (std::size_t i = 1; i < commandLine.size(); ++i) {
        const std::string& arg = commandLine[i];
        if (arg == "--port" || arg == "--port-serial") {
            ++i;  // and its value
            continue;
        }
        if (arg.rfind("--port=", 0) == 0 || arg.rfind("--port-serial=", 0) == 0) continue;
        answered = answered || arg == "--yes";
        json = json || arg == "--json";
        child.push_back(arg);
    }
    child.insert(child.begin() + 1, {port.option, port.value});
    if (!answered) child.push_back("--yes");
    // The parent reads each child's outcome from its exit event, whatever it shows itself.
    if (!json) child.push_back("--json");
    return child;
}

int UpdateMany(const std::vector<std::string>& commandLine, const std::vector<PortChoice>& ports, JsonLines* json,
               ConsoleIo& io, ChildRunner& children, std::string* failure, std::string* logError) {
    std::vector<PortRun> runs;
    // The runner counts only the children it started: one that could not be started takes no number.
    std::vector<std::size_t> runOfChild;
    for (const PortChoice& port : ports) {
        const std::string shown = port.option == "--port" ? port.value : "serial number " + port.value;
        runs.push_back({port, ShownSafely(shown), {}, std::nullopt, {}, false});
        std::string whyNot;
        if (children.Start(ChildCommandLine(commandLine, port), whyNot)) {
            runOfChild.push_back(runs.size() - 1);
        } else {
            NotStarted(runs.back(), whyNot, json, io);
        }
    }
    PrepareLastWords(runs, json, io);
    // Only a terminal that takes escape sequences shows the live lines; stdout keeps its lines either way.
    PortLines live(io, json == nullptr && io.errIsTerminal && io.errTakesEscapes);
    while (const std::optional<ChildEvent> event = children.Next()) {
        PortRun& run = runs.at(runOfChild.at(event->child));
        switch (event->kind) {
            case ChildEvent::Kind::Out:
                TakeExitEvent(event->text, run);
                if (json != nullptr) {
                    json->Relay(TaggedJson(event->text, run.port.value));
                } else {
                    if (TakeProgressEvent(event->text, run)) live.Draw(runs);
                }
                break;
            case ChildEvent::Kind::Err: {
                live.Erase();
                const std::string text = event->text.rfind(kProgramPrefix, 0) == 0
                                             ? event->text.substr(std::string(kProgramPrefix).size())
                                             : event->text;
                io.err << kProgramPrefix << run.shown << ": " << ShownSafely(text) << '\n' << std::flush;
                live.Draw(runs);
                break;
            }
            case ChildEvent::Kind::Ended:
                run.status = event->status;
                if (!run.exitSeen) ChildEndedWithoutExitEvent(run, event->status, json);
                PrepareLastWords(runs, json, io);
                live.Erase();
                if (json == nullptr) {
                    io.out << run.shown << ": " << (run.verdict.empty() ? "no verdict" : ShownSafely(run.verdict))
                           << " (status " << event->status << ")\n"
                           << std::flush;
                }
                live.Draw(runs);
                break;
        }
    }
    live.Erase();
    // Children that were started are all read to their end; one that somehow gave no status failed.
    for (PortRun& run : runs) {
        if (!run.status) {
            run.status = app::kExitUnexpected;
            run.failure = "unexpected";
        }
    }
    if (json == nullptr) PrintTable(runs, io.out);
    for (const PortRun& run : runs) {
        if (logError != nullptr && logError->empty()) *logError = run.logError;
    }
    for (const PortRun& run : runs) {
        if (*run.status != 0) {
            if (failure != nullptr) *failure = run.failure;
            return *run.status;
        }
    }
    return 0;
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
    const int status = UpdateMany(commandLine, choices, run.json, io, *children, &run.failure, &run.logError);
    return status;
}

}  // namespace vantrel::cli
