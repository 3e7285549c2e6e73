#include "ui/program_info.h"

#include <gtest/gtest.h>

#include "vantrel/version.h"

namespace vantrel::ui {
namespace {

// Only a first parameter of exactly --help or --version is a request; everything else opens the window
// with its start-up keys, as it always did.
TEST(WindowInfoText, OnlyTheFirstParameterAsked) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> starts;  // what the text begins with; nothing: the window opens
    };
    const std::string versionLine = "vantrel-update " + std::string(kVersion) + "\n";
    const Case cases[] = {
        {{"vantrel-update"}, std::nullopt},
        {{}, std::nullopt},
        {{"vantrel-update", "--version"}, versionLine},
        {{"vantrel-update", "--help"}, "Usage: vantrel-update [KEY:VALUE ...]\n"},
        {{"vantrel-update", "mf:+", "--version"}, std::nullopt},
        {{"vantrel-update", "--versions"}, std::nullopt},
        {{"vantrel-update", "-h"}, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> text = WindowInfoText(c.args);
        const std::string shown = c.args.size() > 1 ? c.args[1] : "(none)";
        ASSERT_EQ(text.has_value(), c.starts.has_value()) << shown;
        if (text) {
            EXPECT_EQ(text->rfind(*c.starts, 0), 0u) << shown << ": " << *text;
        }
    }
    EXPECT_EQ(*WindowInfoText({"vantrel-update", "--version"}), versionLine) << "the version line alone";
}

}  // namespace
}  // namespace vantrel::ui
