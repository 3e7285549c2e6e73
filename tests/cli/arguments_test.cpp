// The console's command line: what it refuses before a port is opened, help and version.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

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

}  // namespace
}  // namespace vantrel::cli
