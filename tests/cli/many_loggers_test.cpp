// Several loggers at once, each in a child process of its own.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

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
