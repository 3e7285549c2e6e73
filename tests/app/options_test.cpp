#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "engine/option_flags.h"

namespace vantrel::app {
namespace {

using Args = std::vector<std::string>;

Args CommandLineOf(Args params) {
    params.insert(params.begin(), "/opt/vantrel/vantrel-update");
    return params;
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { engine::ResetOptionFlags(); }
    void TearDown() override {
        engine::ResetOptionFlags();
        SetCommandLine({});
    }
};

TEST_F(OptionsTest, GetParamValue) {
    struct Case {
        Args params;
        const char* key;
        const char* defaultValue;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "mf:", "dflt", "dflt"},
        {{"mf:+"}, "mf:", "", "+"},
        {{"MF:+"}, "mf:", "", "+"},  // letters in either case
        {{"mF:+"}, "Mf:", "", "+"},
        {{"mf:"}, "mf:", "dflt", "dflt"},  // the key alone does not match
        {{"mf:", "mf:-"}, "mf:", "", "-"},
        {{"mf:+", "mf:-"}, "mf:", "", "+"},  // the first match wins
        {{"cf:-"}, "f:", "dflt", "dflt"},    // no match inside a longer key
        {{"f:+", "cf:-"}, "f:", "", "+"},
        {{"xmf:+"}, "mf:", "", ""},
        {{"mf;+"}, "mf:", "", ""},  // only letters fold: ';' is not ':'
        {{"mf:+ -"}, "mf:", "", "+ -"},
        {{"\xC4"
          "b:1"},
         "\xE4"
         "b:",
         "no",
         "no"},  // no folding beyond A to Z
        {{"mf:" + std::string(1500, 'v')}, "mf:", "", std::string(1000, 'v')},
    };
    for (const Case& c : cases) {
        SetCommandLine(CommandLineOf(c.params));
        EXPECT_EQ(GetParamValue(c.key, c.defaultValue), c.expected)
            << c.key << " in " << ::testing::PrintToString(c.params);
    }
}

TEST_F(OptionsTest, ProgramPathIsNoParameter) {
    SetCommandLine({"mf:+"});
    EXPECT_EQ(GetParamValue("mf:", "none"), "none");
    SetCommandLine({});
    EXPECT_EQ(GetParamValue("mf:", "none"), "none");
}

struct Flags {
    int fileMode;
    bool checkUpdateClass;
    bool checkFamily;
    bool checkUpdateId;
    bool clearsMeasurements;
    friend bool operator==(const Flags&, const Flags&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Flags& f) {
        return os << "{FileMode " << f.fileMode << ", cc " << f.checkUpdateClass << ", cf " << f.checkFamily << ", ci "
                  << f.checkUpdateId << ", mf " << f.clearsMeasurements << "}";
    }
};

Flags CurrentFlags() {
    return {engine::FileMode, engine::CheckUpdateClass, engine::CheckFamily, engine::CheckUpdateId,
            engine::ClearsMeasurements};
}

TEST_F(OptionsTest, ReadCommandLineOptions) {
    struct Case {
        Args params;
        bool internal;
        Flags expected;
    };
    const Case cases[] = {
        {{}, false, {0, true, true, true, false}},
        {{"cc:-", "cf:-", "ci:-", "f:+"}, false, {0, true, true, true, false}},  // operator mode ignores them
        {{"mf:+"}, false, {0, true, true, true, true}},
        {{}, true, {1, true, true, true, false}},
        {{"f:+"}, true, {2, true, true, true, false}},
        {{"f:-"}, true, {1, true, true, true, false}},
        {{"F:+", "CC:-", "Cf:-", "cI:-"}, true, {2, false, false, false, false}},
        {{"cc:--", "cc:+", "cf:", "ci:x"}, true, {1, true, true, true, false}},
        {{"cf:-"}, true, {1, true, false, true, false}},  // "f:" is not found inside "cf:"
        {{"mf:+", "mf:-"}, true, {1, true, true, true, true}},
        {{"mf:-", "mf:+"}, false, {0, true, true, true, false}},
        {{"mf:++"}, false, {0, true, true, true, false}},
    };
    for (const Case& c : cases) {
        engine::ResetOptionFlags();
        SetCommandLine(CommandLineOf(c.params));
        ReadCommandLineOptions(c.internal);
        EXPECT_EQ(CurrentFlags(), c.expected) << ::testing::PrintToString(c.params) << " internal " << c.internal;
    }
}

TEST_F(OptionsTest, MfMinusClearsAFlagSetBefore) {
    engine::ClearsMeasurements = true;
    SetCommandLine(CommandLineOf({"mf:-"}));
    ReadCommandLineOptions(false);
    EXPECT_FALSE(engine::ClearsMeasurements);
}

// Internal mode from the settings file of POSIX systems; Windows reads the registry instead.
#ifndef _WIN32

// Sets an environment variable for the life of the object and restores what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class InternalModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-ui-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    void WriteSettings(const std::filesystem::path& configHome, const std::string& content) {
        std::filesystem::create_directories(configHome / "Velmora");
        std::ofstream(configHome / "Velmora" / "Qel.conf") << content;
    }
    std::filesystem::path root_;
};

TEST_F(InternalModeTest, SettingValues) {
    struct Case {
        const char* name;
        std::optional<std::string> content;  // nullopt: no file
        bool internal;
    };
    const Case cases[] = {
        {"7204", "[General]\nintern=7204\n", true},
        {"blanks around", "[General]\nintern = 7204 \n", true},
        {"among other keys", "[Window]\nleft=10\n[General]\nlang=en\nintern=7204\n", true},
        {"7205", "[General]\nintern=7205\n", false},
        {"abc", "[General]\nintern=abc\n", false},
        {"7204 with more", "[General]\nintern=7204x\n", false},
        {"hex", "[General]\nintern=0x1C24\n", false},
        {"out of 32 bits", "[General]\nintern=4294974500\n", false},
        {"empty value", "[General]\nintern=\n", false},
        {"other section", "[Other]\nintern=7204\n", false},
        {"no section", "intern=7204\n", false},
        {"other key", "[General]\ninternal=7204\n", false},
        {"empty file", "", false},
        {"missing file", std::nullopt, false},
    };
    for (const Case& c : cases) {
        const std::filesystem::path configHome = root_ / c.name;
        std::filesystem::create_directories(configHome);
        if (c.content) WriteSettings(configHome, *c.content);
        ScopedEnv xdg("XDG_CONFIG_HOME", configHome.string());
        EXPECT_EQ(InternalMode(), c.internal) << c.name;
    }
}

TEST_F(InternalModeTest, FallsBackToHomeConfig) {
    WriteSettings(root_ / ".config", "[General]\nintern=7204\n");
    ScopedEnv home("HOME", root_.string());
    for (const std::optional<std::string>& xdg :
         {std::optional<std::string>{}, std::optional<std::string>{""}, std::optional<std::string>{"relative/path"}}) {
        ScopedEnv unset("XDG_CONFIG_HOME", xdg);
        EXPECT_TRUE(InternalMode()) << xdg.value_or("(unset)");
    }
    ScopedEnv noHome("HOME", std::nullopt);
    ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_FALSE(InternalMode());
}

// Only a regular file of a settings file's size is read: a FIFO would block start-up waiting for a
// writer, a device such as /dev/zero would never end. A link to a regular file is fine.
TEST_F(InternalModeTest, SettingsPathIsNoSettingsFile) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(const fs::path& settings)> make;
        bool internal;
    };
    const Case cases[] = {
        {"directory", [](const fs::path& settings) { fs::create_directories(settings); }, false},
        {"FIFO", [](const fs::path& settings) { ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0); }, false},
        {"link to /dev/zero", [](const fs::path& settings) { fs::create_symlink("/dev/zero", settings); }, false},
        {"larger than 64 KiB",
         [](const fs::path& settings) {
             std::ofstream(settings) << "[General]\nintern=7204\n" << std::string(64 * 1024, '#') << "\n";
         },
         false},
        {"link to a regular file",
         [](const fs::path& settings) {
             std::ofstream(settings.parent_path() / "real.conf") << "[General]\nintern=7204\n";
             fs::create_symlink(settings.parent_path() / "real.conf", settings);
         },
         true},
    };
    for (const Case& c : cases) {
        const fs::path configHome = root_ / c.name;
        fs::create_directories(configHome / "Velmora");
        c.make(configHome / "Velmora" / "Qel.conf");
        ScopedEnv xdg("XDG_CONFIG_HOME", configHome.string());
        EXPECT_EQ(InternalMode(), c.internal) << c.name;
    }
}

#endif  // _WIN32

}  // namespace
}  // namespace vantrel::app
