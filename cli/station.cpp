#include "cli/station.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <sstream>
#include <tuple>

#include "app/exit_status.h"
#include "app/port_list.h"
#include "cli/child_processes.h"
#include "cli/many_loggers.h"
#include "cli/port_system.h"
#include "cli/program_name.h"
#include "cli/shown_safely.h"
#include "cli/station_ports.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/failures.h"

namespace vantrel::cli {

namespace {

using namespace std::chrono_literals;

// Long enough for udev to finish a new port's links and rights, and for a connector pushed in with a
// wobble to stay put; short against a job.
constexpr auto kSettle = 1s;
// How often the watched place is looked at: a quarter of a second is soon enough for the person who
// plugged a logger in.
constexpr auto kScanInterval = 250ms;

// The converters the package's udev rule grants (packaging/linux/70-vantrel-update.rules): vendor 0403
// with the product IDs its standard converters leave the factory with.
constexpr const char* kRuleUsbIds[] = {"0403:6001", "0403:6010", "0403:6011", "0403:6014", "0403:6015"};

// The station's own options, which a logger's job does not take: those with a value, and flags.
const std::set<std::string> kStationOptionsWithValue{"--watch-dir", "--usb-id", "--max-loggers", "--timeout"};
const std::set<std::string> kStationFlags{"--station", "--include-present", "--add-to-history", "--json", "--yes"};

std::string SecondsText(std::chrono::milliseconds time) {
    std::ostringstream text;
    text << static_cast<double>(time.count()) / 1000.0;
    return text.str();
}

// The ports in the watched place: the entries of a folder of port links (a link whose device is gone
// does not count), or the system's port list. A port whose adapter is known and is not one of the
// station's converters is not taken; one the system knows nothing about is (a simulator, a site's link).
class PortWatch {
public:
    PortWatch(std::string folder, std::vector<std::string> usbIds)
        : folder_(std::move(folder)), usbIds_(std::move(usbIds)) {}

    // Nothing while the folder is not there (udev makes /dev/serial/by-id with the first USB serial port).
    // replaced: the names that now stand for another device than at the last scan (unplugged and plugged
    // in again between two scans).
    std::optional<std::vector<std::string>> Scan(std::vector<std::string>* replaced = nullptr) {
        std::vector<std::string> names;
        if (folder_.empty()) {
            for (const app::PortEntry& entry : app::LoggerPortEntries(app::CurrentPortSource().Enumerate())) {
                names.push_back(entry.name);
            }
        } else {
            std::error_code error;
            std::filesystem::directory_iterator entries(folder_, error);
            if (error) return std::nullopt;
            for (const auto& entry : entries) {
                std::error_code gone;
                if (std::filesystem::exists(entry.path(), gone)) names.push_back(entry.path().string());
            }
        }
        std::sort(names.begin(), names.end());
        std::map<std::string, std::string> devices;
        for (const std::string& name : names) {
            devices[name] = DeviceSignature(name);
            const auto before = devices_.find(name);
            if (replaced != nullptr && before != devices_.end() && before->second != devices[name]) {
                replaced->push_back(name);
                known_.erase(name);
            }
        }
        devices_ = std::move(devices);
        Identify(names);
        std::vector<std::string> taken;
        for (const std::string& name : names) {
            const std::optional<app::PortIdentity>& identity = known_.at(name);
            const bool ours = !identity || identity->vendorId.empty() ||
                              std::find(usbIds_.begin(), usbIds_.end(),
                                        identity->vendorId + ":" + identity->productId) != usbIds_.end();
            if (ours) taken.push_back(name);
        }
        return taken;
    }

    std::string SerialNumber(const std::string& port) const {
        const auto it = known_.find(port);
        return it != known_.end() && it->second ? it->second->serialNumber : std::string();
    }

    const std::string& Folder() const { return folder_; }

private:
    // What tells one plug-in from the next under the same name: the link itself (made anew by udev or a
    // simulator) and the device it leads to.
    static std::string DeviceSignature(const std::string& name) {
        std::error_code error;
        std::string signature = std::filesystem::is_symlink(name, error)
                                    ? std::filesystem::read_symlink(name, error).string()
                                    : std::string();
        return signature + "|" + LinkIdentity(name);
    }

    // What the system tells about each new name, asked once a name (the port list is not cheap to read).
    void Identify(const std::vector<std::string>& names) {
        for (auto it = known_.begin(); it != known_.end();) {
            it = std::find(names.begin(), names.end(), it->first) == names.end() ? known_.erase(it) : std::next(it);
        }
        std::vector<std::string> fresh;
        for (const std::string& name : names) {
            if (known_.count(name) == 0) fresh.push_back(name);
        }
        if (fresh.empty()) return;
        const std::vector<app::PortEntry> entries = app::CurrentPortSource().Enumerate();
        for (const std::string& name : fresh) {
            std::optional<app::PortIdentity> identity;
            const std::string key = SameDeviceKey(name);
            for (const app::PortEntry& entry : entries) {
                if (entry.name == name || entry.identity.stableLink == name || SameDeviceKey(entry.name) == key) {
                    identity = entry.identity;
                    break;
                }
            }
            known_[name] = identity;
        }
    }

    std::string folder_;
    std::vector<std::string> usbIds_;
    std::map<std::string, std::optional<app::PortIdentity>> known_;
    std::map<std::string, std::string> devices_;
};

// A logger the station took: its job, and what its child said.
struct StationJob {
    std::string port;
    std::string shown;
    std::string progress = {};
    std::string verdict = {};
    std::string failure = {};
    bool exitSeen = false;
};

class Station {
public:
    Station(const Arguments& args, ConsoleIo& io, RunState& run, ChildRunner& children)
        : args_(args),
          io_(io),
          run_(run),
          children_(children),
          watch_(args.watchDirGiven ? args.watchDir : DefaultWatchFolder(), StationUsbIds(args.usbIds)),
          ports_(std::chrono::duration_cast<link::Micros>(kSettle), args.includePresent),
          live_{run.json == nullptr && io.errIsTerminal && io.errTakesEscapes, 0} {}

    int Run() {
        link::Clock& clock = link::CurrentClock();
        std::vector<std::string> commandLine = args_.commandLine;
        commandLine.front() = OwnProgram(commandLine.front());
        ownCommandLine_ = std::move(commandLine);

        const std::string where = watch_.Folder().empty() ? "the system's port list" : watch_.Folder();
        std::optional<std::vector<std::string>> present = watch_.Scan();
        if (!present) {
            Say("station: waiting for " + ShownSafely(where) + " to appear");
            Event("waiting", std::nullopt, where);
        }
        bool started = false;
        PrepareLastWords();
        for (;;) {
            const link::Micros now = clock.Now();
            NoteStopRequests();
            if (!stopping_ && args_.deadline && now >= *args_.deadline) {
                Stop("the time limit of " + SecondsText(*args_.timeLimit) + " s ran out");
            }
            if (present) {
                if (!started) {
                    started = true;
                    Say("station: watching " + ShownSafely(where) + " (Ctrl+C stops taking loggers)");
                    Event("watching", std::nullopt, where);
                    for (const StationChange& change : ports_.Start(*present, now)) Take(change, now);
                } else {
                    for (const StationChange& change : ports_.Scan(*present, now)) Take(change, now);
                }
            }
            if (stopping_ && ports_.InWork().empty()) break;
            // Waiting for the children's lines is the pause between two looks at the watched place.
            const auto until = std::chrono::steady_clock::now() + kScanInterval;
            for (auto left = kScanInterval; left > 0ms; left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            until - std::chrono::steady_clock::now())) {
                const std::optional<ChildEvent> event = children_.NextWithin(left);
                if (!event) break;
                Heard(*event);
            }
            std::vector<std::string> replaced;
            present = watch_.Scan(&replaced);
            if (present && started && !replaced.empty()) {
                // Gone and back between two looks: the logger left, and a new one arrived.
                std::vector<std::string> without;
                for (const std::string& port : *present) {
                    if (std::find(replaced.begin(), replaced.end(), port) == replaced.end()) without.push_back(port);
                }
                for (const StationChange& change : ports_.Scan(without, clock.Now())) Take(change, clock.Now());
            }
        }
        Erase();
        std::string summary = "took " + std::to_string(taken_) + (taken_ == 1 ? " logger: " : " loggers: ") +
                              std::to_string(updated_) + " updated, " + std::to_string(failed_) + " failed";
        Say("station: " + summary);
        run_.detail = summary;
        if (firstFailure_) {
            run_.failure = firstFailure_->second;
            return firstFailure_->first;
        }
        return app::kExitSuccess;
    }

private:
    // What the terminal shows below everything else, redrawn in place: a line for each port in work and
    // the tally.
    struct Live {
        bool shown = false;
        int drawn = 0;
    };

    void Take(const StationChange& change, link::Micros now) {
        switch (change.kind) {
            case StationChange::Kind::Present:
                Say(Shown(change.port) + ": there at the start, " +
                    (args_.includePresent ? "taken (--include-present)" : "left alone"));
                Event("present", change.port);
                break;
            case StationChange::Kind::Arrived:
                Say(Shown(change.port) + ": plugged in");
                Event("arrived", change.port);
                break;
            case StationChange::Kind::Departed: {
                const bool inWork = ports_.Knows(change.port);
                Say(Shown(change.port) + (inWork ? ": unplugged during its job" : ": unplugged"));
                Event("departed", change.port);
                break;
            }
            case StationChange::Kind::Ready:
                if (!stopping_) StartJob(change.port, now);
                break;
        }
    }

    void StartJob(const std::string& port, link::Micros now) {
        std::optional<std::chrono::milliseconds> timeLeft;
        if (args_.deadline) timeLeft = std::chrono::duration_cast<std::chrono::milliseconds>(*args_.deadline - now);
        ports_.Taken(port);
        ++taken_;
        StationJob job{port, Shown(port)};
        std::string whyNot;
        if (children_.Start(StationChildCommandLine(ownCommandLine_, port, timeLeft), whyNot)) {
            jobs_.push_back(job);
            Say(job.shown + ": updating");
        } else {
            job.verdict = "the update could not be started" + (whyNot.empty() ? std::string() : ": " + whyNot);
            job.failure = "unexpected";
            Ended(job, app::kExitUnexpected);
        }
        Tally();
        PrepareLastWords();
        if (args_.maxLoggers && taken_ >= *args_.maxLoggers && !stopping_) {
            Stop("took " + std::to_string(taken_) + (taken_ == 1 ? " logger" : " loggers") + " (--max-loggers)");
        }
    }

    void Heard(const ChildEvent& event) {
        StationJob& job = jobs_.at(event.child);
        switch (event.kind) {
            case ChildEvent::Kind::Out: {
                const nlohmann::json line = nlohmann::json::parse(event.text, nullptr, false);
                if (line.is_object() && line.value("event", "") == "exit") {
                    job.exitSeen = true;
                    if (line.contains("reason") && line["reason"].is_string()) job.verdict = line["reason"];
                    if (line.contains("failure") && line["failure"].is_string()) job.failure = line["failure"];
                }
                if (run_.json != nullptr) {
                    run_.json->Relay(TaggedJson(event.text, job.port));
                } else if (std::optional<std::string> progress = ProgressText(event.text)) {
                    job.progress = *progress;
                    Redraw();
                }
                break;
            }
            case ChildEvent::Kind::Err: {
                const std::string text = event.text.rfind(kProgramPrefix, 0) == 0
                                             ? event.text.substr(std::string(kProgramPrefix).size())
                                             : event.text;
                Erase();
                io_.err << kProgramPrefix << job.shown << ": " << text << '\n' << std::flush;
                Redraw();
                break;
            }
            case ChildEvent::Kind::Ended:
                if (!job.exitSeen) {
                    const bool signalled = event.status > app::kExitSignalBase;
                    job.failure = signalled ? "signal" : "unexpected";
                    job.verdict = signalled ? "ended by signal " + std::to_string(event.status - app::kExitSignalBase)
                                            : "ended without saying how (status " + std::to_string(event.status) + ")";
                }
                Ended(job, event.status);
                Tally();
                PrepareLastWords();
                break;
        }
    }

    // A logger's verdict: its line, the count, and the port left alone until it is unplugged.
    void Ended(StationJob& job, int status) {
        if (status == 0) {
            ++updated_;
            Say(job.shown + ": done: unplug");
        } else {
            ++failed_;
            if (!firstFailure_) firstFailure_ = {status, job.failure.empty() ? FailureName(status) : job.failure};
            Say(job.shown + ": failed: " + (job.verdict.empty() ? "no verdict" : job.verdict) + " (status " +
                std::to_string(status) + "); unplug it and plug it in again to try again");
        }
        job.progress.clear();
        for (const StationChange& change : ports_.Finished(job.port, link::CurrentClock().Now())) {
            Take(change, link::CurrentClock().Now());
        }
    }

    void NoteStopRequests() {
        const int requests = children_.StopRequests();
        if (requests >= 1 && !stopping_) Stop("stopping on request");
        if (requests >= 2 && !cancelling_) {
            cancelling_ = true;
            const std::vector<std::string> inWork = ports_.InWork();
            if (!inWork.empty()) Say("station: cancelling the " + Jobs(inWork));
        }
    }

    void Stop(const std::string& why) {
        stopping_ = true;
        const std::vector<std::string> inWork = ports_.InWork();
        std::string text = "station: " + why + "; no new logger is taken";
        if (!inWork.empty()) text += "; waiting for the " + Jobs(inWork) + " to finish (a second Ctrl+C cancels them)";
        Say(text);
        Event("stopping", std::nullopt);
    }

    std::string Jobs(const std::vector<std::string>& ports) const {
        std::string text = std::to_string(ports.size()) + (ports.size() == 1 ? " job" : " jobs") + " on ";
        for (std::size_t i = 0; i < ports.size(); ++i) text += (i > 0 ? ", " : "") + Shown(ports[i]);
        return text;
    }

    std::string Shown(const std::string& port) const {
        const std::string serial = watch_.SerialNumber(port);
        return ShownSafely(port) + (serial.empty() ? "" : " (serial number " + ShownSafely(serial) + ")");
    }

    void Tally() {
        const std::string text = "tally: " + std::to_string(updated_) + " updated, " + std::to_string(failed_) +
                                 " failed, " + std::to_string(ports_.InWork().size()) + " in work";
        if (run_.json != nullptr) {
            Event("tally", std::nullopt);
        } else if (live_.shown) {
            Redraw();
        } else {
            io_.out << text << '\n' << std::flush;
        }
    }

    void Event(const char* change, const std::optional<std::string>& port, const std::string& folder = {}) {
        if (run_.json == nullptr) return;
        nlohmann::ordered_json fields{{"change", change},
                                      {"port", port ? nlohmann::ordered_json(*port) : nlohmann::ordered_json(nullptr)},
                                      {"updated", updated_},
                                      {"failed", failed_},
                                      {"in_work", ports_.InWork().size()}};
        if (!folder.empty()) fields["folder"] = folder;
        run_.json->Emit("station", fields);
    }

    // A line of its own on stdout, the live lines kept below it.
    void Say(const std::string& text) {
        if (run_.json != nullptr) return;
        Erase();
        io_.out << text << '\n' << std::flush;
        Redraw();
    }

    void Erase() {
        if (live_.drawn == 0) return;
        io_.err << "\x1b[" << live_.drawn << "A\r\x1b[J" << std::flush;
        live_.drawn = 0;
    }

    void Redraw() {
        if (!live_.shown) return;
        Erase();
        const int columns = io_.errColumns ? io_.errColumns() : 0;
        auto draw = [&](std::string line) {
            if (columns > 1) line = line.substr(0, static_cast<std::size_t>(columns - 1));
            io_.err << line << '\n';
            ++live_.drawn;
        };
        for (const StationJob& job : jobs_) {
            if (ports_.Knows(job.port) && ports_.State(job.port) == StationPortState::InWork) {
                draw(job.shown + "  " + (job.progress.empty() ? "starting" : job.progress));
            }
        }
        if (taken_ > 0 || stopping_) {
            draw("tally: " + std::to_string(updated_) + " updated, " + std::to_string(failed_) + " failed, " +
                 std::to_string(ports_.InWork().size()) + " in work");
        }
        io_.err << std::flush;
    }

    // What a request that ends everything at once still says: the station's exit event, and the ports
    // whose jobs were still running.
    void PrepareLastWords() {
        if (io_.lastWords == nullptr) return;
        const std::vector<std::string> inWork = ports_.InWork();
        std::string detail = "ended at once by a third request to stop, whatever state the loggers are in";
        if (!inWork.empty()) {
            detail += "; still running then: ";
            for (std::size_t i = 0; i < inWork.size(); ++i) detail += (i > 0 ? ", " : "") + inWork[i];
        }
        std::string before;
        std::string after;
        if (run_.json != nullptr) std::tie(before, after) = SignalExitEventHalves(detail);
        io_.lastWords(before, after, std::string(kProgramPrefix) + ShownSafely(detail) + "\n");
    }

    const Arguments& args_;
    ConsoleIo& io_;
    RunState& run_;
    ChildRunner& children_;
    PortWatch watch_;
    StationPorts ports_;
    Live live_;
    std::vector<std::string> ownCommandLine_;
    std::vector<StationJob> jobs_;  // in the order their children were started
    int taken_ = 0;
    int updated_ = 0;
    int failed_ = 0;
    std::optional<std::pair<int, std::string>> firstFailure_;
    bool stopping_ = false;
    bool cancelling_ = false;
};

}  // namespace

std::vector<std::string> StationChildCommandLine(const std::vector<std::string>& commandLine, const std::string& port,
                                                 std::optional<std::chrono::milliseconds> timeLeft) {
    std::vector<std::string> child{commandLine.empty() ? std::string() : commandLine.front(), "--port", port};
    for (std::size_t i = 1; i < commandLine.size(); ++i) {
        const std::string& arg = commandLine[i];
        if (kStationOptionsWithValue.count(arg) > 0) {
            ++i;  // and its value
            continue;
        }
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos && kStationOptionsWithValue.count(arg.substr(0, equals)) > 0) continue;
        if (kStationFlags.count(arg) > 0) continue;
        child.push_back(arg);
    }
    // A job that starts late in the station's time gets only what is left of it, at least a millisecond.
    if (timeLeft) child.insert(child.end(), {"--timeout", SecondsText(std::max(*timeLeft, 1ms))});
    child.insert(child.end(), {"--yes", "--json", "--add-to-history"});
    return child;
}

std::vector<std::string> StationUsbIds(const std::vector<std::string>& siteIds) {
    std::vector<std::string> ids(std::begin(kRuleUsbIds), std::end(kRuleUsbIds));
    for (const std::string& id : siteIds) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    return ids;
}

int RunStation(const Arguments& args, ConsoleIo& io, RunState& run) {
    std::unique_ptr<ChildRunner> system;
    ChildRunner* children = io.children;
    if (children == nullptr) {
        system = SystemChildRunner(InterruptPolicy::KeepTheFirst);
        children = system.get();
    }
    if (children == nullptr) throw UsageError("the station needs child processes, which this system does not give");
    // Asked once, for every logger to come.
    if (args.file.empty()) Confirm(args, io);
    if (link::CancelRequested.load()) {
        io.err << kProgramPrefix << "stopped before the station started\n";
        run.failure = FailureName(link::feCancelled);
        return link::feCancelled;
    }
    return Station(args, io, run, *children).Run();
}

}  // namespace vantrel::cli
