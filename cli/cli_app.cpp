#include "cli/cli_app.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "app/exit_status.h"
#include "app/job_record.h"
#include "app/options.h"
#include "cli/arguments.h"
#include "cli/history.h"
#include "cli/listings.h"
#include "cli/many_loggers.h"
#include "cli/program_name.h"
#include "cli/single_job.h"
#include "cli/station.h"
#include "engine/option_flags.h"
#include "firmware/header.h"
#include "link/clock.h"

namespace vantrel::cli {

namespace {

// A run that ends before any job: the reason on stderr and, for JSON readers, in the exit event.
int Refused(ConsoleIo& io, RunState& run, const char* failure, const std::string& reason, const char* hint,
            int status) {
    io.err << kProgramPrefix << reason << hint << "\n";
    run.failure = failure;
    run.reason = reason;
    return status;
}

// The history every front end on this machine appends to; none yet is an empty history.
int PrintUserHistory(HistoryFormat format, ConsoleIo& io) {
    const std::string name = app::UserHistoryPath();
    const std::filesystem::path path(std::u8string(name.begin(), name.end()));
    std::ifstream in(path, std::ios::binary);
    if (!in && format == HistoryFormat::Plain) io.err << kProgramPrefix << "no job history yet (" << name << ")\n";
    PrintHistory(in, format, io.out);
    return app::kExitSuccess;
}

int Run(Arguments& args, ConsoleIo& io, RunState& run) {
    if (args.timeLimit) args.deadline = link::CurrentClock().Now() + *args.timeLimit;
    std::vector<std::string> commandLine{args.commandLine.empty() ? std::string() : args.commandLine.front()};
    commandLine.insert(commandLine.end(), args.keys.begin(), args.keys.end());
    app::SetCommandLine(commandLine);
    const bool internal = app::InternalMode();
    app::ReadCommandLineOptions(internal);
    CheckArguments(args, {internal, engine::FileMode == engine::kFileModeImageFiles});

    if (args.listPorts) {
        args.plainOutput = true;
        return ListPorts(args.json, io.out);
    }
    if (args.history) {
        args.plainOutput = true;
        return PrintUserHistory(args.json  ? HistoryFormat::Json
                                : args.csv ? HistoryFormat::Csv
                                           : HistoryFormat::Plain,
                                io);
    }
    if (args.station) return RunStation(args, io, run);
    if (args.listImages) {
        const int status = ListImages(args.fileGiven ? std::optional<std::string>(args.file) : std::nullopt, args.json,
                                      io.out);
        args.plainOutput = true;
        return status;
    }
    if (args.ports.size() + args.portSerials.size() > 1) return UpdateManyLoggers(args, io, run);
    return RunSingleJob(args, io, run);
}

int ParseAndRun(const std::vector<std::string>& argv, ConsoleIo& io, Arguments& args, RunState& run) {
    try {
        if (const std::optional<std::string> text = ParseArguments(argv, args, io.err)) {
            io.out << *text;
            args.plainOutput = true;
            return app::kExitSuccess;
        }
        return Run(args, io, run);
    } catch (const UsageError& e) {
        return Refused(io, run, e.failure, e.what(), e.hint, app::kExitUsage);
    } catch (const firmware::EInOutError& e) {
        return Refused(io, run, "image-file", std::string("cannot read the image file: ") + e.what(), "",
                       app::kExitUsage);
    } catch (const firmware::EConvertError& e) {
        return Refused(io, run, "image-file", std::string("cannot read the image file: ") + e.what(), "",
                       app::kExitUsage);
    } catch (const std::exception& e) {
        // Anything else is a fault of this program, reported like the worker's unexpected failures.
        return Refused(io, run, "unexpected", std::string("unexpected error: ") + e.what(), "", app::kExitUnexpected);
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
        if (logFailure || !run.logError.empty()) fields["log_error"] = logFailure ? *logFailure : run.logError;
        json.Emit("exit", fields);
    }
    io.out.flush();
    const bool outputLost = io.out.fail();
    // The help and the listings are the output: if it could not be written, the run failed.
    if (args.plainOutput && outputLost) {
        io.err << kProgramPrefix << "the output could not be written\n" << std::flush;
        return app::kExitUnexpected;
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
