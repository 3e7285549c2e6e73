// The console front end run in-process against the simulated logger, in virtual time.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "app/port_list.h"
#include "cli/child_processes.h"
#include "cli/cli_app.h"
#include "cli/many_loggers.h"
#include "engine/notify.h"
#include "engine/process_state.h"
#include "link/cancel.h"
#include "link/failures.h"
#include "tests/cli/json_schema.h"
#include "tests/support/job_runner.h"
#include "vantrel/version.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;
using sim::Fault;
using sim::FaultKind;
using sim::LoggerConfig;
using sim::RequestKind;
using testing::SimulatedLine;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Where the output goes when it cannot be written: a reader that closed its pipe, a full device.
class FailingBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

struct OutputFaults {
    bool out = false;
    bool err = false;
};

// What the streams are attached to, beyond stdin: a terminal on stderr (and stdout), one that is dumb,
// and how wide it is (0: unknown).
struct Screen {
    bool err = false;
    bool out = false;
    bool escapes = true;
    int columns = 0;
    int shrinksTo = 0;  // the width after the first shrinkAfter looks, as when the window is made narrower
    int shrinkAfter = 0;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        engine::ResetProcessState();
        config_ = fs::temp_directory_path() / ("vantrel-cli-test-" + std::to_string(::getpid()));
        fs::create_directories(config_ / "Velmora");
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }
    ~CliTest() override {
        engine::ResetProcessState();
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(config_);
    }

    void InternalMode() { std::ofstream(config_ / "Velmora" / "Qel.conf") << "[General]\nintern=7204\n"; }

    // Every preparation of what a second signal would still write: the exit event around its status, the
    // stderr line.
    struct LastWords {
        std::string before, after, err;
    };
    static inline std::vector<LastWords> lastWords;

    CliRun Cli(std::vector<std::string> args, const std::string& answer = "", bool terminal = false,
               OutputFaults faults = {}, Screen screen = {}, ChildRunner* children = nullptr) {
        args.insert(args.begin(), "vantrel-update-cli");
        std::istringstream in(answer);
        std::ostringstream out;
        std::ostringstream err;
        FailingBuffer failing;
        std::ostream failingOut(&failing);
        std::ostream failingErr(&failing);
        CliRun run;
        ConsoleIo io{in,
                     faults.out ? failingOut : out,
                     faults.err ? failingErr : err,
                     terminal,
                     screen.err,
                     screen.out,
                     screen.escapes};
        io.sysfsRoot = (config_ / "sys").string();
        io.children = children;
        lastWords.clear();
        io.lastWords = [](const std::string& before, const std::string& after, const std::string& errLine) {
            lastWords.push_back({before, after, errLine});
        };
        if (screen.columns > 0) {
            io.errColumns = [screen, looks = 0]() mutable {
                return screen.shrinksTo > 0 && ++looks > screen.shrinkAfter ? screen.shrinksTo : screen.columns;
            };
        }
        run.status = RunCli(args, io);
        run.out = out.str();
        run.err = err.str();
        engine::ResetProcessState();
        return run;
    }

    static std::vector<nlohmann::json> JsonLines(const std::string& text) {
        std::vector<nlohmann::json> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    // The events without their times, which differ from run to run.
    static std::vector<nlohmann::json> Untimed(const std::string& text) {
        std::vector<nlohmann::json> events = JsonLines(text);
        for (auto& event : events) event.erase("time");
        return events;
    }

    fs::path config_;
};

// The system's serial ports as a test makes them up; the list may change from one look to the next, as
// when an adapter is plugged in while the console waits for it.
class FakePorts final : public app::PortSource {
public:
    std::vector<app::PortEntry> Enumerate() override {
        ++looks;
        return looks > hiddenLooks ? entries : std::vector<app::PortEntry>{};
    }
    std::vector<app::PortEntry> entries;
    int hiddenLooks = 0;  // looks that find nothing before the entries appear
    int looks = 0;
};

app::PortEntry UsbPort(std::string name, std::string serialNumber, std::string stableLink = "") {
    app::PortEntry entry{std::move(name), "/sys/devices/usb1/1-1/1-1:1.0/ttyUSB/tty", "usb-serial"};
    entry.identity.stableLink = std::move(stableLink);
    entry.identity.vendorId = "0403";
    entry.identity.productId = "6001";
    entry.identity.manufacturer = "Velmora";
    entry.identity.product = "Vantrel USB";
    entry.identity.serialNumber = std::move(serialNumber);
    return entry;
}

LoggerConfig WithFaults(std::vector<Fault> faults, std::uint16_t platform = 15) {
    LoggerConfig config;
    config.identity.platform = platform;
    config.faults.faults = std::move(faults);
    return config;
}

TEST_F(CliTest, JsonLinesNotifyBeforePresentingAndEndWithTheExit) {
    SimulatedLine line;
    const CliRun run = Cli({"--port", line.Port(), "--yes", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto events = Untimed(run.out);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], (nlohmann::json{{"event", "start"}, {"schema", 1}, {"program", "vantrel-update-cli"}}));
    EXPECT_EQ(events[1], (nlohmann::json{{"event", "report"}, {"text", "Start at serial port \"SIM1\""}}));
    const std::string verdict = "Update Vantrel Base V1.06 succesfully completed.";
    EXPECT_EQ(events.back(),
              (nlohmann::json{
                  {"event", "exit"}, {"status", 0}, {"failure", nullptr}, {"reason", verdict}, {"detail", nullptr}}));
    // Each line keeps its fields in the documented order: the event, its time, then its own.
    EXPECT_NE(run.out.find("{\"event\":\"notification\",\"time\":\""), std::string::npos);
    EXPECT_NE(run.out.find("\",\"code\":0,\"name\":\"ncDone\",\"value\":0}\n"), std::string::npos);
    // The done notification comes before the verdict it causes, and the verdict goes to all three channels.
    const auto done = std::find(
        events.begin(), events.end(),
        nlohmann::json{{"event", "notification"}, {"code", 0}, {"name", "ncDone"}, {"value", 0}});
    ASSERT_NE(done, events.end());
    EXPECT_EQ(*(done + 1), (nlohmann::json{{"event", "report"}, {"text", verdict}}));
    EXPECT_EQ(*(done + 2), (nlohmann::json{{"event", "status"}, {"text", verdict}}));
    EXPECT_EQ(*(done + 3), (nlohmann::json{{"event", "message"}, {"text", verdict}}));
}

TEST_F(CliTest, JsonReadersGetTheOutcomeAlsoWithoutAJob) {
    SimulatedLine line;
    const CliRun run = Cli({"--port", line.Port(), "--json"});
    EXPECT_EQ(run.status, kExitUsage);
    const auto events = Untimed(run.out);
    ASSERT_EQ(events.size(), 2u) << run.out;
    EXPECT_EQ(events[0]["event"], "start");
    EXPECT_EQ(events[1], (nlohmann::json{{"event", "exit"},
                                         {"status", kExitUsage},
                                         {"failure", "not-confirmed"},
                                         {"reason",
                                          "this update needs a confirmation (Do you save your measurements ? Do "
                                          "you really continue without saving ?); answer it with --yes when no "
                                          "terminal is attached"},
                                         {"detail", nullptr}}));
}

TEST_F(CliTest, HumanOutputIsTheReportAndTheVerdict) {
    SimulatedLine line;
    // Start-up keys the window would ignore: the job runs, and the operator learns they did nothing.
    const CliRun run = Cli({"--port", line.Port(), "--yes", "xx:+", "mf:maybe"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "vantrel-update-cli: the start-up key 'xx:+' is not one of cc:- cf:- ci:- mf:+ mf:- f:+ f:- and is "
              "ignored\n"
              "vantrel-update-cli: the start-up key 'mf:maybe' is not one of cc:- cf:- ci:- mf:+ mf:- f:+ f:- and is "
              "ignored\n");
    EXPECT_NE(run.out.find(" -> Start at serial port \"SIM1\"\n"), std::string::npos);
    EXPECT_NE(run.out.find(" -> Vector table is saved.\n"), std::string::npos);
    // The verdict once as a report line, once as the plain message.
    EXPECT_NE(run.out.find(" -> Update Vantrel Base V1.06 succesfully completed.\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nUpdate Vantrel Base V1.06 succesfully completed.\n"), std::string::npos);
}

TEST_F(CliTest, ExitStatusFollowsTheVerdict) {
    struct Case {
        const char* what;
        LoggerConfig logger;
        std::vector<std::string> extra;
        int status;
    };
    std::vector<Fault> silent;
    const Case cases[] = {
        {"logger error",
         WithFaults({{.kind = FaultKind::ErrorBit, .request = RequestKind::Identify}}),
         {},
         link::feLoggerError},
        {"not verified",
         WithFaults({{.kind = FaultKind::OtherClassAfterStart, .value = 26146}}),
         {},
         link::feNotVerified},
        {"no matching image", WithFaults({}, 23), {}, link::feNoMatchingImage},
        {"retries bounded",
         WithFaults({{.kind = FaultKind::NoReply, .request = RequestKind::Identify}}),
         {"--max-restarts", "2"},
         link::feNoAnswer},
        {"programming repeats bounded",
         WithFaults({{.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 7, .always = true}}),
         {"--max-restarts", "1"},
         link::feProgramming},
        {"a programming error once is repeated and verified",
         WithFaults({{.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 7}}),
         {},
         0},
    };
    for (const Case& c : cases) {
        SimulatedLine line(c.logger);
        std::vector<std::string> args{"--port", line.Port(), "--yes"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
    }
}

TEST_F(CliTest, MissingPortSaysWhy) {
    SimulatedLine line;
    const CliRun run = Cli({"--port", "COM99", "--yes"});
    EXPECT_EQ(run.status, link::feNoPort);
    EXPECT_NE(run.out.find("Aborted because serial port \"COM99\" is not ready!"), std::string::npos);
    EXPECT_NE(run.err.find("no such device"), std::string::npos) << run.err;
    // JSON readers get the reason too, in the exit event.
    const nlohmann::json exit = JsonLines(Cli({"--port", "COM99", "--yes", "--json"}).out).back();
    EXPECT_EQ(exit["reason"], "Aborted because serial port \"COM99\" is not ready!");
    EXPECT_NE(exit["detail"].get<std::string>().find("no such device"), std::string::npos) << exit;
}

// Every row also asks for JSON Lines: the reader gets the exit event even when nothing else was printed.
TEST_F(CliTest, UsageErrorsStopBeforeThePortIsOpened) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool internal;
        std::string says;
    };
    const fs::path fifo = config_ / "log.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A port as a file of its own (any node does: the name is what is compared) and a link to it.
    const std::string port = (config_ / "ttyV0").string();
    std::ofstream(port).put('\0');
    fs::create_symlink(port, config_ / "by-id");
    const Case cases[] = {
        {"no port", {"--yes"}, false, "--port is required"},
        {"port twice", {"--port", "SIM1", "--port", "SIM1", "--yes"}, false, "SIM1 is named twice"},
        {"port with an empty value", {"--port=", "--yes"}, false, "--port needs a value"},
        {"port named empty", {"--port", "", "--yes"}, false, "--port needs the name of a port"},
        {"port without value", {"--yes", "--port"}, false, "--port"},
        {"file without value", {"--port", "SIM1", "f:+", "--file"}, true, "--file"},
        {"file named empty", {"--port", "SIM1", "--file", "", "f:+"}, true, "--file needs the name of an image file"},
        {"file outside internal mode",
         {"--port", "SIM1", "--file", "x.txt", "f:+"},
         false,
         "--file needs internal mode"},
        {"file without f:+", {"--port", "SIM1", "--file", "x.txt"}, true, "--file needs internal mode"},
        {"read info only outside internal mode",
         {"--port", "SIM1", "--yes", "--read-info-only"},
         false,
         "--read-info-only needs internal mode"},
        {"key without colon", {"--port", "SIM1", "--yes", "cc"}, true, "not a KEY:VALUE"},
        {"unknown option", {"--port", "SIM1", "--bogus"}, false, "--bogus"},
        {"bound without value", {"--port", "SIM1", "--yes", "--max-restarts"}, false, "--max-restarts"},
        {"negative bound", {"--port", "SIM1", "--max-restarts", "-1"}, false, "in decimal digits, not '-1'"},
        {"hexadecimal bound", {"--port", "SIM1", "--max-restarts", "0x2"}, false, "in decimal digits, not '0x2'"},
        {"bound beyond range",
         {"--port", "SIM1", "--max-restarts", std::string(309, '9')},
         false,
         "from 0 to 2147483647"},
        {"both listings", {"--list-ports", "--list-images"}, false, "two runs, not one"},
        {"image listing with a port", {"--list-images", "--port", "SIM1"}, false, "does not go with"},
        {"port listing with a port", {"--list-ports", "--port", "SIM1"}, false, "does not go with"},
        {"serial number and a listing", {"--list-ports", "--port-serial", "A1"}, false, "does not go with"},
        {"serial number empty", {"--port-serial", "", "--yes"}, false, "--port-serial needs the serial number"},
        {"serial number without value", {"--yes", "--port-serial"}, false, "--port-serial"},
        {"serial number with an empty value", {"--port-serial=", "--yes"}, false, "--port-serial needs a value"},
        {"serial number of no adapter",
         {"--port-serial", "C3", "--yes"},
         false,
         "no logger port's adapter has the serial number 'C3'; the logger ports: /dev/ttyUSB0 (serial number A1), "
         "/dev/ttyUSB1 (serial number B2), /dev/ttyUSB2 (serial number B2)"},
        {"serial number of two adapters",
         {"--port-serial", "B2", "--yes"},
         false,
         "more than one adapter has the serial number 'B2' (the logger ports: /dev/ttyUSB1 (serial number B2), "
         "/dev/ttyUSB2 (serial number B2)); name the port with --port"},
        {"wait of nothing",
         {"--port", "SIM1", "--yes", "--wait-for-port", "0"},
         false,
         "--wait-for-port takes a number of seconds from 1 to 86400 in decimal digits, not '0'"},
        {"negative wait", {"--port", "SIM1", "--yes", "--wait-for-port", "-5"}, false, "not '-5'"},
        {"wait in words", {"--port", "SIM1", "--yes", "--wait-for-port", "ten"}, false, "not 'ten'"},
        {"wait of a fraction", {"--port", "SIM1", "--yes", "--wait-for-port", "1.5"}, false, "not '1.5'"},
        {"wait beyond a day", {"--port", "SIM1", "--yes", "--wait-for-port", "86401"}, false, "not '86401'"},
        {"wait without value", {"--port", "SIM1", "--yes", "--wait-for-port"}, false, "--wait-for-port"},
        {"image listing of a file outside internal mode",
         {"--list-images", "--file", "x.txt"},
         false,
         "--list-images --file needs internal mode"},
        {"unreadable image file",
         {"--port", "SIM1", "--file", "/nonexistent/image.txt", "f:+"},
         true,
         "/nonexistent/image.txt"},
        {"no terminal to confirm", {"--port", "SIM1"}, false, "--yes"},
        {"time limit of 0", {"--port", "SIM1", "--yes", "--timeout", "0"}, false, "greater than 0"},
        {"negative time limit", {"--port", "SIM1", "--yes", "--timeout", "-5"}, false, "not '-5'"},
        {"time limit in words", {"--port", "SIM1", "--yes", "--timeout", "ten"}, false, "not 'ten'"},
        {"time limit without value", {"--port", "SIM1", "--yes", "--timeout="}, false, "--timeout needs a value"},
        {"log in a missing folder",
         {"--port", "SIM1", "--yes", "--log", "/nonexistent/vantrel.log"},
         false,
         "cannot write the log file /nonexistent/vantrel.log: No such file or directory"},
        {"log that is a folder", {"--port", "SIM1", "--yes", "--log", "/"}, false, "cannot write the log file /"},
        {"log with a listing", {"--list-images", "--log", "x.log"}, false, "do not go with"},
        // The log would be written onto the logger's line, whatever name it is given.
        {"log on the port",
         {"--port", port, "--yes", "--log", port},
         false,
         "--log " + port + " names the port being updated (" + port + ")"},
        {"log on the port through a link",
         {"--port", port, "--yes", "--log", (config_ / "by-id").string()},
         false,
         "names the port being updated"},
        {"log on the port under another path",
         {"--port", (config_ / "by-id").string(), "--yes", "--log", (config_ / "." / "ttyV0").string()},
         false,
         "names the port being updated"},
        {"log on a port not there yet",
         {"--port", "ttyVANTREL9", "--yes", "--wait-for-port", "5", "--log", "/dev/../dev/ttyVANTREL9"},
         false,
         "names the port being updated (ttyVANTREL9)"},
        {"log on the adapter named by its serial number",
         {"--port-serial", "A1", "--yes", "--log", "/dev/ttyUSB0"},
         false,
         "names the port being updated (/dev/ttyUSB0)"},
        // Waiting for a reader of a FIFO would hold the run for ever, before any time limit runs.
        {"log that is a FIFO",
         {"--port", "SIM1", "--yes", "--timeout", "5", "--log", fifo.string()},
         false,
         "cannot write the log file " + fifo.string() + ": neither a regular file nor a character device"},
    };
    FakePorts ports;
    ports.entries = {UsbPort("/dev/ttyUSB0", "A1"), UsbPort("/dev/ttyUSB1", "B2"), UsbPort("/dev/ttyUSB2", "B2")};
    app::ScopedPortSource usePorts(ports);
    for (const Case& c : cases) {
        if (c.internal) InternalMode();
        SimulatedLine line;
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, kExitUsage) << c.what;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << run.err;
        const auto events = Untimed(run.out);
        ASSERT_EQ(events.size(), 2u) << c.what << ": " << run.out;
        EXPECT_EQ(events[1]["status"], kExitUsage) << c.what;
        EXPECT_NE(events[1]["reason"].get<std::string>().find(c.says), std::string::npos) << c.what;
        EXPECT_FALSE(line.Serial().IsOpen()) << c.what;
        EXPECT_TRUE(line.Serial().Trace().Entries().empty()) << c.what;
        fs::remove(config_ / "Velmora" / "Qel.conf");
    }
}

TEST_F(CliTest, HelpIsOnlyTheHelp) {
    const CliRun run = Cli({"--json", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("\"event\""), std::string::npos) << run.out;
    // Every value is named by what it means, which the manual page shows as it is.
    for (const char* option : {"--port PORT", "--port-serial SERIAL", "--wait-for-port SECONDS", "--file IMAGE",
                               "--max-restarts N", "--log FILE", "--timeout SECONDS", "KEY:VALUE"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(run.out.find("TEXT"), std::string::npos) << run.out;
}

TEST_F(CliTest, VersionIsOnlyTheVersion) {
    const CliRun run = Cli({"--json", "--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "vantrel-update-cli " + std::string(kVersion) + "\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliTest, ConfirmationOnATerminal) {
    struct Case {
        const char* answer;
        std::vector<std::string> keys;
        bool internal;
        int status;
        const char* asked;
    };
    const Case cases[] = {
        {"n\n", {}, false, kExitUsage, "Do you save your measurements ?"},
        {"\n", {}, false, kExitUsage, "Do you really continue without saving ?"},
        {"y\n", {}, false, 0, "Do you save your measurements ?"},
        {"n\n", {"mf:+"}, true, kExitUsage, "This update clears all measurements!"},
        {"", {}, true, 0, nullptr},  // internal mode asks nothing
    };
    for (const Case& c : cases) {
        if (c.internal) InternalMode();
        SimulatedLine line;
        std::vector<std::string> args{"--port", line.Port()};
        args.insert(args.end(), c.keys.begin(), c.keys.end());
        const CliRun run = Cli(args, c.answer, true);
        EXPECT_EQ(run.status, c.status) << c.answer;
        if (c.asked != nullptr) {
            EXPECT_NE(run.err.find(c.asked), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err.find("[y/N]"), std::string::npos) << run.err;
        }
        fs::remove(config_ / "Velmora" / "Qel.conf");
    }
}

TEST_F(CliTest, ReadInfoOnlyInInternalMode) {
    InternalMode();
    LoggerConfig config;
    config.initialMode = sim::Mode::Bootloader;
    SimulatedLine line(config);
    const CliRun run = Cli({"--port", line.Port(), "--read-info-only"});
    EXPECT_EQ(run.status, link::feInfoOnly);
    EXPECT_NE(run.out.find("Only read update info!"), std::string::npos);
    EXPECT_TRUE(line.Serial().Trace().Matching("record: srBeginProgramming").empty());
}

TEST_F(CliTest, ListImagesPutsTheFileFirst) {
    InternalMode();
    const fs::path image = fs::path(VANTREL_SOURCE_DIR) / "firmware/images/Vantrel_V2_08_PF21_PR48_BL3_0.txt";
    const CliRun run = Cli({"--list-images", "--file", image.string(), "f:+"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> rows;
    for (std::string row; std::getline(lines, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].rfind("Firmware", 0), 0u);
    EXPECT_NE(rows[1].find("01.12.2021 09:04:24"), std::string::npos);
    EXPECT_NE(rows[2].find("01.12.2021 09:04:24"), std::string::npos);
    EXPECT_NE(rows[5].find("03.06.2018 18:51:00"), std::string::npos);
}

// A cancel request at each phase of a job, given the way the signal handler gives it: the verdict, and
// the logger as the operator finds it afterwards.
TEST_F(CliTest, CancelAtEachPhase) {
    struct Case {
        const char* phase;
        const char* at;  // the unit on the wire during which the request comes; nullptr: before the start
        int nth;
        std::vector<Fault> faults;
        sim::Mode mode;          // the logger afterwards
        bool application;        // a runnable application on it
        std::size_t begins;      // srBeginProgramming requests: each one erases the application
        std::size_t zeroFrames;  // two per worker that opened the port
        bool started = false;    // the report and stderr say the new firmware runs unverified
    };
    const std::vector<Fault> wrongEcho{
        {.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 7, .always = true}};
    std::vector<Fault> silent;
    for (int nth = 1; nth <= 5; ++nth)
        silent.push_back({.kind = FaultKind::NoReply, .request = RequestKind::Identify, .nth = nth});
    const Case cases[] = {
        {"before the start", nullptr, 0, {}, sim::Mode::Application, true, 0, 0},
        {"identification", "frame: cmdIdentify", 1, {}, sim::Mode::Application, true, 0, 2},
        {"programming", "record: data block", 50, {}, sim::Mode::Bootloader, false, 1, 2},
        // The transfer in flight ends in the programming error: the repeat it causes must not erase again.
        {"programming-error restart", "record: data block", 7, wrongEcho, sim::Mode::Bootloader, false, 1, 2},
        // Cancelled while the restart waits 1500 ms: the new job ends before it opens the port.
        {"communication restart wait", "frame: cmdIdentify", 5, silent, sim::Mode::Application, true, 0, 2},
        // The new firmware already runs; only its verification is cancelled.
        {"wait after the start request", "record: srStartApplication", 1, {}, sim::Mode::Application, true, 1, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        SimulatedLine line(WithFaults(c.faults));
        int seen = 0;
        line.Serial().Trace().SetSink([&](const sim::TraceEntry& entry) {
            if (c.at != nullptr && entry.direction == sim::Direction::ToLogger && entry.meaning.rfind(c.at, 0) == 0 &&
                ++seen == c.nth) {
                link::CancelRequested = true;
            }
        });
        if (c.at == nullptr) link::CancelRequested = true;
        const CliRun run = Cli({"--port", line.Port(), "--yes"});
        EXPECT_EQ(run.status, link::feCancelled) << run.out;
        EXPECT_NE(run.out.find("\nProcess cancelled!\n"), std::string::npos);
        EXPECT_EQ(run.out.find("-> The start of the new firmware was requested; whether it runs was not checked.\n") !=
                      std::string::npos,
                  c.started)
            << run.out;
        EXPECT_EQ(run.err.find(": the start of the new firmware was requested; whether it runs was not checked\n") !=
                      std::string::npos,
                  c.started)
            << run.err;
        line.Serial().Inspect([&](sim::LoggerModel& logger) {
            EXPECT_EQ(logger.CurrentMode(), c.mode);
            EXPECT_EQ(logger.ApplicationValid(), c.application);
            return 0;
        });
        EXPECT_EQ(line.Serial().Trace().Matching("record: srBeginProgramming").size(), c.begins);
        EXPECT_EQ(line.Serial().Trace().Matching("frame: zero").size(), c.zeroFrames);
        line.Serial().Trace().SetSink(nullptr);
    }
}

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

// An image file of the built-in image 2 (platform 15, print 39) with one change, for the checks that only
// an image file can fail.
fs::path ImageFile(const fs::path& folder, const std::function<void(std::vector<std::string>&)>& change) {
    std::ifstream in(fs::path(VANTREL_SOURCE_DIR) / "firmware/images/Vantrel_V1_10_PF15_PR39_BL3_0.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    change(lines);
    const fs::path path = folder / "image.txt";
    std::ofstream out(path, std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
    return path;
}

// Every event of every kind of run, held to the documented schema: a whole update, each failure code, the
// run's own failures, the listings. The exit event names the failure and gives the reason.
TEST_F(CliTest, JsonOutputFollowsTheDocumentedSchema) {
    const testing::JsonSchema schema = testing::JsonSchema::FromFile(std::string(VANTREL_SOURCE_DIR) +
                                                                     "/docs/json-events.schema.json");
    const auto inBootloader = [](LoggerConfig config) {
        config.initialMode = sim::Mode::Bootloader;
        return config;
    };
    LoggerConfig print39;
    print39.identity.print = 39;
    print39.initialMode = sim::Mode::Bootloader;
    LoggerConfig foreign;
    foreign.identity.applicationClass = 26146;
    LoggerConfig paced;
    paced.timing.paced = true;
    const fs::path badLastLine = ImageFile(config_, [](auto& lines) { lines.pop_back(); });
    fs::create_directories(config_ / "broken");
    const fs::path brokenRecord = ImageFile(config_ / "broken", [](auto& lines) { lines[20][5] = 'G'; });

    struct Case {
        const char* what;
        LoggerConfig logger;
        std::vector<std::string> args;  // PORT stands for the simulated logger's port
        int status;
        const char* failure;  // nullptr: the exit event's failure is null
        bool internal = false;
        bool unplug = false;
        bool cancelFirst = false;
    };
    const Case cases[] = {
        {"verified update", {}, {"--port", "PORT", "--yes"}, 0, nullptr},
        {"missing port", {}, {"--port", "COM99", "--yes"}, link::feNoPort, "feNoPort"},
        {"adapter pulled",
         WithFaults({{.kind = FaultKind::DeadLine, .request = RequestKind::DataRecord, .nth = 30}}),
         {"--port", "PORT", "--yes"},
         link::feIo,
         "feIo",
         false,
         true},
        {"cancelled", {}, {"--port", "PORT", "--yes"}, link::feCancelled, "feCancelled", false, false, true},
        {"silent logger",
         WithFaults({{.kind = FaultKind::NoReply, .request = RequestKind::Identify}}),
         {"--port", "PORT", "--yes", "--max-restarts", "0"},
         link::feNoAnswer,
         "feNoAnswer"},
        {"foreign logger", foreign, {"--port", "PORT", "--yes"}, link::feNoUpdate, "feNoUpdate"},
        {"logger error",
         WithFaults({{.kind = FaultKind::ErrorBit, .request = RequestKind::Identify}}),
         {"--port", "PORT", "--yes"},
         link::feLoggerError,
         "feLoggerError"},
        {"image without its last line",
         print39,
         {"--port", "PORT", "--file", badLastLine.string(), "f:+"},
         link::feBadLastLine,
         "feBadLastLine",
         true},
        {"record that does not convert",
         print39,
         {"--port", "PORT", "--file", brokenRecord.string(), "f:+"},
         link::feConversion,
         "feConversion",
         true},
        {"programming errors",
         WithFaults({{.kind = FaultKind::WrongEcho, .request = RequestKind::DataRecord, .nth = 7, .always = true}}),
         {"--port", "PORT", "--yes", "--max-restarts", "1"},
         link::feProgramming,
         "feProgramming"},
        {"not verified",
         WithFaults({{.kind = FaultKind::OtherClassAfterStart, .value = 26146}}),
         {"--port", "PORT", "--yes"},
         link::feNotVerified,
         "feNotVerified"},
        {"invalid answer",
         inBootloader(WithFaults({{.kind = FaultKind::NoReply, .request = RequestKind::Identity}})),
         {"--port", "PORT", "--yes"},
         link::feInvalidAnswer,
         "feInvalidAnswer"},
        {"no matching image",
         WithFaults({}, 23),
         {"--port", "PORT", "--yes"},
         link::feNoMatchingImage,
         "feNoMatchingImage"},
        {"read info only",
         inBootloader({}),
         {"--port", "PORT", "--read-info-only"},
         link::feInfoOnly,
         "feInfoOnly",
         true},
        {"time limit", paced, {"--port", "PORT", "--yes", "--timeout", "30"}, app::kExitTimedOut, "timeout"},
        {"usage error", {}, {"--yes"}, kExitUsage, "usage"},
        {"unreadable image file",
         {},
         {"--port", "PORT", "--file", "/nonexistent/image.txt", "f:+"},
         kExitUsage,
         "image-file",
         true},
        {"no confirmation", {}, {"--port", "PORT"}, kExitUsage, "not-confirmed"},
        {"log that cannot be written",
         {},
         {"--port", "PORT", "--yes", "--log", "/nonexistent/x.log"},
         kExitUsage,
         "log-file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.internal) InternalMode();
        sim::InProcessSerial::Options options;
        options.unplugOnPowerLoss = c.unplug;
        SimulatedLine line(c.logger, options);
        std::vector<std::string> args{"--json"};
        for (const auto& arg : c.args) args.push_back(arg == "PORT" ? line.Port() : arg);
        if (c.cancelFirst) link::CancelRequested = true;
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        const auto events = JsonLines(run.out);
        ASSERT_GE(events.size(), 2u);
        for (const auto& event : events) {
            for (const std::string& fault : schema.Check(event, "/$defs/event")) ADD_FAILURE() << fault;
        }
        EXPECT_EQ(events.front()["event"], "start");
        const nlohmann::json& exit = events.back();
        EXPECT_EQ(exit["event"], "exit");
        EXPECT_EQ(exit["status"], c.status);
        EXPECT_EQ(exit["failure"], c.failure != nullptr ? nlohmann::json(c.failure) : nlohmann::json(nullptr));
        EXPECT_TRUE(exit["reason"].is_string()) << exit;
        if (c.status == link::feConversion) {
            // The broken record is the file's line 21 and, after the eight header lines, record 12: the
            // notification keeps the index, the report names the line to look at.
            const auto has = [&](const nlohmann::json& wanted) {
                return std::any_of(events.begin(), events.end(), [&](const nlohmann::json& event) {
                    for (const auto& [key, value] : wanted.items()) {
                        if (!event.contains(key) || event[key] != value) return false;
                    }
                    return true;
                });
            };
            EXPECT_TRUE(has({{"event", "notification"}, {"name", "ncConversionError"}, {"value", 12}})) << run.out;
            EXPECT_TRUE(has({{"event", "report"}, {"text", "Aborted because conversion error at line  21 !"}}))
                << run.out;
        }
        fs::remove(config_ / "Velmora" / "Qel.conf");
    }

    // The listings: one document each.
    InternalMode();
    const struct {
        std::vector<std::string> args;
        const char* definition;
    } listings[] = {
        {{"--list-ports", "--json"}, "/$defs/port-list"},
        {{"--list-images", "--json", "--file",
          (fs::path(VANTREL_SOURCE_DIR) / "firmware/images/Vantrel_V2_08_PF21_PR48_BL3_0.txt").string(), "f:+"},
         "/$defs/image-list"},
    };
    FakePorts ports;
    ports.entries = {
        UsbPort("/dev/ttyUSB0", "A10K3X9Q", "/dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0"),
        {"COM7", "\\Device\\VCP0", ""}};
    app::ScopedPortSource usePorts(ports);
    for (const auto& listing : listings) {
        const CliRun run = Cli(listing.args);
        ASSERT_EQ(run.status, 0) << run.err;
        const nlohmann::json document = nlohmann::json::parse(run.out);
        for (const std::string& fault : schema.Check(document, listing.definition)) ADD_FAILURE() << fault;
        for (const std::string& fault : schema.Check(document)) ADD_FAILURE() << fault;
    }
}

// The schema's names are the program's: every notification and failure code the program names, and only those.
TEST_F(CliTest, SchemaNamesEveryCode) {
    std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/docs/json-events.schema.json");
    const nlohmann::json schema = nlohmann::json::parse(in);
    const auto names = [](const nlohmann::json& list) {
        std::set<std::string> all;
        for (const auto& name : list) {
            if (name.is_string()) all.insert(name.get<std::string>());
        }
        return all;
    };
    std::set<std::string> notifications, failures;
    for (std::uint32_t code = 0; code < 1000; ++code) {
        if (const char* name = engine::NotifyCodeName(code)) notifications.insert(name);
        if (const char* name = link::FailureCodeName(static_cast<std::int32_t>(code))) failures.insert(name);
    }
    EXPECT_EQ(names(schema["$defs"]["notification"]["properties"]["name"]["enum"]), notifications);
    EXPECT_EQ(names(schema["$defs"]["failure-code-name"]["enum"]), failures);
}

// The job runs out of its time: cancelled as a Cancel would (the logger waits in its bootloader), with its
// own status, in virtual time on a line paced at 9600 baud.
TEST_F(CliTest, TimeLimitCancelsTheJob) {
    LoggerConfig paced;
    paced.timing.paced = true;
    SimulatedLine line(paced);
    const auto start = line.Clock().Now();
    const CliRun run = Cli({"--port", line.Port(), "--yes", "--timeout", "60"});
    EXPECT_EQ(run.status, app::kExitTimedOut);
    EXPECT_NE(run.out.find("\nProcess cancelled!\n"), std::string::npos);
    EXPECT_NE(run.err.find("the job did not finish within 60 s"), std::string::npos) << run.err;
    // Stopped soon after the limit, well before the whole update's 480 s (the worker runs ahead of the
    // console in virtual time, so "soon" is generous).
    EXPECT_LT(line.Clock().Now() - start, std::chrono::seconds(240));
    line.Serial().Inspect([](sim::LoggerModel& logger) {
        EXPECT_EQ(logger.CurrentMode(), sim::Mode::Bootloader);
        return 0;
    });

    // A limit the job stays within changes nothing.
    SimulatedLine quick;
    EXPECT_EQ(Cli({"--port", quick.Port(), "--yes", "--timeout", "3600"}).status, 0);
}

// --log: the report with the date and time on every line and a summary line a job, appended; a log that
// fills the disk lets the job end and says so.
TEST_F(CliTest, LogKeepsTheReportAndASummaryLine) {
    const fs::path log = config_ / "jobs.log";
    // A line a killed run left without its newline stays a line of its own.
    const std::string unfinished = "2026-01-01T00:00:00.000+00:00 -> Progress 4";
    std::ofstream(log) << unfinished;
    {
        LoggerConfig older;
        older.identity.applicationVersion = 0x0105;
        SimulatedLine line(older);
        ASSERT_EQ(Cli({"--port", line.Port(), "--yes", "--log", log.string()}).status, 0);
    }
    {
        SimulatedLine line(WithFaults({{.kind = FaultKind::ErrorBit, .request = RequestKind::Identify}}));
        ASSERT_EQ(Cli({"--port", line.Port(), "--yes", "--json", "--log", log.string()}).status, link::feLoggerError);
    }
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::regex stamped(
        "^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}[+-][0-9]{2}:[0-9]{2} .+");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), unfinished);
    lines.erase(lines.begin());
    std::vector<std::string> summaries;
    for (const auto& line : lines) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        if (line.find(" job start=") != std::string::npos) summaries.push_back(line);
    }
    ASSERT_EQ(summaries.size(), 2u);
    // Each job's summary is its last line, after its verdict.
    EXPECT_EQ(lines.back(), summaries[1]);
    const auto firstSummary = std::find(lines.begin(), lines.end(), summaries[0]);
    ASSERT_NE(firstSummary, lines.begin());
    EXPECT_NE(std::prev(firstSummary)->find("-> Update Vantrel Base V1.06 succesfully completed."), std::string::npos)
        << *std::prev(firstSummary);
    EXPECT_NE(lines.front().find(" port=SIM1 -> Start at serial port \"SIM1\""), std::string::npos) << lines.front();
    // Every line names its port: the jobs of several loggers write one log.
    for (const auto& line : lines) EXPECT_NE(line.find(" port=SIM1 "), std::string::npos) << line;
    for (const char* field :
         {" port=SIM1 ", " adapter=- ", " class-before=26145 ", " version-before=1.05 ", " class-after=26145 ",
          " version-after=1.06 ", " platform=15 ", " print=19 ", " image=\"Vantrel Base V1.06\" ",
          " verdict=\"Update Vantrel Base V1.06 succesfully completed.\" ", " status=0 ", " restarts=0"}) {
        EXPECT_NE(summaries[0].find(field), std::string::npos) << field << " in " << summaries[0];
    }
    EXPECT_NE(summaries[1].find(" verdict=\"Aborted because the logger is not ready!\" status=41 "), std::string::npos)
        << summaries[1];
    EXPECT_NE(summaries[1].find(" image=- "), std::string::npos) << summaries[1];

    // A full disk while the job runs.
    SimulatedLine line;
    const CliRun full = Cli({"--port", line.Port(), "--yes", "--json", "--log", "/dev/full"});
    EXPECT_EQ(full.status, 0);
    EXPECT_NE(full.err.find("the log file /dev/full could not be written (No space left on device)"), std::string::npos)
        << full.err;
    EXPECT_EQ(JsonLines(full.out).back()["log_error"], "No space left on device");
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

// Each logger port on a line of its own, with what its adapter says about itself under it; a port whose
// adapter says nothing (a Windows driver that does not tell) is its name alone.
TEST_F(CliTest, PortListShowsEachAdapter) {
    FakePorts ports;
    ports.entries = {
        UsbPort("/dev/ttyUSB0", "A10K3X9Q", "/dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0"),
        {"/dev/ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0", ""},
        {"COM7", "\\Device\\VCP0", ""},
    };
    ports.entries[0].identity.product = "Vantrel\x1b[2J";
    app::ScopedPortSource usePorts(ports);
    const CliRun run = Cli({"--list-ports"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "/dev/ttyUSB0\n"
              "  by-id          /dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0\n"
              "  USB ID         0403:6001\n"
              "  manufacturer   Velmora\n"
              "  product        Vantrel\\x1b[2J\n"
              "  serial number  A10K3X9Q\n"
              "COM7\n");

    // The same facts under their JSON names; what an adapter does not tell is left out.
    const CliRun json = Cli({"--list-ports", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(nlohmann::json::parse(json.out)["ports"], nlohmann::json::parse(R"([
        {"path": "/dev/ttyUSB0", "by_id": "/dev/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0",
         "usb_id": "0403:6001", "manufacturer": "Velmora", "product": "Vantrel\u001b[2J", "serial_number": "A10K3X9Q"},
        {"path": "COM7"}])"));
}

TEST_F(CliTest, PortChosenByItsAdaptersSerialNumber) {
    FakePorts ports;
    ports.entries = {UsbPort("/dev/ttyUSB0", "A1"), UsbPort("SIM1", "B2")};
    app::ScopedPortSource usePorts(ports);
    SimulatedLine line;
    const CliRun run = Cli({"--port-serial", "B2", "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Start at serial port \"SIM1\""), std::string::npos);
}

// The wait for a port on the virtual clock: the port comes within it, or the job finds it not ready.
TEST_F(CliTest, WaitForPort) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int hiddenLooks;  // looks at the port list before the adapter is there
        int status;
        std::string says;
        std::size_t polls;       // quarter-second pauses before the job
        bool cancelled = false;  // a cancel request came before the wait
        bool inDetail = false;   // JSON readers find what stderr says in the exit event's detail
    };
    const fs::path present = config_ / "ttyUSB4";
    std::ofstream(present).put('\0');
    const fs::path absent = config_ / "no-such-port";
    const Case cases[] = {
        {"port already there", {"--port", present.string()}, 0, 0, "", 0},
        {"port never comes", {"--port", absent.string()}, 0, link::feNoPort, "did not appear within 3 s", 12},
        {"adapter plugged in after a while", {"--port-serial", "B2"}, 9, 0, "", 9},
        {"adapter never plugged in",
         {"--port-serial", "B2"},
         1000,
         link::feNoPort,
         "no adapter with the serial number 'B2' appeared within 3 s",
         12,
         false,
         true},
        // The time limit bounds the whole run: it ends a longer wait.
        {"time limit before the port comes",
         {"--port", absent.string(), "--timeout", "2"},
         0,
         app::kExitTimedOut,
         "did not appear within the time limit of 2 s; no job was started",
         8,
         false,
         true},
        {"time limit before the adapter comes",
         {"--port-serial", "B2", "--timeout", "1.5"},
         1000,
         app::kExitTimedOut,
         "the adapter with the serial number 'B2' did not appear within the time limit of 1.5 s",
         6,
         false,
         true},
        {"time limit longer than the wait", {"--port-serial", "B2", "--timeout", "60"}, 9, 0, "", 9},
        // The same words whichever way the port was named.
        {"cancelled while waiting for a port",
         {"--port", absent.string()},
         0,
         link::feCancelled,
         "cancelled while waiting for " + absent.string(),
         0,
         true,
         true},
        {"cancelled while waiting for an adapter",
         {"--port-serial", "B2"},
         1000,
         link::feCancelled,
         "cancelled while waiting for the adapter with the serial number 'B2'",
         0,
         true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePorts ports;
        ports.entries = {UsbPort(present.string(), "B2")};
        ports.hiddenLooks = c.hiddenLooks;
        app::ScopedPortSource usePorts(ports);
        sim::InProcessSerial::Options options;
        options.portName = present.string();
        SimulatedLine line({}, options);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--yes", "--wait-for-port", "3"});
        link::CancelRequested = c.cancelled;
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.says.empty()) {
            EXPECT_TRUE(run.err.empty()) << run.err;
        } else {
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        }
        const std::vector<link::Micros> sleeps = line.Clock().Sleeps();
        const auto polls = std::find_if(sleeps.begin(), sleeps.end(),
                                        [](link::Micros pause) { return pause != std::chrono::milliseconds(250); });
        EXPECT_EQ(static_cast<std::size_t>(polls - sleeps.begin()), c.polls);
        if (c.inDetail) {
            ports.looks = 0;
            link::CancelRequested = c.cancelled;
            args.push_back("--json");
            const nlohmann::json exit = JsonLines(Cli(args).out).back();
            EXPECT_EQ(exit["status"], c.status);
            EXPECT_NE(exit["detail"].get<std::string>().find(c.says), std::string::npos) << exit;
        }
    }
}

// A converter whose latency timer holds the logger's answers back is named once, before the job, with what
// it costs and how to lower it.
TEST_F(CliTest, SlowConverterLatencyIsPointedOut) {
    const struct {
        const char* timer;  // nullptr: the port has no latency timer
        bool told;
    } cases[] = {{"16\n", true}, {"3", true}, {"2", false}, {"1", false}, {"garbage", false}, {nullptr, false}};
    const fs::path tty = config_ / "dev" / "ttyUSB7";
    fs::create_directories(tty.parent_path());
    std::ofstream(tty).put('\0');
    const fs::path byId = config_ / "dev" / "usb-Velmora_Vantrel_USB_A1-if00-port0";
    fs::create_symlink(tty, byId);
    const fs::path setting = config_ / "sys/bus/usb-serial/devices/ttyUSB7/latency_timer";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timer != nullptr ? c.timer : "none");
        fs::remove_all(config_ / "sys");
        if (c.timer != nullptr) {
            fs::create_directories(setting.parent_path());
            std::ofstream(setting) << c.timer;
        }
        sim::InProcessSerial::Options options;
        options.portName = byId.string();
        SimulatedLine line({}, options);
        const CliRun run = Cli({"--port", byId.string(), "--yes"});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string advice = "latency timer";
        EXPECT_EQ(run.err.find(advice) != std::string::npos, c.told) << run.err;
        if (c.told) {
            EXPECT_EQ(run.err.find(advice), run.err.rfind(advice)) << "said once";
            EXPECT_NE(run.err.find("up to " + std::to_string(std::stoi(c.timer)) + " ms"), std::string::npos);
            EXPECT_NE(run.err.find("the package's udev rule"), std::string::npos);
            EXPECT_NE(run.err.find("echo 1 > /sys/bus/usb-serial/devices/ttyUSB7/latency_timer"), std::string::npos);
        }
    }
}

// Children as a test scripts them: what each prints and how it ends, in the order given.
class FakeChildren final : public ChildRunner {
public:
    bool Start(const std::vector<std::string>& commandLine, std::string& whyNot) override {
        started.push_back(commandLine);
        if (refused.count(started.size() - 1) == 0) return true;
        whyNot = "Too many open files";
        return false;
    }
    std::optional<ChildEvent> Next() override {
        if (script.empty()) return std::nullopt;
        ChildEvent event = script.front();
        script.erase(script.begin());
        return event;
    }
    std::optional<ChildEvent> NextWithin(std::chrono::milliseconds) override { return Next(); }
    int StopRequests() const override { return 0; }
    std::vector<std::vector<std::string>> started;
    std::set<std::size_t> refused;  // the Start calls, counted from 0, that fail
    std::vector<ChildEvent> script;
};

TEST(ManyLoggers, EachChildGetsOnePortAndTheAnsweredConfirmation) {
    const struct {
        std::vector<std::string> commandLine;
        PortChoice port;
        std::vector<std::string> child;
    } cases[] = {
        {{"cli", "--port", "A", "--port=B", "--json", "mf:+"},
         {"--port", "B"},
         {"cli", "--port", "B", "--json", "mf:+", "--yes"}},
        // The parent reads every child's outcome from its exit event.
        {{"cli", "--yes", "--port-serial", "S1", "--port-serial=S2", "--wait-for-port", "5", "--port", "C"},
         {"--port-serial", "S2"},
         {"cli", "--port-serial", "S2", "--yes", "--wait-for-port", "5", "--json"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ChildCommandLine(c.commandLine, c.port), c.child);
}

TEST_F(CliTest, ManyLoggersEachEndOnALineThenATable) {
    FakeChildren children;
    using Kind = ChildEvent::Kind;
    children.script = {
        {Kind::Out, 1, R"({"event":"report","text":"Start at serial port \"/dev/ttyUSB1\""})"},
        {Kind::Out, 0, R"({"event":"report","text":"Start at serial port \"/dev/ttyUSB0\""})"},
        // What a child says passes through the parent to the terminal: a control byte only as text.
        {Kind::Err, 1, "vantrel-update-cli: no such device: /dev/ttyUSB1\x1b[2J"},
        {Kind::Out, 1, R"({"event":"message","text":"Aborted because serial port \"/dev/ttyUSB1\" is not ready!"})"},
        {Kind::Out, 1,
         R"({"event":"exit","status":10,"failure":"feNoPort","reason":"Aborted because serial port \"/dev/ttyUSB1\" is not ready!"})"},
        {Kind::Ended, 1, "", link::feNoPort},
        {Kind::Out, 2, R"({"event":"exit","status":20,"failure":"feCancelled","reason":"Process cancelled!"})"},
        {Kind::Ended, 2, "", link::feCancelled},
        {Kind::Out, 0,
         R"({"event":"exit","status":0,"failure":null,"reason":"Update Vantrel Base V1.06 succesfully completed."})"},
        {Kind::Ended, 0, "", 0},
        // Killed before it could write its exit event: the parent says how it ended.
        {Kind::Out, 3, R"({"event":"report","text":"Start at serial port \"/dev/ttyUSB3\""})"},
        {Kind::Ended, 3, "", 137},
    };
    // The third name is one column narrower than its bytes: the table aligns it by its columns.
    const CliRun run = Cli({"--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB1", "--port", "/dev/ttyÜSB2", "--port",
                            "/dev/ttyUSB3", "--yes"},
                           "", false, {}, {}, &children);
    // The first port on the command line that failed, not the first to fail.
    EXPECT_EQ(run.status, link::feNoPort);
    ASSERT_EQ(children.started.size(), 4u);
    EXPECT_EQ(children.started[2],
              (std::vector<std::string>{children.started[2][0], "--port", "/dev/ttyÜSB2", "--yes", "--json"}));
    EXPECT_EQ(run.out,
              "/dev/ttyUSB1: Aborted because serial port \"/dev/ttyUSB1\" is not ready! (status 10)\n"
              "/dev/ttyÜSB2: Process cancelled! (status 20)\n"
              "/dev/ttyUSB0: Update Vantrel Base V1.06 succesfully completed. (status 0)\n"
              "/dev/ttyUSB3: ended by signal 9 (status 137)\n"
              "\n"
              "port          status  verdict\n"
              "/dev/ttyUSB0  0       Update Vantrel Base V1.06 succesfully completed.\n"
              "/dev/ttyUSB1  10      Aborted because serial port \"/dev/ttyUSB1\" is not ready!\n"
              "/dev/ttyÜSB2  20      Process cancelled!\n"
              "/dev/ttyUSB3  137     ended by signal 9\n");
    EXPECT_EQ(run.err, "vantrel-update-cli: /dev/ttyUSB1: no such device: /dev/ttyUSB1\\x1b[2J\n");
}

// On a terminal each port running has a live line (bar, percent, times) below the rest, redrawn in place;
// stdout gets the same lines as without a terminal.
TEST_F(CliTest, ManyLoggersOnATerminalShowALineAPort) {
    FakeChildren children;
    using Kind = ChildEvent::Kind;
    children.script = {
        {Kind::Out, 0, R"({"event":"progress","percent":50,"elapsed_s":61.0,"remaining_s":30.5})"},
        {Kind::Out, 1, R"({"event":"progress","percent":10,"elapsed_s":12.0,"remaining_s":null})"},
        {Kind::Out, 0, R"({"event":"exit","status":0,"failure":null,"reason":"Done."})"},
        {Kind::Ended, 0, "", 0},
        {Kind::Out, 1, R"({"event":"exit","status":0,"failure":null,"reason":"Done."})"},
        {Kind::Ended, 1, "", 0},
    };
    const CliRun run = Cli({"--port", "A", "--port", "BB", "--yes"}, "", false, {}, {.err = true, .out = true},
                           &children);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "A  [##########          ] 50% 1:01 elapsed, 0:30 left\n"
              "\x1b[1A\r\x1b[J"
              "A  [##########          ] 50% 1:01 elapsed, 0:30 left\n"
              "BB [##                  ] 10% 0:12 elapsed\n"
              "\x1b[2A\r\x1b[J"
              "BB [##                  ] 10% 0:12 elapsed\n"
              "\x1b[1A\r\x1b[J");
    EXPECT_EQ(run.out,
              "A: Done. (status 0)\nBB: Done. (status 0)\n\nport  status  verdict\nA     0       Done.\nBB    0       "
              "Done.\n");
}

TEST_F(CliTest, ManyLoggersAChildThatCouldNotStartTakesNoChildsEvents) {
    FakeChildren children;
    children.refused = {0};
    // The runner numbers the children it started: B is its first.
    children.script = {
        {ChildEvent::Kind::Out, 0,
         R"({"event":"exit","status":0,"failure":null,"reason":"Update Vantrel Base V1.06 succesfully completed."})"},
        {ChildEvent::Kind::Ended, 0, "", 0},
    };
    const CliRun run = Cli({"--port", "A", "--port", "B", "--yes"}, "", false, {}, {}, &children);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "B: Update Vantrel Base V1.06 succesfully completed. (status 0)\n"
              "\n"
              "port  status  verdict\n"
              "A     1       not started (Too many open files)\n"
              "B     0       Update Vantrel Base V1.06 succesfully completed.\n");
    EXPECT_EQ(run.err, "vantrel-update-cli: A: the update could not be started: Too many open files\n");
}

TEST_F(CliTest, ManyLoggersInJsonTagEveryEventWithItsPort) {
    FakeChildren children;
    using Kind = ChildEvent::Kind;
    children.script = {
        {Kind::Out, 0, R"({"event":"report","text":"Start"})"},
        {Kind::Out, 1, R"({"event":"notification","code":0,"value":0})"},
        {Kind::Out, 1, R"({"event":"exit","status":0,"log_error":"No space left on device"})"},
        {Kind::Ended, 1, "", 0},
        {Kind::Out, 0, R"({"event":"exit","status":0})"},
        {Kind::Ended, 0, "", 0},
        // A child killed before its exit event gets one from the parent.
        {Kind::Ended, 2, "", 130},
    };
    // D's child is refused by the system (no descriptors left): it gets its exit event at once.
    children.refused = {3};
    const CliRun run = Cli({"--json", "--port", "A", "--port", "B", "--port", "C", "--port", "D", "--yes"}, "", false,
                           {}, {}, &children);
    EXPECT_EQ(run.status, 130);
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 8u) << run.out;
    // This run's own start and exit events around the children's, which carry their port.
    EXPECT_EQ(nlohmann::json::parse(lines.front())["event"], "start");
    EXPECT_EQ(lines[2], R"({"event":"report","port":"A","text":"Start"})");
    EXPECT_EQ(lines[3], R"({"event":"notification","port":"B","code":0,"value":0})");
    EXPECT_EQ(lines[4], R"({"event":"exit","port":"B","status":0,"log_error":"No space left on device"})");
    EXPECT_EQ(lines[5], R"({"event":"exit","port":"A","status":0})");
    // The parent's own exit events for a port have the port where the children's have it, after the name.
    const struct {
        std::size_t line;
        nlohmann::ordered_json fields;
    } parents[] = {
        {1,
         {{"event", "exit"},
          {"port", "D"},
          {"status", 1},
          {"failure", "unexpected"},
          {"reason", nullptr},
          {"detail", "the update could not be started: Too many open files"}}},
        {6,
         {{"event", "exit"},
          {"port", "C"},
          {"status", 130},
          {"failure", "signal"},
          {"reason", nullptr},
          {"detail", "ended by signal 2"}}},
    };
    for (const auto& p : parents) {
        nlohmann::ordered_json event = nlohmann::ordered_json::parse(lines[p.line]);
        event.erase("time");
        EXPECT_EQ(event.dump(), p.fields.dump());
    }
    // The run's own exit event names the status it reports, the killed port's, and that a log stopped.
    const nlohmann::json exit = nlohmann::json::parse(lines.back());
    EXPECT_EQ(exit["event"], "exit");
    EXPECT_EQ(exit["status"], 130);
    EXPECT_EQ(exit["failure"], "signal");
    EXPECT_EQ(exit["log_error"], "No space left on device");
    EXPECT_FALSE(exit.contains("port"));

    // A second signal to this run writes its own exit event and names the ports still running: all three
    // at first, none once the last has ended.
    ASSERT_GE(lastWords.size(), 2u);
    nlohmann::json early = nlohmann::json::parse(lastWords.front().before + "130" + lastWords.front().after);
    early.erase("time");
    EXPECT_EQ(early, (nlohmann::json{{"event", "exit"},
                                     {"status", 130},
                                     {"failure", "signal"},
                                     {"reason", nullptr},
                                     {"detail",
                                      "ended at once by a second signal, whatever state the loggers are in; still "
                                      "running then: A, B, C"}}));
    EXPECT_EQ(lastWords.front().err,
              "vantrel-update-cli: ended at once by a second signal, whatever state the loggers are in; still "
              "running then: A, B, C\n");
    EXPECT_EQ(lastWords.back().err,
              "vantrel-update-cli: ended at once by a second signal, whatever state the loggers are in\n");
}

// One logger, one job: the same port twice would be two jobs on one line.
TEST_F(CliTest, ManyLoggersNameEachPortOnce) {
    const fs::path device = config_ / "ttyUSB5";
    std::ofstream(device).put('\0');
    const fs::path byId = config_ / "usb-Velmora_Vantrel_USB_A1-if00-port0";
    fs::create_symlink(device, byId);
    FakePorts ports;
    ports.entries = {UsbPort(device.string(), "A1")};
    app::ScopedPortSource usePorts(ports);
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--port", device.string(), "--port", byId.string()},
         byId.string() + " and " + device.string() + " are the same port"},
        {{"--port", byId.string(), "--port-serial", "A1"},
         device.string() + " (the adapter with the serial number 'A1') and " + byId.string() + " are the same port"},
        {{"--port-serial", "A1", "--port-serial", "A1", "--wait-for-port", "5"},
         "the adapter with the serial number 'A1' is named twice"},
        // The children would each write their log onto that logger's line.
        {{"--port", "/dev/ttyUSB9", "--port", byId.string(), "--log", device.string()},
         "--log " + device.string() + " names the port being updated (" + byId.string() + ")"},
    };
    for (const auto& c : cases) {
        FakeChildren children;
        std::vector<std::string> args = c.args;
        args.push_back("--yes");
        const CliRun run = Cli(args, "", false, {}, {}, &children);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_TRUE(children.started.empty());
    }
}

}  // namespace
}  // namespace vantrel::cli
