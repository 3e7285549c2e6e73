#include "cli/single_job.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/exit_status.h"
#include "app/job_control.h"
#include "app/job_rules.h"
#include "app/options.h"
#include "app/port_list.h"
#include "cli/port_system.h"
#include "cli/program_name.h"
#include "cli/shown_safely.h"
#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "firmware/catalogue.h"
#include "link/cancel.h"
#include "link/clock.h"
#include "link/failures.h"
#include "link/serial.h"
#include "vantrel/version.h"

namespace vantrel::cli {

namespace {

using namespace std::chrono_literals;

constexpr const char* kNotConfirmed = "not-confirmed";

// The question's two lines, joined by separator instead of CR LF.
std::string QuestionLines(const std::string& question, const std::string& separator) {
    std::string lines = question;
    for (std::size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at + separator.size())) {
        lines.replace(at, 2, separator);
    }
    return lines;
}

std::string SecondsText(std::chrono::milliseconds duration) {
    std::ostringstream text;
    text << static_cast<double>(duration.count()) / 1000.0 << " s";
    return text.str();
}

std::string PortsAndSerialNumbers(const std::vector<app::PortEntry>& ports) {
    std::string text;
    for (const app::PortEntry& port : ports) {
        text += (text.empty() ? "" : ", ") + port.name + " (" +
                (port.identity.serialNumber.empty() ? "no serial number"
                                                    : "serial number " + port.identity.serialNumber) +
                ")";
    }
    return text.empty() ? "no logger port is connected" : "the logger ports: " + text;
}

bool AnyPortWithSerialNumber(const std::string& serial) {
    return !app::PortsWithSerialNumber(app::LoggerPortEntries(app::CurrentPortSource().Enumerate()), serial).empty();
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

int RunUpdate(const Arguments& args, std::shared_ptr<const firmware::FileImage> image, ConsoleIo& io, RunState& run) {
    auto queue = std::make_shared<engine::NotificationQueue>();
    engine::ScopedNotificationTarget registration(queue);
    JobLog* log = run.log.IsOpen() ? &run.log : nullptr;
    run.log.SetPort(args.port);
    ConsoleWindow window(io, run.json, log, args.port);
    // The summary line is made when the job ends, before its verdict is shown; the log gets it after the
    // verdict's line, so that a reader of the log finds the job's lines first and its summary last.
    std::optional<std::string> summary;
    app::JobControl jobs(window, args.maxRestarts, [&summary](const std::string& line) { summary = line; });

    // The time limit runs on the system's one clock, from the moment the run started.
    link::Clock& clock = link::CurrentClock();
    const std::optional<link::Micros> deadline = args.deadline;
    window.JobStarted();
    // A signal that came before this point was meant for this job: it ends before the port is opened.
    jobs.StartNew(app::MakeJobRequest(args.port, image, args.readInfoOnly, registration.handle()),
                  app::EarlierCancel::Keep);
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
            status = app::kExitUnexpected;
            jobs.Abandon(*status, run.reason);
            break;
        }
        lastHeard = std::chrono::steady_clock::now();
        window.EmitNotification(*n);
        status = jobs.Handle(*n);
        if (status) run.reason = JobTextAsJson(jobs.Verdict(), args.port);
    }
    window.EndStatusLine();
    if (summary) {
        if (log != nullptr) log->Summary(*summary);
        if (args.addToHistory) app::AppendToUserHistory(HistoryRecord(*summary, AdapterSerialNumber(args.port)));
    }
    engine::WaitForWorkersToEnd();

    run.failure = FailureName(*status);
    if ((*status == link::feNoAnswer || *status == link::feProgramming) && args.maxRestarts) {
        run.detail = "gave up after " + std::to_string(jobs.Restarts()) + " automatic restart(s)";
    }
    if (*status == app::kExitTimedOut) {
        run.detail = "the job did not finish within " + SecondsText(*args.timeLimit) + " and was cancelled";
    }
    // What the verdict leaves unsaid (why the port would not open, where the logger is left), after the
    // console's own words.
    if (!jobs.DetailClauses().empty()) run.detail += (run.detail.empty() ? "" : "; ") + jobs.DetailClauses();
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
        run.failure = FailureName(app::kExitTimedOut);
        run.detail = what + " did not appear within the time limit of " + SecondsText(*args.timeLimit) +
                     "; no job was started";
        io.err << kProgramPrefix << run.detail << '\n';
        return app::kExitTimedOut;
    };
    // A cancel during the wait ends it the same way whichever way the port was named.
    auto cancelled = [&](const std::string& what) {
        run.failure = FailureName(link::feCancelled);
        run.detail = "cancelled while waiting for " + what;
        io.err << kProgramPrefix << run.detail << '\n';
        return link::feCancelled;
    };
    if (args.portSerials.empty()) {
        const bool appeared = WaitUntil([&] { return PortPresent(args.port); }, deadline);
        if (appeared && !PortPresent(args.port)) return cancelled(ShownSafely(args.port));
        if (!appeared) {
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
    if (appeared) return cancelled(adapter);
    if (limitFirst) return timedOut(adapter);
    // JSON readers get the reason as the operator does.
    run.failure = FailureName(link::feNoPort);
    run.detail = "no adapter with the serial number '" + ShownSafely(serial) + "' appeared within " + seconds + " s";
    io.err << kProgramPrefix << run.detail << '\n';
    return link::feNoPort;
}

}  // namespace

std::string AdapterSerialNumber(const std::string& port) {
    const std::string key = SameDeviceKey(port);
    for (const app::PortEntry& entry : app::LoggerPortEntries(app::CurrentPortSource().Enumerate())) {
        if (entry.name == port || entry.identity.stableLink == port || SameDeviceKey(entry.name) == key) {
            return entry.identity.serialNumber;
        }
    }
    return {};
}

std::string HistoryRecord(const std::string& summaryLine, const std::string& adapterSerial) {
    std::string line = summaryLine;
    const std::string unknown = " adapter=- ";
    if (const std::size_t at = line.find(unknown); at != std::string::npos && !adapterSerial.empty()) {
        line.replace(at, unknown.size(), " adapter=" + app::SummaryValue(adapterSerial) + " ");
    }
    return line + " program=" + app::SummaryValue(VersionLine(kProgramName));
}

void Confirm(const Arguments& args, ConsoleIo& io) {
    const std::optional<std::string> question = app::UpdateConfirmation();
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
    if (status == app::kExitTimedOut) return "timeout";
    const char* name = link::FailureCodeName(status);
    return name != nullptr ? name : "unexpected";
}

// The one logger port whose adapter has this serial number; none, or several, leave the choice to the
// operator.
std::string PortWithSerialNumber(const std::string& serial) {
    const std::vector<app::PortEntry> loggerPorts = app::LoggerPortEntries(app::CurrentPortSource().Enumerate());
    const std::vector<app::PortEntry> matching = app::PortsWithSerialNumber(loggerPorts, serial);
    if (matching.size() == 1) return matching.front().name;
    if (matching.empty()) {
        throw UsageError("no logger port's adapter has the serial number '" + serial + "'; " +
                         PortsAndSerialNumbers(loggerPorts));
    }
    throw UsageError("more than one adapter has the serial number '" + serial + "' (" +
                     PortsAndSerialNumbers(matching) + "); name the port with --port");
}

void RefuseLogOnThePort(const Arguments& args, const std::string& port) {
    if (args.logGiven && FileIsPort(args.logPath, port)) {
        throw UsageError("--log " + ShownSafely(args.logPath) + " names the port being updated (" + ShownSafely(port) +
                         "); the log would be written onto the logger's line");
    }
}

int RunSingleJob(Arguments& args, ConsoleIo& io, RunState& run) {
    // Without a wait the adapter must be there now, so a wrong serial number is found before anything is asked.
    if (!args.ports.empty()) args.port = args.ports.front();
    if (!args.portSerials.empty() && !args.wait) args.port = PortWithSerialNumber(args.portSerials.front());
    if (!args.port.empty()) RefuseLogOnThePort(args, args.port);
    // Before the question and the port: a log that cannot be kept is found out while nothing has happened.
    if (args.logGiven) {
        if (const std::optional<std::string> why = run.log.Open(args.logPath)) {
            throw UsageError("cannot write the log file " + args.logPath + ": " + *why, "log-file");
        }
    }
    // An image file is the File button's job, which asks nothing; the Update button asks first.
    if (args.file.empty()) Confirm(args, io);
    if (args.wait) {
        if (const std::optional<int> status = WaitForThePort(args, io, run)) return *status;
        RefuseLogOnThePort(args, args.port);
    }
    std::shared_ptr<const firmware::FileImage> image = app::ReadImageSource(args.file);
    AdviseOnConverterLatency(args.port, io);
    return RunUpdate(args, std::move(image), io, run);
}

}  // namespace vantrel::cli
