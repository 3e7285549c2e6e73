#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <iomanip>
#include <istream>
#include <optional>
#include <ostream>

#include "engine/comm_thread.h"
#include "engine/notify.h"
#include "engine/option_flags.h"
#include "engine/vantrel_comm_thread.h"
#include "firmware/catalogue.h"
#include "firmware/image_file.h"
#include "link/failures.h"
#include "link/serial.h"
#include "ui/job_rules.h"
#include "ui/options.h"
#include "ui/port_list.h"
#include "ui/presenter.h"

namespace vantrel::cli {

namespace {

using namespace std::chrono_literals;

struct Arguments {
    std::string port;
    bool portGiven = false;
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
    // The help or a listing went to stdout: plain text, so no JSON exit event follows it.
    bool plainOutput = false;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The question's two lines, joined by separator instead of CR LF.
std::string QuestionLines(const std::string& question, const std::string& separator) {
    std::string lines = question;
    for (std::size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at + separator.size())) {
        lines.replace(at, 2, separator);
    }
    return lines;
}

// The operator's answer to the question the Update button asks; false ends the run with status 2.
bool Confirmed(const Arguments& args, ConsoleIo& io) {
    const std::optional<std::string> question = ui::UpdateConfirmation();
    if (!question || args.yes) return true;
    if (!io.inIsTerminal) {
        io.err << "vantrel-update-cli: this update needs a confirmation (" << QuestionLines(*question, " ")
               << "); answer it with --yes when no terminal is attached\n";
        return false;
    }
    io.err << QuestionLines(*question, "\n") << " [y/N] " << std::flush;
    std::string answer;
    std::getline(io.in, answer);
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return true;
    io.err << "vantrel-update-cli: not confirmed, nothing was done\n";
    return false;
}

int ListImages(const Arguments& args, ConsoleIo& io) {
    if (args.fileGiven) {
        firmware::LoadFileImageHeader(args.file);
        firmware::SelectedImage = firmware::kFileImage;
    }
    const auto rows = ui::OverviewRows();
    std::array<std::size_t, 6> widths{};
    for (std::size_t c = 0; c < widths.size(); ++c) {
        widths[c] = std::string(ui::kOverviewColumns[c]).size();
        for (const auto& row : rows) widths[c] = std::max(widths[c], row[c].size());
    }
    auto print = [&](const auto& cells) {
        for (std::size_t c = 0; c < widths.size(); ++c) {
            io.out << std::left << std::setw(static_cast<int>(widths[c] + (c + 1 < widths.size() ? 2 : 0)))
                   << cells[c];
        }
        io.out << '\n';
    };
    print(ui::kOverviewColumns);
    for (const auto& row : rows) print(row);
    return 0;
}

int RunUpdate(const Arguments& args, ConsoleIo& io) {
    auto queue = std::make_shared<engine::NotificationQueue>();
    engine::ScopedNotificationTarget registration(queue);
    ConsoleWindow window(io, args.json, args.port, args.readInfoOnly, registration.handle());
    ui::JobControl jobs(window, args.maxRestarts);
    ui::Presenter presenter(window, jobs);

    // A signal that came before this point was meant for this job: it ends before the port is opened.
    jobs.StartNew(args.port, ui::EarlierCancel::Keep);
    std::optional<int> status;
    while (!status) {
        // Every job ends by itself (each transfer is bounded by its time-outs); the wait only guards
        // against a worker that died without its final notification.
        const std::optional<engine::Notification> n = queue->Wait(10min);
        if (!n) {
            window.EndStatusLine();
            io.err << "vantrel-update-cli: the job stopped reporting\n";
            status = 1;
            break;
        }
        window.EmitNotification(n->code, n->value);
        status = presenter.Handle(n->code, n->value);
    }
    window.EndStatusLine();
    engine::WaitForWorkersToEnd();

    if (*status == link::feNoPort) {
        const link::OpenFailure why = link::LastOpenFailure();
        if (why.kind != link::OpenFailureKind::None) {
            io.err << "vantrel-update-cli: " << link::DescribeOpenFailure(why) << '\n';
        }
    }
    if ((*status == link::feNoAnswer || *status == link::feProgramming) && args.maxRestarts) {
        io.err << "vantrel-update-cli: gave up after " << jobs.Restarts() << " automatic restart(s)\n";
    }
    return *status;
}

int Run(Arguments& args, ConsoleIo& io, const std::string& program) {
    std::vector<std::string> commandLine{program};
    commandLine.insert(commandLine.end(), args.keys.begin(), args.keys.end());
    ui::SetCommandLine(commandLine);
    const bool internal = ui::InternalMode();
    ui::ReadCommandLineOptions(internal);
    engine::CommThreadClass = &engine::CreateCommThread<engine::TVantrelCommThread>;

    // What cannot be done together is refused rather than partly ignored.
    if (args.listPorts && args.listImages) throw UsageError("--list-ports and --list-images are two runs, not one");
    if ((args.listPorts || args.listImages) && args.portGiven) {
        throw UsageError("--port starts an update; it does not go with --list-ports or --list-images");
    }
    if (args.listPorts && args.fileGiven) throw UsageError("--file does not go with --list-ports");
    if (args.listImages && args.fileGiven && !internal) throw UsageError("--list-images --file needs internal mode");
    if (args.fileGiven && args.file.empty()) throw UsageError("--file needs the name of an image file");

    if (args.listPorts) {
        std::vector<std::string> ports;
        ui::ListSerialPorts(ports);
        for (const auto& port : ports) io.out << port << '\n';
        args.plainOutput = true;
        return 0;
    }
    if (args.listImages) {
        const int status = ListImages(args, io);
        args.plainOutput = true;
        return status;
    }

    if (args.portGiven && args.port.empty()) throw UsageError("--port needs the name of a port");
    if (args.port.empty()) throw UsageError("--port is required to update a logger");
    if (args.fileGiven && engine::FileMode != engine::kFileModeImageFiles) {
        throw UsageError("--file needs internal mode and the key f:+");
    }
    if (args.readInfoOnly && !internal) throw UsageError("--read-info-only needs internal mode");
    // An image file is the File button's job, which asks nothing; the Update button asks first.
    if (args.file.empty() && !Confirmed(args, io)) return kExitUsage;
    ui::SelectImageSource(args.file);
    return RunUpdate(args, io);
}

// Decimal digits only: a bound written 010 or 0x2 is not read as some other number than the one typed.
int RestartBound(const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    int bound = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bound);
    if (!digits || error != std::errc{} || end != text.data() + text.size()) {
        throw UsageError("--max-restarts takes a number of restarts from 0 to " +
                         std::to_string(std::numeric_limits<int>::max()) + " in decimal digits, not '" + text + "'");
    }
    return bound;
}

int ParseAndRun(const std::vector<std::string>& argv, ConsoleIo& io, Arguments& args) {
    CLI::App app{"Vantrel Firmware Update: puts new firmware on a Vantrel data logger.", "vantrel-update-cli"};
    CLI::Option* port =
        app.add_option("--port", args.port, "Serial port of the logger (a device path, or a name under /dev)");
    CLI::Option* file =
        app.add_option("--file", args.file, "Image file to program instead of the built-in images (internal mode, f:+)");
    app.add_flag("--read-info-only", args.readInfoOnly, "Stop after identifying the logger (internal mode)");
    app.add_flag("--yes", args.yes, "Answer the confirmation with Yes");
    app.add_flag("--json", args.json, "JSON Lines on stdout instead of the report");
    CLI::Option* maxRestarts =
        app.add_option("--max-restarts", args.maxRestartsText, "Bound on automatic restarts, decimal (default: none)");
    app.add_flag("--list-ports", args.listPorts, "List the logger ports and exit");
    app.add_flag("--list-images", args.listImages, "List the firmware images (and --file's header) and exit");
    app.add_option("keys", args.keys, "Start-up keys: cc:- cf:- ci:- (internal mode), mf:+ or mf:-, f:+");

    std::vector<std::string> reversed(argv.rbegin(), argv.rend() - 1);
    try {
        // The parser would take the next argument as the value of "--port=": an empty value is refused here.
        for (const char* option : {"--port=", "--file=", "--max-restarts="}) {
            if (std::find(argv.begin() + 1, argv.end(), option) != argv.end()) {
                throw UsageError(std::string(option, std::strlen(option) - 1) + " needs a value");
            }
        }
        app.parse(reversed);
        args.portGiven = port->count() > 0;
        args.fileGiven = file->count() > 0;
        if (maxRestarts->count() > 0) args.maxRestarts = RestartBound(args.maxRestartsText);
        for (const auto& key : args.keys) {
            if (key.find(':') == std::string::npos) throw UsageError("not a KEY:VALUE start-up key: " + key);
        }
        return Run(args, io, argv.empty() ? std::string() : argv[0]);
    } catch (const CLI::CallForHelp&) {
        io.out << app.help();
        args.plainOutput = true;
        return 0;
    } catch (const CLI::ParseError& e) {
        io.err << "vantrel-update-cli: " << e.what() << "\n" << "Run with --help for the usage.\n";
        return kExitUsage;
    } catch (const UsageError& e) {
        io.err << "vantrel-update-cli: " << e.what() << "\n";
        return kExitUsage;
    } catch (const firmware::EInOutError& e) {
        io.err << "vantrel-update-cli: cannot read the image file: " << e.what() << "\n";
        return kExitUsage;
    } catch (const firmware::EConvertError& e) {
        io.err << "vantrel-update-cli: cannot read the image file: " << e.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        // Anything else is a fault of this program, reported like the worker's unexpected failures.
        io.err << "vantrel-update-cli: unexpected error: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace

int RunCli(const std::vector<std::string>& argv, ConsoleIo io) {
    Arguments args;
    // Looked for before parsing, so that a command line that cannot be parsed still ends with the event.
    args.json = std::find(argv.begin() + (argv.empty() ? 0 : 1), argv.end(), "--json") != argv.end();
    const int status = ParseAndRun(argv, io, args);
    // A reader of the JSON Lines gets the outcome also when no job ran (usage errors, a declined question).
    if (args.json && !args.plainOutput) {
        io.out << nlohmann::ordered_json{{"event", "exit"}, {"status", status}}.dump() << '\n';
    }
    io.out.flush();
    const bool outputLost = io.out.fail();
    // The help and the listings are the output: if it could not be written, the run failed.
    if (args.plainOutput && outputLost) {
        io.err << "vantrel-update-cli: the output could not be written\n" << std::flush;
        return 1;
    }
    // A job runs to its end whatever happens to the output: stopping it halfway could leave the logger
    // erased. Its status is the job's; the operator learns that the report is incomplete.
    if (outputLost) {
        io.err << "vantrel-update-cli: the report could not be written to the standard output; the job ran on to "
                  "its end, and the exit status is its verdict\n"
               << std::flush;
    }
    return status;
}

}  // namespace vantrel::cli
