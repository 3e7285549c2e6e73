// What the console shows of a job: output that fails, port names, the live status line.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

// The output fails (a reader closed its pipe, a full device): the job runs to its end all the same, with
// its own verdict as the exit status; what has no job fails.
TEST_F(CliTest, OutputFaultsNeverStopAnUpdate) {
    struct Case {
        const char* what;
        std::vector<std::string> args;  // the port is added for an update
        bool update;
        OutputFaults faults;
        LoggerConfig logger;
        int status;
        bool told;  // stderr says the report is incomplete
    };
    const Case cases[] = {
        {"report lost", {"--yes"}, true, {.out = true}, {}, 0, true},
        {"JSON lost", {"--yes", "--json"}, true, {.out = true}, {}, 0, true},
        {"stderr lost", {"--yes"}, true, {.err = true}, {}, 0, false},
        {"both lost", {"--yes"}, true, {.out = true, .err = true}, {}, 0, false},
        {"a failing job keeps its verdict",
         {"--yes"},
         true,
         {.out = true},
         WithFaults({{.kind = FaultKind::ErrorBit, .request = RequestKind::Identify}}),
         link::feLoggerError,
         true},
        {"help", {"--help"}, false, {.out = true}, {}, 1, false},
        {"version", {"--version"}, false, {.out = true}, {}, 1, false},
        {"image listing", {"--list-images"}, false, {.out = true}, {}, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedLine line(c.logger);
        std::vector<std::string> args = c.args;
        if (c.update) args.insert(args.end(), {"--port", line.Port()});
        const CliRun run = Cli(args, "", false, c.faults);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err.find("the job ran on to its end") != std::string::npos, c.told) << run.err;
        if (c.status == 0 && c.update) {
            line.Serial().Inspect([](sim::LoggerModel& logger) {
                EXPECT_EQ(logger.CurrentMode(), sim::Mode::Application);
                EXPECT_EQ(logger.ApplicationStarts(), 1);
                return 0;
            });
        }
    }
}

// Port names are the operator's own text: in JSON they pass as typed (only image and code-table texts are
// Latin-1), and in the plain report a control character cannot reach the terminal as such.
TEST_F(CliTest, PortNamesShownAsTyped) {
    struct Case {
        std::string port;
        bool json;
        std::string shown;
    };
    const Case cases[] = {
        {"/dev/p\xC3\xB6rt", true, "Start at serial port \"/dev/p\xC3\xB6rt\""},
        {"/dev/p\xF6rt", true, "Start at serial port \"/dev/p\xEF\xBF\xBDrt\""},
        {"/dev/\x1b[2Jport", true, "Start at serial port \"/dev/\x1b[2Jport\""},
        {"/dev/\x1b[2Jport", false, " -> Start at serial port \"/dev/\\x1b[2Jport\"\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--port", c.port, "--yes"};
        if (c.json) args.push_back("--json");
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, link::feNoPort);
        if (c.json) {
            const auto events = JsonLines(run.out);
            ASSERT_GE(events.size(), 2u);
            EXPECT_EQ(events[1]["text"].get<std::string>(), c.shown);
            EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
        } else {
            EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
            EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
        }
    }
}

// The live status line on a terminal: the times, no progress lines twice on the same screen, no escape
// sequences for a dumb terminal.
TEST_F(CliTest, StatusLineOnATerminal) {
    struct Case {
        const char* what;
        Screen screen;
        bool progressLinesOnStdout;
        bool escapes;
    };
    const Case cases[] = {
        {"stdout and stderr on one terminal", {.err = true, .out = true}, false, true},
        {"stdout redirected", {.err = true, .out = false}, true, true},
        {"dumb terminal", {.err = true, .out = true, .escapes = false}, false, false},
        // Narrower than the line: cut, never wrapped, so no redraw leaves a row behind.
        {"80 columns", {.err = true, .out = true, .columns = 80}, false, true},
        {"60 columns, dumb", {.err = true, .out = true, .escapes = false, .columns = 60}, false, false},
        {"40 columns: the bar shrinks, the times stay", {.err = true, .out = true, .columns = 40}, false, true},
        {"20 columns: no bar, the times cut", {.err = true, .out = true, .columns = 20}, false, true},
        // The line drawn at 120 columns now covers three rows: the redraw goes up and clears them all.
        {"120 columns shrunk to 40",
         {.err = true, .out = true, .columns = 120, .shrinksTo = 40, .shrinkAfter = 30},
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path log = config_ / "status.log";
        SimulatedLine line;
        const CliRun run = Cli({"--port", line.Port(), "--yes", "--log", log.string()}, "", false, {}, c.screen);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.find(" -> Progress 50%") != std::string::npos, c.progressLinesOnStdout);
        EXPECT_EQ(run.err.find('\x1b') != std::string::npos, c.escapes);
        if (c.screen.columns == 0 || c.screen.columns >= 40) {
            EXPECT_NE(run.err.find("] 50% "), std::string::npos);
            EXPECT_NE(run.err.find(" elapsed"), std::string::npos);
        }
        if (c.screen.shrinksTo > 0) {
            EXPECT_NE(run.err.find("\x1b[2A\r\x1b[J"), std::string::npos);
            EXPECT_NE(run.err.rfind(" elapsed, "), std::string::npos);
        }
        if (c.screen.columns == 0) {
            EXPECT_NE(run.err.find(" left  "), std::string::npos);
        }
        if (c.screen.columns > 0) {
            // Every redraw, after its carriage return (and the escape that clears the row), fits in the width.
            std::istringstream redraws(run.err);
            for (std::string redraw; std::getline(redraws, redraw, '\r');) {
                redraw = std::regex_replace(redraw, std::regex("\x1b\\[[0-9]*[A-Z]"), "");
                EXPECT_LT(redraw.size(), static_cast<std::size_t>(c.screen.columns)) << redraw;
            }
        }
        // The log keeps the whole report.
        std::ifstream in(log);
        const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(logged.find(" -> Progress 50%"), std::string::npos);
        fs::remove(log);
    }
}

}  // namespace
}  // namespace vantrel::cli
