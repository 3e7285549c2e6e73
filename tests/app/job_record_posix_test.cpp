// The parts of the job record that read the environment: the local time zone and the per-user folders, as
// POSIX systems name them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/job_record.h"

namespace vantrel::app {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A time zone for the length of a test.
class ZoneTest : public ::testing::Test {
protected:
    void UseZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneTest() override {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(ZoneTest, IsoTimeCarriesMillisecondsAndTheOffset) {
    const struct {
        const char* zone;
        WallTime when;
        const char* text;
    } cases[] = {
        {"UTC0", WallTime(1234ms), "1970-01-01T00:00:01.234+00:00"},
        {"<+0130>-1:30", WallTime(1234ms), "1970-01-01T01:30:01.234+01:30"},
        {"<-03>3", WallTime(1234ms), "1969-12-31T21:00:01.234-03:00"},
        // Summer time: the offset of the instant, not of the zone's standard time.
        {"CET-1CEST,M3.5.0,M10.5.0/3", WallTime(std::chrono::seconds(1781085600)), "2026-06-10T12:00:00.000+02:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", WallTime(std::chrono::seconds(1796904000) + 999ms),
         "2026-12-10T13:00:00.999+01:00"},
    };
    for (const auto& c : cases) {
        UseZone(c.zone);
        EXPECT_EQ(IsoTime(c.when), c.text) << c.zone;
    }
}

// The windows' history: where it lives, and lines appended, its folder made on the way.
TEST(UserHistory, AppendsUnderTheStateFolder) {
    const fs::path home = fs::temp_directory_path() / ("vantrel-history-" + std::to_string(::getpid()));
    fs::remove_all(home);
    const char* savedHome = std::getenv("HOME");
    const std::string oldHome = savedHome != nullptr ? savedHome : "";
    setenv("HOME", home.c_str(), 1);
    // A relative state folder is not one.
    setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(UserHistoryPath(), (home / ".local/state/vantrel/updates.log").string());
    setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
    EXPECT_EQ(UserHistoryPath(), (home / "state/vantrel/updates.log").string());
    AppendToUserHistory("first job");
    AppendToUserHistory("second job");
    std::ifstream in(home / "state/vantrel/updates.log");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "first job\nsecond job\n");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", oldHome.c_str(), 1);
    fs::remove_all(home);
}

}  // namespace
}  // namespace vantrel::app
