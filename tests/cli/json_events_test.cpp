// The console's JSON Lines: the events in their order and held to the documented schema.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

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

}  // namespace
}  // namespace vantrel::cli
