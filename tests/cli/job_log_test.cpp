// The --log file: the report and a summary line a job.
#include "tests/cli/cli_fixture.h"

namespace vantrel::cli {
namespace {

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

}  // namespace
}  // namespace vantrel::cli
