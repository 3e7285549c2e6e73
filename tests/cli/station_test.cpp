// The station's pure parts: the account of its ports, the command line of a logger's job, the history
// line and reading the history back, the rules of its options.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/job_record.h"
#include "cli/arguments.h"
#include "cli/history.h"
#include "cli/single_job.h"
#include "cli/station.h"
#include "cli/station_ports.h"
#include "engine/notify.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

std::string Text(const StationChange& change) {
    const char* kinds[] = {"present", "arrived", "departed", "ready"};
    return std::string(kinds[static_cast<int>(change.kind)]) + " " + change.port;
}

std::vector<std::string> Texts(const std::vector<StationChange>& changes) {
    std::vector<std::string> texts;
    for (const StationChange& change : changes) texts.push_back(Text(change));
    return texts;
}

struct Step {
    enum Op { Start, Scan, Take, Finish } op;
    int ms;
    std::vector<std::string> ports;  // the ports there (Start, Scan) or the one taken or finished
    std::vector<std::string> changes;
};

TEST(StationPorts, EachLoggerOnceAPlugIn) {
    const struct {
        const char* what;
        bool includePresent;
        std::vector<Step> steps;
    } cases[] = {
        {"plugged in, settled, updated, unplugged; back is a new logger",
         false,
         {{Step::Start, 0, {}, {}},
          {Step::Scan, 100, {"a"}, {"arrived a"}},
          {Step::Scan, 600, {"a"}, {}},
          {Step::Scan, 1100, {"a"}, {"ready a"}},
          {Step::Take, 1100, {"a"}, {}},
          {Step::Scan, 1200, {"a"}, {}},
          {Step::Finish, 5000, {"a"}, {}},
          {Step::Scan, 9000, {"a"}, {}},
          {Step::Scan, 9100, {}, {"departed a"}},
          {Step::Scan, 9200, {"a"}, {"arrived a"}},
          {Step::Scan, 10200, {"a"}, {"ready a"}}}},
        {"present at the start: left alone until it comes back",
         false,
         {{Step::Start, 0, {"a", "b"}, {"present a", "present b"}},
          {Step::Scan, 5000, {"a", "b"}, {}},
          {Step::Scan, 5100, {"b"}, {"departed a"}},
          {Step::Scan, 5200, {"a", "b"}, {"arrived a"}}}},
        {"present at the start, included",
         true,
         {{Step::Start, 0, {"a"}, {"present a"}}, {Step::Scan, 1000, {"a"}, {"ready a"}}}},
        {"unplugged while it settles: no job, and back it settles anew",
         false,
         {{Step::Start, 0, {}, {}},
          {Step::Scan, 0, {"a"}, {"arrived a"}},
          {Step::Scan, 500, {}, {"departed a"}},
          {Step::Scan, 900, {"a"}, {"arrived a"}},
          {Step::Scan, 1500, {"a"}, {}},
          {Step::Scan, 1900, {"a"}, {"ready a"}}}},
        {"two at once, each on its own",
         false,
         {{Step::Start, 0, {}, {}},
          {Step::Scan, 0, {"a", "b"}, {"arrived a", "arrived b"}},
          {Step::Scan, 1000, {"a", "b"}, {"ready a", "ready b"}},
          {Step::Take, 1000, {"b"}, {}},
          {Step::Scan, 1250, {"a", "b"}, {"ready a"}},
          {Step::Finish, 3000, {"b"}, {}},
          {Step::Scan, 3250, {"a"}, {"departed b", "ready a"}}}},
        {"unplugged during its job: gone once its verdict is in",
         false,
         {{Step::Start, 0, {}, {}},
          {Step::Scan, 0, {"a"}, {"arrived a"}},
          {Step::Scan, 1000, {"a"}, {"ready a"}},
          {Step::Take, 1000, {"a"}, {}},
          {Step::Scan, 2000, {}, {"departed a"}},
          {Step::Scan, 2250, {}, {}},
          {Step::Finish, 3000, {"a"}, {}},
          {Step::Scan, 3250, {"a"}, {"arrived a"}}}},
        {"unplugged during its job and back before its verdict: a new logger after the verdict",
         false,
         {{Step::Start, 0, {}, {}},
          {Step::Scan, 0, {"a"}, {"arrived a"}},
          {Step::Scan, 1000, {"a"}, {"ready a"}},
          {Step::Take, 1000, {"a"}, {}},
          {Step::Scan, 2000, {}, {"departed a"}},
          {Step::Scan, 2250, {"a"}, {}},
          {Step::Finish, 3000, {"a"}, {"arrived a"}},
          {Step::Scan, 3500, {"a"}, {}},
          {Step::Scan, 4000, {"a"}, {"ready a"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StationPorts ports(std::chrono::duration_cast<link::Micros>(1s), c.includePresent);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = c.steps[i];
            const link::Micros now = std::chrono::duration_cast<link::Micros>(std::chrono::milliseconds(step.ms));
            std::vector<StationChange> changes;
            switch (step.op) {
                case Step::Start: changes = ports.Start(step.ports, now); break;
                case Step::Scan: changes = ports.Scan(step.ports, now); break;
                case Step::Take: ports.Taken(step.ports.front()); break;
                case Step::Finish: changes = ports.Finished(step.ports.front(), now); break;
            }
            EXPECT_EQ(Texts(changes), step.changes);
        }
    }
}

TEST(StationPorts, WorkListsOnlyThePortsTaken) {
    StationPorts ports(std::chrono::duration_cast<link::Micros>(1s), false);
    ports.Start({"a"}, link::Micros(0));
    ports.Scan({"a", "b", "c"}, link::Micros(0));
    ports.Taken("c");
    EXPECT_EQ(ports.InWork(), std::vector<std::string>{"c"});
    EXPECT_EQ(ports.State("a"), StationPortState::PresentAtStart);
    EXPECT_EQ(ports.State("b"), StationPortState::Settling);
    ports.Finished("c", link::Micros(5));
    EXPECT_EQ(ports.State("c"), StationPortState::WaitingForDeparture);
    EXPECT_TRUE(ports.InWork().empty());
}

TEST(Station, ALoggersJobTakesNoneOfTheStationsOptions) {
    const struct {
        std::vector<std::string> commandLine;
        std::optional<std::chrono::milliseconds> timeLeft;
        std::vector<std::string> child;
    } cases[] = {
        {{"cli", "--station", "--watch-dir", "d", "--usb-id=1234:abcd", "--max-loggers", "3", "--yes", "mf:+", "--log",
          "f"},
         std::nullopt,
         {"cli", "--port", "P", "mf:+", "--log", "f", "--yes", "--json", "--add-to-history"}},
        // The station's time limit bounds the job with what is left of it.
        {{"cli", "--json", "--station", "--timeout", "60", "--include-present", "--usb-id", "1234:abcd",
          "--watch-dir=d", "--max-restarts", "2"},
         12500ms,
         {"cli", "--port", "P", "--max-restarts", "2", "--timeout", "12.5", "--yes", "--json", "--add-to-history"}},
    };
    for (const auto& c : cases) EXPECT_EQ(StationChildCommandLine(c.commandLine, "P", c.timeLeft), c.child);
}

TEST(Station, TakesTheRulesConvertersAndTheSitesOwn) {
    const std::vector<std::string> ids = StationUsbIds({"1234:abcd", "0403:6001"});
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "0403:6001"), 1);
    EXPECT_NE(std::find(ids.begin(), ids.end(), "0403:6015"), ids.end());
    EXPECT_EQ(ids.back(), "1234:abcd");
}

TEST(Station, OptionsThatDoNotGoTogetherAreRefused) {
    const struct {
        std::vector<std::string> args;
        const char* refusal;  // nullptr: accepted
    } cases[] = {
        {{"--station"}, nullptr},
        {{"--station", "--watch-dir", "d", "--usb-id", "0403:6001", "--usb-id", "1A2B:3c4D", "--max-loggers", "2",
          "--include-present", "--timeout", "60"},
         nullptr},
        {{"--history", "--csv"}, nullptr},
        {{"--station", "--port", "/dev/ttyUSB0"}, "--station finds the ports itself"},
        {{"--station", "--wait-for-port", "5"}, "--wait-for-port does not go with --station"},
        {{"--watch-dir", "d", "--port", "p"}, "belong to --station"},
        {{"--max-loggers", "2", "--port", "p"}, "belong to --station"},
        {{"--station", "--max-loggers", "0"}, "--max-loggers takes a number of loggers from 1"},
        {{"--station", "--usb-id", "0403-6001"}, "--usb-id takes a vendor and a product ID"},
        {{"--station", "--usb-id", "403:6001"}, "--usb-id takes a vendor and a product ID"},
        {{"--station", "--watch-dir="}, "--watch-dir needs a value"},
        {{"--station", "--list-ports"}, "--station does not go with --list-ports"},
        {{"--history", "--port", "p"}, "--port starts an update"},
        {{"--history", "--station"}, "--history is a run of its own"},
        {{"--csv", "--port", "p"}, "--csv goes with --history"},
        {{"--history", "--csv", "--json"}, "--history takes --json or --csv, not both"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{"cli"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(testing::PrintToString(argv));
        Arguments args;
        std::ostringstream warnings;
        try {
            ParseArguments(argv, args, warnings);
            CheckArguments(args, {});
            EXPECT_EQ(c.refusal, nullptr);
        } catch (const UsageError& e) {
            ASSERT_NE(c.refusal, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
    Arguments args;
    std::ostringstream warnings;
    ParseArguments({"cli", "--station", "--usb-id", "1A2B:3c4D"}, args, warnings);
    EXPECT_EQ(args.usbIds, std::vector<std::string>{"1a2b:3c4d"});
}

// A summary line as a job writes it, with a verdict that needs quoting.
std::string JobLine(const std::string& port, int status, const std::string& verdict) {
    app::JobRecord record;
    const auto when = std::chrono::system_clock::time_point(std::chrono::hours(24 * 20000));
    record.Begin(port, when);
    record.Note(engine::ncClass, 26145);
    record.Note(engine::ncVersion, 0x0106);
    return record.Finish(status, verdict, 0, when + 5s);
}

TEST(History, ALineOfTheHistoryReadBack) {
    const std::string whole = HistoryRecord(JobLine("/dev/ttyUSB0", 0, "Update \"done\"\tnow"), "A10K3X9Q");
    const struct {
        const char* what;
        std::string line;
        bool job;
    } cases[] = {
        {"a job's line", whole, true},
        {"a line with a carriage return", whole + "\r", true},
        {"cut inside a quoted value", whole.substr(0, whole.find("now")), false},
        {"cut before its status", whole.substr(0, whole.find(" status=")), false},
        {"another program's line", "2026-12-10 something else happened", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<HistoryLine> parsed = ParseHistoryLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.job);
        if (!parsed) continue;
        std::map<std::string, std::string> fields(parsed->fields.begin(), parsed->fields.end());
        EXPECT_EQ(fields["port"], "/dev/ttyUSB0");
        EXPECT_EQ(fields["adapter"], "A10K3X9Q");
        EXPECT_EQ(fields["verdict"], "Update \"done\"\tnow");
        EXPECT_EQ(fields["version-before"], "1.06");
        EXPECT_EQ(fields["status"], "0");
        EXPECT_EQ(fields["program"].rfind("vantrel-update-cli ", 0), 0u);
    }
    // Without a known adapter the line keeps its "-".
    EXPECT_NE(HistoryRecord(JobLine("p", 0, "v"), "").find(" adapter=- "), std::string::npos);
}

TEST(History, PrintedWholeLinesOnlyInEachFormat) {
    const std::string first = JobLine("/dev/ttyUSB0", 0, "Update, \"done\"");
    const std::string second = JobLine("/dev/ttyUSB1", 45, "not verified");
    // A line another writer is still appending (no end yet) and a stray line are not jobs.
    const std::string file = first + "\nnot a job\n" + second + "\n" + second.substr(0, 40);
    const struct {
        HistoryFormat format;
        std::vector<std::string> expected;  // pieces of the output, in order
    } cases[] = {
        {HistoryFormat::Plain, {first + "\n" + second + "\n"}},
        {HistoryFormat::Csv,
         {"time,start,end,port,adapter,", "\r\n", ",/dev/ttyUSB0,,26145,1.06,", ",\"Update, \"\"done\"\"\",0,",
          ",/dev/ttyUSB1,", ",not verified,45,"}},
        {HistoryFormat::Json,
         {"{\"schema\":1,\"history\":[{\"time\":", "\"port\":\"/dev/ttyUSB0\",\"adapter\":null,",
          "\"verdict\":\"Update, \\\"done\\\"\",\"status\":\"0\"", "\"port\":\"/dev/ttyUSB1\""}},
    };
    for (const auto& c : cases) {
        std::istringstream in(file);
        std::ostringstream out;
        EXPECT_EQ(PrintHistory(in, c.format, out), 2u);
        std::size_t at = 0;
        for (const std::string& piece : c.expected) {
            const std::size_t found = out.str().find(piece, at);
            ASSERT_NE(found, std::string::npos) << piece << "\nin\n" << out.str();
            at = found + piece.size();
        }
        if (c.format == HistoryFormat::Plain) {
            EXPECT_EQ(out.str(), c.expected.front());
        }
    }
}

}  // namespace
}  // namespace vantrel::cli
