// One logger's job from the console: verdicts and exit statuses, the question, cancels, the time limit,
// the wait for a port, the converter's latency.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

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

}  // namespace
}  // namespace vantrel::cli
