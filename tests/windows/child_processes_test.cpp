// The console's child processes against the system itself: this test program starts itself again as the
// child, which prints its arguments and some lines and ends with the status it is told.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "cli/child_processes.h"

namespace vantrel::cli {
namespace {

constexpr const char* kChildMode = "--be-a-child-process";

// As the child: EXIT_STATUS LINE_COUNT ARGS...: each argument as "arg:" and it on stdout, LINE_COUNT
// numbered lines, two lines on stderr, and a last stdout line without its end. Runs before the tests are
// looked at, and never returns.
const bool kIsChild = [] {
    if (__argc < 4 || std::string(__argv[1]) != kChildMode) return false;
    for (int i = 4; i < __argc; ++i) std::printf("arg:%s\n", __argv[i]);
    for (int i = 0, count = std::atoi(__argv[3]); i < count; ++i) std::printf("line %d of many\n", i);
    std::fflush(stdout);
    std::fprintf(stderr, "to stderr\nagain to stderr\n");
    std::printf("no end");
    std::fflush(nullptr);
    std::exit(std::atoi(__argv[2]));
}();

struct Seen {
    std::vector<std::string> out, err;
    std::optional<int> status;
    bool outputAfterEnd = false;
};

// Every event until the runner has nothing more, a child at a time.
std::map<std::size_t, Seen> Drain(ChildRunner& children) {
    std::map<std::size_t, Seen> seen;
    while (const std::optional<ChildEvent> event = children.Next()) {
        Seen& child = seen[event->child];
        if (event->kind == ChildEvent::Kind::Ended) {
            EXPECT_FALSE(child.status) << "child " << event->child << " ended twice";
            child.status = event->status;
            continue;
        }
        child.outputAfterEnd = child.outputAfterEnd || child.status.has_value();
        (event->kind == ChildEvent::Kind::Out ? child.out : child.err).push_back(event->text);
    }
    return seen;
}

TEST(WindowsChildProcesses, ArgumentsLinesAndStatusesComeBackAsTheChildrenGaveThem) {
    const std::string self = OwnProgram("argv0");
    ASSERT_NE(self, "argv0");
    EXPECT_NE(self.find("windows_tests"), std::string::npos) << self;

    // Blanks, quotes and backslashes before a quote or at the end are where the quoting goes wrong.
    const std::vector<std::string> tricky = {
        "plain", "two words", "say \"hi\"", "ends in a backslash\\",  "back\\slash",   "back\\\\\"quote",
        "\\\\",  "",          "\ttab",      "C:\\Program Files\\x\\", "quote\"\"twice"};
    std::vector<std::string> first = {self, kChildMode, "7", "0"};
    first.insert(first.end(), tricky.begin(), tricky.end());
    const auto children = SystemChildRunner();
    ASSERT_NE(children, nullptr);
    std::string whyNot;
    ASSERT_TRUE(children->Start(first, whyNot));
    // More than a pipe holds, so the child blocks until it is read, and lines are split across reads.
    ASSERT_TRUE(children->Start({self, kChildMode, "0", "3000"}, whyNot));
    // A program that is not there is named by the system's reason.
    EXPECT_FALSE(children->Start({self + "-not-there.exe", "x"}, whyNot));
    EXPECT_FALSE(whyNot.empty());

    const std::map<std::size_t, Seen> seen = Drain(*children);
    ASSERT_EQ(seen.size(), 2u);

    const Seen& quoted = seen.at(0);
    std::vector<std::string> expected;
    for (const std::string& arg : tricky) expected.push_back("arg:" + arg);
    expected.push_back("no end");
    EXPECT_EQ(quoted.out, expected);
    EXPECT_EQ(quoted.err, (std::vector<std::string>{"to stderr", "again to stderr"}));
    EXPECT_EQ(quoted.status, 7);
    EXPECT_FALSE(quoted.outputAfterEnd);

    const Seen& many = seen.at(1);
    ASSERT_EQ(many.out.size(), 3001u);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(many.out[static_cast<std::size_t>(i)], "line " + std::to_string(i) + " of many");
    EXPECT_EQ(many.out.back(), "no end");
    EXPECT_EQ(many.status, 0);
    EXPECT_FALSE(many.outputAfterEnd);

    EXPECT_FALSE(children->Next());
}

TEST(WindowsChildProcesses, NothingStartedIsNothingToWaitFor) {
    const auto children = SystemChildRunner();
    ASSERT_NE(children, nullptr);
    std::string whyNot;
    EXPECT_FALSE(children->Start({"C:\\no\\such\\program.exe"}, whyNot));
    EXPECT_FALSE(children->Next());
}

}  // namespace
}  // namespace vantrel::cli
