#include "cli/many_loggers.h"

#include <algorithm>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "cli/program_name.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "ui/exit_status.h"

namespace vantrel::cli {

namespace {

struct PortRun {
    PortChoice port;
    std::string shown;    // the port as the table names it
    std::string verdict;  // the child's last plain line: the verdict message
    std::optional<int> status;
};

// The report lines start with their time ("hh-nn-ss -> "); the verdict message is a plain line.
bool IsReportLine(const std::string& line) {
    return line.size() >= 12 && line[2] == '-' && line[5] == '-' && line.compare(8, 4, " -> ") == 0;
}

// The child's JSON line with the port after the event's name, where a reader looks first.
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

// The columns a name takes on a terminal: one for each character, not for each byte of its UTF-8.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t columns) {
    return text + std::string(columns > Columns(text) ? columns - Columns(text) : 0, ' ');
}

void PrintTable(const std::vector<PortRun>& runs, std::ostream& out) {
    std::size_t width = std::string("port").size();
    for (const PortRun& run : runs) width = std::max(width, Columns(run.shown));
    out << '\n' << Padded("port", width + 2) << Padded("status", 8) << "verdict\n";
    for (const PortRun& run : runs) {
        out << Padded(run.shown, width + 2) << Padded(std::to_string(*run.status), 8) << run.verdict << '\n';
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

std::vector<std::string> ChildCommandLine(const std::vector<std::string>& commandLine, const PortChoice& port) {
    std::vector<std::string> child{commandLine.empty() ? std::string() : commandLine.front()};
    bool answered = false;
    for (std::size_t i = 1; i < commandLine.size(); ++i) {
        const std::string& arg = commandLine[i];
        if (arg == "--port" || arg == "--port-serial") {
            ++i;  // and its value
            continue;
        }
        if (arg.rfind("--port=", 0) == 0 || arg.rfind("--port-serial=", 0) == 0) continue;
        answered = answered || arg == "--yes";
        child.push_back(arg);
    }
    child.insert(child.begin() + 1, {port.option, port.value});
    if (!answered) child.push_back("--yes");
    return child;
}

int UpdateMany(const std::vector<std::string>& commandLine, const std::vector<PortChoice>& ports, JsonLines* json,
               ConsoleIo& io, ChildRunner& children) {
    std::vector<PortRun> runs;
    // The runner counts only the children it started: one that could not be started takes no number.
    std::vector<std::size_t> runOfChild;
    for (const PortChoice& port : ports) {
        const std::string shown = port.option == "--port" ? port.value : "serial number " + port.value;
        runs.push_back({port, ShownSafely(shown), {}, std::nullopt});
        if (children.Start(ChildCommandLine(commandLine, port))) {
            runOfChild.push_back(runs.size() - 1);
        } else {
            io.err << kProgramPrefix << runs.back().shown << ": the update could not be started\n";
            runs.back().status = ui::kExitUnexpected;
            runs.back().verdict = "not started";
        }
    }
    while (const std::optional<ChildEvent> event = children.Next()) {
        PortRun& run = runs.at(runOfChild.at(event->child));
        switch (event->kind) {
            case ChildEvent::Kind::Out:
                if (json != nullptr) {
                    json->Relay(TaggedJson(event->text, run.port.value));
                } else if (!event->text.empty() && !IsReportLine(event->text)) {
                    run.verdict = event->text;
                }
                break;
            case ChildEvent::Kind::Err: {
                const std::string text = event->text.rfind(kProgramPrefix, 0) == 0
                                             ? event->text.substr(std::string(kProgramPrefix).size())
                                             : event->text;
                io.err << kProgramPrefix << run.shown << ": " << text << '\n' << std::flush;
                break;
            }
            case ChildEvent::Kind::Ended:
                run.status = event->status;
                if (json == nullptr) {
                    io.out << run.shown << ": " << (run.verdict.empty() ? "no verdict" : run.verdict) << " (status "
                           << event->status << ")\n"
                           << std::flush;
                }
                break;
        }
    }
    // Children that were started are all read to their end; one that somehow gave no status failed.
    for (PortRun& run : runs) {
        if (!run.status) run.status = ui::kExitUnexpected;
    }
    if (json == nullptr) PrintTable(runs, io.out);
    for (const PortRun& run : runs) {
        if (*run.status != 0) return *run.status;
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
    const int status = UpdateMany(commandLine, choices, run.json, io, *children);
    run.failure = FailureName(status);
    return status;
}

}  // namespace vantrel::cli
